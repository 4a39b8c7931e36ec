#include "driver/run.h"

#include <chrono>
#include <cstdint>
#include <fstream>

#include <iostream>

#include "driver/compress.h"
#include "driver/messages.h"
#include "driver/run_report.h"
#include "model/symbol_count.h"
#include "output/bit_writer.h"

namespace tarvel {

namespace {

// Wall-clock milliseconds on a clock that never goes backwards.
std::int32_t ClockMilliseconds() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::int32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// The size of `input` in bytes, taken by seeking to its end; -1 when the
// stream cannot seek.
std::int32_t MeasureSize(std::ifstream& input) {
  input.clear();
  if (!input.fail()) input.seekg(0, std::ios::end);
  return static_cast<std::int32_t>(input.tellg());
}

}  // namespace

int RunTarvel(int argc, char** argv) {
  if (argc < 3) {
    WriteErrorLine(kUsageMessage);
    return 1;
  }
  const char* inputName = argv[1];
  const char* outputName = argv[2];

  std::ifstream input(inputName, std::ios::in | std::ios::binary);
  if (!input.is_open()) {
    WriteErrorLine(InputOpenMessage(inputName));
    return 1;
  }
  BitWriter writer(outputName);
  if (!writer.IsOpen()) ExitWithMessage(OutputOpenMessage(outputName));

  const std::int32_t startTime = ClockMilliseconds();
  std::int32_t oddByte = -1;
  FrequencyTable counts =
      CountSymbols(input, /*size=*/256, /*sixteenBit=*/false, &oddByte);
  const std::int32_t inputSize = MeasureSize(input);

  if (inputSize > 0) CompressInput(input, counts, oddByte, writer);
  counts = FrequencyTable();

  const std::int32_t outputSize = writer.WritePosition() + (writer.BitCount() != 0 ? 1 : 0);
  const std::int32_t elapsed = ClockMilliseconds() - startTime;
  PrintRunReport(std::cout, elapsed, inputSize, outputSize, argv, /*sixteenBit=*/false);
  return 0;
}

}  // namespace tarvel
