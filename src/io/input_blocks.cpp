#include "io/input_blocks.h"

#include <algorithm>
#include <cerrno>

#include "platform/platform.h"

namespace tarvel {

InputBlocks::Block InputBlocks::Next(char* buffer, std::size_t capacity) {
  if (positional) return NextByPosition(buffer, capacity);
  const std::lock_guard<std::mutex> lock(mutex);
  Block block;
  if (done) return block;
  input.read(buffer, static_cast<std::streamsize>(capacity));
  block.size = static_cast<std::size_t>(input.gcount());
  block.bytes = reinterpret_cast<const std::uint8_t*>(buffer);
  block.number = next++;
  if (!input) done = true;
  // A copy that fails stays failed: its owner finds it so.
  if (block.size > 0 && copy != nullptr &&
      !copy->write(buffer, static_cast<std::streamsize>(block.size))) {
    done = true;
  }
  return Counted(block);
}

InputBlocks::Block InputBlocks::Counted(Block block) {
  if (progress == nullptr || block.size == 0 || progress->Add(block.size)) return block;
  input.setstate(std::ios::badbit);
  done = true;
  return Block{};
}

InputBlocks::Block InputBlocks::NextByPosition(char* buffer, std::size_t capacity) {
  Block block;
  std::int64_t offset = 0;
  std::size_t wanted = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    if (done) return block;
    if (claimed == positional->size) {
      // All expected bytes are handed out: the file must end there.
      done = true;
      if (positional->memory != nullptr) return block;
      char probe = 0;
      std::int64_t got = 0;
      do {
        got = ReadAt(positional->fd, &probe, 1, positional->base + claimed);
      } while (got < 0 && errno == EINTR);
      if (got < 0) input.setstate(std::ios::badbit);
      if (got > 0) changed = true;
      return block;
    }
    offset = claimed;
    wanted = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(capacity), positional->size - claimed));
    claimed += static_cast<std::int64_t>(wanted);
    block.number = next++;
    if (positional->memory != nullptr) {
      block.size = wanted;
      block.bytes = positional->memory + offset;
      return Counted(block);
    }
  }
  // The read itself, outside the lock: other threads read their blocks at
  // the same time.
  std::size_t got = 0;
  bool failed = false;
  while (got < wanted) {
    const std::int64_t n = ReadAt(positional->fd, buffer + got, wanted - got,
                                  positional->base + offset + static_cast<std::int64_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed = true;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  const std::lock_guard<std::mutex> lock(mutex);
  if (failed) {
    input.setstate(std::ios::badbit);
    done = true;
    return Block{};
  }
  if (got < wanted) {  // the file is shorter than it was
    changed = true;
    done = true;
  }
  block.size = got;
  block.bytes = reinterpret_cast<const std::uint8_t*>(buffer);
  return Counted(block);
}

void InputBlocks::Stop() {
  const std::lock_guard<std::mutex> lock(mutex);
  done = true;
}

}  // namespace tarvel
