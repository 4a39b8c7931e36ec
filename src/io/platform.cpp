#include "io/platform.h"

#include <sched.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <algorithm>
#include <chrono>
#include <iterator>

namespace tarvel {

std::int64_t ClockMilliseconds() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

int UsableCores() {
  cpu_set_t cores;
  CPU_ZERO(&cores);
  if (sched_getaffinity(0, sizeof cores, &cores) != 0) return 1;
  return std::max(1, CPU_COUNT(&cores));
}

int ThreadsFor(std::int64_t bytes) {
  constexpr std::int64_t kThreadedBytes = std::int64_t{1} << 20;
  constexpr int kMaxThreads = 4;
  return bytes < kThreadedBytes ? 1 : std::min(UsableCores(), kMaxThreads);
}

int ThreadsFor(int asked, std::int64_t bytes) { return asked > 0 ? asked : ThreadsFor(bytes); }

bool FileStatus::IsRegular() const { return S_ISREG(mode); }
bool FileStatus::IsDirectory() const { return S_ISDIR(mode); }
bool FileStatus::IsBlockDevice() const { return S_ISBLK(mode); }

bool FileStatus::SameFileAs(const FileStatus& other) const {
  return device == other.device && inode == other.inode;
}

std::optional<FileStatus> StatusOf(const char* name) {
  struct stat info {};
  if (stat(name, &info) != 0) return std::nullopt;
  FileStatus status;
  status.device = info.st_dev;
  status.inode = info.st_ino;
  status.mode = info.st_mode;
  status.size = static_cast<std::int64_t>(info.st_size);
  return status;
}

bool IsOnPseudoFileSystem(const char* name) {
  // The magic numbers of proc, sysfs, debugfs, tracefs, securityfs,
  // configfs, cgroup and cgroup2.
  constexpr unsigned long kPseudo[] = {0x9fa0,     0x62656572, 0x64626720, 0x74726163,
                                       0x73636673, 0x62656570, 0x27e0eb,   0x63677270};
  struct statfs info {};
  if (statfs(name, &info) != 0) return false;
  const auto type = static_cast<unsigned long>(info.f_type);
  return std::find(std::begin(kPseudo), std::end(kPseudo), type) != std::end(kPseudo);
}

}  // namespace tarvel
