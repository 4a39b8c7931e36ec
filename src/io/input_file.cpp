#include "io/input_file.h"

namespace tarvel {

OpenedInput OpenInput(const std::string& inputName, const std::string& outputName,
                      std::ifstream& input) {
  OpenedInput opened;
  input.open(PathOf(inputName), std::ios::in | std::ios::binary);
  const std::optional<FileStatus> inputStatus = StatusOf(inputName);
  if (!input.is_open() || !inputStatus || inputStatus->IsDirectory()) {
    opened.status = OpenedInput::Status::kCannotOpen;
    return opened;
  }
  opened.file = *inputStatus;
  const std::optional<FileStatus> outputStatus = StatusOf(outputName);
  if (outputStatus && outputStatus->SameFileAs(*inputStatus)) {
    opened.status = OpenedInput::Status::kSameFile;
  }
  return opened;
}

PositionalInput::PositionalInput(const std::string& name, const FileStatus& status) {
  if (!status.IsRegular() || status.size <= 0) return;
  const int fd = OpenToRead(name);
  if (fd < 0) return;
  const std::optional<FileStatus> opened = StatusOfDescriptor(fd);
  if (!opened || !opened->SameFileAs(status)) {
    CloseFile(fd);
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
  if (owned && file.fd >= 0) CloseFile(file.fd);
}

}  // namespace tarvel
