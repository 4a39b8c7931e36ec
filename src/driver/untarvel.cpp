#include "driver/untarvel.h"

#include <fstream>
#include <iostream>
#include <limits>
#include <optional>

#include "decoder/file_decoder.h"
#include "driver/input_file.h"
#include "driver/messages.h"
#include "driver/platform.h"
#include "driver/output_file.h"
#include "driver/run_end.h"
#include "driver/run_report.h"

namespace tarvel {

namespace {

// The decoder's sink over the output.
class OutputSink : public ByteSink {
 public:
  explicit OutputSink(OutputFile& output) : output(output) {}
  bool Write(const std::uint8_t* data, std::size_t size) override {
    return output.Write(data, size);
  }

 private:
  OutputFile& output;
};

}  // namespace

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
  OutputFile output;
  if (!output.Open(outputName, inputStatus->IsRegular() ? (inputStatus->mode & 0777) : 0666)) {
    WriteErrorLine(OutputOpenMessage(outputName));
    return 1;
  }

  const std::int64_t startTime = ClockMilliseconds();
  StreamSource source(input);
  OutputSink sink(output);
  // The size of a pipe is not known ahead: it gets the threads of a large
  // file.
  const std::int64_t inputSize =
      inputStatus->IsRegular() ? inputStatus->size : std::numeric_limits<std::int64_t>::max();
  const DecodeResult result = Decode(source, sink, ThreadsFor(inputSize));
  switch (result.status) {
    case DecodeResult::Status::kOk:
      break;
    case DecodeResult::Status::kInvalid:
      return FailRun(output, InvalidFileMessage(inputName, result.reason));
    case DecodeResult::Status::kReadFailed:
      return FailRun(output, InputReadMessage(inputName));
    case DecodeResult::Status::kWriteFailed:
      return FailWrite(output);
  }
  if (CommitOutput(output, outputName) != 0) return 1;
  const std::int64_t elapsed = ClockMilliseconds() - startTime;
  // The report never goes into the data.
  PrintRunReport(output.IsStandardOutput() ? std::cerr : std::cout, "untarvel", elapsed,
                 result.inputBytes, result.outputBytes, argv, /*sixteenBit=*/false);
  return 0;
}

}  // namespace tarvel
