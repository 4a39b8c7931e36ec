#include "api/file_run.h"

#include <algorithm>
#include <cerrno>

namespace tarvel {

using Code = Result::Code;

bool FileRun::OpenNames(const std::string& name, const std::string& outputName) {
  inputName = name;
  errno = 0;
  const OpenedInput opened = OpenInput(name, outputName, file);
  if (opened.status != OpenedInput::Status::kOpen) {
    result.systemError = opened.status == OpenedInput::Status::kSameFile ? 0
                         : errno != 0                                    ? errno
                                                                         : EISDIR;
    return Fail(opened.status == OpenedInput::Status::kSameFile ? Code::kSameFile
                                                                : Code::kOpenInput);
  }
  input = &file;
  status = opened.file;
  before = status;
  return Opened(
      output.Open(outputName, status.IsRegular() ? (status.mode & 0777) : 0666, job.replace));
}

bool FileRun::OpenDescriptors(int inputFd, int outputFd) {
  const std::optional<FileStatus> inputStatus = StatusOfDescriptor(inputFd);
  if (!inputStatus || inputStatus->IsDirectory() || !OpenForReading(inputFd)) {
    result.systemError = !inputStatus ? errno : inputStatus->IsDirectory() ? EISDIR : EBADF;
    return Fail(Code::kOpenInput);
  }
  const std::optional<FileStatus> outputStatus = StatusOfDescriptor(outputFd);
  if (outputStatus && outputStatus->IsRegular() && outputStatus->SameFileAs(*inputStatus)) {
    return Fail(Code::kSameFile);
  }
  this->inputFd = inputFd;
  descriptor.emplace(inputFd);
  input = &*descriptor;
  status = *inputStatus;
  before = status;
  if (status.IsRegular() && descriptor->Base() >= 0) {
    status.size = std::max<std::int64_t>(0, status.size - descriptor->Base());
  }
  return Opened(output.OpenDescriptor(outputFd));
}

bool FileRun::Opened(int outputError) {
  if (outputError != 0) {
    // No room for the temporary file is a full disk; the rest, an output
    // that cannot be opened.
    Fail(IsNoRoom(outputError)                   ? Code::kWriteOutput
         : outputError == EEXIST && !job.replace ? Code::kOutputExists
                                                 : Code::kOpenOutput);
    result.systemError = outputError;
    return false;
  }
  result.outputIsStandardOutput = output.IsStandardOutput();
  startTime = ClockMilliseconds();
  return true;
}

bool FileRun::Fail(Code code) {
  output.Discard();
  if (code == Code::kReadInput && progress && progress->Cancelled()) code = Code::kCancelled;
  result.code = code;
  if (code == Code::kWriteOutput) result.systemError = output.WriteError();
  return false;
}

void FileRun::Commit(std::int64_t outputBytes) {
  result.outputBytes = static_cast<std::uint64_t>(outputBytes);
  result.milliseconds = ClockMilliseconds() - startTime;
  switch (output.Commit()) {
    case OutputFile::CommitStatus::kWriteFailed:
      Fail(Code::kWriteOutput);
      break;
    case OutputFile::CommitStatus::kReplaceFailed:
      Fail(Code::kReplaceOutput);
      break;
    case OutputFile::CommitStatus::kExists:
      Fail(Code::kOutputExists);
      break;
    case OutputFile::CommitStatus::kDone:
      break;
  }
}

bool FileRun::InputOnPseudoFileSystem() const {
  return inputFd >= 0 ? IsOnPseudoFileSystem(inputFd) : IsOnPseudoFileSystem(inputName);
}

const PositionalFile* FileRun::Positional() {
  if (!positional) {
    if (inputFd >= 0) {
      positional.emplace(inputFd, descriptor->Base(), status);
    } else {
      positional.emplace(inputName, status);
    }
  }
  return positional->File();
}

std::optional<FileStatus> FileRun::StatusNow() {
  const PositionalFile* file = Positional();
  if (file != nullptr) return StatusOfDescriptor(file->fd);
  return inputFd >= 0 ? StatusOfDescriptor(inputFd) : StatusOf(inputName);
}

}  // namespace tarvel
