// What the library asks of the operating system: the clock, the cores it
// may use, files by descriptor and by name, folders, temporary files. One
// implementation per system (posix.cpp, windows.cpp) and what they share
// (common.cpp); the rules on outputs are written once, above this, in io/.
//
// Names are UTF-8. Descriptors are the C runtime's on every system. Every
// call that can fail says so with errno, as POSIX calls do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace tarvel {

// Wall-clock milliseconds, and nanoseconds, on a clock that never goes
// backwards.
std::int64_t ClockMilliseconds();
std::int64_t ClockNanoseconds();

// This process's number, as the system knows it.
std::uint64_t ProcessNumber();

// The cores this process may run on: its affinity mask, as `taskset` sets it
// (on Linux and Windows; elsewhere the cores online).
int UsableCores();

// How many threads should work on an input of `bytes`: one below a
// megabyte, where a second would cost more to start than it saves; else
// one per usable core, up to four.
int ThreadsFor(std::int64_t bytes);

// `asked` threads when it is positive, but no more than UsableCores(): more
// would only cost memory. Else ThreadsFor(bytes).
int ThreadsFor(int asked, std::int64_t bytes);

// The kinds of file, in the bits of FileStatus::mode that POSIX gives them
// (and that the Windows calls give them too).
inline constexpr std::uint32_t kKindBits = 0170000;
inline constexpr std::uint32_t kKindRegular = 0100000;
inline constexpr std::uint32_t kKindDirectory = 0040000;
inline constexpr std::uint32_t kKindCharacter = 0020000;
inline constexpr std::uint32_t kKindBlockDevice = 0060000;
inline constexpr std::uint32_t kKindPipe = 0010000;
inline constexpr std::uint32_t kKindLink = 0120000;

// What a name or a descriptor leads to.
struct FileStatus {
  std::uint64_t device = 0;  // with `inode`, which file it is, under any name
  std::uint64_t inode = 0;
  std::uint32_t mode = 0;  // the kind of file and its permission bits, as POSIX has them
  std::int64_t size = 0;
  // The last change of the data and of the status, in nanoseconds.
  std::int64_t modified = 0;
  std::int64_t changed = 0;
  std::uint32_t owner = 0;  // where the system has owners
  std::uint32_t group = 0;
  std::uint64_t links = 1;  // names the file has

  bool IsRegular() const;
  bool IsDirectory() const;
  bool IsBlockDevice() const;
  bool IsLink() const;  // only from LinkStatusOf()
  // Device and inode: one file, under whatever names.
  bool SameFileAs(const FileStatus& other) const;
  // The same size and the same times of the last changes: nothing was
  // written to the file in between (as far as the file system tells).
  bool UnchangedSince(const FileStatus& before) const;
};

// The status of `name`, links followed, or nothing when it does not exist or
// cannot be reached (errno says why).
std::optional<FileStatus> StatusOf(const std::string& name);

// The status of `name` itself: a symbolic link is not followed.
std::optional<FileStatus> LinkStatusOf(const std::string& name);

// The status of the file open as `fd`, or nothing.
std::optional<FileStatus> StatusOfDescriptor(int fd);

// `name` as the standard library's file streams and std::filesystem take it.
std::filesystem::path PathOf(const std::string& name);

// ---- Files by descriptor ----

// Opens the file `name` for reading; -1 with errno set when it cannot be.
int OpenToRead(const std::string& name);

// Opens the existing file `name` for writing, emptied when `empty`; -1 with
// errno set.
int OpenToWrite(const std::string& name, bool empty);

// Closes `fd`: 0, or -1 with errno set (the descriptor is gone either way).
int CloseFile(int fd);

// Reads up to `size` bytes at `offset` of the file, as pread() does: the
// count, 0 at the end, or -1 with errno set. Other threads may read the same
// descriptor at once.
std::int64_t ReadAt(int fd, void* buffer, std::size_t size, std::int64_t offset);

// Reads up to `size` bytes from where `fd` stands, as read() does.
std::int64_t ReadSome(int fd, void* buffer, std::size_t size);

// Writes up to `size` bytes where `fd` stands, as write() does.
std::int64_t WriteSome(int fd, const void* data, std::size_t size);

// The same, except that a pipe whose reader has gone fails it with EPIPE
// without a SIGPIPE reaching the process, whatever the process does with
// that signal (where there is such a signal): the signal is held back in
// this thread around the write, and one that the write raised is taken back.
std::int64_t WriteWithoutSigpipe(int fd, const void* data, std::size_t size);

// Whether a write to `fd` may raise SIGPIPE: a pipe or a socket, in a
// process that does not ignore the signal. Elsewhere a plain write will do.
bool WritesMayRaiseSigpipe(int fd);

enum class SeekFrom { kStart, kHere, kEnd };
// Moves where `fd` stands: the new offset, or -1 with errno set.
std::int64_t Seek(int fd, std::int64_t offset, SeekFrom from);

// Cuts or extends the file open as `fd` to `size` bytes: 0, or the errno.
int Resize(int fd, std::int64_t size);

// Whether `fd` is open for reading; for writing.
bool OpenForReading(int fd);
bool OpenForWriting(int fd);

// A copy of `fd` that is not inherited by programs started later, and is
// none of the standard descriptors; -1 with errno set.
int Duplicate(int fd);

// Waits for an exclusive lock on the whole file open as `fd`, which every
// run writing the file takes too: 0, or the errno.
int LockFile(int fd);

// Gives the file open as `fd` the permission bits of `like`, and its owner
// and group where the system allows.
void TakeOwnerAndMode(int fd, const FileStatus& like);

// The size of the file system's blocks, when runs of zeros written to the
// regular file open as `fd` should be sought over and left as holes (a power
// of two from 512 bytes to 1 MiB); else 0.
std::size_t HoleBlock(int fd);

// Sets aside room for `length` bytes of the regular file open as `fd` from
// `offset` on, growing it to that size, so that writing them later cannot
// find the disk full. 0, or the errno of why there is no room (ENOSPC,
// EDQUOT, EFBIG); 0 also where the file system cannot set room aside.
int ReserveSpace(int fd, std::int64_t offset, std::int64_t length);

// Whether `error` says that there is no room: no space, or over a quota.
bool IsNoRoom(int error);

// ---- Names ----

// The characters that part a path's folders: "/" on POSIX systems, "/" and
// "\\" on Windows.
const char* PathSeparators();

// The descriptor that `path` names, when it names one of this process's own,
// or -1: on Linux /dev/fd/N and /proc/self/fd/N (where /dev/stdout and its
// kin lead), on the BSDs /dev/fd/N, on Windows /dev/stdin, /dev/stdout and
// /dev/stderr.
int NamedDescriptor(const std::string& path);

// Replaces `path`, a symbolic link, with where it leads; false with errno
// set when the link cannot be read.
bool FollowLink(std::string& path);

// ---- Folders ----

// Opens the folder `name` only to create and remove files in it; -1 with
// errno set when it cannot be opened. On Linux it needs no read permission
// on the folder (O_PATH); elsewhere it may. CloseFile() closes it.
int OpenFolder(const std::string& name);

// Whether this process may create files in `folder`.
bool MayCreateIn(int folder);

// Creates the file `name` in `folder`, which must not exist yet, with the
// permission bits `mode` less the umask, open for writing (and reading, with
// `readable`); -1 with errno set (EEXIST when it exists).
int CreateInFolder(int folder, const std::string& name, std::uint32_t mode, bool readable);

// Opens the existing file `name` in `folder` for writing; -1 with errno.
int OpenInFolder(int folder, const std::string& name);

// Removes the file `name` from `folder`. Safe in a signal handler.
void RemoveFromFolder(int folder, const char* name);

// Renames the closed file `name` in `folder` over `target` (a path), in one
// step: 0, or the errno. Without `replace`, a `target` that exists (whatever
// it is, and however late it appeared) is never replaced: EEXIST says so,
// and `name` stays.
int RenameOver(int folder, const std::string& name, const std::string& target, bool replace);

// ---- Temporary files ----

// A descriptor open for reading and writing on a new, empty file in
// `folder` whose name is already gone, so that the file disappears when it
// is closed or the process ends, however it ends; -1 with errno set.
int OpenUnnamedFile(const std::string& folder);

// The folder for temporary files: $TMPDIR, else /tmp (on Windows, %TEMP%).
std::string TemporaryFolder();

// ---- The system's own file systems ----

// Whether `name` lies on a file system whose files are made up as they are
// read (proc, sysfs and their kin): their sizes are not their contents.
// Only on Linux; elsewhere always false.
bool IsOnPseudoFileSystem(const std::string& name);
bool IsOnPseudoFileSystem(int fd);

}  // namespace tarvel
