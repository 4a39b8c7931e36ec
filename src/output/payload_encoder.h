// The payload's hot loop: one table lookup per input byte, bits gathered in
// a 64-bit accumulator and stored a whole word at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "model/code_table.h"
#include "output/bit_writer.h"

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
  // The longest code, the end symbol's included. The packed form holds codes
  // of up to BitWriter::kMaxCodeBits bits; `fits` is false when one is
  // longer, and then only the BitString codes of the table can be used.
  int maxLength = 0;
  bool fits = true;
  // How many codes the encoder joins before adding them to its accumulator.
  int groupSize = 1;
};

PackedCodes PackCodes(const CodeTable& table);

// Writes the codes of data[0..size) at `cursor`.
// REQUIRES: codes.fits; `cursor` has room for size * codes.maxLength / 8 + 1
// bytes (plus its slack).
// Returns false if some byte of the data has no code (its bits are then
// missing from the output).
bool EncodeBytes(const std::uint8_t* data, std::size_t size, const PackedCodes& codes,
                 BitCursor& cursor);

// The number of input bytes whose codes are sure to fit in one writer block.
std::size_t BytesPerBlock(const PackedCodes& codes);

}  // namespace tarvel
