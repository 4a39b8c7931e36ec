#include "encode/bit_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/scratch.h"

namespace tarvel {
namespace {

using testing::FromHex;
using testing::Hex;

// Runs `write` on a fresh writer and returns the bytes written once the
// writer is closed.
std::string WrittenBytes(const std::function<void(BitWriter&)>& write) {
  std::ostringstream sink;
  {
    BitWriter writer(sink);
    write(writer);
    EXPECT_TRUE(writer.Close());
  }
  return std::move(sink).str();
}

TEST(ToBitStringTest, GivesTheLowestBitsMostSignificantFirst) {
  struct Case {
    std::int32_t value;
    std::int32_t width;
    BitString expected;
  };
  const std::vector<Case> cases = {
      {5, 8, "00000101"},
      {255, 16, "0000000011111111"},
      {2, 32, "00000000000000000000000000000010"},
      {511, 8, "11111111"},
      {-1, 8, "11111111"},
      {7, 0, ""},
      {7, -3, ""},
      {-1, 32, std::string(32, '1')},
      {0x12345678, 32, "00010010001101000101011001111000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToBitString(c.value, c.width), c.expected) << c.value << " in " << c.width;
  }
}

TEST(BitWriterTest, PacksBitsMostSignificantFirstAndZeroFillsTheLastByte) {
  struct Case {
    std::vector<BitString> calls;
    std::string expectedHex;
  };
  const std::vector<Case> cases = {
      {{}, ""},
      {{""}, ""},
      {{"10"}, "80"},
      {{"01100001"}, "61"},
      {{"1111", "00001"}, "F0 80"},
      {{"1", "1", "1", "1", "1", "1", "1", "1", "1"}, "FF 80"},
      {{"0000000011111111", "1"}, "00 FF 80"},
      {{"0101010", "10101010", "10"}, "55 55 00"},
  };
  for (const auto& c : cases) {
    const std::string bytes = WrittenBytes([&](BitWriter& writer) {
      for (const auto& bits : c.calls) writer.WriteBits(bits);
    });
    EXPECT_EQ(Hex(bytes), c.expectedHex);
  }
}

TEST(BitWriterTest, CountsCompleteBytesAndPendingBits) {
  const std::string bytes = WrittenBytes([](BitWriter& writer) {
    EXPECT_EQ(writer.WritePosition(), 0);
    EXPECT_EQ(writer.BitCount(), 0);
    writer.WriteBits("01100001");
    EXPECT_EQ(writer.WritePosition(), 1);
    EXPECT_EQ(writer.BitCount(), 0);
    writer.WriteBits("1");
    EXPECT_EQ(writer.WritePosition(), 1);
    EXPECT_EQ(writer.BitCount(), 1);
  });
  EXPECT_EQ(bytes, FromHex("61 80"));
}

// The same bits, written as characters or packed, give the same bytes, at
// every bit offset the writer may stand at.
TEST(BitWriterTest, PackedBitsMatchTheirCharacters) {
  std::string pattern;
  for (int k = 0; k < 300; ++k) pattern.push_back((k * 7 + k / 5) % 3 == 0 ? '1' : '0');
  for (int prefix = 0; prefix < 8; ++prefix) {
    const BitString lead(static_cast<std::size_t>(prefix), '1');
    for (const std::size_t length : {0, 1, 7, 8, 9, 55, 56, 63, 64, 65, 128, 200, 300}) {
      const BitString bits = pattern.substr(0, length);
      const std::string expected = WrittenBytes([&](BitWriter& writer) {
        writer.WriteBits(lead);
        writer.WriteBits(bits);
      });
      // As a block of packed bytes.
      std::vector<std::uint8_t> packed((length + 7) / 8 + 1, 0);
      for (std::size_t i = 0; i < length; ++i) {
        if (bits[i] == '1') packed[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
      }
      EXPECT_EQ(Hex(WrittenBytes([&](BitWriter& writer) {
                  writer.WriteBits(lead);
                  writer.WriteBitBlock(packed.data(), static_cast<std::int64_t>(length));
                })),
                Hex(expected))
          << "+" << prefix << ", " << length << " bits";
      // As codes of up to 56 bits.
      EXPECT_EQ(Hex(WrittenBytes([&](BitWriter& writer) {
                  writer.WriteBits(lead);
                  for (std::size_t at = 0; at < length; at += 56) {
                    const BitString piece = bits.substr(at, 56);
                    writer.WriteCode(std::stoull("0" + piece, nullptr, 2),
                                     static_cast<int>(piece.size()));
                  }
                })),
                Hex(expected))
          << "+" << prefix << ", " << length << " bits as codes";
    }
  }
}

// A stream that takes `limit` bytes and fails from then on, as a file does
// at its size limit.
class LimitedBuffer : public std::stringbuf {
 public:
  explicit LimitedBuffer(std::size_t limit) : limit(limit) {}

 protected:
  std::streamsize xsputn(const char* data, std::streamsize size) override {
    const auto room = static_cast<std::streamsize>(limit - str().size());
    return std::stringbuf::xsputn(data, std::min(size, room));
  }

 private:
  std::size_t limit;
};

// A failed write is remembered, whenever the stream shows it, and what
// follows is dropped rather than written after a gap.
TEST(BitWriterTest, AFailedWriteMakesTheWriterFailedAndStopsIt) {
  struct Case {
    const char* name;
    int bytes;  // whole bytes of ones written before closing
  };
  for (const Case c : {Case{"at the close", 3}, Case{"in a block hand-over", 300000}}) {
    std::ofstream full("/dev/full", std::ios::binary);
    full.rdbuf()->pubsetbuf(nullptr, 0);
    BitWriter writer(full);
    for (int i = 0; i < c.bytes; ++i) writer.WriteCode(0xFF, 8);
    EXPECT_EQ(writer.Failed(), c.bytes > 200000) << c.name;
    EXPECT_FALSE(writer.Close()) << c.name;
    EXPECT_TRUE(writer.Failed()) << c.name;
  }
  LimitedBuffer limited(1000);
  std::ostream sink(&limited);
  BitWriter writer(sink);
  for (int i = 0; i < 300000; ++i) writer.WriteCode(i & 0xFF, 8);
  EXPECT_TRUE(writer.Failed());
  for (int i = 0; i < 300000; ++i) writer.WriteCode(0xAA, 8);
  EXPECT_FALSE(writer.Close());
  ASSERT_EQ(limited.str().size(), 1000u);
  EXPECT_EQ(limited.str()[999], static_cast<char>(999 & 0xFF));
}

}  // namespace
}  // namespace tarvel
