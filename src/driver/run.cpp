#include "driver/run.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <numeric>
#include <optional>
#include <string>

#include "driver/compress.h"
#include "driver/input_file.h"
#include "driver/messages.h"
#include "driver/output_file.h"
#include "driver/platform.h"
#include "driver/run_end.h"
#include "driver/run_report.h"
#include "driver/spool_file.h"
#include "model/symbol_count.h"
#include "output/bit_writer.h"

namespace tarvel {

namespace {

// The size of `input` in bytes, taken by seeking to its end; -1 when the
// stream cannot seek.
std::int64_t MeasureSize(std::istream& input) {
  input.clear();
  if (!input.fail()) input.seekg(0, std::ios::end);
  return static_cast<std::int64_t>(input.tellg());
}

}  // namespace

int RunTarvel(int argc, char** argv) {
  if (argc < 3) {
    WriteErrorLine(kUsageMessage);
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
  BitWriter writer(output.Stream());
  // A run that fails leaves no output behind, and an existing one as it was.
  const auto fail = [&](const std::string& message) {
    writer.Abandon();
    return FailRun(output, message);
  };
  const auto failWrite = [&]() {
    writer.Abandon();
    return FailWrite(output);
  };

  const std::int64_t startTime = ClockMilliseconds();
  std::int32_t oddByte = -1;

  // Pipes, FIFOs and character devices can be read only once, and files
  // that claim a size of 0 (or, on proc and sysfs, any size) may not give
  // the same bytes twice: the count pass keeps a copy of what it reads, and
  // the second pass reads the copy. An input whose first read gives no byte
  // is empty and needs none.
  const bool readTwice = (inputStatus->IsRegular() && inputStatus->size > 0 &&
                          !IsOnPseudoFileSystem(inputName)) ||
                         inputStatus->IsBlockDevice();
  std::fstream spool;
  if (!readTwice && input.peek() != std::ifstream::traits_type::eof() && !OpenSpoolFile(spool)) {
    return fail(SpoolMessage(inputName));
  }
  std::fstream* copy = spool.is_open() ? &spool : nullptr;
  // The size of a spooled input is known only once it has been read: its
  // count runs on one thread. A regular file is read by position, by all
  // threads at once.
  const PositionalInput positional(inputName, *inputStatus);
  FrequencyTable counts =
      CountSymbols(input, /*size=*/256, /*sixteenBit=*/false, &oddByte, copy,
                   readTwice ? ThreadsFor(inputStatus->size) : 1,
                   readTwice ? positional.File() : nullptr);
  if (input.bad()) return fail(InputReadMessage(inputName));
  if (copy != nullptr && !copy->flush()) return fail(SpoolMessage(inputName));

  const std::int64_t counted = std::accumulate(counts.begin(), counts.end(), std::int64_t{0});
  const std::int64_t inputSize = readTwice ? MeasureSize(input) : counted;
  if (inputSize != counted) return fail(InputChangedMessage(inputName));

  if (inputSize > 0) {
    std::istream& secondPass = readTwice ? static_cast<std::istream&>(input) : spool;
    switch (CompressInput(secondPass, counts, oddByte, writer, ThreadsFor(inputSize),
                          readTwice ? positional.File() : nullptr)) {
      case CompressStatus::kReadFailed:
        return fail(InputReadMessage(inputName));
      case CompressStatus::kInputChanged:
        return fail(InputChangedMessage(inputName));
      case CompressStatus::kWriteFailed:
        return failWrite();
      case CompressStatus::kComplete:
        break;
    }
  }
  counts = FrequencyTable();

  if (!writer.Close()) return failWrite();
  const std::int64_t outputSize = writer.WritePosition();
  const std::int64_t elapsed = ClockMilliseconds() - startTime;
  if (CommitOutput(output, outputName) != 0) return 1;
  // The report never goes into the data.
  PrintRunReport(output.IsStandardOutput() ? std::cerr : std::cout, "tarvel", elapsed, inputSize,
                 outputSize, argv, /*sixteenBit=*/false);
  return 0;
}

}  // namespace tarvel
