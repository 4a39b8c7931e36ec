// The untarvel executable, run in a scratch folder: it restores what tarvel
// wrote, rejects what tarvel could not have written, and never leaves a
// partial or wrong output behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "api/compress.h"
#include "messages.h"
#include "support/scratch.h"
#include "support/test_data.h"

namespace tarvel {
namespace {

using testing::FromHex;
using testing::ReadFile;
using testing::RunShell;
using testing::RunTarvelBinary;
using testing::RunUntarvelBinary;
using testing::ScratchDir;
using testing::WriteFile;

const std::string kUntarvel = UNTARVEL_BINARY;

std::string Line(const std::string& message) { return message + "\n"; }

TEST(UntarvelCliTest, RestoresWhatTarvelWroteAndReportsLikeIt) {
  std::vector<std::string> inputs = {"", "a", "abracadabra", std::string(1000, '\0')};
  for (const auto kind : testing::AllDataKinds()) {
    inputs.push_back(testing::MakeTestData(kind, 100'000, 11));
  }
  for (const auto& data : inputs) {
    ScratchDir dir;
    WriteFile(dir / "in", data);
    ASSERT_EQ(RunTarvelBinary({"in", "packed"}, dir.Path()).exitCode, 0);
    const auto result = RunUntarvelBinary({"packed", "restored"}, dir.Path());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(ReadFile(dir / "restored") == data) << data.size();
    const std::string packedSize = std::to_string(ReadFile(dir / "packed").size());
    std::string head = "untarvel packed restored\n";
    head.append(packedSize).append(" characters input.\n");
    head.append(std::to_string(data.size())).append(" characters output.\n");
    EXPECT_EQ(result.out.substr(0, head.size()), head);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in", "packed", "restored"}));
  }
}

TEST(UntarvelCliTest, UsageAndOpenFailures) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{}, std::string(kUntarvelUsageMessage)},
      {{"packed"}, std::string(kUntarvelUsageMessage)},
      {{"missing", "out"}, InputOpenMessage("missing")},
      {{"folder", "out"}, InputOpenMessage("folder")},
      {{"packed", "nowhere/out"}, OutputOpenMessage("nowhere/out")},
      {{"packed", "folder"}, OutputOpenMessage("folder")},
      {{"packed", "packed"}, SameFileMessage("packed", "packed")},
      {{"packed", "link"}, SameFileMessage("packed", "link")},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteFile(dir / "packed", CompressBytes("abc"));
    std::filesystem::create_directory(dir / "folder");
    // A symbolic link where the system makes them for anyone, else a hard
    // link: either way one file under two names.
    std::error_code noLinks;
    std::filesystem::create_symlink("packed", dir / "link", noLinks);
    if (noLinks) std::filesystem::create_hard_link(dir / "packed", dir / "link");
    const auto result = RunUntarvelBinary(c.args, dir.Path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, Line(c.err));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"folder", "link", "packed"}));
    EXPECT_EQ(ReadFile(dir / "packed"), CompressBytes("abc"));
  }
}

TEST(UntarvelCliTest, AnInvalidFileLeavesNoOutputAndAnExistingOneUntouched) {
  ScratchDir dir;
  std::string packed = CompressBytes(testing::MakeTestData(testing::DataKind::kText, 500000, 2));
  packed.push_back('\0');  // a byte after the end symbol's byte
  WriteFile(dir / "bad", packed);
  WriteFile(dir / "existing", "precious");
  for (const std::string output : {"new", "existing"}) {
    const auto result = RunUntarvelBinary({"-f", "bad", output}, dir.Path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, Line(InvalidFileMessage("bad", "data follows the end symbol")));
  }
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"bad", "existing"}));
  EXPECT_EQ(ReadFile(dir / "existing"), "precious");
}

TEST(UntarvelCliTest, ReplacesAnExistingOutputOnlyOnSuccessAndKeepsItsPermissions) {
  ScratchDir dir;
  WriteFile(dir / "packed", CompressBytes("restored bytes"));
  WriteFile(dir / "out", "old");
  std::filesystem::permissions(dir / "out", std::filesystem::perms(0640));
  ASSERT_EQ(RunUntarvelBinary({"-f", "packed", "out"}, dir.Path()).exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "out"), "restored bytes");
#if !defined(_WIN32)  // Windows keeps no such bits
  EXPECT_EQ(std::filesystem::status(dir / "out").permissions(), std::filesystem::perms(0640));
#endif
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"out", "packed"}));
}

TEST(UntarvelCliTest, OutputsThatAreNotFilesAreWrittenDirectly) {
  if (!testing::HaveShell()) GTEST_SKIP() << "needs a POSIX shell and /dev";
  ScratchDir dir;
  WriteFile(dir / "packed", CompressBytes("checked"));
  const auto checked = RunUntarvelBinary({"packed", "/dev/null"}, dir.Path());
  EXPECT_EQ(checked.exitCode, 0);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"packed"});

  const auto piped = RunShell("'" + kUntarvel + "' packed /dev/stdout | cat > out", dir.Path());
  EXPECT_EQ(piped.exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "out").substr(0, 7), "checked");

  const auto fromPipe =
      RunShell("cat packed | '" + kUntarvel + "' /dev/stdin restored", dir.Path());
  EXPECT_EQ(fromPipe.exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "restored"), "checked");
}

TEST(UntarvelCliTest, AFullDiskLeavesNoPartialOutput) {
  if (!testing::HaveShell()) GTEST_SKIP() << "needs a POSIX shell, /dev/full and ulimit";
  ScratchDir dir;
  WriteFile(dir / "packed",
            CompressBytes(testing::MakeTestData(testing::DataKind::kText, 2'000'000, 4)));
  WriteFile(dir / "existing", "precious");

  const auto full = RunUntarvelBinary({"packed", "/dev/full"}, dir.Path());
  EXPECT_EQ(full.exitCode, 1);
  EXPECT_EQ(full.err, Line(std::string(kDiskFullMessage)));

  for (const std::string output : {"new", "existing"}) {
    const auto limited =
        RunShell("ulimit -f 64; exec '" + kUntarvel + "' -f packed " + output, dir.Path());
    EXPECT_EQ(limited.exitCode, 1);
    EXPECT_EQ(limited.out, "");
    EXPECT_EQ(limited.err, Line(std::string(kDiskFullMessage)));
  }
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"existing", "packed"}));
  EXPECT_EQ(ReadFile(dir / "existing"), "precious");
}

}  // namespace
}  // namespace tarvel
