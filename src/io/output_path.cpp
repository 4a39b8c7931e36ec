#include "io/output_path.h"

#include <cerrno>
#include <string_view>

#include "platform/platform.h"

namespace tarvel {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of(PathSeparators());
  if (slash == std::string::npos) return ".";
  std::string folder = path.substr(0, slash == 0 ? 1 : slash);
  // A drive's root ("C:/" on Windows; elsewhere the same folder as "C:").
  if (folder.back() == ':') folder += path[slash];
  return folder;
}

std::string LastPartOf(const std::string& path) {
  const std::size_t slash = path.find_last_of(PathSeparators());
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

OutputTarget ResolveOutput(const std::string& name) {
  constexpr int kMaxLinkHops = 40;
  OutputTarget target;
  if (name.empty() || std::string_view(PathSeparators()).find(name.back()) != std::string::npos) {
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
    const std::optional<FileStatus> found = LinkStatusOf(target.path);
    if (!found) {
      target.error = errno;
      target.kind =
          errno == ENOENT ? OutputTarget::Kind::kMissing : OutputTarget::Kind::kUnreachable;
      return target;
    }
    target.existing = *found;
    if (!target.existing.IsLink()) break;
    if (hops == kMaxLinkHops) {
      target.error = ELOOP;
      return target;
    }
    if (!FollowLink(target.path)) {
      target.error = errno != 0 ? errno : ENOENT;
      return target;
    }
  }
  target.kind = target.existing.IsDirectory() ? OutputTarget::Kind::kDirectory
                : target.existing.IsRegular() ? OutputTarget::Kind::kRegular
                                              : OutputTarget::Kind::kOther;
  return target;
}

}  // namespace tarvel
