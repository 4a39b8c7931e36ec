// What every system shares: the kinds of file, and how many threads to use.
#include <algorithm>

#include "io/platform.h"

namespace tarvel {

namespace {

// The kinds of file, in the bits that POSIX gives them (and that the Windows
// calls give them too).
constexpr std::uint32_t kKindBits = 0170000;
constexpr std::uint32_t kRegular = 0100000;
constexpr std::uint32_t kDirectory = 0040000;
constexpr std::uint32_t kBlockDevice = 0060000;
constexpr std::uint32_t kLink = 0120000;

}  // namespace

bool FileStatus::IsRegular() const { return (mode & kKindBits) == kRegular; }
bool FileStatus::IsDirectory() const { return (mode & kKindBits) == kDirectory; }
bool FileStatus::IsBlockDevice() const { return (mode & kKindBits) == kBlockDevice; }
bool FileStatus::IsLink() const { return (mode & kKindBits) == kLink; }

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
