#include "model/symbol_count.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/failing_stream.h"
#include "support/test_data.h"

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
      {std::string("\x00\x0D\x0A\x1A\xFF\xFF", 6),
       {{0, 1}, {0x0D, 1}, {0x0A, 1}, {0x1A, 1}, {255, 2}}},
      {"abracadabra", {{'a', 5}, {'b', 2}, {'r', 2}, {'c', 1}, {'d', 1}}},
      {everyValue, allOnes},
  };
  for (const auto& c : cases) {
    std::istringstream input(c.input);
    const FrequencyTable counts = CountSymbols(input);
    ASSERT_EQ(counts.size(), 256u);
    for (int v = 0; v < 256; ++v) {
      const auto found = c.expected.find(v);
      EXPECT_EQ(counts[v], found == c.expected.end() ? 0 : found->second) << "value " << v;
    }
    EXPECT_TRUE(input.eof());
  }
}

TEST(CountSymbolsTest, StartsWhereTheStreamStands) {
  std::istringstream input("aabbb");
  input.seekg(2);
  const FrequencyTable counts = CountSymbols(input);
  EXPECT_EQ(counts['a'], 0);
  EXPECT_EQ(counts['b'], 3);
}

TEST(CountSymbolsTest, BlockCountMatchesTheByteByByteCount) {
  using testing::DataKind;
  for (const DataKind kind : testing::AllDataKinds()) {
    for (const std::size_t size : {0, 1, 7, 8, 9, 1000, 131071, 131072, 131073, 400000}) {
      const std::string data = testing::MakeTestData(kind, size, 3);
      std::istringstream byteInput(data);
      const FrequencyTable expected = CountSymbolsByteByByte(byteInput);
      for (const int threads : {1, 2, 3}) {
        std::istringstream blockInput(data);
        EXPECT_EQ(CountSymbols(blockInput, nullptr, threads), expected)
            << testing::DataKindName(kind) << " " << size << ", threads " << threads;
        EXPECT_TRUE(blockInput.eof());
        EXPECT_FALSE(blockInput.bad());
      }
    }
  }
}

// Blocks of odd and even sizes, and totals that fall due after a few bytes,
// at every parity of where a block starts.
TEST(CountSymbolsTest, PairCountMatchesTheByteCount) {
  using testing::DataKind;
  for (const DataKind kind : testing::AllDataKinds()) {
    const std::string data = testing::MakeTestData(kind, 300, 4);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    FrequencyTable expected(256, 0);
    CountBlock(bytes, data.size(), expected.data());
    for (const std::uint64_t flushBytes :
         {std::uint64_t{7}, std::uint64_t{64}, PairCounter::kFlushBytes}) {
      for (const std::size_t blockSize : {1, 2, 9, 64, 299, 300}) {
        PairCounter pairs(flushBytes);
        FrequencyTable counts(256, 0);
        for (std::size_t at = 0; at < data.size(); at += blockSize) {
          pairs.Add(bytes + at, std::min(blockSize, data.size() - at), counts.data());
        }
        pairs.Flush(counts.data());
        EXPECT_EQ(counts, expected) << testing::DataKindName(kind) << ", flush after " << flushBytes
                                    << ", blocks of " << blockSize;
      }
    }
  }
}

TEST(CountSymbolsTest, ACopyReceivesEveryByteRead) {
  const std::string data = testing::MakeTestData(testing::DataKind::kText, 300000, 1);
  std::istringstream input(data);
  std::ostringstream copy;
  const FrequencyTable counts = CountSymbols(input, &copy, /*threads=*/2);
  EXPECT_TRUE(copy.str() == data);
  Count total = 0;
  for (const Count count : counts) total += count;
  EXPECT_EQ(total, 300000);
}

TEST(CountSymbolsTest, AReadErrorEndsTheCountAndLeavesTheStreamBad) {
  const std::string data = testing::MakeTestData(testing::DataKind::kRandom, 500000, 2);
  for (const std::size_t failAt : {std::size_t{0}, std::size_t{5}, std::size_t{300000}}) {
    testing::FailingStream blockInput(data, /*failingPass=*/0, failAt);
    CountSymbols(blockInput);
    EXPECT_TRUE(blockInput.bad()) << failAt;

    testing::FailingStream byteInput(data, /*failingPass=*/0, failAt);
    const FrequencyTable counts = CountSymbolsByteByByte(byteInput);
    EXPECT_TRUE(byteInput.bad()) << failAt;
    Count total = 0;
    for (const Count count : counts) total += count;
    EXPECT_EQ(total, static_cast<Count>(failAt));
  }
}

}  // namespace
}  // namespace tarvel
