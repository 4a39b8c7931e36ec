// The decoder rejects every file that does not follow the layout exactly.
#include "decoder/file_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/compress.h"
#include "support/scratch.h"
#include "support/test_data.h"

namespace tarvel {
namespace {

using testing::FromHex;

TEST(DecoderTest, RejectsEachKindOfMalformedFile) {
  struct Case {
    std::string hex;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"00", "the header is truncated"},
      {"00 00 00 00 00", "the header is truncated"},
      {"00 00 00 00 00 00 01", "the header is truncated"},
      {"00 00 00 00 00 00 01 61", "the header is truncated"},
      {"02 00", "the header is truncated"},
      {"08 00 00 00 00 00 01 61 01 80", "the header has unknown flags set"},
      {"04 61 00 00 00 00 00 01 61 01 80",
       "the header announces a lone trailing byte, which no byte-coded file has"},
      {"02 01 00 00 00 00 00 01", "the header lists more records than there are byte values"},
      {"00 00 00 00 00 02 01 61 01 80", "the end position is beyond the record count"},
      {"00 01 00 00 00 00 02 61 02 61 01 A0", "a byte value has two records"},
      {"00 00 00 00 00 00 00 61 01 80", "a code length is 0"},
      {"01 00 00 00 00 00 01 01 01 61 00 01 80", "a code length exceeds 256 bits"},
      {"00 01 00 00 00 00 01 62 01 61 01 80", "the code lengths overflow"},
      {"00 01 00 00 00 00 02 62 01 61 01 80", "a shortened code drops bits that are not zero"},
      {"00 01 00 00 00 00 02 62 02 61 02 80", "the last code is not all ones"},
      {"00 00 00 00 00 00 01 61 01", "the payload ends before the end symbol"},
      {"00 00 00 00 00 00 01 61 01 FF", "the payload ends before the end symbol"},
      {"00 04 00 00 00 02 05 61 01 62 02 64 05 63 04 72 03 FF", "the payload ends inside a code"},
      {"00 00 00 00 00 00 01 61 01 81", "the fill bits after the end symbol are not zero"},
      {"00 00 00 00 00 00 01 61 01 80 00", "data follows the end symbol"},
      {"00 00 00 00 00 00 01 61 01 FF 00 00", "data follows the end symbol"},
  };
  for (const auto& c : cases) {
    std::string restored;
    const DecodeResult result = DecodeBytes(FromHex(c.hex), restored);
    EXPECT_EQ(result.status, DecodeResult::Status::kInvalid) << c.hex;
    EXPECT_EQ(result.reason, c.reason) << c.hex;
  }
}

TEST(DecoderTest, AcceptsTheFilesOfTheLayoutsEdgeCases) {
  struct Case {
    std::string hex;
    std::string restored;
  };
  const std::vector<Case> cases = {
      {"", ""},
      {"00 00 00 00 00 00 01 61 01 80", "a"},
      {"00 00 00 00 00 00 01 61 01 FF 00", "aaaaaaaa"},
      {"00 02 00 00 00 01 03 61 01 63 03 62 02 76 00", "abc"},
      {"00 04 00 00 00 02 05 61 01 62 02 64 05 63 04 72 03 5D AC AE C0", "abracadabra"},
      // The same file with 16-bit code lengths is just as valid.
      {"01 04 00 00 00 02 00 05 61 00 01 62 00 02 64 00 05 63 00 04 72 00 03 5D AC AE C0",
       "abracadabra"},
  };
  for (const auto& c : cases) {
    std::string restored;
    const DecodeResult result = DecodeBytes(FromHex(c.hex), restored);
    EXPECT_EQ(result.status, DecodeResult::Status::kOk) << c.hex << ": " << result.reason;
    EXPECT_EQ(restored, c.restored);
  }
}

TEST(DecoderTest, EveryTruncationOfAValidFileIsRejected) {
  for (const auto kind : {testing::DataKind::kText, testing::DataKind::kAllValues}) {
    const std::string compressed = CompressBytes(testing::MakeTestData(kind, 700, 3));
    ASSERT_GT(compressed.size(), 300u);
    for (std::size_t length = 1; length < compressed.size(); ++length) {
      std::string restored;
      const DecodeResult result = DecodeBytes(compressed.substr(0, length), restored);
      ASSERT_EQ(result.status, DecodeResult::Status::kInvalid) << length;
    }
  }
}

TEST(DecoderTest, SingleBitFlipsNeverCrashAndHeaderFlipsAreCaught) {
  const std::string data = testing::MakeTestData(testing::DataKind::kText, 300, 8);
  const std::string compressed = CompressBytes(data);
  int rejected = 0;
  for (std::size_t bit = 0; bit < compressed.size() * 8; ++bit) {
    std::string flipped = compressed;
    flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (0x80 >> (bit % 8)));
    std::string restored;
    const DecodeResult result = DecodeBytes(flipped, restored);
    if (result.status == DecodeResult::Status::kInvalid) {
      ++rejected;
    } else {
      ASSERT_EQ(result.status, DecodeResult::Status::kOk);
      EXPECT_NE(restored, data) << "bit " << bit;
    }
  }
  EXPECT_GT(rejected, static_cast<int>(compressed.size()));
}

}  // namespace
}  // namespace tarvel
