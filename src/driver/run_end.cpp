#include "driver/run_end.h"

#include "driver/messages.h"

namespace tarvel {

int FailRun(OutputFile& output, std::string_view message) {
  output.Discard();
  WriteErrorLine(message);
  return 1;
}

int FailWrite(OutputFile& output) {
  output.Discard();
  if (!output.BrokenPipe()) WriteErrorLine(kDiskFullMessage);
  return 1;
}

int CommitOutput(OutputFile& output, std::string_view outputName) {
  switch (output.Commit()) {
    case OutputFile::CommitStatus::kWriteFailed:
      return FailWrite(output);
    case OutputFile::CommitStatus::kReplaceFailed:
      return FailRun(output, ReplaceFailedMessage(outputName));
    case OutputFile::CommitStatus::kDone:
      break;
  }
  return 0;
}

}  // namespace tarvel
