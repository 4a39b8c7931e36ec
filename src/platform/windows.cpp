// The system calls of Windows. Names are UTF-8 outside and UTF-16 here;
// descriptors are the C runtime's, each over a handle that the calls below
// use directly, in binary, with no translation of line ends.
#include "platform/utf16.h"
//
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <winioctl.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace tarvel {

namespace {

// The errno that a system error code stands for.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_CURRENT_DIRECTORY:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    default:
      return EIO;
  }
}

// Sets errno from the last error and returns `value`.
template <typename T>
T Failed(T value) {
  errno = ErrnoOf(GetLastError());
  return value;
}

// A name as the wide calls take it: a long one made absolute with the
// prefix that lifts the old limit of 260 characters.
std::wstring WideName(const std::string& name) {
  std::wstring wide = Utf16(name);
  if (wide.size() < MAX_PATH - 12 || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return wide;
  std::wstring full(size, L'\0');
  const DWORD got = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  full.resize(got);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// A descriptor over `handle`, which it then owns; -1 with errno set.
int DescriptorOf(HANDLE handle, int flags) {
  if (handle == INVALID_HANDLE_VALUE) return Failed(-1);
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    errno = EMFILE;
  }
  return fd;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::int64_t Nanoseconds(LARGE_INTEGER time) {
  // 100-nanosecond ticks since 1601.
  return static_cast<std::int64_t>(time.QuadPart) * 100;
}

std::optional<FileStatus> StatusOfHandle(HANDLE handle, bool link) {
  FileStatus status;
  const DWORD type = GetFileType(handle) & ~FILE_TYPE_REMOTE;
  if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) {
    status.mode = (type == FILE_TYPE_CHAR ? kKindCharacter : kKindPipe) | 0666;
    return status;
  }
  // The calls by information class, which every handle answers (the older
  // GetFileInformationByHandle() is refused for some standard handles).
  FILE_STANDARD_INFO standard{};
  FILE_BASIC_INFO basic{};
  FILE_ID_INFO id{};
  if (!GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) ||
      !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ||
      !GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
    return Failed(std::optional<FileStatus>());
  }
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  std::memcpy(&low, id.FileId.Identifier, sizeof low);
  std::memcpy(&high, id.FileId.Identifier + 8, sizeof high);
  status.device = id.VolumeSerialNumber;
  status.inode = low ^ (high * 0x9E3779B97F4A7C15ULL);
  status.size = static_cast<std::int64_t>(standard.EndOfFile.QuadPart);
  status.modified = Nanoseconds(basic.LastWriteTime);
  status.changed = Nanoseconds(basic.ChangeTime);
  status.links = standard.NumberOfLinks;
  const DWORD attributes = basic.FileAttributes;
  if (link && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
        tag.ReparseTag == IO_REPARSE_TAG_SYMLINK) {
      status.mode = kKindLink | 0777;
      return status;
    }
  }
  status.mode = standard.Directory != 0                       ? kKindDirectory | 0777
                : (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? kKindRegular | 0444
                                                              : kKindRegular | 0666;
  return status;
}

std::optional<FileStatus> StatusOfName(const std::string& name, bool link) {
  const HANDLE handle =
      CreateFileW(WideName(name).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | (link ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Failed(std::optional<FileStatus>());
  std::optional<FileStatus> status = StatusOfHandle(handle, link);
  const int error = errno;
  CloseHandle(handle);
  errno = error;
  return status;
}

// Where the open file or folder `handle` is now, as a name the wide calls
// take (with the prefix for long names).
std::wstring WhereIs(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = GetFinalPathNameByHandleW(
        handle, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    if (size == 0) return {};
    if (size < path.size()) {
      path.resize(size);
      return path;
    }
    path.resize(size + 1);
  }
}

std::wstring InFolder(int folder, const std::string& name) {
  std::wstring path = WhereIs(HandleOf(folder));
  if (path.empty()) return Utf16(name);
  if (path.back() != L'\\') path += L'\\';
  return path + Utf16(name);
}

}  // namespace

std::uint64_t ProcessNumber() { return GetCurrentProcessId(); }

int UsableCores() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0) return 1;
  return std::max(1, std::popcount(static_cast<std::uint64_t>(process)));
}

std::optional<FileStatus> StatusOf(const std::string& name) { return StatusOfName(name, false); }

std::optional<FileStatus> LinkStatusOf(const std::string& name) { return StatusOfName(name, true); }

std::optional<FileStatus> StatusOfDescriptor(int fd) {
  const HANDLE handle = HandleOf(fd);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return std::nullopt;
  }
  return StatusOfHandle(handle, false);
}

std::filesystem::path PathOf(const std::string& name) { return std::filesystem::path(Utf16(name)); }

int OpenToRead(const std::string& name) {
  return DescriptorOf(CreateFileW(WideName(name).c_str(), GENERIC_READ, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                      _O_RDONLY);
}

int OpenToWrite(const std::string& name, bool empty) {
  const HANDLE handle =
      CreateFileW(WideName(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  // Devices (NUL, CON) cannot be emptied, and need not be.
  if (handle != INVALID_HANDLE_VALUE && empty && GetFileType(handle) == FILE_TYPE_DISK) {
    SetEndOfFile(handle);
  }
  return DescriptorOf(handle, 0);
}

int CloseFile(int fd) { return _close(fd); }

std::int64_t ReadAt(int fd, void* buffer, std::size_t size, std::int64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  DWORD got = 0;
  const auto wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  if (!ReadFile(HandleOf(fd), buffer, wanted, &got, &at)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    return Failed(std::int64_t{-1});
  }
  return got;
}

std::int64_t ReadSome(int fd, void* buffer, std::size_t size) {
  DWORD got = 0;
  const auto wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  if (!ReadFile(HandleOf(fd), buffer, wanted, &got, nullptr)) {
    // The writer of a pipe has gone: the end of its data.
    if (GetLastError() == ERROR_BROKEN_PIPE || GetLastError() == ERROR_HANDLE_EOF) return 0;
    return Failed(std::int64_t{-1});
  }
  return got;
}

std::int64_t WriteSome(int fd, const void* data, std::size_t size) {
  DWORD written = 0;
  const auto wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  if (!WriteFile(HandleOf(fd), data, wanted, &written, nullptr)) {
    return Failed(std::int64_t{-1});
  }
  return written;
}

// Windows has no SIGPIPE: a write into a pipe without a reader fails.
std::int64_t WriteWithoutSigpipe(int fd, const void* data, std::size_t size) {
  return WriteSome(fd, data, size);
}

bool WritesMayRaiseSigpipe(int /*fd*/) { return false; }

std::int64_t Seek(int fd, std::int64_t offset, SeekFrom from) {
  LARGE_INTEGER distance{};
  distance.QuadPart = offset;
  LARGE_INTEGER at{};
  const DWORD method = from == SeekFrom::kStart  ? FILE_BEGIN
                       : from == SeekFrom::kHere ? FILE_CURRENT
                                                 : FILE_END;
  const HANDLE handle = HandleOf(fd);
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    errno = ESPIPE;
    return -1;
  }
  if (!SetFilePointerEx(handle, distance, &at, method)) return Failed(std::int64_t{-1});
  return at.QuadPart;
}

int Resize(int fd, std::int64_t size) {
  // The end of the file moves; where the descriptor stands does not.
  const std::int64_t here = Seek(fd, 0, SeekFrom::kHere);
  if (here < 0 || Seek(fd, size, SeekFrom::kStart) < 0) return errno;
  const bool done = SetEndOfFile(HandleOf(fd)) != 0;
  const int error = done ? 0 : ErrnoOf(GetLastError());
  Seek(fd, here, SeekFrom::kStart);
  return error;
}

// A handle's rights are not told; for a file, a write of nothing is refused
// when the handle may not write. Elsewhere a write that is not allowed fails
// as a write error.
bool OpenForReading(int fd) { return HandleOf(fd) != INVALID_HANDLE_VALUE; }

bool OpenForWriting(int fd) {
  const HANDLE handle = HandleOf(fd);
  if (handle == INVALID_HANDLE_VALUE) return false;
  if (GetFileType(handle) != FILE_TYPE_DISK) return true;
  DWORD written = 0;
  return WriteFile(handle, "", 0, &written, nullptr) != 0;
}

int Duplicate(int fd) {
  HANDLE copy = INVALID_HANDLE_VALUE;
  if (!DuplicateHandle(GetCurrentProcess(), HandleOf(fd), GetCurrentProcess(), &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    return Failed(-1);
  }
  return DescriptorOf(copy, 0);
}

int LockFile(int fd) {
  OVERLAPPED whole{};
  if (!LockFileEx(HandleOf(fd), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    return ErrnoOf(GetLastError());
  }
  return 0;
}

// Files have no owner to hand on here, and their one permission bit is
// read-only, which a file being written must not have yet.
void TakeOwnerAndMode(int /*fd*/, const FileStatus& /*like*/) {}

std::size_t HoleBlock(int fd) {
  const HANDLE handle = HandleOf(fd);
  if (GetFileType(handle) != FILE_TYPE_DISK) return 0;
  // Runs of zeros are holes only in a file marked sparse, where the file
  // system allows it; elsewhere they are written as zeros.
  DWORD returned = 0;
  if (!DeviceIoControl(handle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr)) {
    return 0;
  }
  return std::size_t{1} << 16;
}

int ReserveSpace(int /*fd*/, std::int64_t /*offset*/, std::int64_t /*length*/) { return 0; }

bool IsNoRoom(int error) { return error == ENOSPC; }

const char* PathSeparators() { return "/\\"; }

int NamedDescriptor(const std::string& path) {
  if (path == "/dev/stdin") return 0;
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  return -1;
}

bool FollowLink(std::string& path) {
  const HANDLE handle = CreateFileW(WideName(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Failed(false);
  const std::wstring target = WhereIs(handle);
  CloseHandle(handle);
  if (target.empty()) {
    errno = ENOENT;
    return false;
  }
  path = Utf8(target);
  return true;
}

int OpenFolder(const std::string& name) {
  return DescriptorOf(CreateFileW(WideName(name).c_str(), FILE_LIST_DIRECTORY, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr),
                      _O_RDONLY);
}

bool MayCreateIn(int /*folder*/) { return true; }

int CreateInFolder(int folder, const std::string& name, std::uint32_t mode, bool readable) {
  // Bits without write permission make a read-only file, which the handle
  // made with it may still write.
  const DWORD attributes = (mode & 0200) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
  return DescriptorOf(
      CreateFileW(InFolder(folder, name).c_str(), GENERIC_WRITE | (readable ? GENERIC_READ : 0),
                  kShareAll, nullptr, CREATE_NEW, attributes, nullptr),
      0);
}

int OpenInFolder(int folder, const std::string& name) {
  return DescriptorOf(
      CreateFileW(InFolder(folder, name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
      0);
}

void RemoveFromFolder(int folder, const char* name) {
  const std::wstring path = InFolder(folder, name);
  if (!DeleteFileW(path.c_str())) {
    // A read-only file is removed once it is not.
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
  }
}

int RenameOver(int folder, const std::string& name, const std::string& target, bool replace) {
  // Without MOVEFILE_REPLACE_EXISTING an existing target fails the move
  // (ERROR_ALREADY_EXISTS, EEXIST).
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (!MoveFileExW(InFolder(folder, name).c_str(), WideName(target).c_str(), flags)) {
    return ErrnoOf(GetLastError());
  }
  return 0;
}

int OpenUnnamedFile(const std::string& folder) {
  // A name no other run takes, gone with the last handle.
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::uint64_t state = static_cast<std::uint64_t>(ClockNanoseconds()) ^ (ProcessNumber() << 32);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = folder + "\\tarvel-";
    for (int k = 0; k < 8; ++k) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      name += kLetters[(state >> 33) % (sizeof kLetters - 1)];
    }
    const HANDLE handle =
        CreateFileW(WideName(name).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return DescriptorOf(handle, 0);
    if (GetLastError() != ERROR_FILE_EXISTS) return Failed(-1);
  }
  errno = EEXIST;
  return -1;
}

std::string TemporaryFolder() {
  std::wstring folder(MAX_PATH + 1, L'\0');
  const DWORD size = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
  if (size == 0 || size > folder.size()) return ".";
  folder.resize(size);
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) {
    folder.pop_back();
  }
  return Utf8(folder);
}

bool IsOnPseudoFileSystem(const std::string& /*name*/) { return false; }
bool IsOnPseudoFileSystem(int /*fd*/) { return false; }

}  // namespace tarvel
