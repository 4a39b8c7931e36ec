// The decoder rejects every file that does not follow the layout exactly.
#include "decode/file_decoder.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "api/compress.h"
#include "decode/stream_decoder.h"
#include "io/cpu.h"
#include "support/scratch.h"
#include "support/test_data.h"

namespace tarvel {
namespace {

using testing::FromHex;

// The ways of decoding besides the usual one: several threads, and segments
// small enough that symbols and the end of the data fall at every place
// relative to their boundaries. Segments shorter than a checkpoint are
// decoded whole when joined: no guess is ever taken from them.
// The loops compiled for the baseline processor, too. Data in memory are
// decoded where they lie; from a stream, `read` copies them into segments.
struct Variant {
  int threads;
  std::size_t segmentBytes;
  bool baseline = false;
  bool read = false;
};
const std::vector<Variant> kVariants = {{2, 0},
                                        {1, 1},
                                        {2, 1},
                                        {2, 7},
                                        {3, 64},
                                        {2, 1000},
                                        {1, 0, true},
                                        {2, 300, true},
                                        {1, 0, false, true},
                                        {2, 7, false, true},
                                        {3, 1000, false, true}};

// Decodes `compressed` every way and expects the same result each time.
// Segments of a few bytes are kept to small files: each costs a hand-over
// between threads.
DecodeResult DecodeEveryWay(const std::string& compressed, std::string& restored,
                            const std::string& label) {
  const DecodeResult plain = DecodeBytes(compressed, restored);
  for (const Variant& variant : kVariants) {
    if (variant.segmentBytes != 0 && compressed.size() / variant.segmentBytes > 2000) continue;
    std::string other;
    UseBaselineInstructions(variant.baseline);
    DecodeResult result;
    if (variant.read) {
      std::istringstream input(compressed);
      StreamSource source(input);
      StringSink sink(other);
      result = Decode(source, sink, variant.threads, variant.segmentBytes);
    } else {
      result = DecodeBytes(compressed, other, variant.threads, variant.segmentBytes);
    }
    UseBaselineInstructions(false);
    EXPECT_EQ(result.status, plain.status) << label << ", " << variant.threads << " threads, "
                                           << variant.segmentBytes << "-byte segments";
    EXPECT_EQ(result.reason, plain.reason) << label;
    if (plain.status == DecodeResult::Status::kOk) {
      EXPECT_EQ(result.inputBytes, plain.inputBytes) << label;
      EXPECT_TRUE(other == restored) << label;
    }
  }
  // As a stream in one piece, with room for all, its parts guessed at in
  // step: parts of a few bytes put their joins everywhere.
  for (const std::size_t partBytes : {1, 7, 64, 1000}) {
    if (compressed.size() / partBytes > 2000) continue;
    StreamDecoder stream(partBytes);
    std::vector<std::uint8_t> room(compressed.size() * 8 + 64);
    std::size_t inPos = 0;
    std::size_t outPos = 0;
    const auto* const in = reinterpret_cast<const std::uint8_t*>(compressed.data());
    const auto status =
        stream.Run(in, compressed.size(), inPos, room.data(), room.size(), outPos, true);
    EXPECT_EQ(status == StreamDecoder::Status::kDone, plain.status == DecodeResult::Status::kOk)
        << label << ", " << partBytes << "-byte parts";
    EXPECT_EQ(stream.FaultFound(), plain.fault) << label << ", " << partBytes << "-byte parts";
    if (plain.status == DecodeResult::Status::kOk) {
      EXPECT_TRUE(std::string(room.begin(), room.begin() + static_cast<std::ptrdiff_t>(outPos)) ==
                  restored)
          << label << ", " << partBytes << "-byte parts";
    }
  }
  return plain;
}

TEST(DecoderTest, DecodesTheSameWhateverTheThreadsAndSegments) {
  for (const auto kind : testing::AllDataKinds()) {
    for (const std::size_t size : {1, 2, 9, 100, 5000, 300000}) {
      if (kind == testing::DataKind::kFibonacci && size > 5000) continue;
      const std::string data = testing::MakeTestData(kind, size, 5);
      std::string restored;
      const std::string label =
          std::string(testing::DataKindName(kind)) + " " + std::to_string(size);
      const DecodeResult result = DecodeEveryWay(CompressBytes(data), restored, label);
      ASSERT_EQ(result.status, DecodeResult::Status::kOk) << label;
      ASSERT_TRUE(restored == data) << label;
    }
  }
  // Codes longer than 32 bits, decoded by the tree, across segments.
  const std::string deep = testing::MakeTestData(testing::DataKind::kFibonacci, 3'000'000, 6);
  std::string restored;
  EXPECT_EQ(DecodeEveryWay(CompressBytes(deep), restored, "fibonacci").status,
            DecodeResult::Status::kOk);
  EXPECT_TRUE(restored == deep);
  // Eight bytes restored per byte: guesses and joins fill their room and go
  // on in pieces.
  const std::string zeros = std::string(400000, '\0') + "x";
  EXPECT_EQ(DecodeEveryWay(CompressBytes(zeros), restored, "zeros").status,
            DecodeResult::Status::kOk);
  EXPECT_TRUE(restored == zeros);
}

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
    const DecodeResult result = DecodeEveryWay(FromHex(c.hex), restored, c.hex);
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
      // Every fifth length also every way: each way starts threads.
      const std::string truncated = compressed.substr(0, length);
      const DecodeResult result = length % 5 == 0
                                      ? DecodeEveryWay(truncated, restored, std::to_string(length))
                                      : DecodeBytes(truncated, restored);
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
    const DecodeResult result =
        bit % 5 == 0 ? DecodeEveryWay(flipped, restored, "bit " + std::to_string(bit))
                     : DecodeBytes(flipped, restored);
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
