#include "io/output_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "io/output_path.h"
#include "io/page_buffer.h"
#include "io/spool_file.h"
#include "platform/platform.h"

namespace tarvel {

namespace {

constexpr std::string_view kTemporarySuffix = ".tv-";
constexpr int kTemporaryLetters = 6;
constexpr std::size_t kCopyBytes = std::size_t{1} << 20;

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

// Why no temporary file can be made beside an output by the folder's design,
// where another place will do: no write permission, or a name too long for
// the suffix. Other reasons (a full disk, no descriptors left) refuse the
// output.
bool NoTemporaryByDesign(int error) {
  return error == EACCES || error == EPERM || error == ENAMETOOLONG;
}

void CloseIfOpen(int& descriptor) {
  if (descriptor >= 0) CloseFile(descriptor);
  descriptor = -1;
}

}  // namespace

OutputFile::~OutputFile() {
  Discard();
  CloseIfOpen(folderFd);
}

int OutputFile::Open(const std::string& name, std::uint32_t newMode, bool replace) {
  const OutputTarget found = ResolveOutput(name);
  const FileStatus* existing = &found.existing;
  this->replace = replace;
  switch (found.kind) {
    case OutputTarget::Kind::kUnreachable:
      return found.error;
    case OutputTarget::Kind::kDirectory:
      return EISDIR;
    case OutputTarget::Kind::kDescriptor:
      // A descriptor open only for reading (or one that was closed when the
      // program started, which holds /dev/null that way) is refused.
      return OpenDescriptor(found.descriptor);
    case OutputTarget::Kind::kMissing:
      existing = nullptr;
      [[fallthrough]];
    case OutputTarget::Kind::kRegular:
      if (existing != nullptr && !replace) return EEXIST;
      if (const int error = OpenRegular(found.path, existing, newMode); error != 0) return error;
      break;
    case OutputTarget::Kind::kOther:
      fd = OpenToWrite(found.path, /*empty=*/true);
      if (fd < 0) return errno;
      break;
  }
  NoteOpened(existing);
  return 0;
}

void OutputFile::NoteOpened(const FileStatus* existing) {
  constexpr int kStandardOutput = 1;
  plainWrites = !WritesMayRaiseSigpipe(fd);
  const std::optional<FileStatus> opened = StatusOfDescriptor(fd);
  const std::optional<FileStatus> standard = StatusOfDescriptor(kStandardOutput);
  standardOutput = standard && ((opened && standard->SameFileAs(*opened)) ||
                                (existing != nullptr && standard->SameFileAs(*existing)));
}

int OutputFile::OpenDescriptor(int given) {
  if (!OpenForWriting(given)) return EBADF;
  fd = Duplicate(given);
  if (fd < 0) return errno;
  NoteOpened(nullptr);
  return 0;
}

int OutputFile::OpenRegular(const std::string& path, const FileStatus* existing,
                            std::uint32_t newMode) {
  target = path;
  targetMode = newMode;
  // An existing output must be writable as it stands: the rename would
  // otherwise get around its permissions.
  if (existing != nullptr) {
    targetFd = OpenToWrite(path, /*empty=*/false);
    if (targetFd < 0) return errno;
  }
  folderFd = OpenFolder(FolderOf(path));
  // A missing folder, among others; one that cannot be read (where opening
  // a folder needs that) has no temporary file by design, and the target
  // is then reached by its path.
  if (folderFd < 0 && errno != EACCES) return errno;
  // Every name of a file with other hard links must see the new data.
  const bool keepInode = existing != nullptr && existing->links > 1;
  fd = folderFd < 0 ? -1 : CreateTemporary(existing != nullptr ? 0600 : newMode);
  if (folderFd < 0) errno = EACCES;
  if (fd >= 0) {
    kind = keepInode ? Kind::kCopyOver : Kind::kTemporary;
    AllowHoles();
    if (kind == Kind::kTemporary && existing != nullptr) {
      TakeOwnerAndMode(fd, *existing);
      CloseIfOpen(targetFd);
    }
    return 0;
  }
  const int error = errno;
  if (!NoTemporaryByDesign(error)) return error;
  // A missing output can still be made later if only its name is too long
  // for the suffix, and the folder is writable.
  if (existing == nullptr && (folderFd < 0 || error != ENAMETOOLONG || !MayCreateIn(folderFd))) {
    return error;
  }
  fd = OpenUnnamedFile(TemporaryFolder());
  if (fd < 0) return errno;
  kind = Kind::kCopyOver;
  AllowHoles();
  return 0;
}

int OutputFile::CreateTemporary(std::uint32_t mode) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  // Letters that differ between runs and attempts; O_EXCL makes the name
  // safe, so they need not be unpredictable. (No device is opened for them:
  // that could fail when descriptors run out.)
  std::uint64_t state = static_cast<std::uint64_t>(ClockNanoseconds()) ^ (ProcessNumber() << 32) ^
                        reinterpret_cast<std::uintptr_t>(this);
  const std::string base = LastPartOf(target) + std::string(kTemporarySuffix);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = base;
    for (int k = 0; k < kTemporaryLetters; ++k) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      name += kLetters[(state >> 33) % (sizeof kLetters - 1)];
    }
    int error = 0;
    {
      const Entered entered(watcher);
      const int created = CreateInFolder(folderFd, name, mode, /*readable=*/true);
      if (created >= 0) {
        temporaryName = std::move(name);
        Pending(temporaryName.c_str());
        return created;
      }
      error = errno;
    }
    if (error != EEXIST) {
      errno = error;
      return -1;
    }
  }
  errno = EEXIST;
  return -1;
}

void OutputFile::AllowHoles(std::uint64_t from) {
  holeBlock = HoleBlock(fd);
  holesFrom = from;
}

void OutputFile::Pending(const char* name) {
  if (watcher != nullptr) watcher->Pending(folderFd, name);
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
    if (offset >= holesFrom && IsZero(data, chunk)) {
      if (pendingSize > 0 && !WriteAll(pending, pendingSize)) return false;
      pendingSize = 0;
      hole += chunk;
      sparse = true;
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
    if (Seek(fd, static_cast<std::int64_t>(hole), SeekFrom::kHere) < 0) {
      writeError = errno;
      return false;
    }
    hole = 0;
  }
  while (size > 0) {
    const std::int64_t written =
        plainWrites ? WriteSome(fd, data, size) : WriteWithoutSigpipe(fd, data, size);
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
  // A hole at the end is made by the file's size.
  if (writeError == 0 && fd >= 0 && hole > 0) {
    writeError = Resize(fd, static_cast<std::int64_t>(offset));
  }
  if (writeError != 0 || fd < 0 || (kind == Kind::kCopyOver && !CopyOver())) {
    Discard();
    return appeared ? CommitStatus::kExists : CommitStatus::kWriteFailed;
  }
  // Signals held back from the close on: an output complete at its name
  // must not be removed by a signal after that.
  const Entered entered(watcher);
  int& closing = kind == Kind::kCopyOver ? targetFd : fd;
  const int closed = CloseFile(closing);
  closing = -1;
  if (closed != 0) {
    writeError = errno;
    Discard();
    return CommitStatus::kWriteFailed;
  }
  // To the name as given: if its folder was renamed meanwhile, the rename
  // fails rather than put the output elsewhere.
  if (kind == Kind::kTemporary) {
    if (const int error = RenameOver(folderFd, temporaryName, target, replace); error != 0) {
      Discard();
      return error == EEXIST && !replace ? CommitStatus::kExists : CommitStatus::kReplaceFailed;
    }
  }
  if (kind == Kind::kTemporary) {
    Pending(nullptr);
    temporaryName.clear();
  }
  targetMade = false;
  Discard();  // what is left: the copy's temporary file
  return CommitStatus::kDone;
}

int OutputFile::OpenTarget() {
  const std::string last = LastPartOf(target);
  const int made = CreateInFolder(folderFd, last, targetMode, /*readable=*/false);
  if (made >= 0 || errno != EEXIST) {
    targetMade = made >= 0;
    return made;
  }
  // Made meanwhile, by a run at once or by someone else: it is another
  // run's to replace, never this one's without `replace`.
  if (!replace) {
    appeared = true;
    return -1;
  }
  return OpenInFolder(folderFd, last);
}

bool OutputFile::CopyOver() {
  const PageBuffer copy(kCopyBytes);
  const std::uint64_t size = offset;
  const int from = fd;
  const auto fail = [&](int error) {
    writeError = error;
    fd = from;  // closed and removed by Discard()
    return false;
  };
  if (targetFd < 0 && (targetFd = OpenTarget()) < 0) return fail(errno);
  // One copy at a time over one file; a signal while waiting for it leaves
  // the file as it was.
  if (const int error = LockFile(targetFd); error != 0) return fail(error);
  const Entered entered(watcher);
  const std::optional<FileStatus> now = StatusOfDescriptor(targetFd);
  if (!now) return fail(errno);
  const auto oldSize = static_cast<std::uint64_t>(now->size);
  // Room beyond the old size is set aside first, so that a full disk is
  // found before a byte of the file changes (but for holes to come).
  if (!sparse && size > oldSize) {
    const int error = ReserveSpace(targetFd, static_cast<std::int64_t>(oldSize),
                                   static_cast<std::int64_t>(size - oldSize));
    if (error != 0) return fail(error);
  }
  if (Seek(targetFd, 0, SeekFrom::kStart) != 0) return fail(errno);
  // The old bytes are all overwritten; beyond them, zero blocks become holes.
  fd = targetFd;
  offset = 0;
  hole = 0;
  AllowHoles(oldSize);
  for (std::uint64_t done = 0; done < size;) {
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBytes, size - done));
    const std::int64_t got = ReadAt(from, copy.Get(), wanted, static_cast<std::int64_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return fail(got < 0 ? errno : EIO);
    if (!Write(copy.Bytes(), static_cast<std::size_t>(got))) return fail(writeError);
    done += static_cast<std::uint64_t>(got);
  }
  if (const int error = Resize(targetFd, static_cast<std::int64_t>(size)); error != 0) {
    return fail(error);
  }
  fd = from;
  return true;
}

void OutputFile::Discard() {
  CloseIfOpen(fd);
  CloseIfOpen(targetFd);
  if (temporaryName.empty() && !targetMade) return;
  const Entered entered(watcher);
  if (!temporaryName.empty()) {
    RemoveFromFolder(folderFd, temporaryName.c_str());
    Pending(nullptr);
    temporaryName.clear();
  }
  if (targetMade) RemoveFromFolder(folderFd, LastPartOf(target).c_str());
  targetMade = false;
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
