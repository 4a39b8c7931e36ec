#include "encode/payload_encoder.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstring>

#include "io/byte_order.h"
#include "io/cpu.h"

namespace tarvel {

namespace {

std::uint64_t Pack(const BitString& code) {
  std::uint64_t bits = 0;
  for (const char c : code) bits = (bits << 1) | static_cast<std::uint64_t>(c - '0');
  return bits;
}

// The encoder's registers: the accumulator holds `bitCount` pending bits in
// its lowest positions (higher positions hold garbage), `out` is where the
// next whole byte goes, and `seen` gathers every code used, so that kNoCode
// shows whether a byte without a code was met.
struct Registers {
  std::uint64_t accumulator;
  std::uint64_t bitCount;  // as wide as a pointer, which it moves on
  std::uint8_t* out;
  std::uint64_t seen = 0;

  explicit Registers(const BitCursor& cursor)
      : accumulator(cursor.accumulator),
        bitCount(static_cast<std::uint64_t>(cursor.bitCount)),
        out(cursor.out) {}

  bool Finish(BitCursor& cursor) const {
    cursor.accumulator = accumulator;
    cursor.bitCount = static_cast<int>(bitCount);
    cursor.out = out;
    return (seen & PackedCodes::kNoCode) == 0;
  }

  // Adds `length` bits. REQUIRES: bitCount + length <= 63.
  [[gnu::always_inline]] void Add(std::uint64_t code, unsigned length) {
    accumulator = (accumulator << length) | code;
    bitCount += length;
  }

  // Stores the pending bits as whole bytes: the top `bitCount` bits go out,
  // big-endian, a whole word at once, and the 0 to 7 bits of an unfinished
  // byte stay. With a count of 0 the word is the accumulator unshifted, but
  // then no byte of it is whole: `out` stays, and the next store writes
  // over all of it.
  [[gnu::always_inline]] void StoreWhole() {
    StoreBigEndian64(out, accumulator << ((0 - bitCount) & 63));
    out += bitCount >> 3;
    bitCount &= 7;
  }

  // One byte's code, stored at once.
  [[gnu::always_inline]] void AddByte(const PackedCodes& codes, std::uint8_t byte) {
    const std::uint64_t code = codes.codes[byte];
    seen |= code;
    Add(code, codes.lengths[byte]);
    StoreWhole();
  }
};

// Joins the codes of K bytes into one group and adds the group to the
// accumulator, then stores the whole bytes. The joins of consecutive groups
// do not depend on each other, so the processor overlaps them; only the add
// to the accumulator and the store form a chain from group to group.
//
// A group must not exceed 56 bits, so that with the 0 to 7 bits left over it
// fits the accumulator. Without kCheck, K codes of the longest length fit
// for sure. With kCheck, K is chosen for the usual lengths and a group that
// turns out longer (a run of rare bytes) goes one code at a time.
template <int K, bool kCheck>
[[gnu::always_inline]] inline bool EncodeGroups(const std::uint8_t* p, const std::uint8_t* end,
                                                const PackedCodes& codes, BitCursor& cursor) {
  const std::uint64_t* const codeOf = codes.codes.data();
  const std::uint8_t* const lengthOf = codes.lengths.data();
  Registers r(cursor);
  for (; end - p >= K; p += K) {
    std::uint64_t group = 0;
    unsigned length = 0;
    for (int k = 0; k < K; ++k) {
      const std::uint64_t code = codeOf[p[k]];
      const unsigned codeLength = lengthOf[p[k]];
      group = (group << codeLength) | code;
      length += codeLength;
      r.seen |= code;
    }
    if (kCheck && length > BitWriter::kMaxCodeBits) {
      for (int k = 0; k < K; ++k) r.AddByte(codes, p[k]);
      continue;
    }
    r.Add(group, length);
    r.StoreWhole();
  }
  for (; p != end; ++p) r.AddByte(codes, *p);
  return r.Finish(cursor);
}

// The same with KP pairs of bytes per group, one lookup per pair. A group
// longer than 56 bits, which every group with a slow pair is, goes one code
// at a time.
template <int KP>
[[gnu::always_inline]] inline bool EncodePairGroups(const std::uint8_t* p, const std::uint8_t* end,
                                                    const PackedCodes& codes,
                                                    const std::uint32_t* pairs, BitCursor& cursor) {
  Registers r(cursor);
  for (; end - p >= 2 * KP; p += 2 * KP) {
    std::uint64_t group = 0;
    // The entries added up: their lengths, at most 4 x 57, stay apart from
    // the codes in the low eight bits.
    std::uint32_t entries = 0;
    for (int k = 0; k < KP; ++k) {
      const std::uint32_t entry = pairs[p[2 * k] | (p[2 * k + 1] << 8)];
      group = (group << (entry & 0x3F)) | (entry >> 8);
      entries += entry;
    }
    const unsigned length = entries & 0xFF;
    if (length > BitWriter::kMaxCodeBits) [[unlikely]] {
      // A pair at a time, and a slow pair a byte at a time.
      for (int k = 0; k < KP; ++k) {
        const std::uint32_t entry = pairs[p[2 * k] | (p[2 * k + 1] << 8)];
        if (entry == kSlowPair) {
          r.AddByte(codes, p[2 * k]);
          r.AddByte(codes, p[2 * k + 1]);
        } else {
          r.Add(entry >> 8, entry & 0x3F);
          r.StoreWhole();
        }
      }
      continue;
    }
    r.Add(group, length);
    r.StoreWhole();
  }
  for (; p != end; ++p) r.AddByte(codes, *p);
  return r.Finish(cursor);
}

template <int K>
[[gnu::always_inline]] inline bool EncodeBytesBy(const std::uint8_t* p, const std::uint8_t* end,
                                                 const PackedCodes& codes, const PairCodes* pairs,
                                                 BitCursor& cursor) {
  if constexpr (K >= 2) {
    if (pairs != nullptr) return EncodePairGroups<K / 2>(p, end, codes, pairs->data(), cursor);
  }
  if (K * codes.maxLength <= BitWriter::kMaxCodeBits) {
    return EncodeGroups<K, false>(p, end, codes, cursor);
  }
  return EncodeGroups<K, true>(p, end, codes, cursor);
}

}  // namespace

PackedCodes PackCodes(const CodeTable& table) {
  PackedCodes codes;
  codes.codes.fill(PackedCodes::kNoCode);
  for (std::int32_t position = table.LowerBound(); position < table.End(); ++position) {
    const CodeEntry& entry = table[position];
    const int length = static_cast<int>(entry.code.size());
    codes.maxLength = std::max(codes.maxLength, length);
    codes.typicalLength += std::ldexp(static_cast<double>(length), -length);
    if (length > BitWriter::kMaxCodeBits) {
      codes.fits = false;
      continue;
    }
    if (entry.symbol == kEndSymbol) {
      codes.endCode = Pack(entry.code);
      codes.endLength = length;
    } else {
      codes.codes[static_cast<std::size_t>(entry.symbol)] = Pack(entry.code);
      codes.lengths[static_cast<std::size_t>(entry.symbol)] = static_cast<std::uint8_t>(length);
    }
  }
  // Groups of the usual lengths then stay well below 56 bits.
  constexpr double kGroupBits = 40;
  codes.groupSize =
      std::clamp(static_cast<int>(kGroupBits / std::max(codes.typicalLength, 1.0)), 1, 8);
  return codes;
}

PairCodes PackPairs(const PackedCodes& codes) {
  PairCodes pairs(65536, kSlowPair);
  for (std::size_t second = 0; second < 256; ++second) {
    const int secondLength = codes.lengths[second];
    if (secondLength == 0) continue;
    for (std::size_t first = 0; first < 256; ++first) {
      const int firstLength = codes.lengths[first];
      if (firstLength == 0 || firstLength + secondLength > kPairBits) continue;
      const std::uint64_t code = (codes.codes[first] << secondLength) | codes.codes[second];
      pairs[first | second << 8] = static_cast<std::uint32_t>(code << 8) |
                                   static_cast<std::uint32_t>(firstLength + secondLength);
    }
  }
  return pairs;
}

std::size_t BytesPerBlock(const PackedCodes& codes) {
  assert(codes.maxLength > 0);
  return (BitWriter::kBlockBytes - 1) * 8 / static_cast<std::size_t>(codes.maxLength);
}

namespace {

// The whole loop, inlined into each of the variants below.
[[gnu::always_inline]] inline bool EncodeAll(const std::uint8_t* data, std::size_t size,
                                             const PackedCodes& codes, const PairCodes* pairs,
                                             BitCursor& cursor) {
  const std::uint8_t* const end = data + size;
  switch (codes.groupSize) {
    case 8:
      return EncodeBytesBy<8>(data, end, codes, pairs, cursor);
    case 7:
      return EncodeBytesBy<7>(data, end, codes, pairs, cursor);
    case 6:
      return EncodeBytesBy<6>(data, end, codes, pairs, cursor);
    case 5:
      return EncodeBytesBy<5>(data, end, codes, pairs, cursor);
    case 4:
      return EncodeBytesBy<4>(data, end, codes, pairs, cursor);
    case 3:
      return EncodeBytesBy<3>(data, end, codes, pairs, cursor);
    case 2:
      return EncodeBytesBy<2>(data, end, codes, pairs, cursor);
    default:
      return EncodeBytesBy<1>(data, end, codes, pairs, cursor);
  }
}

bool Portable(const std::uint8_t* data, std::size_t size, const PackedCodes& codes,
              const PairCodes* pairs, BitCursor& cursor) {
  return EncodeAll(data, size, codes, pairs, cursor);
}

#if TARVEL_X86_VARIANTS
TARVEL_WITH_BMI2_MOVBE bool WithBmi2(const std::uint8_t* data, std::size_t size,
                                     const PackedCodes& codes, const PairCodes* pairs,
                                     BitCursor& cursor) {
  return EncodeAll(data, size, codes, pairs, cursor);
}
#endif

}  // namespace

bool EncodeBytes(const std::uint8_t* data, std::size_t size, const PackedCodes& codes,
                 const PairCodes* pairs, BitCursor& cursor) {
  assert(codes.fits);
#if TARVEL_X86_VARIANTS
  if (UseBmi2()) return WithBmi2(data, size, codes, pairs, cursor);
#endif
  return Portable(data, size, codes, pairs, cursor);
}

}  // namespace tarvel
