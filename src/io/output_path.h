// What an output's name leads to: its folder, its last part, a descriptor of
// this process, or the file a symbolic link names.
#pragma once

#include <sys/stat.h>

#include <string>

namespace tarvel {

// The folder part of a path ("." for a bare name, "/" at the root).
std::string FolderOf(const std::string& path);

// The part after the last slash.
std::string LastPartOf(const std::string& path);

// The descriptor that `path` names when its folder is this process's own
// descriptor folder (/dev/fd, /proc/self/fd, /proc/PID/fd), or -1.
int NamedDescriptor(const std::string& path);

// Replaces `path`, a symbolic link, with where it leads; false when the
// link cannot be read.
bool FollowLink(std::string& path);

// Where an output's name leads, symbolic links followed.
struct OutputTarget {
  enum class Kind {
    kDescriptor,  // a descriptor of this process: `descriptor`
    kMissing,     // nothing yet at `path`
    kRegular,     // a regular file at `path`, as `existing` describes it
    kDirectory,
    kOther,        // a device, a FIFO, a socket at `path`
    kUnreachable,  // `error` says why
  };
  Kind kind = Kind::kUnreachable;
  std::string path;
  int descriptor = -1;
  struct stat existing {};
  int error = 0;
};
OutputTarget ResolveOutput(const std::string& name);

}  // namespace tarvel
