#include "program.h"

#include <cerrno>
#include <iostream>
#include <new>
#include <string>

#include "messages.h"
#include "run_report.h"
#include "signals.h"
#include "tarvel/tarvel.h"

namespace tarvel {

namespace {

// The line for a failed run, or nothing when the reader of a pipe has gone,
// as other tools in a pipeline say nothing then.
std::string FailureMessage(const Result& result, const std::string& input,
                           const std::string& output) {
  switch (result.code) {
    case Result::Code::kOk:
      break;
    case Result::Code::kOpenInput:
      return InputOpenMessage(input);
    case Result::Code::kOpenOutput:
      return OutputOpenMessage(output);
    case Result::Code::kSameFile:
      return SameFileMessage(input, output);
    case Result::Code::kReadInput:
      return InputReadMessage(input);
    case Result::Code::kInputChanged:
      return InputChangedMessage(input);
    case Result::Code::kTemporaryCopy:
      return SpoolMessage(input);
    case Result::Code::kWriteOutput:
      return result.systemError == EPIPE ? "" : std::string(kDiskFullMessage);
    case Result::Code::kReplaceOutput:
      return ReplaceFailedMessage(output);
    case Result::Code::kInvalidData:
      return InvalidFileMessage(input, result.reason);
    case Result::Code::kOutOfMemory:
      return std::string(kOutOfMemoryMessage);
    case Result::Code::kCancelled:  // the programs ask for no progress
      break;
  }
  return "";
}

int Run(Direction direction, int argc, char** argv) {
  const bool compress = direction == Direction::kCompress;
  if (argc < 3) {
    WriteErrorLine(compress ? kUsageMessage : kUntarvelUsageMessage);
    return 1;
  }
  const std::string input = argv[1];
  const std::string output = argv[2];
  static SignalWatcher watcher;
  FileOptions options;
  options.watcher = &watcher;
  const Result result =
      compress ? CompressFile(input, output, options) : DecompressFile(input, output, options);
  if (!result) {
    const std::string message = FailureMessage(result, input, output);
    if (!message.empty()) WriteErrorLine(message);
    return 1;
  }
  // The report never goes into the data.
  PrintRunReport(result.outputIsStandardOutput ? std::cerr : std::cout,
                 compress ? "tarvel" : "untarvel", result.milliseconds,
                 static_cast<std::int64_t>(result.inputBytes),
                 static_cast<std::int64_t>(result.outputBytes), argv);
  return 0;
}

}  // namespace

int RunProgram(Direction direction, int argc, char** argv) {
  try {
    return Run(direction, argc, argv);
  } catch (const std::bad_alloc&) {  // in the program's own strings
    WriteErrorLine(kOutOfMemoryMessage);
    return 1;
  }
}

}  // namespace tarvel
