// Blocks that several threads encode at once, joined to the output in input
// order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "io/page_buffer.h"

namespace tarvel {

// A block encoded by one of several threads.
struct EncodedBlock {
  explicit EncodedBlock(std::size_t capacity) : bytes(capacity) {}
  PageBuffer bytes;
  std::int64_t number = 0;  // of the input block
  std::int64_t bits = 0;
  std::size_t inputBytes = 0;
  bool known = true;  // every byte had a code
};

// Blocks that several threads encode, each into a buffer from a shared pool,
// joined in input order by whichever thread finds the next one ready: a
// thread goes on with its next block while another joins, and waits only
// when the pool runs dry.
class OrderedJoin {
 public:
  // `join` is called for every block in input order, one call at a time.
  OrderedJoin(std::size_t buffers, std::size_t capacity,
              const std::function<void(const EncodedBlock&)>& join)
      : join(join), waiting(buffers) {
    for (std::size_t k = 0; k < buffers; ++k) {
      spare.push_back(std::make_unique<EncodedBlock>(capacity));
    }
  }

  // A buffer for the next block; waits while all are taken. Null once
  // Abort() was called.
  std::unique_ptr<EncodedBlock> Take() {
    std::unique_lock<std::mutex> lock(mutex);
    freed.wait(lock, [&] { return !spare.empty() || aborted; });
    if (aborted) return nullptr;
    std::unique_ptr<EncodedBlock> buffer = std::move(spare.back());
    spare.pop_back();
    return buffer;
  }

  // Returns a buffer that holds no block.
  void Give(std::unique_ptr<EncodedBlock> buffer) {
    const std::lock_guard<std::mutex> lock(mutex);
    spare.push_back(std::move(buffer));
    freed.notify_one();
  }

  // Ends the pass on every thread: a thread failed, and the blocks after it
  // will never be joined. Take() gives no more buffers.
  void Abort() noexcept {
    const std::lock_guard<std::mutex> lock(mutex);
    aborted = true;
    freed.notify_all();
  }

  // Hands in an encoded block, then joins blocks while the next in order is
  // at hand, unless another thread is joining: that one joins them.
  // Every block that is handed out and not yet joined is in a buffer, so
  // their numbers lie within as many as there are buffers from the next.
  void Finish(std::unique_ptr<EncodedBlock> block) {
    std::unique_lock<std::mutex> lock(mutex);
    const std::size_t slot = static_cast<std::size_t>(block->number) % waiting.size();
    waiting[slot] = std::move(block);
    while (!joining) {
      std::unique_ptr<EncodedBlock>& next =
          waiting[static_cast<std::size_t>(joined) % waiting.size()];
      if (!next) return;
      std::unique_ptr<EncodedBlock> ready = std::move(next);
      joining = true;
      lock.unlock();
      join(*ready);
      lock.lock();
      joining = false;
      ++joined;
      spare.push_back(std::move(ready));
      freed.notify_one();
    }
  }

 private:
  const std::function<void(const EncodedBlock&)>& join;
  std::mutex mutex;
  std::condition_variable freed;
  std::vector<std::unique_ptr<EncodedBlock>> spare;  // buffers holding no block
  // Handed in and not yet joined, by block number modulo their count.
  std::vector<std::unique_ptr<EncodedBlock>> waiting;
  std::int64_t joined = 0;  // blocks joined so far
  bool joining = false;
  bool aborted = false;
};

}  // namespace tarvel
