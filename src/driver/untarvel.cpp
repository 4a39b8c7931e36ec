#include "driver/untarvel.h"

#include <fstream>
#include <iostream>
#include <limits>
#include <optional>

#include "decoder/file_decoder.h"
#include "driver/input_file.h"
#include "driver/messages.h"
#include "driver/platform.h"
#include "driver/restored_output.h"
#include "driver/run_report.h"

namespace tarvel {

int RunUntarvel(int argc, char** argv) {
  if (argc < 3) {
    WriteErrorLine(kUntarvelUsageMessage);
    return 1;
  }
  const char* inputName = argv[1];
  const char* outputName = argv[2];

  std::ifstream input;
  const std::optional<FileStatus> inputStatus = OpenInput(inputName, outputName, input);
  if (!inputStatus) return 1;
  RestoredOutput output;
  if (!output.Open(outputName)) {
    WriteErrorLine(OutputOpenMessage(outputName));
    return 1;
  }

  const std::int64_t startTime = ClockMilliseconds();
  StreamSource source(input);
  // The size of a pipe is not known ahead: it gets the threads of a large
  // file.
  const std::int64_t inputSize =
      inputStatus->IsRegular() ? inputStatus->size : std::numeric_limits<std::int64_t>::max();
  const DecodeResult result = Decode(source, output, ThreadsFor(inputSize));
  switch (result.status) {
    case DecodeResult::Status::kOk:
      break;
    case DecodeResult::Status::kInvalid:
      output.Discard();
      WriteErrorLine(InvalidFileMessage(inputName, result.reason));
      return 1;
    case DecodeResult::Status::kReadFailed:
      output.Discard();
      WriteErrorLine(InputReadMessage(inputName));
      return 1;
    case DecodeResult::Status::kWriteFailed:
      output.Discard();
      WriteErrorLine(kDiskFullMessage);
      return 1;
  }
  if (!output.Commit()) {
    WriteErrorLine(kDiskFullMessage);
    return 1;
  }
  const std::int64_t elapsed = ClockMilliseconds() - startTime;
  PrintRunReport(std::cout, "untarvel", elapsed, result.inputBytes, result.outputBytes, argv,
                 /*sixteenBit=*/false);
  return 0;
}

}  // namespace tarvel
