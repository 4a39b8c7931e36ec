#include "encode/bit_writer.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

#include "io/byte_order.h"
#include "io/cpu.h"

namespace tarvel {

namespace {

constexpr std::size_t kSlackBytes = 8;

// Copies `words` 64-bit words of `data` to `out`, each shifted right by
// `shift` bits (0 to 7) behind the one before, the first behind the lowest
// `shift` bits of `pending`. The words overlap the ones before instead of
// carrying them over, so that the compiler can make vector steps of them.
[[gnu::always_inline]] inline void ShiftWords(const std::uint8_t* data, std::size_t words,
                                              int shift, std::uint64_t pending, std::uint8_t* out) {
  const auto join = [shift](std::uint64_t before, std::uint64_t current) {
    return ((before << (63 - shift)) << 1) | (current >> shift);
  };
  StoreBigEndian64(out, join(pending, LoadBigEndian64(data)));
  for (std::size_t i = 1; i < words; ++i) {
    StoreBigEndian64(out + 8 * i,
                     join(LoadBigEndian64(data + 8 * i - 8), LoadBigEndian64(data + 8 * i)));
  }
}

void ShiftWordsPortable(const std::uint8_t* data, std::size_t words, int shift,
                        std::uint64_t pending, std::uint8_t* out) {
  ShiftWords(data, words, shift, pending, out);
}

#if TARVEL_X86_VARIANTS
TARVEL_WITH_AVX2 void ShiftWordsWithAvx2(const std::uint8_t* data, std::size_t words, int shift,
                                         std::uint64_t pending, std::uint8_t* out) {
  ShiftWords(data, words, shift, pending, out);
}
#endif

}  // namespace

BitWriter::BitWriter(std::ostream& sink) : stream(&sink) {}

BitWriter::BitWriter(std::uint8_t* memory, std::size_t capacity)
    : memory(memory), capacity(capacity) {}

BitWriter::~BitWriter() { Close(); }

void BitWriter::WriteBits(const BitString& bits) {
  // As codes of up to kMaxCodeBits bits: one place packs bits into bytes.
  for (std::size_t at = 0; at < bits.size(); at += kMaxCodeBits) {
    const std::size_t length = std::min<std::size_t>(kMaxCodeBits, bits.size() - at);
    std::uint64_t code = 0;
    for (std::size_t k = at; k < at + length; ++k) {
      assert(bits[k] == '0' || bits[k] == '1');
      code = (code << 1) | static_cast<std::uint64_t>(bits[k] - '0');
    }
    WriteCode(code, static_cast<int>(length));
  }
}

void BitWriter::WriteCode(std::uint64_t code, int length) {
  assert(length >= 0 && length <= kMaxCodeBits);
  assert((code >> length) == 0);
  BitCursor cursor = Begin(kMaxCodeBits / 8 + 1);
  PutCode(cursor, code, length);
  End(cursor);
}

void BitWriter::WriteBitBlock(const std::uint8_t* data, std::int64_t bits) {
  assert(bits >= 0);
  // Whole 64-bit words: each goes out shifted right by the pending bits,
  // which it follows, and leaves its own lowest bits pending.
  while (bits >= 64) {
    const auto words = static_cast<std::size_t>(
        std::min<std::int64_t>(bits / 64, static_cast<std::int64_t>(kBlockBytes / 8)));
    BitCursor cursor = Begin(words * 8);
#if TARVEL_X86_VARIANTS
    (UseAvx2() ? ShiftWordsWithAvx2 : ShiftWordsPortable)(data, words, cursor.bitCount,
                                                          cursor.accumulator, cursor.out);
#else
    ShiftWordsPortable(data, words, cursor.bitCount, cursor.accumulator, cursor.out);
#endif
    data += 8 * words;
    cursor.out += 8 * words;
    // The last word's lowest bits stay pending.
    cursor.accumulator = LoadBigEndian64(data - 8);
    End(cursor);
    bits -= static_cast<std::int64_t>(words) * 64;
  }
  // The last 0 to 63 bits.
  const std::uint64_t word = LoadBigEndianPart(data, static_cast<std::size_t>((bits + 7) / 8));
  const int first = static_cast<int>(std::min<std::int64_t>(bits, kMaxCodeBits));
  const int second = static_cast<int>(bits) - first;
  if (first > 0) WriteCode(word >> (64 - first), first);
  if (second > 0) WriteCode((word << first) >> (64 - second), second);
}

BitCursor BitWriter::Begin(std::size_t bytes) {
  assert(bytes <= kBlockBytes);
  if (window == nullptr || fill + bytes > windowSize) NextWindow(bytes);
  return BitCursor{window + fill, accumulator, bitCount};
}

void BitWriter::NextWindow(std::size_t bytes) {
  HandOver();
  if (memory != nullptr && !failed) {
    const std::size_t left = capacity - std::min(capacity, static_cast<std::size_t>(bytesHanded));
    if (left >= bytes + kSlackBytes) {
      window = memory + bytesHanded;
      windowSize = left - kSlackBytes;
      inMemory = true;
      return;
    }
  }
  if (!block) block = std::make_unique<PageBuffer>(kBlockBytes + kSlackBytes);
  window = block->Bytes();
  windowSize = kBlockBytes;
  inMemory = false;
}

void BitWriter::End(const BitCursor& cursor) {
  assert(cursor.bitCount >= 0 && cursor.bitCount <= 7);
  fill = static_cast<std::size_t>(cursor.out - window);
  assert(fill <= windowSize);
  accumulator = cursor.accumulator & ((std::uint64_t{1} << cursor.bitCount) - 1);
  bitCount = cursor.bitCount;
}

bool BitWriter::Close() {
  if (closed) return !failed;
  closed = true;
  if (bitCount != 0) {
    // The pending bits fill the most significant positions of the last byte.
    BitCursor cursor = Begin(1);
    *cursor.out++ = static_cast<std::uint8_t>(cursor.accumulator << (8 - cursor.bitCount));
    cursor.accumulator = 0;
    cursor.bitCount = 0;
    End(cursor);
  }
  HandOver();
  if (!failed && stream != nullptr) {
    stream->flush();
    CheckStream();
  }
  return !failed;
}

void BitWriter::Abandon() {
  closed = true;
  fill = 0;
  bitCount = 0;
  accumulator = 0;
}

void BitWriter::HandOver() {
  if (fill == 0) return;
  // After a failure the bytes are counted as before, so that the sizes stay
  // consistent, but no longer written.
  if (!failed && !inMemory) {
    if (stream != nullptr) {
      stream->write(reinterpret_cast<const char*>(window), static_cast<std::streamsize>(fill));
      CheckStream();
    } else if (static_cast<std::size_t>(bytesHanded) + fill > capacity) {
      failed = true;  // beyond the memory
    } else {
      std::memcpy(memory + bytesHanded, window, fill);
    }
  }
  bytesHanded += static_cast<std::int64_t>(fill);
  fill = 0;
}

void BitWriter::CheckStream() {
  if (stream->fail()) failed = true;
}

}  // namespace tarvel
