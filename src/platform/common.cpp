// What every system shares: the kinds of file, the clock, and how many
// threads to use.
#include <algorithm>
#include <chrono>

#include "platform/platform.h"

namespace tarvel {

std::int64_t ClockMilliseconds() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

std::int64_t ClockNanoseconds() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

bool FileStatus::IsRegular() const { return (mode & kKindBits) == kKindRegular; }
bool FileStatus::IsDirectory() const { return (mode & kKindBits) == kKindDirectory; }
bool FileStatus::IsBlockDevice() const { return (mode & kKindBits) == kKindBlockDevice; }
bool FileStatus::IsLink() const { return (mode & kKindBits) == kKindLink; }

bool FileStatus::SameFileAs(const FileStatus& other) const {
  // What has no number (a pipe or a device, on Windows) is no known file.
  return inode != 0 && device == other.device && inode == other.inode;
}

bool FileStatus::UnchangedSince(const FileStatus& before) const {
  return size == before.size && modified == before.modified && changed == before.changed;
}

int ThreadsFor(std::int64_t bytes) {
  constexpr std::int64_t kThreadedBytes = std::int64_t{1} << 20;
  constexpr int kMaxThreads = 4;
  return bytes < kThreadedBytes ? 1 : std::min(UsableCores(), kMaxThreads);
}

int ThreadsFor(int asked, std::int64_t bytes) {
  return asked > 0 ? std::min(asked, UsableCores()) : ThreadsFor(bytes);
}

}  // namespace tarvel
