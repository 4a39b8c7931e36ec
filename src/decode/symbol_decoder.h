// Symbols from the bits of a payload: by table lookups, several symbols at a
// time where the codes are short, and by the code tree where they are not.
#pragma once

#include <cstdint>

#include "decode/bit_reader.h"
#include "decode/decoding_tables.h"

namespace tarvel {

enum class RunEnd { kBoundary, kEndSymbol, kOutOfBits, kOutputFull };

struct RunOutcome {
  RunEnd end;
  bool insideCode = false;  // kOutOfBits: whether the bits ran out inside a code
};

// The next symbol, by one lookup when its code is short, else by the code
// tree. Returns its decoding index, or -1 when the bits run out first
// (`inside` tells whether that happened inside a code).
std::int32_t NextSymbol(MemoryBits& bits, const DecodingTables& tables, bool& inside);

// Decodes symbols into `out` until a symbol boundary at or past `stopBit`,
// the end symbol, the end of the bits, or a boundary where fewer than four
// bytes of room are left before `outEnd` (kOutputFull).
RunOutcome DecodeRun(MemoryBits& bits, const DecodingTables& tables, std::uint64_t stopBit,
                     std::uint8_t*& out, const std::uint8_t* outEnd);

}  // namespace tarvel
