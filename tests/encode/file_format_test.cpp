#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "api/compress.h"
#include "encode/payload_writer.h"
#include "format/header_writer.h"
#include "support/scratch.h"

namespace tarvel {
namespace {

using testing::FromHex;
using testing::Hex;
using testing::ReadFile;
using testing::RunTarvelBinary;
using testing::ScratchDir;
using testing::WriteFile;

std::string AllValuesOnce() {
  std::string data;
  for (int v = 0; v < 256; ++v) data.push_back(static_cast<char>((v * 91 + 7) % 256));
  return data;
}

// Compresses `input` with the built binary and checks the file it writes
// and the sizes its report gives.
std::string CompressWithBinary(const std::string& input) {
  ScratchDir dir;
  WriteFile(dir / "in", input);
  const auto result = RunTarvelBinary({"in", "out"}, dir.Path());
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const std::string output = ReadFile(dir / "out");
  const std::string sizes = std::to_string(input.size()) + " characters input.\n" +
                            std::to_string(output.size()) + " characters output.\n";
  EXPECT_NE(result.out.find(sizes), std::string::npos) << result.out;
  return output;
}

TEST(FileFormatTest, SmallInputsGiveExactlyTheseFiles) {
  struct Case {
    std::string input;
    std::string expectedHex;
  };
  const std::vector<Case> cases = {
      {"", ""},
      {"a", "00 00 00 00 00 00 01 61 01 80"},
      {"aaaa", "00 00 00 00 00 00 01 61 01 F0"},
      {"aaaaaaa", "00 00 00 00 00 00 01 61 01 FE"},  // payload ends on a byte boundary
      {"aaaaaaaa", "00 00 00 00 00 00 01 61 01 FF 00"},
      {"ab", "00 01 00 00 00 00 02 62 02 61 01 A0"},  // records in table order, b before a
      {"abc", "00 02 00 00 00 01 03 61 01 63 03 62 02 76 00"},
      {"abracadabra", "00 04 00 00 00 02 05 61 01 62 02 64 05 63 04 72 03 5D AC AE C0"},
      {"abcdefghijklmnopqrst",
       "00 13 00 00 00 02 05 63 04 64 04 61 05 62 04 67 04 68 04 65 04 66 04 73 04 74 04 71 04 "
       "72 04 6B 05 6C 05 69 05 6A 05 6F 05 70 05 6D 05 6E 05 29 80 B3 A2 EB 78 CF BF CE D5 C4 "
       "90"},
      {std::string(1, '\0'), "00 00 00 00 00 00 01 00 01 80"},
      {"\xFF", "00 00 00 00 00 00 01 FF 01 80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(CompressWithBinary(c.input)), c.expectedHex) << Hex(c.input);
  }
}

TEST(FileFormatTest, AllValuesOnceGiveAWideRecordCount) {
  const std::string output = CompressWithBinary(AllValuesOnce());
  ASSERT_EQ(output.size(), 778u);
  EXPECT_EQ(Hex(output.substr(0, 16)), "02 00 FF 00 00 00 AA 09 F5 08 F4 08 F7 08 F6 08");
  // 7 + 2 * 256 + 1 header bytes, then 255 * 8 + 2 * 9 payload bits.
  EXPECT_EQ(CompressBytes(AllValuesOnce()), output);
}

TEST(FileFormatTest, InMemoryCompressionMatchesTheBinary) {
  for (const std::string input : {"abracadabra", "x", "hello, world\n"}) {
    EXPECT_EQ(CompressBytes(input), CompressWithBinary(input));
  }
}

// Writes the header of a hand-made table.
std::string HeaderOf(const std::vector<std::pair<int, BitString>>& entries, int oddByte = -1) {
  CodeTable table;
  for (std::size_t k = 0; k < entries.size(); ++k) {
    CodeEntry& entry = table.At(static_cast<std::int32_t>(k));
    entry.symbol = entries[k].first;
    entry.code = entries[k].second;
  }
  SymbolIndex index;
  BuildSymbolIndex(table, index);
  std::ostringstream sink;
  {
    BitWriter writer(sink);
    WriteHeader(writer, table, index, oddByte);
  }
  return std::move(sink).str();
}

TEST(WriteHeaderTest, ACodeOf256BitsMakesEveryLengthSixteenBitsWide) {
  // A chain: codes 0, 10, 110, ... 1^254 0, then two codes of 256 bits.
  std::vector<std::pair<int, BitString>> entries;
  for (int depth = 0; depth < 255; ++depth) {
    entries.push_back({depth, std::string(static_cast<std::size_t>(depth), '1') + "0"});
  }
  entries.push_back({kEndSymbol, std::string(255, '1') + "0"});
  entries.push_back({255, std::string(256, '1')});
  const std::string header = HeaderOf(entries);
  // Flags, count (16 bits: 256 records), end position 255, end length 256.
  EXPECT_EQ(Hex(header.substr(0, 9)), "03 00 FF 00 00 00 FF 01 00");
  ASSERT_EQ(header.size(), 1u + 2 + 4 + 2 + 256 * 3);
  EXPECT_EQ(Hex(header.substr(9, 6)), "00 00 01 01 00 02");  // symbol 0 length 1, symbol 1 length 2
  EXPECT_EQ(Hex(header.substr(header.size() - 3)), "FF 01 00");
}

TEST(WriteHeaderTest, LengthsBelow256StayEightBitsAndAnOddByteFollowsTheFlags) {
  const std::vector<std::pair<int, BitString>> entries = {
      {kEndSymbol, "00"}, {'b', "01"}, {'a', "1"}};
  EXPECT_EQ(Hex(HeaderOf(entries)), "00 01 00 00 00 00 02 62 02 61 01");
  EXPECT_EQ(Hex(HeaderOf(entries, 0x7A)), "04 7A 01 00 00 00 00 02 62 02 61 01");
}

TEST(FileFormatTest, ExtraArgumentsChangeNeitherTheFileNorTheReport) {
  ScratchDir dir;
  WriteFile(dir / "in", "abracadabra");
  const auto plain = RunTarvelBinary({"in", "out1"}, dir.Path());
  const auto slash16 = RunTarvelBinary({"in", "out2", "/16"}, dir.Path());
  const auto other = RunTarvelBinary({"in", "out3", "extra", "-x"}, dir.Path());
  EXPECT_EQ(ReadFile(dir / "out2"), ReadFile(dir / "out1"));
  EXPECT_EQ(ReadFile(dir / "out3"), ReadFile(dir / "out1"));
  for (const auto* result : {&plain, &slash16, &other}) {
    EXPECT_EQ(result->exitCode, 0);
    EXPECT_EQ(result->err, "");
  }
  EXPECT_EQ(slash16.out.substr(0, slash16.out.find('\n')), "tarvel in out2");
  EXPECT_EQ(other.out.substr(0, other.out.find('\n')), "tarvel in out3");
}

}  // namespace
}  // namespace tarvel
