// What an output's name leads to: its folder, its last part, a descriptor of
// this process, or the file a symbolic link names.
#pragma once

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

}  // namespace tarvel
