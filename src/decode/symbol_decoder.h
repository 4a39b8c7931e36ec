// Symbols from the bits of a payload: by table lookups, several symbols at a
// time where the codes are short, and by the code tree where they are not.
#pragma once

#include <cstdint>

#include "decode/bit_reader.h"
#include "decode/decoding_tables.h"

namespace tarvel {

enum class RunEnd { kBoundary, kEndSymbol, kOutOfBits };

struct RunOutcome {
  RunEnd end;
  bool insideCode = false;  // kOutOfBits: whether the bits ran out inside a code
};

// The next symbol, by one lookup when its code is short, else by the code
// tree. Returns its decoding index, or -1 when the bits run out first
// (`inside` tells whether that happened inside a code).
std::int32_t NextSymbol(MemoryBits& bits, const DecodingTables& tables, bool& inside);

// The fast loop works in rounds of four lookups. Each round loads eight
// bytes, which leaves at least 56 bits at hand, and takes at most 48 of
// them; it may start where eight bytes remain and `stopBit` is more than 48
// bits ahead.
inline constexpr int kLookups = 4;
inline constexpr std::uint64_t kRoundBits = kLookups * kTableBits;
// One load leaves at least 56 bits at hand: enough for a round, and for the
// second lookup of a long code after three short ones.
inline constexpr int kBitsAtHand = 56;
static_assert(kRoundBits <= kBitsAtHand, "a round's lookups never outrun one load");
static_assert((kLookups - 1) * kTableBits + kTableBits + kLongBits <= kBitsAtHand,
              "a long code's second lookup has its bits at hand after three short ones");

inline bool RoundFits(const MemoryBits& bits, std::uint64_t stopBit) {
  return bits.pos + 8 <= bits.limit && bits.Position() + kRoundBits < stopBit;
}

// Rounds while they fit, up to a code that the lookups do not cover.
void DecodeFast(MemoryBits& bits, const DecodingTables& tables, std::uint64_t stopBit,
                std::uint8_t*& out);

// The same for two independent streams at once: each lookup waits for the
// one before in its own stream, so the processor works on the other stream
// meanwhile. Stops as soon as either stream cannot go on.
void DecodeFastTwo(MemoryBits& bits1, std::uint8_t*& out1, std::uint64_t stop1, MemoryBits& bits2,
                   std::uint8_t*& out2, std::uint64_t stop2, const DecodingTables& tables);

// Decodes symbols into `out` until a symbol boundary at or past `stopBit`,
// the end symbol, or the end of the bits. `out` needs room for three bytes
// beyond the last symbol.
RunOutcome DecodeRun(MemoryBits& bits, const DecodingTables& tables, std::uint64_t stopBit,
                     std::uint8_t*& out);

}  // namespace tarvel
