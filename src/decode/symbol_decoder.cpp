#include "decode/symbol_decoder.h"

#include <cstring>

#include "decode/fast_loop.h"
#include "io/byte_order.h"

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

RunOutcome DecodeRun(MemoryBits& bits, const DecodingTables& tables, std::uint64_t stopBit,
                     std::uint8_t*& out, const std::uint8_t* outEnd) {
  const std::uint32_t* const fast = tables.fast[0].entries;
  for (;;) {
    const FastLane lane{&bits, &out, outEnd, stopBit};
    DecodeFastLanes(&lane, 1, tables);
    const std::uint64_t position = bits.Position();
    if (position >= stopBit) return {RunEnd::kBoundary};
    if (outEnd - out < 4) return {RunEnd::kOutputFull};
    // Near `stopBit` one lookup at a time, which cannot pass it when it
    // takes at most kTableBits; then one symbol at a time.
    if (bits.available < kTableBits) bits.Refill();
    if (position + kTableBits <= stopBit && bits.available >= kTableBits) {
      const std::uint32_t entry = fast[bits.Peek(kTableBits)];
      if (EntryCount(entry) != 0) {
        StoreEntrySymbols(out, entry);
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
