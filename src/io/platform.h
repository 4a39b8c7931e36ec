// What the two programs ask of the operating system besides streams: the
// clock, the cores they may use, and what a file name leads to.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace tarvel {

// Wall-clock milliseconds on a clock that never goes backwards.
std::int64_t ClockMilliseconds();

// The cores this process may run on: its affinity mask, as `taskset` sets it.
int UsableCores();

// How many threads should work on an input of `bytes`: one below a
// megabyte, where a second would cost more to start than it saves; else
// one per usable core, up to four.
int ThreadsFor(std::int64_t bytes);

// `asked` threads when it is positive, else ThreadsFor(bytes).
int ThreadsFor(int asked, std::int64_t bytes);

// What a name leads to, links followed.
struct FileStatus {
  dev_t device = 0;
  ino_t inode = 0;
  mode_t mode = 0;
  std::int64_t size = 0;

  bool IsRegular() const;
  bool IsDirectory() const;
  bool IsBlockDevice() const;
  // Device and inode: one file, under whatever names.
  bool SameFileAs(const FileStatus& other) const;
};

// The status of `name`, or nothing when it does not exist or cannot be
// reached.
std::optional<FileStatus> StatusOf(const char* name);

// Whether `name` lies on a file system whose files are made up as they are
// read (proc, sysfs and their kin): their sizes are not their contents.
bool IsOnPseudoFileSystem(const char* name);

}  // namespace tarvel
