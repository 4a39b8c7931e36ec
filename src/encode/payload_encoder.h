// The payload's hot loop: one table lookup per input byte (or per pair of
// bytes), bits gathered in a 64-bit accumulator and stored a whole word at a
// time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "encode/bit_writer.h"
#include "model/code_table.h"

namespace tarvel {

// Every byte value's code as a number and a length, built once from the
// CodeTable. A byte value that has no leaf has length 0 and the code kNoCode,
// a bit that no real code reaches.
struct PackedCodes {
  static constexpr std::uint64_t kNoCode = std::uint64_t{1} << 63;

  std::array<std::uint64_t, 256> codes{};
  std::array<std::uint8_t, 256> lengths{};
  std::uint64_t endCode = 0;
  int endLength = 0;
  // The longest code, the end symbol's included. Codes of up to
  // BitWriter::kMaxCodeBits bits pack; `fits` is false when one is longer,
  // and then only the BitString codes of the table can be used.
  int maxLength = 0;
  bool fits = true;
  // About the average code length: a code of L bits stands for a share of
  // about 2^-L of the input.
  double typicalLength = 0;
  // How many codes the encoder joins before adding them to its accumulator.
  int groupSize = 1;
};

PackedCodes PackCodes(const CodeTable& table);

// The codes of all 65536 pairs of byte values, indexed by first byte + 256 x
// second byte, as (code << 8) | length for pairs of up to kPairBits bits.
// One lookup then codes two bytes. A pair that is longer, or has a byte
// without a code, is kSlowPair: its length, 57, is more than any group may
// hold, which sends the group to the byte-by-byte path. The table has
// 256 KiB, and pays off for large inputs: on text its frequent pairs stay in
// the first-level cache, and on random bytes, whose pairs do not, the
// lookups do not wait for one another.
using PairCodes = std::vector<std::uint32_t>;
inline constexpr int kPairBits = 24;
inline constexpr std::uint32_t kSlowPair = BitWriter::kMaxCodeBits + 1;
PairCodes PackPairs(const PackedCodes& codes);

// Writes the codes of data[0..size) at `cursor`, by pairs when `pairs` is
// given.
// REQUIRES: codes.fits; `cursor` has room for size * codes.maxLength / 8 + 1
// bytes (plus its slack); `pairs` null or made from `codes`.
// Returns false if some byte of the data has no code (its bits are then
// missing from the output).
bool EncodeBytes(const std::uint8_t* data, std::size_t size, const PackedCodes& codes,
                 const PairCodes* pairs, BitCursor& cursor);

// The number of input bytes whose codes are sure to fit in one writer block.
std::size_t BytesPerBlock(const PackedCodes& codes);

}  // namespace tarvel
