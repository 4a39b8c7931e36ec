// The tables that turn the bits of a payload back into symbols.
#pragma once

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
// An entry of `fast`: the bits its symbols take (bits 0-5, so that a shift
// by the entry itself consumes them), how many symbols it gives (6-7), then
// the symbols in order (8-15, 16-23, 24-31), so that one store of the upper
// three bytes writes them all. An entry that gives none sends the decoder to
// the tree.
struct DecodingTables {
  std::vector<std::uint32_t> fast;
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

inline constexpr std::uint32_t EntryCount(std::uint32_t entry) { return (entry >> 6) & 3; }
inline constexpr int EntryLength(std::uint32_t entry) { return static_cast<int>(entry & 0x3F); }
inline constexpr std::uint32_t EntrySymbols(std::uint32_t entry) { return entry >> 8; }

// The tables for the codes in table order and the symbol at each position
// (-1 for the end symbol).
// REQUIRES: the codes form a complete prefix code.
DecodingTables BuildTables(const std::vector<std::int32_t>& symbols,
                           const std::vector<std::string>& codes);

}  // namespace tarvel
