// What an output's name leads to: its folder, its last part, a descriptor of
// this process, or the file a symbolic link names.
#pragma once

#include <string>

#include "platform/platform.h"

namespace tarvel {

// The folder part of a path ("." for a bare name, "/" at the root); the
// folders are parted by the system's separators.
std::string FolderOf(const std::string& path);

// The part after the last separator.
std::string LastPartOf(const std::string& path);

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
  FileStatus existing;
  int error = 0;
};
OutputTarget ResolveOutput(const std::string& name);

}  // namespace tarvel
