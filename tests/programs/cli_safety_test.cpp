// The tarvel executable where a careless run would lose or corrupt data:
// one file named twice, inputs that are not plain files, read and write
// failures, and inputs that change while they are compressed.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "api/compress.h"
#include "messages.h"
#include "support/scratch.h"
#include "support/test_data.h"

namespace tarvel {
namespace {

using testing::ReadFile;
using testing::RunShell;
using testing::RunTarvelBinary;
using testing::ScratchDir;
using testing::WriteFile;

using namespace std::string_literals;

const std::string kTarvel = TARVEL_BINARY;

std::string Line(const std::string& message) { return message + "\n"; }

// "\nN characters input.\n": the report's second line, as found in its output.
std::string InputSizeLine(std::size_t size) {
  std::string line = "\n";
  line.append(std::to_string(size)).append(" characters input.\n");
  return line;
}

TEST(CliSafetyTest, OneFileNamedAsBothInputAndOutputIsRefused) {
  struct Case {
    std::string setup;  // shell commands run in the folder first
    std::string input, output;
  };
  const std::vector<Case> cases = {
      {"", "a", "a"},
      {"", "a", "./a"},
      {"ln a hard", "a", "hard"},
      {"ln -s a soft", "a", "soft"},
      {"ln -s a soft", "soft", "a"},
      {"mkdir sub && ln -s ../a sub/link", "a", "sub/link"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteFile(dir / "a", "abracadabra");
    ASSERT_EQ(RunShell(c.setup, dir.Path()).exitCode, 0);
    const auto result = RunTarvelBinary({c.input, c.output}, dir.Path());
    EXPECT_EQ(result.exitCode, 1) << c.setup;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, Line(SameFileMessage(c.input, c.output)));
    EXPECT_EQ(ReadFile(dir / "a"), "abracadabra") << c.setup;
  }
}

TEST(CliSafetyTest, NamesThatAreNotUsableFilesGiveTheOpenMessages) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"folder", "out"}, InputOpenMessage("folder")},
      {{"", "out"}, InputOpenMessage("")},
      {{"in", ""}, OutputOpenMessage("")},
      {{"in", "folder"}, OutputOpenMessage("folder")},
      {{"in", "folder/"}, OutputOpenMessage("folder/")},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteFile(dir / "in", "abc");
    std::filesystem::create_directory(dir / "folder");
    const auto result = RunTarvelBinary(c.args, dir.Path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, Line(c.err));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"folder", "in"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "folder"));
  }
}

TEST(CliSafetyTest, InputsThatCanBeReadOnlyOnceGiveTheSameFileAsARegularInput) {
  ScratchDir dir;
  std::string data = testing::MakeTestData(testing::DataKind::kText, 1'500'000, 5);
  data += testing::MakeTestData(testing::DataKind::kAllValues, 256, 5);
  WriteFile(dir / "in", data);
  ASSERT_EQ(RunTarvelBinary({"in", "expected"}, dir.Path()).exitCode, 0);
  const std::string expected = ReadFile(dir / "expected");

  const std::vector<std::string> scripts = {
      "cat in | '" + kTarvel + "' /dev/stdin out",
      "'" + kTarvel + "' <(cat in) out",
      "mkfifo fifo && { cat in > fifo & } && '" + kTarvel + "' fifo out; rm -f fifo",
      "'" + kTarvel + "' /dev/stdin out < in",
  };
  for (const auto& script : scripts) {
    const auto result = RunShell(script, dir.Path());
    EXPECT_EQ(result.exitCode, 0) << script << "\n" << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_NE(result.out.find(InputSizeLine(data.size())), std::string::npos) << script << "\n"
                                                                              << result.out;
    EXPECT_TRUE(ReadFile(dir / "out") == expected) << script;
    std::filesystem::remove(dir / "out");
  }
}

TEST(CliSafetyTest, EmptyInputsAndFilesWhoseSizeIsNotTheirContentAreRead) {
  ScratchDir dir;
  WriteFile(dir / "empty", "");
  // An empty input needs no temporary copy, wherever it comes from.
  for (const std::string& script : {"'" + kTarvel + "' /dev/stdin out < /dev/null",
                                    "TMPDIR=/nonexistent '" + kTarvel + "' empty out"}) {
    const auto empty = RunShell(script, dir.Path());
    EXPECT_EQ(empty.exitCode, 0) << script << "\n" << empty.err;
    EXPECT_NE(empty.out.find("\n0 characters input.\n0 characters output.\n"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "out"), "");
  }

  // Files of /proc claim a size of 0, those of /sys 4096, whatever they hold.
  // The portable fallbacks cannot tell /sys apart, and fail such a file as
  // a changed input.
  for (const char* name : {"/proc/version", "/sys/class/net/lo/mtu"}) {
    if (!std::filesystem::exists(name)) continue;
#if defined(TARVEL_PORTABLE)
    if (std::string_view(name).starts_with("/sys/")) continue;
#endif
    const std::string contents = ReadFile(name);
    const auto result = RunTarvelBinary({name, "out"}, dir.Path());
    EXPECT_EQ(result.exitCode, 0) << name << "\n" << result.err;
    EXPECT_NE(result.out.find(InputSizeLine(contents.size())), std::string::npos) << name;
    EXPECT_TRUE(ReadFile(dir / "out") == CompressBytes(contents)) << name;
  }
}

TEST(CliSafetyTest, AFullDeviceFailsTheRunEvenWhenTheWholeOutputFitsInABuffer) {
  ScratchDir dir;
  WriteFile(dir / "in", "abracadabra");
  const auto result = RunTarvelBinary({"in", "/dev/full"}, dir.Path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, Line(std::string(kDiskFullMessage)));
}

TEST(CliSafetyTest, AnInputChangedBetweenThePassesIsDetected) {
  // A large sparse file of zeros and a few letters, compressed into a FIFO
  // that the test reads one byte of (the second pass has begun) and then
  // leaves full, which holds the run until the input has changed.
  const std::vector<std::pair<std::string, std::string>> changes = {
      // The last block, with a byte value that the first pass never saw.
      {"overwritten",
       "head -c 4096 /dev/zero | tr '\\0' Z | dd of=in bs=4096 "
       "seek=$((400 * 256 - 1)) conv=notrunc status=none"},
      {"grown", "printf abc >> in"},
      {"shortened", "truncate -s 300M in"},
      // Bytes already read, rewritten with the same counts and size.
      {"rewritten", "printf cba | dd of=in conv=notrunc status=none"},
  };
  for (const auto& [name, change] : changes) {
    ScratchDir dir;
    const std::string script =
        "truncate -s 400M in && printf abc | dd of=in conv=notrunc status=none && mkfifo held\n"
        "'" +
        kTarvel +
        "' in held > stdout 2> stderr & pid=$!\n"
        "exec 3< held; dd bs=1 count=1 status=none <&3 > /dev/null\n" +
        change +
        "\n"
        "cat <&3 > /dev/null; wait $pid; echo $?\n";
    const auto result = RunShell(script, dir.Path());
    EXPECT_EQ(result.out, "1\n") << name;
    EXPECT_EQ(ReadFile(dir / "stderr"), Line(InputChangedMessage("in"))) << name;
    EXPECT_EQ(ReadFile(dir / "stdout"), "") << name;
  }
}

}  // namespace
}  // namespace tarvel
