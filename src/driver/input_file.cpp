#include "driver/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/messages.h"

namespace tarvel {

std::optional<FileStatus> OpenInput(const char* inputName, const char* outputName,
                                    std::ifstream& input) {
  input.open(inputName, std::ios::in | std::ios::binary);
  const std::optional<FileStatus> inputStatus = StatusOf(inputName);
  if (!input.is_open() || !inputStatus || inputStatus->IsDirectory()) {
    WriteErrorLine(InputOpenMessage(inputName));
    return std::nullopt;
  }
  const std::optional<FileStatus> outputStatus = StatusOf(outputName);
  if (outputStatus && outputStatus->SameFileAs(*inputStatus)) {
    WriteErrorLine(SameFileMessage(inputName, outputName));
    return std::nullopt;
  }
  return inputStatus;
}

PositionalInput::PositionalInput(const char* name, const FileStatus& status) {
  if (!status.IsRegular() || status.size <= 0) return;
  const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat opened {};
  if (::fstat(fd, &opened) != 0 || opened.st_dev != status.device ||
      opened.st_ino != status.inode) {
    ::close(fd);
    return;
  }
  file = PositionalFile{fd, status.size};
}

PositionalInput::~PositionalInput() {
  if (file.fd >= 0) ::close(file.fd);
}

}  // namespace tarvel
