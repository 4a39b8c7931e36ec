#include "decode/fast_loop.h"

#include <algorithm>
#include <cstring>

#include "io/byte_order.h"
#include "io/cpu.h"

namespace tarvel {

namespace {

// How many rounds a lane can take before anything must be checked: each
// round moves its next load at most 7 bytes on, its position at most
// kLongRoundBits bits and its symbols at most kRoundOutputBytes on.
inline std::uint64_t RoundsAhead(const std::uint8_t* bytes, const std::uint8_t* end,
                                 const std::uint8_t* next, unsigned available,
                                 std::uint64_t stopBit, std::size_t room) {
  if (end - next < 8) return 0;
  const std::uint64_t position = std::uint64_t(next - bytes) * 8 - available;
  if (position + kRoundBits >= stopBit) return 0;
  const std::uint64_t byBytes = std::uint64_t(end - next - 8) / 7 + 1;
  const std::uint64_t byBits = (stopBit - position - kRoundBits - 1) / kLongRoundBits + 1;
  return std::min({byBytes, byBits, std::uint64_t{room / kRoundOutputBytes}});
}

// The length field of a fast entry (EntryLength), kept in 64 bits: the
// loop holds entries in 64-bit registers, which it shifts by.
constexpr std::uint64_t kLengthMask = (std::uint64_t{1} << kFastLengthBits) - 1;

// The loop for N lanes. The lookups of one round go lane by lane, so that N
// independent lookups are in flight. A lane's bits stay in a register from
// the refill to the last lookup of its round.
//
// A lookup that meets a code the table does not cover finds the entry 0,
// which consumes nothing, so that the round's later lookups stand still on
// it; the round ends with the second lookup for that code, or with leaving
// the loop when that cannot decode it either.
template <int N>
[[gnu::always_inline]] inline void RunLanes(const FastLane* lanes, const DecodingTables& tables) {
  const std::uint32_t* const fast = tables.fast.data();
  const std::uint32_t* const longStart = tables.longStart.data();
  const std::uint16_t* const longCodes = tables.longCodes.data();
  std::uint64_t buffer[N];
  unsigned available[N];
  const std::uint8_t* next[N];
  std::uint8_t* out[N];
  for (int k = 0; k < N; ++k) {
    const MemoryBits& bits = *lanes[k].bits;
    buffer[k] = bits.buffer;
    available[k] = static_cast<unsigned>(bits.available);
    next[k] = bits.bytes + bits.pos;
    out[k] = *lanes[k].out;
  }
  bool stuck = false;
  while (!stuck) {
    std::uint64_t rounds = ~std::uint64_t{0};
    for (int k = 0; k < N; ++k) {
      const MemoryBits& bits = *lanes[k].bits;
      rounds = std::min(rounds, RoundsAhead(bits.bytes, bits.bytes + bits.limit, next[k],
                                            available[k], lanes[k].stopBit,
                                            static_cast<std::size_t>(lanes[k].outEnd - out[k])));
    }
    if (rounds == 0) break;
    do {
      std::uint64_t used[N];
      std::uint64_t entry[N];
#pragma GCC unroll 4
      for (int k = 0; k < N; ++k) {
        buffer[k] |= LoadBigEndian64(next[k]) >> available[k];
        next[k] += (63 - available[k]) >> 3;
        available[k] |= 56;
        used[k] = 0;
      }
#pragma GCC unroll 4
      for (int j = 0; j < kLookups; ++j) {
#pragma GCC unroll 4
        for (int k = 0; k < N; ++k) {
          entry[k] = fast[buffer[k] >> (64 - kTableBits)];
          const auto symbols = static_cast<std::uint32_t>(entry[k] >> kFastSymbolsShift);
          StoreLittleEndian32(out[k], symbols);  // the first symbol first
          out[k] += entry[k] >> kFastCountShift;
          buffer[k] <<= entry[k] & kLengthMask;
          // The lengths add up in the low six bits: a round takes fewer than 64.
          used[k] += entry[k];
        }
      }
#pragma GCC unroll 4
      for (int k = 0; k < N; ++k) {
        available[k] -= used[k] & kLengthMask;
        if (entry[k] >> kFastCountShift == 0) [[unlikely]] {
          const std::uint32_t symbol = LongCode(longStart, longCodes, buffer[k]);
          if (symbol == 0) {
            stuck = true;
            continue;
          }
          *out[k]++ = static_cast<std::uint8_t>(LongByte(symbol));
          buffer[k] <<= LongLength(symbol);
          available[k] -= static_cast<unsigned>(LongLength(symbol));
        }
      }
    } while (--rounds != 0 && !stuck);
  }
  for (int k = 0; k < N; ++k) {
    MemoryBits& bits = *lanes[k].bits;
    bits.buffer = buffer[k];
    bits.available = static_cast<int>(available[k]);
    bits.pos = static_cast<std::size_t>(next[k] - bits.bytes);
    *lanes[k].out = out[k];
  }
}

static_assert(kRoundBits <= kLengthMask, "a round's lengths add up in the length field");

using LanesFunction = void (*)(const FastLane*, const DecodingTables&);

template <int N>
void Portable(const FastLane* lanes, const DecodingTables& tables) {
  RunLanes<N>(lanes, tables);
}

constexpr LanesFunction kPortable[kMaxLanes] = {Portable<1>, Portable<2>, Portable<3>, Portable<4>};

#if TARVEL_X86_VARIANTS
template <int N>
TARVEL_WITH_BMI2 void WithBmi2(const FastLane* lanes, const DecodingTables& tables) {
  RunLanes<N>(lanes, tables);
}

constexpr LanesFunction kBmi2[kMaxLanes] = {WithBmi2<1>, WithBmi2<2>, WithBmi2<3>, WithBmi2<4>};
#endif

}  // namespace

void DecodeFastLanes(const FastLane* lanes, int count, const DecodingTables& tables) {
#if TARVEL_X86_VARIANTS
  if (UseBmi2()) return kBmi2[count - 1](lanes, tables);
#endif
  kPortable[count - 1](lanes, tables);
}

}  // namespace tarvel
