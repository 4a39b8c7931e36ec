#include "output/bit_writer.h"

#include <cassert>

#include "driver/messages.h"

namespace tarvel {

BitWriter::BitWriter(const std::string& fileName)
    : file(fileName, std::ios::out | std::ios::binary | std::ios::trunc), stream(file) {}

BitWriter::BitWriter(std::ostream& sink) : stream(sink) {}

BitWriter::~BitWriter() {
  if (!IsOpen()) return;
  if (bitCount != 0) PutAccumulator();
  if (file.is_open()) file.close();
}

bool BitWriter::IsOpen() const { return !stream.fail() && (&stream != &file || file.is_open()); }

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
