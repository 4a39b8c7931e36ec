#include "io/output_path.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string_view>

#include "io/platform.h"

namespace tarvel {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string LastPartOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int NamedDescriptor(const std::string& path) {
  const std::string last = LastPartOf(path);
  if (last.empty() || last.size() > 9 ||
      last.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  char* folder = realpath(FolderOf(path).c_str(), nullptr);
  if (folder == nullptr) return -1;
  const bool own = IsOwnDescriptorFolder(folder);
  std::free(folder);
  return own ? std::atoi(last.c_str()) : -1;
}

bool FollowLink(std::string& path) {
  std::string target(PATH_MAX, '\0');
  const ssize_t length = readlink(path.c_str(), target.data(), target.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return false;
  target.resize(static_cast<std::size_t>(length));
  path = target.front() == '/' ? target : FolderOf(path) + "/" + target;
  return true;
}

}  // namespace tarvel
