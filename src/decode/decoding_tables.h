// The tables that turn the bits of a payload back into symbols.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "io/byte_order.h"

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
// An entry of `fast.entries` holds the symbols it gives, how many (up to
// three) and the bits they take, so that one store of the entry writes the
// symbols in order, followed by a byte that is not theirs. An entry that
// gives none is 0: it consumes nothing, and sends the decoder to the second
// lookup or the tree. Its layout is the machine's (kSymbolsLowFirst below).
// `fast.advance` holds each entry's count again, as wide as a pointer, so
// that the fast loop moves its output on by one addition from memory where
// the count is not taken from the entry; both lie in one block, which one
// register reaches.
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

// Entries of `fast`, in one of two layouts:
// - the symbols first-first from the top byte (24-31, 16-23, 8-15), the
//   count in bits 6-7 and the length in 0-5, for one big-endian store of
//   the entry and a shift by the entry itself, which takes the length (a
//   shift's count goes modulo 64 on x86-64): where a byte swap comes with
//   the store (MOVBE) or costs nothing (a big-endian machine);
// - the symbols first-first from the low byte (0-7, 8-15, 16-23), the
//   length in bits 24-29 and the count in 30-31, for one plain store on a
//   little-endian machine that swaps bytes at a cost (WebAssembly has no
//   swap at all), a shift by the entry's top byte and a count in one shift.
#if defined(__x86_64__) || defined(__i386__)
inline constexpr bool kSymbolsLowFirst = false;
#else
inline constexpr bool kSymbolsLowFirst = std::endian::native == std::endian::little;
#endif
inline constexpr int kFastLengthBits = 6;
inline constexpr std::uint32_t kFastLengthMask = (1u << kFastLengthBits) - 1;
inline constexpr int kFastLengthShift = kSymbolsLowFirst ? 24 : 0;
inline constexpr int kFastCountShift = kSymbolsLowFirst ? 30 : 6;
// The place of symbol `k` (0 to 2) of an entry.
inline constexpr int FastSymbolShift(int k) { return kSymbolsLowFirst ? 8 * k : 24 - 8 * k; }
// `symbols` holds each symbol at its FastSymbolShift().
inline constexpr std::uint32_t FastEntry(std::uint32_t symbols, std::uint32_t count, int length) {
  return symbols | count << kFastCountShift |
         static_cast<std::uint32_t>(length) << kFastLengthShift;
}
inline constexpr std::uint32_t EntryCount(std::uint32_t entry) {
  return (entry >> kFastCountShift) & 3;
}
inline constexpr int EntryLength(std::uint32_t entry) {
  return static_cast<int>((entry >> kFastLengthShift) & kFastLengthMask);
}
// A number whose lowest kFastLengthBits are the entry's length, and whose
// higher bits a shift by it drops: the entry itself, or its top byte.
// Added up over a round's entries, its low bits give their lengths' sum.
inline constexpr std::uint32_t EntryShift(std::uint32_t entry) { return entry >> kFastLengthShift; }
// Writes the entry's symbols at `out`, the first first, and one byte more.
[[gnu::always_inline]] inline void StoreEntrySymbols(std::uint8_t* out, std::uint32_t entry) {
  if constexpr (kSymbolsLowFirst) {
    StoreLittleEndian32(out, entry);
  } else {
    StoreBigEndian32(out, entry);
  }
}

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

static_assert(kTableBits < (1 << kFastLengthBits),
              "a fast entry's length field holds a whole lookup");
static_assert(kSymbolsLowFirst ? FastSymbolShift(2) + 8 == kFastLengthShift &&
                                     kFastLengthShift + kFastLengthBits == kFastCountShift &&
                                     kFastCountShift + 2 == 32
                               : kFastCountShift == kFastLengthBits && kFastCountShift + 2 == 8 &&
                                     FastSymbolShift(2) == 8,
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
