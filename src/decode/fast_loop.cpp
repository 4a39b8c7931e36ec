#include "decode/fast_loop.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "io/byte_order.h"
#include "io/cpu.h"

namespace tarvel {

namespace {

// How many rounds a lane can take before anything must be checked: each
// round moves its position at most kLongRoundBits bits (7 bytes) on, and
// its symbols at most kRoundOutputBytes on; a round loads the eight bytes
// from the one its position is in.
inline std::uint64_t RoundsAhead(std::size_t limit, std::uint64_t position, std::uint64_t stopBit,
                                 std::size_t room) {
  const std::uint64_t byte = position / 8;
  if (byte + 8 > limit || position + kRoundBits >= stopBit) return 0;
  const std::uint64_t byBytes = (limit - 8 - byte) / 7 + 1;
  const std::uint64_t byBits = (stopBit - position - kRoundBits - 1) / kLongRoundBits + 1;
  return std::min({byBytes, byBits, std::uint64_t{room / kRoundOutputBytes}});
}

// `value`, which the compiler must take for unknown: a shift by it is then
// a shift by a register, which BMI2 does in one step without a copy of what
// it shifts, where a shift by a constant copies first.
template <typename T>
[[gnu::always_inline]] inline T Opaque(T value) {
  asm("" : "+r"(value));
  return value;
}

// The loop for N lanes. The lookups of one round go lane by lane, so that N
// independent lookups are in flight. With `byRegister`, every shift is by a
// count held in a register.
//
// A lane is its bit position and the place of its next symbol; nothing
// else is carried from round to round. Each round loads the eight bytes
// that its position starts in, with a marker bit laid over the last one,
// and shifts them by the position's bit in its byte: at least 56 of the
// stream's bits above the marker, which the lookups shift out as they
// consume them. Where the marker stands at the end tells how far the round
// went, with no count kept along the way.
//
// A lookup that meets a code the table does not cover finds the entry 0,
// which consumes nothing, so that the round's later lookups stand still on
// it; the round ends with the second lookup for that code, or with leaving
// the loop when that cannot decode it either.
template <int N, bool byRegister>
[[gnu::always_inline]] inline void RunLanes(const FastLane* lanes, const DecodingTables& tables) {
  const std::uint32_t* const fast = tables.fast.data();
  const std::uint32_t* const longStart = tables.longStart.data();
  const std::uint16_t* const longCodes = tables.longCodes.data();
  unsigned indexShift = 64 - kTableBits;
  unsigned lengthShift = kFastLengthShift;
  unsigned countShift = kFastCountShift;
  if constexpr (byRegister) {
    indexShift = Opaque(indexShift);
    lengthShift = Opaque(lengthShift);
    countShift = Opaque(countShift);
  }
  // Copies that no store of a symbol can alias, so that they need not be
  // read again after each one.
  std::uint64_t position[N];
  std::uint8_t* out[N];
  const std::uint8_t* bytes[N];
  for (int k = 0; k < N; ++k) {
    position[k] = lanes[k].bits->Position();
    out[k] = *lanes[k].out;
    bytes[k] = lanes[k].bits->bytes;
  }
  bool stuck = false;
  while (!stuck) {
    std::uint64_t rounds = ~std::uint64_t{0};
    for (int k = 0; k < N; ++k) {
      rounds = std::min(rounds, RoundsAhead(lanes[k].bits->limit, position[k], lanes[k].stopBit,
                                            static_cast<std::size_t>(lanes[k].outEnd - out[k])));
    }
    if (rounds == 0) break;
    do {
      std::uint64_t buffer[N];
      std::uint32_t entry[N];
#pragma GCC unroll 4
      for (int k = 0; k < N; ++k) {
        const std::uint8_t* const at = bytes[k] + position[k] / 8;
        buffer[k] = (LoadBigEndian64(at) | 1) << (position[k] % 8);
      }
#pragma GCC unroll 4
      for (int j = 0; j < kLookups; ++j) {
#pragma GCC unroll 4
        for (int k = 0; k < N; ++k) {
          entry[k] = fast[buffer[k] >> indexShift];
          // The symbols, first one first; the top byte, not theirs, is
          // written over by the next store, or lies in the round's room.
          StoreLittleEndian32(out[k], entry[k]);
          out[k] += entry[k] >> countShift;
          buffer[k] <<= (entry[k] >> lengthShift) & ((1u << kFastLengthBits) - 1);
        }
      }
#pragma GCC unroll 4
      for (int k = 0; k < N; ++k) {
        if (entry[k] == 0) [[unlikely]] {
          const std::uint32_t symbol = LongCode(longStart, longCodes, buffer[k]);
          if (symbol == 0) {
            stuck = true;
          } else {
            *out[k]++ = static_cast<std::uint8_t>(LongByte(symbol));
            buffer[k] <<= LongLength(symbol);
          }
        }
        // The marker stood at the position's bit in its byte.
        position[k] = (position[k] & ~std::uint64_t{7}) +
                      static_cast<std::uint64_t>(std::countr_zero(buffer[k]));
      }
    } while (--rounds != 0 && !stuck);
  }
  for (int k = 0; k < N; ++k) {
    lanes[k].bits->Start(position[k]);
    *lanes[k].out = out[k];
  }
}

static_assert(kLongRoundBits <= 56, "a round keeps to the 56 bits above the marker");

using LanesFunction = void (*)(const FastLane*, const DecodingTables&);

template <int N>
void Portable(const FastLane* lanes, const DecodingTables& tables) {
  RunLanes<N, false>(lanes, tables);
}

constexpr LanesFunction kPortable[kMaxLanes] = {Portable<1>, Portable<2>, Portable<3>, Portable<4>};

#if TARVEL_X86_VARIANTS
template <int N>
TARVEL_WITH_BMI2 void WithBmi2(const FastLane* lanes, const DecodingTables& tables) {
  RunLanes<N, true>(lanes, tables);
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
