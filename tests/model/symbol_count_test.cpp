#include "model/symbol_count.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace tarvel {
namespace {

TEST(CountSymbolsTest, CountsEveryByteAsAnUnsignedValue) {
  struct Case {
    std::string input;
    std::map<int, Count> expected;  // every other count must be 0
  };
  std::string everyValue;
  for (int v = 0; v < 256; ++v) everyValue.push_back(static_cast<char>(v));
  std::map<int, Count> allOnes;
  for (int v = 0; v < 256; ++v) allOnes[v] = 1;
  const std::vector<Case> cases = {
      {"", {}},
      {std::string(1000, 'x'), {{'x', 1000}}},
      {std::string("\x00\x0D\x0A\x1A\xFF\xFF", 6), {{0, 1}, {0x0D, 1}, {0x0A, 1}, {0x1A, 1}, {255, 2}}},
      {"abracadabra", {{'a', 5}, {'b', 2}, {'r', 2}, {'c', 1}, {'d', 1}}},
      {everyValue, allOnes},
  };
  for (const auto& c : cases) {
    std::istringstream input(c.input);
    std::int32_t oddByte = -1;
    const FrequencyTable counts = CountSymbols(input, 256, /*sixteenBit=*/false, &oddByte);
    ASSERT_EQ(counts.size(), 256u);
    for (int v = 0; v < 256; ++v) {
      const auto found = c.expected.find(v);
      EXPECT_EQ(counts[v], found == c.expected.end() ? 0 : found->second) << "value " << v;
    }
    EXPECT_EQ(oddByte, -1);
    EXPECT_TRUE(input.eof());
  }
}

TEST(CountSymbolsTest, StartsWhereTheStreamStands) {
  std::istringstream input("aabbb");
  input.seekg(2);
  std::int32_t oddByte = -1;
  const FrequencyTable counts = CountSymbols(input, 256, false, &oddByte);
  EXPECT_EQ(counts['a'], 0);
  EXPECT_EQ(counts['b'], 3);
}

TEST(CountSymbolsTest, SixteenBitVariantCountsPairsLowByteFirst) {
  struct Case {
    std::string input;
    std::map<int, Count> expected;
    std::int32_t oddByte;
  };
  const std::vector<Case> cases = {
      {"", {}, -1},
      {"\x01\x02\x01\x02", {{0x0201, 2}}, -1},
      {"ab\xFF", {{'a' + 256 * 'b', 1}}, 0xFF},
      {"z", {}, 'z'},
      {std::string("\xFF\xFF\x00\x00", 4), {{0xFFFF, 1}, {0, 1}}, -1},
  };
  for (const auto& c : cases) {
    std::istringstream input(c.input);
    std::int32_t oddByte = -1;
    const FrequencyTable counts = CountSymbols(input, 65536, /*sixteenBit=*/true, &oddByte);
    ASSERT_EQ(counts.size(), 65536u);
    Count total = 0;
    for (const Count count : counts) total += count;
    Count expectedTotal = 0;
    for (const auto& [symbol, count] : c.expected) {
      EXPECT_EQ(counts[symbol], count) << "symbol " << symbol;
      expectedTotal += count;
    }
    EXPECT_EQ(total, expectedTotal);
    EXPECT_EQ(oddByte, c.oddByte);
  }
}

}  // namespace
}  // namespace tarvel
