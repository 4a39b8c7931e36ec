#include "io/output_path.h"

#include <unistd.h>

#include <cerrno>
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

OutputTarget ResolveOutput(const std::string& name) {
  constexpr int kMaxLinkHops = 40;
  OutputTarget target;
  if (name.empty() || name.back() == '/') {
    target.error = EISDIR;
    return target;
  }
  target.path = name;
  for (int hops = 0;; ++hops) {
    target.descriptor = NamedDescriptor(target.path);
    if (target.descriptor >= 0) {
      target.kind = OutputTarget::Kind::kDescriptor;
      return target;
    }
    if (lstat(target.path.c_str(), &target.existing) != 0) {
      target.error = errno;
      target.kind =
          errno == ENOENT ? OutputTarget::Kind::kMissing : OutputTarget::Kind::kUnreachable;
      return target;
    }
    if (!S_ISLNK(target.existing.st_mode)) break;
    if (hops == kMaxLinkHops) {
      target.error = ELOOP;
      return target;
    }
    if (!FollowLink(target.path)) {
      target.error = errno != 0 ? errno : ENOENT;
      return target;
    }
  }
  target.kind = S_ISDIR(target.existing.st_mode)   ? OutputTarget::Kind::kDirectory
                : S_ISREG(target.existing.st_mode) ? OutputTarget::Kind::kRegular
                                                   : OutputTarget::Kind::kOther;
  return target;
}

}  // namespace tarvel
