#include "decode/fast_loop.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

#include "io/byte_order.h"
#include "io/cpu.h"

namespace tarvel {

namespace {

// How many rounds a lane can take before anything must be checked: each
// round moves the byte that it loads from (`load`) at most 7 bytes on, its
// position at most kLongRoundBits bits, and its symbols at most
// kRoundOutputBytes.
inline std::uint64_t RoundsAhead(std::size_t limit, std::uint64_t load, std::uint64_t position,
                                 std::uint64_t stopBit, std::size_t room) {
  if (load + 8 > limit || position + kRoundBits >= stopBit) return 0;
  const std::uint64_t byBytes = (limit - 8 - load) / 7 + 1;
  const std::uint64_t byBits = (stopBit - position - kRoundBits - 1) / kLongRoundBits + 1;
  return std::min({byBytes, byBits, std::uint64_t{room / kRoundOutputBytes}});
}

// The length field of a fast entry (EntryLength).
constexpr unsigned kLengthMask = kFastLengthMask;
static_assert(kLongRoundBits <= kLengthMask, "a round's lengths add up in the length field");

// `value`, which the compiler must take for unknown: a shift by it is then
// a shift by a register, which BMI2 does in one step without a copy of what
// it shifts, where a shift by a constant copies first.
template <typename T>
[[gnu::always_inline]] inline T Opaque(T value) {
  asm("" : "+r"(value));
  return value;
}

// A lane's bits kept in a register from round to round and topped up by
// each round's load, with a count of those that belong to the stream. The
// load of a round needs only the count, which the processor has early: for
// one or two lanes, whose rounds follow one another closely.
struct CarriedBits {
  static constexpr bool kCounts = true;
  std::uint64_t buffer;
  unsigned available;
  const std::uint8_t* next;

  CarriedBits() = default;
  explicit CarriedBits(const MemoryBits& bits)
      : buffer(bits.buffer),
        available(static_cast<unsigned>(bits.available)),
        next(bits.bytes + bits.pos) {}
  std::uint64_t Position(const std::uint8_t* bytes) const {
    return std::uint64_t(next - bytes) * 8 - available;
  }
  // The byte the next round loads from.
  std::uint64_t LoadByte(const std::uint8_t* bytes) const { return std::uint64_t(next - bytes); }
  // At least 56 of the stream's bits at the top.
  [[gnu::always_inline]] std::uint64_t Load() {
    buffer |= LoadBigEndian64(next) >> available;
    next += (63 - available) >> 3;
    available |= 56;
    return buffer;
  }
  // What is left of the loaded bits once `used` of them are taken.
  [[gnu::always_inline]] void Took(std::uint64_t rest, unsigned used) {
    buffer = rest;
    available -= used;
  }
  void Leave(MemoryBits& bits) const {
    bits.buffer = buffer;
    bits.available = static_cast<int>(available);
    bits.pos = static_cast<std::size_t>(next - bits.bytes);
  }
};

// A lane's bit position alone, as the byte that the next round loads from
// and the bit in that byte where the stream goes on. Each round loads those
// eight bytes with a marker bit laid over the last one, and shifts them by
// the bit: at least 56 of the stream's bits above the marker, which the
// lookups shift out as they consume them. Where the marker stands at the end
// tells how far the round went, with no count kept along the way; a round's
// load waits for that, which three or four lanes hide.
struct MarkedBits {
  static constexpr bool kCounts = false;
  const std::uint8_t* next;
  unsigned bit;

  MarkedBits() = default;
  explicit MarkedBits(const MemoryBits& bits)
      : next(bits.bytes + bits.Position() / 8), bit(static_cast<unsigned>(bits.Position() % 8)) {}
  std::uint64_t Position(const std::uint8_t* bytes) const {
    return std::uint64_t(next - bytes) * 8 + bit;
  }
  std::uint64_t LoadByte(const std::uint8_t* bytes) const { return std::uint64_t(next - bytes); }
  [[gnu::always_inline]] std::uint64_t Load() const { return (LoadBigEndian64(next) | 1) << bit; }
  [[gnu::always_inline]] void Took(std::uint64_t rest, unsigned /*used*/) {
    // The marker stood at `bit`; it moved up by the bits taken.
    const auto moved = static_cast<unsigned>(std::countr_zero(rest));
    next += moved >> 3;
    bit = moved & 7;
  }
  void Leave(MemoryBits& bits) const { bits.Start(Position(bits.bytes)); }
};

// The loop for N lanes. The lookups of one round go lane by lane, so that N
// independent lookups are in flight. With `byRegister`, every shift is by a
// count held in a register.
//
// A lookup that meets a code the table does not cover finds the entry 0,
// which consumes nothing, so that the round's later lookups stand still on
// it; the round ends with the second lookup for that code, or with leaving
// the loop when that cannot decode it either.
template <int N, bool byRegister>
[[gnu::always_inline]] inline void RunLanes(const FastLane* lanes, const DecodingTables& tables) {
  using Bits = std::conditional_t<(N >= 3), MarkedBits, CarriedBits>;
  const FastLookups& fast = tables.fast[0];
  const std::uint32_t* const longStart = tables.longStart.data();
  const std::uint16_t* const longCodes = tables.longCodes.data();
  unsigned indexShift = 64 - kTableBits;
  if constexpr (byRegister) indexShift = Opaque(indexShift);
  // Copies that no store of a symbol can alias, so that they need not be
  // read again after each one.
  Bits lane[N];
  std::uint8_t* out[N];
  for (int k = 0; k < N; ++k) {
    lane[k] = Bits(*lanes[k].bits);
    out[k] = *lanes[k].out;
  }
  bool stuck = false;
  while (!stuck) {
    std::uint64_t rounds = ~std::uint64_t{0};
    for (int k = 0; k < N; ++k) {
      const std::uint8_t* const bytes = lanes[k].bits->bytes;
      rounds = std::min(rounds, RoundsAhead(lanes[k].bits->limit, lane[k].LoadByte(bytes),
                                            lane[k].Position(bytes), lanes[k].stopBit,
                                            static_cast<std::size_t>(lanes[k].outEnd - out[k])));
    }
    if (rounds == 0) break;
    do {
      std::uint64_t buffer[N];
      std::uint32_t entry[N];
      unsigned used[N];
#pragma GCC unroll 8
      for (int k = 0; k < N; ++k) {
        buffer[k] = lane[k].Load();
        used[k] = 0;
      }
#pragma GCC unroll 8
      for (int j = 0; j < kLookups; ++j) {
#pragma GCC unroll 8
        for (int k = 0; k < N; ++k) {
          const std::size_t index = buffer[k] >> indexShift;
          entry[k] = fast.entries[index];
          // The symbols, first one first, then a byte not theirs, which the
          // next store writes over or which lies in the round's room.
          StoreEntrySymbols(out[k], entry[k]);
          // Where the count lies at the entry's top, a shift takes it.
          out[k] += kSymbolsLowFirst ? EntryCount(entry[k]) : fast.advance[index];
          // The length is the low bits of EntryShift(), which a shift by it
          // takes alone on x86-64 (where that is the entry itself); the
          // lengths of a round add up there too, with no carry out of them
          // (fewer than 64 bits).
          buffer[k] <<= EntryShift(entry[k]) & kLengthMask;
          if constexpr (Bits::kCounts) used[k] += EntryShift(entry[k]);
        }
      }
#pragma GCC unroll 8
      for (int k = 0; k < N; ++k) {
        if (entry[k] == 0) [[unlikely]] {
          const std::uint32_t symbol = LongCode(longStart, longCodes, buffer[k]);
          if (symbol == 0) {
            stuck = true;
          } else {
            *out[k]++ = static_cast<std::uint8_t>(LongByte(symbol));
            buffer[k] <<= LongLength(symbol);
            used[k] += static_cast<unsigned>(LongLength(symbol));
          }
        }
        lane[k].Took(buffer[k], used[k] & kLengthMask);
      }
    } while (--rounds != 0 && !stuck);
  }
  for (int k = 0; k < N; ++k) {
    lane[k].Leave(*lanes[k].bits);
    *lanes[k].out = out[k];
  }
}

static_assert(kLongRoundBits <= 56, "a round keeps to the 56 bits above the marker");

using LanesFunction = void (*)(const FastLane*, const DecodingTables&);

template <int N>
void Portable(const FastLane* lanes, const DecodingTables& tables) {
  RunLanes<N, false>(lanes, tables);
}

constexpr LanesFunction kPortable[kMaxLanes] = {Portable<1>, Portable<2>, Portable<3>,
                                                Portable<4>, Portable<5>, Portable<6>};

#if TARVEL_X86_VARIANTS
template <int N>
TARVEL_WITH_BMI2_MOVBE void WithBmi2(const FastLane* lanes, const DecodingTables& tables) {
  RunLanes<N, true>(lanes, tables);
}

constexpr LanesFunction kBmi2[kMaxLanes] = {WithBmi2<1>, WithBmi2<2>, WithBmi2<3>,
                                            WithBmi2<4>, WithBmi2<5>, WithBmi2<6>};
#endif

}  // namespace

void DecodeFastLanes(const FastLane* lanes, int count, const DecodingTables& tables) {
#if TARVEL_X86_VARIANTS
  if (UseBmi2()) return kBmi2[count - 1](lanes, tables);
#endif
  kPortable[count - 1](lanes, tables);
}

}  // namespace tarvel
