// The fast loop: several independent streams of bits decoded in step by
// table lookups, so that while one lookup waits for its table entry the
// processor works on the other streams.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/bit_reader.h"
#include "decode/decoding_tables.h"

namespace tarvel {

// The loop works in rounds of four lookups per stream. Each round loads
// eight bytes, which leaves at least 56 bits at hand, and takes at most 48
// of them, or 56 when its last symbol has a code longer than one lookup.
inline constexpr int kLookups = 4;
inline constexpr std::uint64_t kRoundBits = kLookups * kTableBits;
inline constexpr int kBitsAtHand = 56;
inline constexpr std::uint64_t kLongRoundBits =
    (kLookups - 1) * kTableBits + kTableBits + kLongBits;
static_assert(kRoundBits <= kBitsAtHand, "a round's lookups never outrun one load");
static_assert(kLongRoundBits <= kBitsAtHand,
              "a long code's second lookup has its bits at hand after three short ones");

// Whether a round may start: eight bytes to load, and `stopBit` more than
// a round's lookups ahead, so that a round never passes the first symbol
// boundary at or past it.
inline bool RoundFits(const MemoryBits& bits, std::uint64_t stopBit) {
  return bits.pos + 8 <= bits.limit && bits.Position() + kRoundBits < stopBit;
}

// The bytes a round may write from where its symbols start: three symbols
// per lookup, one more for a long code, and the three bytes that the last
// lookup's store reaches beyond its symbols.
inline constexpr std::size_t kRoundOutputBytes = kLookups * 3 + 1;
static_assert((kLookups - 1) * 3 + 4 <= kRoundOutputBytes,
              "the last store stays in a round's room");

// One stream for the loop: its bits, where its symbols go and where their
// room ends, and the bit before which its rounds stay.
struct FastLane {
  MemoryBits* bits;
  std::uint8_t** out;
  const std::uint8_t* outEnd;
  std::uint64_t stopBit;
};

// The most lanes decoded in step.
inline constexpr int kMaxLanes = 6;

// Decodes `count` lanes (1 to kMaxLanes) in step, in rounds while every
// lane's next round fits its bits and its room, up to the first code that
// the lookups do not cover in any lane. Each lane's bits and output are
// left where it stopped, always at a symbol boundary.
void DecodeFastLanes(const FastLane* lanes, int count, const DecodingTables& tables);

}  // namespace tarvel
