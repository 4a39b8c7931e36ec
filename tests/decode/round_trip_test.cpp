// Compressed data decodes back to exactly the bytes it was made from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/compress.h"
#include "decode/file_decoder.h"
#include "support/scratch.h"
#include "support/test_data.h"

namespace tarvel {
namespace {

using testing::AllDataKinds;
using testing::DataKind;
using testing::DataKindName;
using testing::MakeTestData;

void ExpectRoundTrip(const std::string& data, const std::string& label) {
  const std::string compressed = CompressBytes(data);
  std::string restored;
  const DecodeResult result = DecodeBytes(compressed, restored);
  ASSERT_EQ(result.status, DecodeResult::Status::kOk) << label << ": " << result.reason;
  ASSERT_EQ(restored.size(), data.size()) << label;
  ASSERT_TRUE(restored == data) << label;
  EXPECT_EQ(result.inputBytes, static_cast<std::int64_t>(compressed.size())) << label;
  EXPECT_EQ(result.outputBytes, static_cast<std::int64_t>(data.size())) << label;
}

TEST(RoundTripTest, SmallInputs) {
  for (const std::string& data :
       std::vector<std::string>{"", "a", "ab", "abc", "abracadabra", "\xFF", std::string(1, '\0'),
                                std::string(8, 'a'), std::string(7, 'a'), std::string("a\0b", 3)}) {
    ExpectRoundTrip(data, testing::Hex(data));
  }
}

TEST(RoundTripTest, GeneratedInputsOfEveryKindAndManySizes) {
  int cases = 0;
  for (const DataKind kind : AllDataKinds()) {
    if (kind == DataKind::kFibonacci) continue;  // sized by its own rule, below
    for (std::uint32_t seed = 0; seed < 40; ++seed) {
      const std::size_t size = seed < 20 ? seed * 3 : (std::size_t{1} << (seed % 17)) + seed;
      ExpectRoundTrip(MakeTestData(kind, size, seed),
                      std::string(DataKindName(kind)) + " " + std::to_string(size));
      ++cases;
    }
  }
  EXPECT_GE(cases, 240);
}

TEST(RoundTripTest, FibonacciCountsGiveCodesLongerThan32Bits) {
  const std::string data = MakeTestData(DataKind::kFibonacci, 10'000'000, 1);
  const std::string compressed = CompressBytes(data);
  // EndCodeLength: the end symbol shares the deepest level.
  const int headerDepth = static_cast<unsigned char>(compressed[6]);
  EXPECT_GT(headerDepth, 32);
  std::string restored;
  ASSERT_EQ(DecodeBytes(compressed, restored).status, DecodeResult::Status::kOk);
  EXPECT_TRUE(restored == data);
}

}  // namespace
}  // namespace tarvel
