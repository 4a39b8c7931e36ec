// What the two programs ask of the operating system besides streams: the
// clock, the cores they may use, and what a file name leads to.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tarvel {

// Wall-clock milliseconds, and nanoseconds, on a clock that never goes
// backwards.
std::int64_t ClockMilliseconds();
std::int64_t ClockNanoseconds();

// The cores this process may run on: its affinity mask, as `taskset` sets it
// (on Linux; elsewhere the cores online).
int UsableCores();

// How many threads should work on an input of `bytes`: one below a
// megabyte, where a second would cost more to start than it saves; else
// one per usable core, up to four.
int ThreadsFor(std::int64_t bytes);

// `asked` threads when it is positive, but no more than UsableCores(): more
// would only cost memory. Else ThreadsFor(bytes).
int ThreadsFor(int asked, std::int64_t bytes);

// What a name leads to, links followed.
struct FileStatus {
  dev_t device = 0;
  ino_t inode = 0;
  mode_t mode = 0;
  std::int64_t size = 0;
  // The last change of the data and of the status, in nanoseconds.
  std::int64_t modified = 0;
  std::int64_t changed = 0;

  bool IsRegular() const;
  bool IsDirectory() const;
  bool IsBlockDevice() const;
  // Device and inode: one file, under whatever names.
  bool SameFileAs(const FileStatus& other) const;
  // The same size and the same times of the last changes: nothing was
  // written to the file in between (as far as the file system tells).
  bool UnchangedSince(const FileStatus& before) const;
};

// The status of `name`, or nothing when it does not exist or cannot be
// reached.
std::optional<FileStatus> StatusOf(const char* name);

// The status of the file open as `fd`, or nothing.
std::optional<FileStatus> StatusOfDescriptor(int fd);

// Opens the folder `name` only to create and remove files in it; -1 with
// errno set when it cannot be opened. On Linux it needs no read permission
// on the folder (O_PATH); elsewhere it does.
int OpenFolder(const char* name);

// Writes up to `size` bytes to `fd`, as write() does, except that a pipe
// whose reader has gone fails it with EPIPE without a SIGPIPE reaching the
// process, whatever the process does with that signal: the signal is held
// back in this thread around the write, and one that the write raised is
// taken back.
ssize_t WriteWithoutSigpipe(int fd, const void* data, std::size_t size);

// Whether the process ignores SIGPIPE, so that a plain write() is enough.
bool SigpipeIgnored();

// Sets aside room for `length` bytes of the regular file open as `fd` from
// `offset` on, growing it to that size, so that writing them later cannot
// find the disk full. 0, or the errno of why there is no room (ENOSPC,
// EDQUOT, EFBIG); 0 also where the file system cannot set room aside.
int ReserveSpace(int fd, std::int64_t offset, std::int64_t length);

// Whether `name` lies on a file system whose files are made up as they are
// read (proc, sysfs and their kin): their sizes are not their contents.
// Only on Linux; elsewhere always false.
bool IsOnPseudoFileSystem(const char* name);
bool IsOnPseudoFileSystem(int fd);

// Whether `folder`, a path with no links left, is this process's own folder
// of descriptors, whose entries are its open descriptors by number.
bool IsOwnDescriptorFolder(const std::string& folder);

}  // namespace tarvel
