// The system calls of POSIX systems: Linux, and with TARVEL_PORTABLE (or
// elsewhere) what POSIX and the BSDs have.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <iterator>
#include <string>

#include "platform/platform.h"

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

std::uint64_t ProcessNumber() { return static_cast<std::uint64_t>(getpid()); }

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

namespace {

std::int64_t Nanoseconds(const struct timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

FileStatus StatusFrom(const struct stat& info) {
  FileStatus status;
  status.device = static_cast<std::uint64_t>(info.st_dev);
  status.inode = static_cast<std::uint64_t>(info.st_ino);
  status.mode = static_cast<std::uint32_t>(info.st_mode);
  status.size = static_cast<std::int64_t>(info.st_size);
#if defined(__APPLE__)
  status.modified = Nanoseconds(info.st_mtimespec);
  status.changed = Nanoseconds(info.st_ctimespec);
#else
  status.modified = Nanoseconds(info.st_mtim);
  status.changed = Nanoseconds(info.st_ctim);
#endif
  status.owner = static_cast<std::uint32_t>(info.st_uid);
  status.group = static_cast<std::uint32_t>(info.st_gid);
  status.links = static_cast<std::uint64_t>(info.st_nlink);
  return status;
}

}  // namespace

std::optional<FileStatus> StatusOf(const std::string& name) {
  struct stat info {};
  if (stat(name.c_str(), &info) != 0) return std::nullopt;
  return StatusFrom(info);
}

std::optional<FileStatus> LinkStatusOf(const std::string& name) {
  struct stat info {};
  if (lstat(name.c_str(), &info) != 0) return std::nullopt;
  return StatusFrom(info);
}

std::optional<FileStatus> StatusOfDescriptor(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return std::nullopt;
  return StatusFrom(info);
}

std::filesystem::path PathOf(const std::string& name) { return name; }

int OpenToRead(const std::string& name) { return open(name.c_str(), O_RDONLY | O_CLOEXEC); }

int OpenToWrite(const std::string& name, bool empty) {
  return open(name.c_str(), O_WRONLY | O_CLOEXEC | (empty ? O_TRUNC : 0));
}

int CloseFile(int fd) { return close(fd); }

std::int64_t ReadAt(int fd, void* buffer, std::size_t size, std::int64_t offset) {
  return pread(fd, buffer, size, static_cast<off_t>(offset));
}

std::int64_t ReadSome(int fd, void* buffer, std::size_t size) { return read(fd, buffer, size); }

std::int64_t WriteSome(int fd, const void* data, std::size_t size) { return write(fd, data, size); }

std::int64_t Seek(int fd, std::int64_t offset, SeekFrom from) {
  const int whence = from == SeekFrom::kStart  ? SEEK_SET
                     : from == SeekFrom::kHere ? SEEK_CUR
                                               : SEEK_END;
  return lseek(fd, static_cast<off_t>(offset), whence);
}

int Resize(int fd, std::int64_t size) {
  return ftruncate(fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
}

bool OpenForReading(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_ACCMODE) != O_WRONLY;
}

bool OpenForWriting(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY;
}

int Duplicate(int fd) { return fcntl(fd, F_DUPFD_CLOEXEC, 3); }

int LockFile(int fd) {
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

void TakeOwnerAndMode(int fd, const FileStatus& like) {
  // The owner first: changing it may clear the set-user and group bits.
  if (fchown(fd, static_cast<uid_t>(like.owner), static_cast<gid_t>(like.group)) != 0) {
    (void)!fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(like.group));
  }
  (void)!fchmod(fd, static_cast<mode_t>(like.mode & 07777));
}

std::size_t HoleBlock(int fd) {
  struct stat opened {};
  if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) return 0;
  const auto block = static_cast<std::size_t>(opened.st_blksize);
  return block >= 512 && block <= (std::size_t{1} << 20) && (block & (block - 1)) == 0 ? block : 0;
}

bool IsNoRoom(int error) { return error == ENOSPC || error == EDQUOT; }

int OpenFolder(const std::string& name) {
#if TARVEL_LINUX && defined(O_PATH)
  // Needs no read permission on the folder, only the right to reach it.
  return open(name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
  return open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
}

bool MayCreateIn(int folder) { return faccessat(folder, ".", W_OK, AT_EACCESS) == 0; }

int CreateInFolder(int folder, const std::string& name, std::uint32_t mode, bool readable) {
  return openat(folder, name.c_str(), (readable ? O_RDWR : O_WRONLY) | O_CREAT | O_EXCL | O_CLOEXEC,
                static_cast<mode_t>(mode & 07777));
}

int OpenInFolder(int folder, const std::string& name) {
  return openat(folder, name.c_str(), O_WRONLY | O_CLOEXEC);
}

void RemoveFromFolder(int folder, const char* name) { unlinkat(folder, name, 0); }

int RenameOver(int folder, const std::string& name, const std::string& target, bool replace) {
  if (replace) return renameat(folder, name.c_str(), AT_FDCWD, target.c_str()) == 0 ? 0 : errno;
#if TARVEL_LINUX && defined(RENAME_NOREPLACE)
  if (renameat2(folder, name.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
  // EINVAL: a file system that does not take the flag.
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
#endif
  // A second name that is refused where one exists, then the first one gone.
  if (linkat(folder, name.c_str(), AT_FDCWD, target.c_str(), 0) == 0) {
    unlinkat(folder, name.c_str(), 0);
    return 0;
  }
  if (errno == EEXIST || (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK)) return errno;
  // A file system without hard links: the name is checked, then taken, and
  // only a file made in between could still be replaced.
  struct stat found {};
  if (fstatat(AT_FDCWD, target.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
  return renameat(folder, name.c_str(), AT_FDCWD, target.c_str()) == 0 ? 0 : errno;
}

namespace {

// Whether `folder`, a path with no links left, is this process's own folder
// of descriptors, whose entries are its open descriptors by number: Linux's
// /proc/PID/fd, which /dev/fd leads to; the BSDs' /dev/fd.
bool IsOwnDescriptorFolder(const std::string& folder) {
  return folder == "/dev/fd" || folder == "/proc/" + std::to_string(getpid()) + "/fd";
}

}  // namespace

const char* PathSeparators() { return "/"; }

int NamedDescriptor(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  if (last.empty() || last.size() > 9 ||
      last.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  const std::string folderPath = slash == std::string::npos ? "."
                                 : slash == 0               ? "/"
                                                            : path.substr(0, slash);
  char* folder = realpath(folderPath.c_str(), nullptr);
  if (folder == nullptr) return -1;
  const bool own = IsOwnDescriptorFolder(folder);
  std::free(folder);
  return own ? std::atoi(last.c_str()) : -1;
}

bool FollowLink(std::string& path) {
  std::string target(PATH_MAX, '\0');
  const ssize_t length = readlink(path.c_str(), target.data(), target.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
    if (length >= 0) errno = ENAMETOOLONG;
    return false;
  }
  target.resize(static_cast<std::size_t>(length));
  if (target.front() != '/') {
    const std::size_t slash = path.rfind('/');
    target = (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/" + target;
  }
  path = target;
  return true;
}

int OpenUnnamedFile(const std::string& folder) {
  std::string name = folder + "/tarvel-XXXXXX";
  const int descriptor = mkstemp(name.data());
  if (descriptor < 0) return -1;
  unlink(name.c_str());
  if (fcntl(descriptor, F_SETFD, FD_CLOEXEC) != 0) {
    const int error = errno;
    close(descriptor);
    errno = error;
    return -1;
  }
  return descriptor;
}

std::string TemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return (folder != nullptr && *folder != '\0') ? folder : "/tmp";
}

std::int64_t WriteWithoutSigpipe(int fd, const void* data, std::size_t size) {
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

bool WritesMayRaiseSigpipe(int fd) {
  struct sigaction current {};
  if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) return false;
  struct stat opened {};
  return fstat(fd, &opened) != 0 || S_ISFIFO(opened.st_mode) || S_ISSOCK(opened.st_mode);
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

bool IsOnPseudoFileSystem(const std::string& name) {
  struct statfs info {};
  return statfs(name.c_str(), &info) == 0 && IsPseudo(info);
}

bool IsOnPseudoFileSystem(int fd) {
  struct statfs info {};
  return fstatfs(fd, &info) == 0 && IsPseudo(info);
}
#else
// No portable way tells such file systems apart: a file whose size is not
// its content fails its run as a changed input.
bool IsOnPseudoFileSystem(const std::string& /*name*/) { return false; }
bool IsOnPseudoFileSystem(int /*fd*/) { return false; }
#endif

}  // namespace tarvel
