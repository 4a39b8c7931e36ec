// The tarvel executable, run in a scratch folder: exit status, standard
// output, standard error and the files left behind.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "messages.h"
#include "support/scratch.h"
#include "support/test_data.h"

namespace tarvel {
namespace {

using testing::ReadFile;
using testing::RunTarvelBinary;
using testing::ScratchDir;
using testing::WriteFile;

const std::string kUsageLine = std::string(kUsageMessage) + "\n";

TEST(CliTest, PrintsUsageAndCreatesNothingWithFewerThanTwoArguments) {
  const std::vector<std::vector<std::string>> cases = {{}, {"in"}};
  for (const auto& args : cases) {
    ScratchDir dir;
    WriteFile(dir / "in", "abc");
    const auto result = RunTarvelBinary(args, dir.Path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, kUsageLine);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"in"});
  }
}

TEST(CliTest, MissingInputNamesTheFileAsTypedAndLeavesTheOutputAlone) {
  ScratchDir dir;
  WriteFile(dir / "out", "keep me");
  const auto result = RunTarvelBinary({"./no such file", "out"}, dir.Path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "error : unable to open input file './no such file'.\n");
  EXPECT_EQ(ReadFile(dir / "out"), "keep me");

  const auto second = RunTarvelBinary({"missing", "new"}, dir.Path());
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out"});
}

TEST(CliTest, OutputInAMissingFolderCannotBeOpened) {
  ScratchDir dir;
  WriteFile(dir / "in", "abc");
  const auto result = RunTarvelBinary({"in", "nowhere/out"}, dir.Path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "error : unable to open file 'nowhere/out' for output.\n");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"in"});
}

// The report of a successful run, with the two timing lines matched by
// pattern: seconds as a plain number, then a throughput or "?".
void ExpectReport(const std::string& out, const std::string& command, long long inputSize,
                  long long outputSize, const std::string& percent) {
  const std::string fixed = command + "\n" + std::to_string(inputSize) + " characters input.\n" +
                            std::to_string(outputSize) + " characters output.\n" + percent +
                            "% reduction in size.\n";
  ASSERT_EQ(out.substr(0, fixed.size()), fixed);
  static const std::regex kTiming(
      R"([0-9.]+(e[+-][0-9]{3})? seconds\.\n(\? |[0-9.]+(e\+[0-9]{3})? )characters per second\.\n)");
  EXPECT_TRUE(std::regex_match(out.substr(fixed.size()), kTiming)) << out;
}

TEST(CliTest, ReportsEveryRunThatReachesTheEnd) {
  struct Case {
    std::string input;
    long long outputSize;
    std::string percent;
  };
  const std::vector<Case> cases = {
      {"", 0, "0"},           {"a", 10, "-900"},
      {"abc", 15, "-400"},  // the last byte is only partly filled
      {"aaaaaaa", 10, "-42"}, {std::string(1000, 'z'), 135, "86"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteFile(dir / "in", c.input);
    const auto result = RunTarvelBinary({"in", "out"}, dir.Path());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(ReadFile(dir / "out").size(), static_cast<std::size_t>(c.outputSize));
    ExpectReport(result.out, "tarvel in out", static_cast<long long>(c.input.size()), c.outputSize,
                 c.percent);
  }
}

TEST(CliTest, NamesWithSpacesAndOtherBytesAppearAsTyped) {
  ScratchDir dir;
  const std::string input = "in put \xC3\xA9.txt";
  WriteFile(dir.Path() / std::filesystem::u8path(input), "ab");
  const auto result = RunTarvelBinary({input, "./out file"}, dir.Path());
  EXPECT_EQ(result.exitCode, 0);
  ExpectReport(result.out, "tarvel " + input + " ./out file", 2, 12, "-500");
}

TEST(CliTest, AFewMegabytesCompressAndTheReportMatchesTheFiles) {
  ScratchDir dir;
  const std::string data = testing::MakeTestData(testing::DataKind::kText, 3'000'000, 7);
  WriteFile(dir / "in", data);
  const auto result = RunTarvelBinary({"in", "out"}, dir.Path());
  ASSERT_EQ(result.exitCode, 0);
  const auto outputSize = static_cast<long long>(ReadFile(dir / "out").size());
  const long long percent = (3'000'000LL - outputSize) * 100 / 3'000'000LL;
  EXPECT_GT(percent, 30);
  ExpectReport(result.out, "tarvel in out", 3'000'000, outputSize, std::to_string(percent));
}

}  // namespace
}  // namespace tarvel
