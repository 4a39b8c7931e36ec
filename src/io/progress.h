// How far a call has come, told to its caller, who may ask it to stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace tarvel {

// A caller's function, told `done` bytes of `total` (0 when not known); a
// non-zero return asks the call to stop.
using ProgressCallback = int (*)(void* user, std::uint64_t done, std::uint64_t total);

// Counts the bytes that a call reads, in one pass or several, and tells the
// callback at the first block and then at most four times a second, from
// whichever thread reads. Safe to use from several threads.
class Progress {
 public:
  // `total` bytes in each of `passes` passes; null `callback` for none.
  Progress(ProgressCallback callback, void* user, std::uint64_t total, int passes);

  // Counts `bytes` more read. False once the callback asked to stop.
  bool Add(std::uint64_t bytes);

  // Whether the callback has asked to stop.
  bool Cancelled() const { return cancelled.load(); }

 private:
  ProgressCallback callback;
  void* user;
  std::uint64_t total;
  std::uint64_t passes;
  std::atomic<std::uint64_t> read{0};
  std::atomic<std::int64_t> nextCall{0};  // milliseconds
  std::atomic<bool> cancelled{false};
  std::mutex calling;  // one call of the callback at a time
};

}  // namespace tarvel
