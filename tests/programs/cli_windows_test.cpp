// The programs on Windows, where a user meets them: names in any script,
// NUL and the standard handles, outputs that are read-only or held open by
// another program, long paths.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
//
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/compress.h"
#include "messages.h"
#include "support/scratch.h"
#include "support/test_data.h"

namespace tarvel {
namespace {

using testing::ReadFile;
using testing::RunTarvelBinary;
using testing::RunUntarvelBinary;
using testing::ScratchDir;
using testing::WriteFile;

TEST(CliWindowsTest, OutputsAsWindowsHasThem) {
  const std::string data = testing::MakeTestData(testing::DataKind::kText, 300'000, 5);
  const std::string packed = CompressBytes(data);
  ScratchDir dir;
  WriteFile(dir / "in", data);
  WriteFile(dir / "in.tv", packed);

  // Names in any script, as typed in the report and the messages.
  const std::string unicode = "\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC.txt";
  const auto named = RunTarvelBinary({"in", unicode}, dir.Path());
  EXPECT_EQ(named.exitCode, 0) << named.err;
  EXPECT_EQ(named.out.substr(0, named.out.find('\n')), "tarvel in " + unicode);
  EXPECT_EQ(ReadFile(dir.Path() / std::filesystem::u8path(unicode)), packed);
  const auto missing = RunTarvelBinary({unicode + ".none", "x"}, dir.Path());
  EXPECT_EQ(missing.err, InputOpenMessage(unicode + ".none") + "\n");

  // NUL takes the restored bytes, and is no file to replace.
  const auto checked = RunUntarvelBinary({"in.tv", "NUL"}, dir.Path());
  EXPECT_EQ(checked.exitCode, 0) << checked.err;

  // A read-only output is refused, and stays as it was (where the system
  // keeps it read-only: Wine lets root write it all the same).
  WriteFile(dir / "locked", "precious");
  const std::wstring locked = (dir / "locked").wstring();
  SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
  const HANDLE probe = CreateFileW(locked.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe == INVALID_HANDLE_VALUE) {
    const auto readOnly = RunTarvelBinary({"in", "locked"}, dir.Path());
    EXPECT_EQ(readOnly.exitCode, 1);
    EXPECT_EQ(readOnly.err, OutputOpenMessage("locked") + "\n");
    EXPECT_EQ(ReadFile(dir / "locked"), "precious");
  } else {
    CloseHandle(probe);
  }
  SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);

  // An output that another program holds open without sharing is refused.
  WriteFile(dir / "held", "precious");
  const HANDLE held = CreateFileW((dir / "held").wstring().c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const auto busy = RunUntarvelBinary({"-f", "in.tv", "held"}, dir.Path());
  CloseHandle(held);
  EXPECT_EQ(busy.exitCode, 1);
  EXPECT_EQ(ReadFile(dir / "held"), "precious");

  // A path longer than 260 characters.
  std::filesystem::path deep = dir.Path();
  for (int k = 0; k < 6; ++k) deep /= std::string(50, static_cast<char>('a' + k));
  std::filesystem::create_directories(deep);
  const std::string longName = (deep / "out.tv").string();
  ASSERT_GT(longName.size(), 300u);
  const auto deepRun = RunTarvelBinary({"in", longName}, dir.Path());
  EXPECT_EQ(deepRun.exitCode, 0) << deepRun.err;
  EXPECT_EQ(ReadFile(deep / "out.tv"), packed);

  // Nothing is left behind but the files named.
  for (const std::string& entry : dir.Entries()) EXPECT_EQ(entry.find(".tv-"), std::string::npos);
}

}  // namespace
}  // namespace tarvel
