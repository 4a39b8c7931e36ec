#include "io/platform.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <iterator>
#include <string>

// What only Linux has is used where Linux is the system and the portable
// fallbacks were not asked for; elsewhere, and with TARVEL_PORTABLE, only
// what POSIX (and the BSDs) have.
#if defined(__linux__) && !defined(TARVEL_PORTABLE)
#define TARVEL_LINUX 1
#include <sched.h>
#include <sys/vfs.h>
#else
#define TARVEL_LINUX 0
#endif

namespace tarvel {

std::int64_t ClockMilliseconds() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

std::int64_t ClockNanoseconds() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

int UsableCores() {
#if TARVEL_LINUX
  cpu_set_t cores;
  CPU_ZERO(&cores);
  if (sched_getaffinity(0, sizeof cores, &cores) != 0) return 1;
  return std::max(1, CPU_COUNT(&cores));
#else
  // The cores online: an affinity mask, where there is one, is not seen.
  return static_cast<int>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
#endif
}

int ThreadsFor(std::int64_t bytes) {
  constexpr std::int64_t kThreadedBytes = std::int64_t{1} << 20;
  constexpr int kMaxThreads = 4;
  return bytes < kThreadedBytes ? 1 : std::min(UsableCores(), kMaxThreads);
}

int ThreadsFor(int asked, std::int64_t bytes) {
  return asked > 0 ? std::min(asked, UsableCores()) : ThreadsFor(bytes);
}

bool FileStatus::IsRegular() const { return S_ISREG(mode); }
bool FileStatus::IsDirectory() const { return S_ISDIR(mode); }
bool FileStatus::IsBlockDevice() const { return S_ISBLK(mode); }

bool FileStatus::SameFileAs(const FileStatus& other) const {
  return device == other.device && inode == other.inode;
}

bool FileStatus::UnchangedSince(const FileStatus& before) const {
  return size == before.size && modified == before.modified && changed == before.changed;
}

namespace {

std::int64_t Nanoseconds(const struct timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

FileStatus StatusFrom(const struct stat& info) {
  FileStatus status;
  status.device = info.st_dev;
  status.inode = info.st_ino;
  status.mode = info.st_mode;
  status.size = static_cast<std::int64_t>(info.st_size);
#if defined(__APPLE__)
  status.modified = Nanoseconds(info.st_mtimespec);
  status.changed = Nanoseconds(info.st_ctimespec);
#else
  status.modified = Nanoseconds(info.st_mtim);
  status.changed = Nanoseconds(info.st_ctim);
#endif
  return status;
}

}  // namespace

std::optional<FileStatus> StatusOf(const char* name) {
  struct stat info {};
  if (stat(name, &info) != 0) return std::nullopt;
  return StatusFrom(info);
}

std::optional<FileStatus> StatusOfDescriptor(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return std::nullopt;
  return StatusFrom(info);
}

int OpenFolder(const char* name) {
#if TARVEL_LINUX && defined(O_PATH)
  // Needs no read permission on the folder, only the right to reach it.
  return open(name, O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
  return open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
}

ssize_t WriteWithoutSigpipe(int fd, const void* data, std::size_t size) {
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  sigset_t before;
  sigpending(&before);
  sigset_t saved;
  pthread_sigmask(SIG_BLOCK, &pipe, &saved);
  const ssize_t written = write(fd, data, size);
  const int error = errno;
  // A write that the reader's leaving cut short returns what it wrote, yet
  // raises the signal all the same: it is taken back whatever the result.
  if (sigismember(&before, SIGPIPE) == 0) {
    sigset_t now;
    sigpending(&now);
    int taken = 0;
    if (sigismember(&now, SIGPIPE) == 1) sigwait(&pipe, &taken);
  }
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  errno = error;
  return written;
}

bool SigpipeIgnored() {
  struct sigaction current {};
  return sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

int ReserveSpace(int fd, std::int64_t offset, std::int64_t length) {
#if TARVEL_LINUX
  if (fallocate(fd, 0, static_cast<off_t>(offset), static_cast<off_t>(length)) == 0) return 0;
  return errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL ? 0 : errno;
#else
  (void)fd;
  (void)offset;
  (void)length;
  return 0;
#endif
}

#if TARVEL_LINUX
namespace {

bool IsPseudo(const struct statfs& info) {
  // The magic numbers of proc, sysfs, debugfs, tracefs, securityfs,
  // configfs, cgroup and cgroup2.
  constexpr unsigned long kPseudo[] = {0x9fa0,     0x62656572, 0x64626720, 0x74726163,
                                       0x73636673, 0x62656570, 0x27e0eb,   0x63677270};
  const auto type = static_cast<unsigned long>(info.f_type);
  return std::find(std::begin(kPseudo), std::end(kPseudo), type) != std::end(kPseudo);
}

}  // namespace

bool IsOnPseudoFileSystem(const char* name) {
  struct statfs info {};
  return statfs(name, &info) == 0 && IsPseudo(info);
}

bool IsOnPseudoFileSystem(int fd) {
  struct statfs info {};
  return fstatfs(fd, &info) == 0 && IsPseudo(info);
}
#else
// No portable way tells such file systems apart: a file whose size is not
// its content fails its run as a changed input.
bool IsOnPseudoFileSystem(const char* /*name*/) { return false; }
bool IsOnPseudoFileSystem(int /*fd*/) { return false; }
#endif

bool IsOwnDescriptorFolder(const std::string& folder) {
  // Linux's is /proc/PID/fd, which /dev/fd leads to; the BSDs' is /dev/fd.
  return folder == "/dev/fd" || folder == "/proc/" + std::to_string(getpid()) + "/fd";
}

}  // namespace tarvel
