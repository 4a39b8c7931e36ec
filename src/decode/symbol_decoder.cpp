#include "decode/symbol_decoder.h"

#include <cstring>

namespace tarvel {

namespace {

// Walks the code tree bit by bit to the next symbol. Returns its decoding
// index, or -1 when the bits run out first (`inside` tells whether that
// happened inside a code).
std::int32_t WalkTree(MemoryBits& bits, const DecodingTables& tables, bool& inside) {
  std::int32_t node = 0;
  inside = false;
  for (;;) {
    if (bits.available == 0) {
      bits.Refill();
      if (bits.available == 0) return -1;
    }
    const std::int32_t next = tables.children[2 * static_cast<std::size_t>(node) + bits.Peek(1)];
    bits.Skip(1);
    if (next < 0) return -next - 1;
    node = next;
    inside = true;
  }
}

// The second lookup for a code longer than kTableBits, from the bits at the
// top of `buffer`, of which at least kTableBits + kLongBits must be the
// stream's: its entry of `longCodes`, or 0 when the tree must decide.
inline std::uint32_t LongCode(const std::uint32_t* longStart, const std::uint16_t* longCodes,
                              std::uint64_t buffer) {
  const std::uint32_t start = longStart[buffer >> (64 - kTableBits)];
  if (start == 0) return 0;
  const auto suffix =
      static_cast<std::uint32_t>((buffer << kTableBits) >> (64 - LongStartBits(start)));
  return longCodes[LongStartOffset(start) + suffix];
}

// The fast loop's registers for one stream of bits.
struct FastStream {
  FastStream(const DecodingTables& tables, const MemoryBits& bits, std::uint8_t* out,
             std::uint64_t stopBit)
      : fast(tables.fast.data()),
        longStart(tables.longStart.data()),
        longCodes(tables.longCodes.data()),
        bytes(bits.bytes),
        buffer(bits.buffer),
        available(bits.available),
        pos(bits.pos),
        out(out),
        lastPos(bits.limit >= 8 ? bits.limit - 8 : 0),
        lastStart(stopBit > kRoundBits ? stopBit - kRoundBits - 1 : 0),
        fits(RoundFits(bits, stopBit)) {}

  void Save(MemoryBits& bits, std::uint8_t*& o) const {
    bits.buffer = buffer;
    bits.available = available;
    bits.pos = pos;
    o = out;
  }

  // One round; false when it met a code that the lookups do not cover, or
  // when no further round fits.
  bool Round() {
    std::uint64_t word;
    std::memcpy(&word, bytes + pos, sizeof word);
    buffer |= __builtin_bswap64(word) >> available;
    pos += static_cast<std::size_t>((63 - available) >> 3);
    available |= 56;
    for (int k = 0; k < kLookups; ++k) {
      const std::uint32_t entry = fast[buffer >> (64 - kTableBits)];
      if (EntryCount(entry) == 0) {
        // A long code. At most three lookups took 36 bits, so that the
        // second lookup's 20 are at hand; the round ends with it.
        const std::uint32_t symbol = LongCode(longStart, longCodes, buffer);
        if (symbol == 0) return false;
        *out++ = static_cast<std::uint8_t>(LongByte(symbol));
        buffer <<= LongLength(symbol);
        available -= LongLength(symbol);
        break;
      }
      const std::uint32_t symbols = EntrySymbols(entry);
      std::memcpy(out, &symbols, sizeof symbols);  // the first symbol first
      out += EntryCount(entry);
      buffer <<= EntryLength(entry);
      available -= EntryLength(entry);
    }
    return pos <= lastPos && std::uint64_t{pos} * 8 - static_cast<unsigned>(available) <= lastStart;
  }

  const std::uint32_t* fast;
  const std::uint32_t* longStart;
  const std::uint16_t* longCodes;
  const std::uint8_t* bytes;
  std::uint64_t buffer;
  int available;
  std::size_t pos;
  std::uint8_t* out;
  std::size_t lastPos;
  std::uint64_t lastStart;
  bool fits;
};

}  // namespace

std::int32_t NextSymbol(MemoryBits& bits, const DecodingTables& tables, bool& inside) {
  if (bits.available < kTableBits) bits.Refill();
  const std::uint32_t entry = tables.first[bits.Peek(kTableBits)];
  const int length = FirstLength(entry);
  if (length != 0 && length <= bits.available) {
    bits.Skip(length);
    inside = false;
    return FirstIndex(entry);
  }
  if (length == 0 && bits.available >= kTableBits + kLongBits) {
    const std::uint32_t symbol =
        LongCode(tables.longStart.data(), tables.longCodes.data(), bits.buffer);
    if (symbol != 0) {
      bits.Skip(LongLength(symbol));
      inside = false;
      return static_cast<std::int32_t>(LongByte(symbol));
    }
  }
  return WalkTree(bits, tables, inside);
}

void DecodeFast(MemoryBits& bits, const DecodingTables& tables, std::uint64_t stopBit,
                std::uint8_t*& out) {
  FastStream stream(tables, bits, out, stopBit);
  if (!stream.fits) return;
  while (stream.Round()) {
  }
  stream.Save(bits, out);
}

void DecodeFastTwo(MemoryBits& bits1, std::uint8_t*& out1, std::uint64_t stop1, MemoryBits& bits2,
                   std::uint8_t*& out2, std::uint64_t stop2, const DecodingTables& tables) {
  FastStream one(tables, bits1, out1, stop1);
  FastStream two(tables, bits2, out2, stop2);
  if (!one.fits || !two.fits) return;
  for (;;) {
    const bool more1 = one.Round();
    const bool more2 = two.Round();
    if (!more1 || !more2) break;
  }
  one.Save(bits1, out1);
  two.Save(bits2, out2);
}

RunOutcome DecodeRun(MemoryBits& bits, const DecodingTables& tables, std::uint64_t stopBit,
                     std::uint8_t*& out) {
  const std::uint32_t* const fast = tables.fast.data();
  for (;;) {
    DecodeFast(bits, tables, stopBit, out);
    const std::uint64_t position = bits.Position();
    if (position >= stopBit) return {RunEnd::kBoundary};
    // Near `stopBit` one lookup at a time, which cannot pass it when it
    // takes at most kTableBits; then one symbol at a time.
    if (bits.available < kTableBits) bits.Refill();
    if (position + kTableBits <= stopBit && bits.available >= kTableBits) {
      const std::uint32_t entry = fast[bits.Peek(kTableBits)];
      if (EntryCount(entry) != 0) {
        const std::uint32_t symbols = EntrySymbols(entry);
        std::memcpy(out, &symbols, sizeof symbols);
        out += EntryCount(entry);
        bits.Skip(EntryLength(entry));
        continue;
      }
    }
    bool inside = false;
    const std::int32_t decoded = NextSymbol(bits, tables, inside);
    if (decoded < 0) return {RunEnd::kOutOfBits, inside};
    if (decoded == kEndIndex) return {RunEnd::kEndSymbol};
    *out++ = static_cast<std::uint8_t>(decoded);
  }
}

}  // namespace tarvel
