#include "driver/input_file.h"

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

}  // namespace tarvel
