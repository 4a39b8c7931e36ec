#include "io/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel {

OpenedInput OpenInput(const std::string& inputName, const std::string& outputName,
                      std::ifstream& input) {
  OpenedInput opened;
  input.open(inputName, std::ios::in | std::ios::binary);
  const std::optional<FileStatus> inputStatus = StatusOf(inputName.c_str());
  if (!input.is_open() || !inputStatus || inputStatus->IsDirectory()) {
    opened.status = OpenedInput::Status::kCannotOpen;
    return opened;
  }
  opened.file = *inputStatus;
  const std::optional<FileStatus> outputStatus = StatusOf(outputName.c_str());
  if (outputStatus && outputStatus->SameFileAs(*inputStatus)) {
    opened.status = OpenedInput::Status::kSameFile;
  }
  return opened;
}

PositionalInput::PositionalInput(const std::string& name, const FileStatus& status) {
  if (!status.IsRegular() || status.size <= 0) return;
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat opened {};
  if (::fstat(fd, &opened) != 0 || opened.st_dev != status.device ||
      opened.st_ino != status.inode) {
    ::close(fd);
    return;
  }
  file = PositionalFile{fd, status.size};
}

PositionalInput::PositionalInput(int fd, std::int64_t base, const FileStatus& status)
    : owned(false) {
  if (status.IsRegular() && status.size > 0 && base >= 0) {
    file = PositionalFile{fd, status.size, nullptr, base};
  }
}

PositionalInput::~PositionalInput() {
  if (owned && file.fd >= 0) ::close(file.fd);
}

}  // namespace tarvel
