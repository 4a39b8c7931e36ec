// The tarvel executable, run in a scratch folder: exit status, standard
// output, standard error and the files left behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/messages.h"
#include "support/scratch.h"

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

}  // namespace
}  // namespace tarvel
