#include "driver/run.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <numeric>
#include <optional>
#include <string>

#include "driver/compress.h"
#include "driver/input_file.h"
#include "driver/messages.h"
#include "driver/platform.h"
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

// Ends a run that has failed after the output was created: nothing more is
// written, and an output that is a plain file is removed, since what it
// holds is not a complete compressed file.
int FailRun(BitWriter& writer, const char* outputName, const std::string& message) {
  writer.Abandon();
  if (IsPlainFile(outputName)) std::remove(outputName);
  WriteErrorLine(message);
  return 1;
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
  // Creating the writer creates or empties the output.
  BitWriter writer(outputName);
  if (!writer.IsOpen()) ExitWithMessage(OutputOpenMessage(outputName));

  const std::int64_t startTime = ClockMilliseconds();
  std::int32_t oddByte = -1;

  // Pipes, FIFOs and character devices can be read only once, and files
  // that claim a size of 0 (as those of /proc do) may not give the same
  // bytes twice: the count pass keeps a copy of what it reads, and the second
  // pass reads the copy.
  const bool readTwice =
      (inputStatus->IsRegular() && inputStatus->size > 0) || inputStatus->IsBlockDevice();
  std::fstream spool;
  if (!readTwice && !OpenSpoolFile(spool)) {
    return FailRun(writer, outputName, SpoolMessage(inputName));
  }
  // The size of a spooled input is known only once it has been read: its
  // count runs on one thread. A regular file is read by position, by all
  // threads at once.
  const PositionalInput positional(inputName, *inputStatus);
  FrequencyTable counts =
      CountSymbols(input, /*size=*/256, /*sixteenBit=*/false, &oddByte,
                   readTwice ? nullptr : &spool, readTwice ? ThreadsFor(inputStatus->size) : 1,
                   readTwice ? positional.File() : nullptr);
  if (input.bad()) return FailRun(writer, outputName, InputReadMessage(inputName));
  if (!readTwice && !spool.flush()) return FailRun(writer, outputName, SpoolMessage(inputName));

  const std::int64_t counted = std::accumulate(counts.begin(), counts.end(), std::int64_t{0});
  std::istream& secondPass = readTwice ? static_cast<std::istream&>(input) : spool;
  const std::int64_t inputSize = readTwice ? MeasureSize(input) : counted;
  if (inputSize != counted) return FailRun(writer, outputName, InputChangedMessage(inputName));

  if (inputSize > 0) {
    switch (CompressInput(secondPass, counts, oddByte, writer, ThreadsFor(inputSize),
                          readTwice ? positional.File() : nullptr)) {
      case CompressStatus::kReadFailed:
        return FailRun(writer, outputName, InputReadMessage(inputName));
      case CompressStatus::kInputChanged:
        return FailRun(writer, outputName, InputChangedMessage(inputName));
      case CompressStatus::kComplete:
        break;
    }
  }
  counts = FrequencyTable();

  writer.Flush();
  const std::int64_t outputSize = writer.WritePosition() + (writer.BitCount() != 0 ? 1 : 0);
  const std::int64_t elapsed = ClockMilliseconds() - startTime;
  PrintRunReport(std::cout, "tarvel", elapsed, inputSize, outputSize, argv,
                 /*sixteenBit=*/false);
  writer.Close();
  return 0;
}

}  // namespace tarvel
