#include "run_report.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace tarvel {
namespace {

TEST(FormatGeneralTest, PrintsSixSignificantDigitsWithAThreeDigitExponent) {
  struct Case {
    double value;
    std::string text;
  };
  const std::vector<Case> cases = {
      {0 * 0.001, "0"},
      {15 * 0.001, "0.015"},
      {1234 * 0.001, "1.234"},
      {1234567 * 0.001, "1234.57"},
      {3000 * 0.001, "3"},
      {100000 / (16 * 0.001), "6.25e+006"},
      {5000000 / (1234 * 0.001), "4.05186e+006"},
      {123456 / (250 * 0.001), "493824"},
      {999999.0, "999999"},
      {999999.5, "1e+006"},
      {0.0001, "0.0001"},
      {0.00001234, "1.234e-005"},
      {-1 / (5 * 0.001), "-200"},
      {-2.5e7, "-2.5e+007"},
      {1e100, "1e+100"},
      {-0.25, "-0.25"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatGeneral(c.value), c.text) << c.value;
}

std::string Report(std::int32_t elapsed, std::int32_t inputSize, std::int32_t outputSize) {
  std::ostringstream out;
  PrintRunReport(out, "tarvel", elapsed, inputSize, outputSize, "in file", "out");
  return out.str();
}

TEST(PrintRunReportTest, WritesTheSixLines) {
  struct Case {
    std::int32_t elapsed, inputSize, outputSize;
    std::string report;
  };
  const std::vector<Case> cases = {
      {0, 0, 0,
       "tarvel in file out\n0 characters input.\n0 characters output.\n0% reduction in size.\n"
       "0 seconds.\n? characters per second.\n"},
      {3, 0, 0,
       "tarvel in file out\n0 characters input.\n0 characters output.\n0% reduction in size.\n"
       "0.003 seconds.\n0 characters per second.\n"},
      {0, 1, 10,
       "tarvel in file out\n1 characters input.\n10 characters output.\n-900% reduction in "
       "size.\n0 seconds.\n? characters per second.\n"},
      {16, 100000, 60000,
       "tarvel in file out\n100000 characters input.\n60000 characters output.\n40% reduction "
       "in size.\n0.016 seconds.\n6.25e+006 characters per second.\n"},
      {1234, 5000000, 2500000,
       "tarvel in file out\n5000000 characters input.\n2500000 characters output.\n50% "
       "reduction in size.\n1.234 seconds.\n4.05186e+006 characters per second.\n"},
      {250, 123456, 100000,
       "tarvel in file out\n123456 characters input.\n100000 characters output.\n18% reduction "
       "in size.\n0.25 seconds.\n493824 characters per second.\n"},
      {5, -1, 0,
       "tarvel in file out\n-1 characters input.\n0 characters output.\n0% reduction in size.\n"
       "0.005 seconds.\n-200 characters per second.\n"},
      {-7, 10, 10,
       "tarvel in file out\n10 characters input.\n10 characters output.\n0% reduction in size.\n"
       "-0.007 seconds.\n? characters per second.\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(Report(c.elapsed, c.inputSize, c.outputSize), c.report);
}

TEST(PrintRunReportTest, TruncatesThePercentageTowardZeroFromAnExactProduct) {
  struct Case {
    std::int32_t inputSize, outputSize;
    std::string line;
  };
  const std::vector<Case> cases = {
      {100000000, 60000000, "40% reduction in size."},
      {1000, 667, "33% reduction in size."},
      {3, 4, "-33% reduction in size."},
      {2147483647, 1, "99% reduction in size."},
      {2147483647, 2147483647, "0% reduction in size."},
      {1, 2147483647, "-214748364600% reduction in size."},
  };
  for (const auto& c : cases) {
    EXPECT_NE(Report(1000, c.inputSize, c.outputSize).find("\n" + c.line + "\n"), std::string::npos)
        << c.inputSize << " " << c.outputSize;
  }
}

TEST(PrintRunReportTest, AFailedStreamSkipsTheRest) {
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  PrintRunReport(out, "tarvel", 1, 2, 3, "a", "b");
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace tarvel
