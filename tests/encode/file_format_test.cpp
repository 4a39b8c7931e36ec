#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "api/compress.h"
#include "encode/payload_writer.h"
#include "format/header_writer.h"
#include "support/scratch.h"
#include "support/test_data.h"

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

// A digest of bytes (64-bit FNV-1a): the same on every machine.
std::uint64_t Digest(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : bytes) hash = (hash ^ static_cast<std::uint8_t>(c)) * 0x100000001b3ULL;
  return hash;
}

// The bytes of every kind of data at several sizes, as digests taken on
// x86-64: every machine, of either byte order and any word size, on one
// thread and on several, must write exactly these.
TEST(FileFormatTest, EveryMachineWritesTheseBytes) {
  struct Case {
    testing::DataKind kind;
    std::size_t size;
    std::size_t compressedSize;
    std::uint64_t digest;
  };
  using testing::DataKind;
  const std::vector<Case> cases = {
      {DataKind::kText, 1, 10, 0x5ef7eec1db37afdcULL},
      {DataKind::kText, 1000, 583, 0xb4295507d2d1c915ULL},
      {DataKind::kText, 100000, 53237, 0x48ae057273783263ULL},
      {DataKind::kText, 1500000, 798423, 0x5b1f728229b553aeULL},
      {DataKind::kRandom, 1, 10, 0x19ab16c1b3f60784ULL},
      {DataKind::kRandom, 1000, 1491, 0xc1e9f2610f14c940ULL},
      {DataKind::kRandom, 100000, 100564, 0xbb6382e3f4b9e9e6ULL},
      {DataKind::kRandom, 1500000, 1501229, 0x11476a9119085785ULL},
      {DataKind::kSkewed, 1, 10, 0x4cba1dc2f2e37741ULL},
      {DataKind::kSkewed, 1000, 379, 0xb0f1130d58d0b4f0ULL},
      {DataKind::kSkewed, 100000, 35084, 0x104719221afc7985ULL},
      {DataKind::kSkewed, 1500000, 525229, 0xadeba247f7448e31ULL},
      {DataKind::kRuns, 1, 10, 0x207b0fc3fbd4e253ULL},
      {DataKind::kRuns, 1000, 135, 0xc08b3e47cb2dcfdaULL},
      {DataKind::kRuns, 100000, 30139, 0x7755c1aed51531d5ULL},
      {DataKind::kRuns, 1500000, 520561, 0x532bdfe934a3c30fULL},
      {DataKind::kAllValues, 1, 10, 0xb97226c29f75c794ULL},
      {DataKind::kAllValues, 1000, 1522, 0xdcdb067986cf8311ULL},
      {DataKind::kAllValues, 100000, 100570, 0x51afeaa97ad3725bULL},
      {DataKind::kAllValues, 1500000, 1501254, 0xebd7f9b2dc736fdaULL},
      {DataKind::kEqualCounts, 1, 10, 0xffb571c1a543d1d5ULL},
      {DataKind::kEqualCounts, 1000, 695, 0x51e0df25da77f366ULL},
      {DataKind::kEqualCounts, 100000, 62570, 0x7778a5db4663fc48ULL},
      {DataKind::kEqualCounts, 1500000, 937570, 0xb0c47d748d83b183ULL},
      {DataKind::kFibonacci, 1, 10, 0xc9db41c3cac33ca5ULL},
      {DataKind::kFibonacci, 1000, 560, 0x534582073ca25cfbULL},
      {DataKind::kFibonacci, 100000, 39781, 0x8e0a88932a534b1bULL},
      {DataKind::kFibonacci, 1500000, 712928, 0x9d3b2d59338eefd1ULL},
  };
  for (const Case& c : cases) {
    const std::string data = testing::MakeTestData(c.kind, c.size, 3);
    for (const int threads : {1, 3}) {
      const std::string packed = CompressBytes(data, threads);
      EXPECT_EQ(packed.size(), c.compressedSize) << testing::DataKindName(c.kind) << " " << c.size;
      EXPECT_EQ(Digest(packed), c.digest) << testing::DataKindName(c.kind) << " " << c.size;
    }
  }
}

}  // namespace
}  // namespace tarvel
