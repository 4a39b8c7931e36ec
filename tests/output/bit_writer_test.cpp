#include "output/bit_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "driver/messages.h"
#include "support/scratch.h"

namespace tarvel {
namespace {

using testing::FromHex;
using testing::Hex;
using testing::ReadFile;
using testing::ScratchDir;

// Runs `write` on a fresh writer and returns the bytes of the file once the
// writer is closed.
std::string WrittenBytes(const std::function<void(BitWriter&)>& write) {
  ScratchDir dir;
  const auto path = dir / "out";
  {
    BitWriter writer(path.string());
    EXPECT_TRUE(writer.IsOpen());
    write(writer);
  }
  return ReadFile(path);
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

TEST(BitWriterTest, EmptiesAnExistingFile) {
  ScratchDir dir;
  testing::WriteFile(dir / "out", "old contents");
  { BitWriter writer((dir / "out").string()); }
  EXPECT_EQ(ReadFile(dir / "out"), "");
}

TEST(BitWriterTest, ReportsAPathThatCannotBeOpened) {
  ScratchDir dir;
  BitWriter writer((dir / "missing" / "out").string());
  EXPECT_FALSE(writer.IsOpen());
}

// Writes `bytes` whole bytes of ones, enough to make the stream write out its
// buffer more than once.
void WriteOnes(BitWriter& writer, int bytes) {
  const BitString ones(8, '1');
  for (int i = 0; i < bytes; ++i) writer.WriteBits(ones);
}

// Makes writes beyond `bytes` fail with EFBIG instead of killing the process.
void LimitFileSize(rlim_t bytes) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  limit.rlim_cur = limit.rlim_max = bytes;
  setrlimit(RLIMIT_FSIZE, &limit);
}

TEST(BitWriterDeathTest, EndsTheRunWhenTheDeviceIsFull) {
  EXPECT_EXIT(
      {
        BitWriter writer("/dev/full");
        WriteOnes(writer, 100000);
      },
      ::testing::ExitedWithCode(1), std::string(kDiskFullMessage));
}

TEST(BitWriterDeathTest, EndsTheRunAtTheFileSizeLimitAndKeepsWhatReachedTheFile) {
  ScratchDir dir;
  const auto path = dir / "out";
  EXPECT_EXIT(
      {
        LimitFileSize(4096);
        BitWriter writer(path.string());
        WriteOnes(writer, 100000);
      },
      ::testing::ExitedWithCode(1), std::string(kDiskFullMessage));
  EXPECT_EQ(ReadFile(path), std::string(4096, '\xFF'));
}

}  // namespace
}  // namespace tarvel
