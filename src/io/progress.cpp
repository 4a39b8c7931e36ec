#include "io/progress.h"

#include <algorithm>

#include "platform/platform.h"

namespace tarvel {

namespace {

constexpr std::int64_t kCallMilliseconds = 250;

}  // namespace

Progress::Progress(ProgressCallback callback, void* user, std::uint64_t total, int passes)
    : callback(callback),
      user(user),
      total(total),
      passes(static_cast<std::uint64_t>(std::max(passes, 1))) {}

bool Progress::Add(std::uint64_t bytes) {
  if (callback == nullptr) return true;
  const std::uint64_t now = read.fetch_add(bytes) + bytes;
  if (cancelled.load()) return false;
  const std::int64_t time = ClockMilliseconds();
  std::int64_t due = nextCall.load();
  if (time < due || !nextCall.compare_exchange_strong(due, time + kCallMilliseconds)) return true;
  const std::lock_guard<std::mutex> lock(calling);
  const std::uint64_t done = now / passes;
  if (callback(user, total != 0 ? std::min(done, total) : done, total) != 0) cancelled = true;
  return !cancelled.load();
}

}  // namespace tarvel
