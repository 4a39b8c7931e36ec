// One pass shared by several threads, where a failure on any of them ends
// the pass for all, and no thread is left running or unjoined.
#pragma once

#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvel {

// Calls work(k) on the calling thread (k = 0) and on as many as `threads` - 1
// helper threads (k = 1, 2, ...), and returns once every call has returned.
// A helper that cannot be started (the system is out of threads or memory)
// is done without: the calls made may be as few as the one on the calling
// thread, and the work must not depend on their number. When a call throws,
// stop() is called on that thread so that the others return soon; once all
// have returned, the first exception is thrown again on the calling thread.
// REQUIRES: stop() does not throw, and is safe to call at any time from any
// thread, more than once.
template <typename Work, typename Stop>
void RunOnThreads(int threads, const Work& work, const Stop& stop) {
  std::mutex mutex;
  std::exception_ptr failure;
  const auto guarded = [&](int k) noexcept {
    try {
      work(k);
    } catch (...) {
      {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!failure) failure = std::current_exception();
      }
      stop();
    }
  };
  std::vector<std::thread> helpers;
  try {
    helpers.reserve(threads > 1 ? static_cast<std::size_t>(threads - 1) : 0);
    for (int k = 1; k < threads; ++k) helpers.emplace_back(guarded, k);
  } catch (...) {
    // Fewer helpers than asked for: those started share the work.
  }
  guarded(0);
  for (std::thread& helper : helpers) helper.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace tarvel
