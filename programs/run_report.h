// The six lines that end a run: the command, the sizes, the percentage saved,
// the time taken and the throughput.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace tarvel {

// `value` in the general notation of the standard streams (%g, 6 significant
// digits, trailing zeros dropped), except that an exponent always has at
// least three digits: 6.25e+006, 1e-005.
std::string FormatGeneral(double value);

// Writes the report of a finished run of `program` to `out`, each line
// flushed:
//   PROGRAM IN OUT
//   N characters input.
//   M characters output.
//   P% reduction in size.        (P = (N - M) * 100 / N truncated; 0 when N <= 0)
//   S seconds.                   (S = elapsed milliseconds * 0.001)
//   T characters per second.     (T = N / S; "?" when S <= 0)
// `input` and `output` are the file names as typed. A failed write to `out`
// skips the rest without a message. Sizes are 64-bit, and the percentage is
// exact for any sizes below 2^56.
void PrintRunReport(std::ostream& out, std::string_view program, std::int64_t elapsedMilliseconds,
                    std::int64_t inputSize, std::int64_t outputSize, std::string_view input,
                    std::string_view output);

}  // namespace tarvel
