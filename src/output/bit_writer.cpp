#include "output/bit_writer.h"

#include <cassert>

#include "driver/messages.h"

namespace tarvel {

BitWriter::BitWriter(const std::string& fileName)
    : stream(fileName, std::ios::out | std::ios::binary | std::ios::trunc) {}

BitWriter::~BitWriter() {
  if (!stream.is_open()) return;
  if (bitCount != 0) PutAccumulator();
  stream.close();
}

bool BitWriter::IsOpen() const { return stream.is_open() && !stream.fail(); }

void BitWriter::WriteBits(const BitString& bits) {
  for (const char c : bits) {
    assert(c == '0' || c == '1');
    const auto bit = static_cast<unsigned>(c - '0');
    accumulator = static_cast<std::uint8_t>(accumulator | (bit << (7 - bitCount)));
    if (++bitCount == 8) PutAccumulator();
  }
}

std::int32_t BitWriter::WritePosition() const { return stream.fail() ? -1 : bytesHanded; }

void BitWriter::PutAccumulator() {
  stream.put(static_cast<char>(accumulator));
  if (!stream) ExitWithMessage(kDiskFullMessage);
  ++bytesHanded;
  bitCount = 0;
  accumulator = 0;
}

}  // namespace tarvel
