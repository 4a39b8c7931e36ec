#include "run_report.h"

#include <cstdio>
#include <cstring>

namespace tarvel {

std::string FormatGeneral(double value) {
  char buffer[32];
  const int length = std::snprintf(buffer, sizeof buffer, "%.6g", value);
  std::string text(buffer, static_cast<std::size_t>(length));
  const std::size_t e = text.find('e');
  if (e == std::string::npos) return text;
  // "e+06" -> "e+006": the digits after the sign, padded to three.
  const std::size_t digits = text.size() - (e + 2);
  if (digits < 3) text.insert(e + 2, 3 - digits, '0');
  return text;
}

namespace {

// (inputSize - outputSize) * 100 / inputSize, truncated toward zero, without
// forming the product: 100 q + trunc(100 r / inputSize) has the same value
// because the two terms never differ in sign.
std::int64_t PercentSaved(std::int64_t inputSize, std::int64_t outputSize) {
  const std::int64_t saved = inputSize - outputSize;
  const std::int64_t whole = saved / inputSize;
  const std::int64_t rest = saved % inputSize;
  return whole * 100 + rest * 100 / inputSize;
}

}  // namespace

void PrintRunReport(std::ostream& out, std::string_view program, std::int64_t elapsedMilliseconds,
                    std::int64_t inputSize, std::int64_t outputSize, std::string_view input,
                    std::string_view output) {
  const double seconds = static_cast<double>(elapsedMilliseconds) * 0.001;

  out << program << " " << input << " " << output << std::endl;
  out << inputSize << " characters input." << std::endl;
  out << outputSize << " characters output." << std::endl;
  if (inputSize > 0) {
    out << PercentSaved(inputSize, outputSize) << "% reduction in size." << std::endl;
  } else {
    out << "0% reduction in size." << std::endl;
  }
  out << FormatGeneral(seconds) << " seconds." << std::endl;
  if (seconds > 0) {
    out << FormatGeneral(static_cast<double>(inputSize) / seconds) << " characters per second."
        << std::endl;
  } else {
    out << "? characters per second." << std::endl;
  }
}

}  // namespace tarvel
