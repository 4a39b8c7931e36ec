#include "io/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string_view>

namespace tarvel {

namespace {

constexpr std::string_view kTemporarySuffix = ".tv-";
constexpr int kTemporaryLetters = 6;
constexpr int kMaxLinkHops = 40;

// The folder part of a path ("." for a bare name) and the last part.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string LastPartOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The descriptor that `path` names when its folder is this process's own
// descriptor folder (/dev/fd, /proc/self/fd, /proc/PID/fd), or -1.
int NamedDescriptor(const std::string& path) {
  const std::string last = LastPartOf(path);
  if (last.empty() || last.size() > 9 ||
      last.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  char* folder = realpath(FolderOf(path).c_str(), nullptr);
  if (folder == nullptr) return -1;
  const bool own = std::string_view(folder) == "/proc/" + std::to_string(getpid()) + "/fd";
  std::free(folder);
  return own ? std::atoi(last.c_str()) : -1;
}

// Replaces `path`, a symbolic link, with where it leads.
bool FollowLink(std::string& path) {
  std::string target(PATH_MAX, '\0');
  const ssize_t length = readlink(path.c_str(), target.data(), target.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return false;
  target.resize(static_cast<std::size_t>(length));
  path = target.front() == '/' ? target : FolderOf(path) + "/" + target;
  return true;
}

// Holds the watcher's signals back for the life of the object.
class Entered {
 public:
  explicit Entered(OutputWatcher* watcher) : watcher(watcher) {
    if (watcher != nullptr) watcher->Enter();
  }
  ~Entered() {
    if (watcher != nullptr) watcher->Leave();
  }
  Entered(const Entered&) = delete;
  Entered& operator=(const Entered&) = delete;

 private:
  OutputWatcher* watcher;
};

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

OutputFile::~OutputFile() {
  Discard();
  if (folderFd >= 0) close(folderFd);
}

bool OutputFile::Open(const std::string& name, mode_t newMode) {
  if (name.empty() || name.back() == '/') return false;
  std::string target = name;
  struct stat existing {};
  bool exists = false;
  for (int hops = 0;; ++hops) {
    const int named = NamedDescriptor(target);
    if (named >= 0) {
      fd = fcntl(named, F_DUPFD_CLOEXEC, 3);
      if (fd < 0) return false;
      exists = fstat(fd, &existing) == 0;
      break;
    }
    if (lstat(target.c_str(), &existing) != 0) {
      if (errno != ENOENT) return false;
      if (!OpenRegular(target, nullptr, newMode)) return false;
      break;
    }
    exists = true;
    if (S_ISLNK(existing.st_mode)) {
      if (hops == kMaxLinkHops || !FollowLink(target)) return false;
      continue;
    }
    if (S_ISDIR(existing.st_mode)) return false;
    if (S_ISREG(existing.st_mode)) {
      if (!OpenRegular(target, &existing, newMode)) return false;
    } else {
      fd = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
      if (fd < 0) return false;
    }
    break;
  }
  struct stat standard {};
  struct stat opened {};
  if (fstat(STDOUT_FILENO, &standard) == 0) {
    standardOutput = (fstat(fd, &opened) == 0 && SameFile(standard, opened)) ||
                     (exists && SameFile(standard, existing));
  }
  return true;
}

bool OutputFile::OpenRegular(const std::string& target, const struct stat* existing,
                             mode_t newMode) {
  // An existing output must be writable as it stands: the rename would
  // otherwise get around its permissions.
  int inPlace = -1;
  if (existing != nullptr) {
    inPlace = open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (inPlace < 0) return false;
  }
  // Every name of a file with other hard links must see the new data.
  if (existing == nullptr || existing->st_nlink == 1) {
    const Entered entered(watcher);
    std::string temporary;
    // The folder first: the temporary file is made and removed through it.
    folderFd = open(FolderOf(target).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    fd = folderFd < 0 ? -1
                      : CreateTemporary(target, existing != nullptr ? 0600 : newMode, temporary);
    if (fd >= 0) {
      kind = Kind::kTemporary;
      finalName = target;
      writtenName = temporary;
      Pending(writtenName.c_str());
    } else if (errno == ENOENT || errno == ENOTDIR) {
      if (inPlace >= 0) close(inPlace);
      return false;  // no such folder
    }
  }
  if (fd >= 0) {
    AllowHoles();
    if (existing != nullptr) {
      // The owner first: changing it may clear the set-user and group bits.
      if (fchown(fd, existing->st_uid, existing->st_gid) != 0) {
        (void)!fchown(fd, static_cast<uid_t>(-1), existing->st_gid);
      }
      fchmod(fd, existing->st_mode & 07777);
      close(inPlace);
    }
    return true;
  }

  // In place: the output's own name, emptied or created.
  const Entered entered(watcher);
  if (inPlace >= 0) {
    if (ftruncate(inPlace, 0) != 0) {
      close(inPlace);
      return false;
    }
    fd = inPlace;
  } else {
    fd = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, newMode & 07777);
    if (fd < 0) return false;
  }
  kind = Kind::kInPlace;
  AllowHoles();
  writtenName = target;
  Pending(writtenName.c_str());
  return true;
}

int OutputFile::CreateTemporary(const std::string& target, mode_t mode, std::string& name) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device device;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = target;
    name += kTemporarySuffix;
    for (int k = 0; k < kTemporaryLetters; ++k) name += kLetters[pick(device)];
    const int created = openat(folderFd, LastPartOf(name).c_str(),
                               O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode & 07777);
    if (created >= 0 || errno != EEXIST) return created;
  }
  return -1;
}

void OutputFile::AllowHoles() {
  struct stat opened {};
  if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) return;
  const auto block = static_cast<std::size_t>(opened.st_blksize);
  // A power of two from a sector to a megabyte; else no holes.
  if (block >= 512 && block <= (std::size_t{1} << 20) && (block & (block - 1)) == 0) {
    holeBlock = block;
  }
}

void OutputFile::Pending(const char* name) {
  if (watcher != nullptr) watcher->Pending(name);
}

bool OutputFile::Write(const std::uint8_t* data, std::size_t size) {
  if (writeError != 0 || fd < 0) return false;
  if (holeBlock == 0) return WriteAll(data, size);
  // The bytes go in pieces that end on file-system block boundaries. A piece
  // of zeros is not written but sought over when the next bytes come (or
  // made by the final size): a whole block of them stays a hole, and one in
  // part of a block reads back as zeros all the same. The other pieces are
  // written together.
  const std::uint8_t* pending = data;
  std::size_t pendingSize = 0;
  while (size > 0) {
    const std::size_t intoBlock = static_cast<std::size_t>(offset % holeBlock);
    const std::size_t chunk = std::min(size, holeBlock - intoBlock);
    if (IsZero(data, chunk)) {
      if (pendingSize > 0 && !WriteAll(pending, pendingSize)) return false;
      pendingSize = 0;
      hole += chunk;
    } else {
      if (pendingSize == 0) pending = data;
      pendingSize += chunk;
    }
    data += chunk;
    size -= chunk;
    offset += chunk;
  }
  return pendingSize == 0 || WriteAll(pending, pendingSize);
}

bool OutputFile::IsZero(const std::uint8_t* data, std::size_t size) {
  return data[0] == 0 && std::memcmp(data, data + 1, size - 1) == 0;
}

bool OutputFile::WriteAll(const std::uint8_t* data, std::size_t size) {
  if (hole > 0) {
    if (lseek(fd, static_cast<off_t>(hole), SEEK_CUR) < 0) {
      writeError = errno;
      return false;
    }
    hole = 0;
  }
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      writeError = errno;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

OutputFile::CommitStatus OutputFile::Commit() {
  if (writeError != 0 || fd < 0) {
    Discard();
    return CommitStatus::kWriteFailed;
  }
  // A hole at the end is made by the file's size.
  if (hole > 0 && ftruncate(fd, static_cast<off_t>(offset)) != 0) {
    writeError = errno;
    Discard();
    return CommitStatus::kWriteFailed;
  }
  // Signals held back from the close on: an output written in place is
  // complete once closed, and must not be removed by a signal after that.
  const Entered entered(watcher);
  const int closed = close(fd);
  fd = -1;
  if (closed != 0) {
    writeError = errno;
    Discard();
    return CommitStatus::kWriteFailed;
  }
  if (kind == Kind::kTemporary && rename(writtenName.c_str(), finalName.c_str()) != 0) {
    Discard();
    return CommitStatus::kReplaceFailed;
  }
  Pending(nullptr);
  writtenName.clear();
  return CommitStatus::kDone;
}

void OutputFile::Discard() {
  if (fd >= 0) {
    close(fd);
    fd = -1;
  }
  if (writtenName.empty()) return;
  const Entered entered(watcher);
  if (folderFd >= 0) {
    unlinkat(folderFd, LastPartOf(writtenName).c_str(), 0);
  } else {
    unlink(writtenName.c_str());
  }
  Pending(nullptr);
  writtenName.clear();
}

OutputFile::Buffer::int_type OutputFile::Buffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const auto byte = static_cast<std::uint8_t>(traits_type::to_char_type(c));
  return owner.Write(&byte, 1) ? c : traits_type::eof();
}

std::streamsize OutputFile::Buffer::xsputn(const char* data, std::streamsize size) {
  return owner.Write(reinterpret_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size))
             ? size
             : 0;
}

}  // namespace tarvel
