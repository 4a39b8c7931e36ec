// The tables that turn the bits of a payload back into symbols.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvel {

// Codes up to this long are decoded by table lookups; longer ones (rare
// symbols by construction) by walking the code tree bit by bit.
inline constexpr int kTableBits = 12;
inline constexpr int kLongBits = 8;
// The end symbol in the decoding tables, where byte values are 0 to 255.
inline constexpr std::int32_t kEndIndex = 256;

// The decoding tables. One lookup of kTableBits bits gives up to three whole
// symbols when their codes are short; a longer code, and the end symbol, go
// through the code tree bit by bit.
//
// An entry of `fast.entries`: the bits its symbols take (bits 0-5, so that a shift
// by the entry itself consumes them), how many symbols it gives (6-7), and
// the symbols, the first in the top byte (24-31), then 16-23 and 8-15, so
// that one big-endian store of the entry writes them all in order, followed
// by a byte that is not theirs. An entry that gives none is 0: it consumes
// nothing, and sends the decoder to the second lookup or the tree.
// `fast.advance` holds each entry's count again, as wide as a pointer, so
// that the fast loop moves its output on by one addition from memory; both
// lie in one block, which one register reaches.
struct FastLookups {
  std::uint32_t entries[std::size_t{1} << kTableBits];
  std::size_t advance[std::size_t{1} << kTableBits];
};
struct DecodingTables {
  std::vector<FastLookups> fast = std::vector<FastLookups>(1);
  // The first symbol alone, for decoding up to an exact bit: its code length
  // (bits 0-3, 0 for a code longer than kTableBits) and its decoding index.
  std::vector<std::uint16_t> first;
  // Codes of kTableBits + 1 to kTableBits + kLongBits bits, by a second
  // lookup: `longStart`, indexed like `fast`, holds for a prefix that begins
  // such codes where its entries start in `longCodes` and how many bits
  // index them (start | bits << 24), or 0. An entry of `longCodes`: the code
  // length (bits 0-4, 0 for a longer code or the end symbol) and the byte
  // value.
  std::vector<std::uint32_t> longStart;
  std::vector<std::uint16_t> longCodes;
  // Tree nodes: children[2 * node + bit] is a node number, or -(index + 1)
  // for a leaf holding the decoding index (byte value or kEndIndex).
  std::vector<std::int32_t> children;
};

// Entries of `fast`.
inline constexpr int kFastLengthBits = 6;
inline constexpr int kFastCountShift = 6;
inline constexpr int kFastSymbolsShift = 8;
// `symbols` holds the first symbol in its top byte, as in the entry.
inline constexpr std::uint32_t FastEntry(std::uint32_t symbols, std::uint32_t count, int length) {
  return symbols | count << kFastCountShift | static_cast<std::uint32_t>(length);
}
inline constexpr std::uint32_t EntryCount(std::uint32_t entry) {
  return (entry >> kFastCountShift) & 3;
}
inline constexpr int EntryLength(std::uint32_t entry) {
  return static_cast<int>(entry & ((1u << kFastLengthBits) - 1));
}
// The place of symbol `k` (0 to 2) of an entry.
inline constexpr int FastSymbolShift(int k) { return 24 - 8 * k; }

// Entries of `first`.
inline constexpr int kFirstLengthBits = 4;
inline constexpr std::uint16_t FirstEntry(int length, std::int32_t index) {
  return static_cast<std::uint16_t>(length | index << kFirstLengthBits);
}
inline constexpr int FirstLength(std::uint32_t entry) {
  return static_cast<int>(entry & ((1u << kFirstLengthBits) - 1));
}
inline constexpr std::int32_t FirstIndex(std::uint32_t entry) {
  return static_cast<std::int32_t>(entry >> kFirstLengthBits);
}

// Entries of `longCodes`, and of `longStart`.
inline constexpr int kLongLengthBits = 5;
inline constexpr std::uint16_t LongEntry(int length, std::int32_t byte) {
  return static_cast<std::uint16_t>(length | byte << kLongLengthBits);
}
inline constexpr int LongLength(std::uint32_t entry) {
  return static_cast<int>(entry & ((1u << kLongLengthBits) - 1));
}
inline constexpr std::uint32_t LongByte(std::uint32_t entry) { return entry >> kLongLengthBits; }
inline constexpr int kLongStartShift = 24;
inline constexpr std::uint32_t LongStart(std::uint32_t offset, int bits) {
  return offset | static_cast<std::uint32_t>(bits) << kLongStartShift;
}
inline constexpr std::uint32_t LongStartOffset(std::uint32_t start) {
  return start & ((1u << kLongStartShift) - 1);
}
inline constexpr int LongStartBits(std::uint32_t start) {
  return static_cast<int>(start >> kLongStartShift);
}

static_assert(kTableBits < (1 << kFastLengthBits) && kFastLengthBits <= kFastSymbolsShift,
              "a fast entry's length field holds a whole lookup");
static_assert(kFastCountShift == kFastLengthBits && kFastCountShift + 2 == kFastSymbolsShift &&
                  FastSymbolShift(2) == kFastSymbolsShift,
              "the length, a count of up to 3 and three byte symbols fill an entry");
static_assert(kTableBits < (1 << kFirstLengthBits) && kFirstLengthBits + 12 <= 16 &&
                  kEndIndex < (1 << 12),
              "a first entry holds a lookup's length and any decoding index");
static_assert(kTableBits + kLongBits < (1 << kLongLengthBits) && kLongLengthBits + 8 <= 16,
              "a long entry holds a code of both lookups and a byte value");
static_assert((std::uint64_t{1} << kTableBits << kLongBits) < (std::uint64_t{1} << kLongStartShift),
              "every offset into longCodes fits below the bit count of a start");

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

// The tables for the codes in table order and the symbol at each position
// (-1 for the end symbol).
// REQUIRES: the codes form a complete prefix code.
DecodingTables BuildTables(const std::vector<std::int32_t>& symbols,
                           const std::vector<std::string>& codes);

}  // namespace tarvel
