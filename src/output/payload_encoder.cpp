#include "output/payload_encoder.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>

namespace tarvel {

namespace {

std::uint64_t Pack(const BitString& code) {
  std::uint64_t bits = 0;
  for (const char c : code) bits = (bits << 1) | static_cast<std::uint64_t>(c - '0');
  return bits;
}

// Stores the pending bits as whole bytes: the top `bitCount` bits of the
// word go out, big-endian, and the 0 to 7 bits of an unfinished byte stay.
inline void StoreWhole(std::uint64_t accumulator, int& bitCount, std::uint8_t*& out) {
  // Two shifts, so that a count of 0 shifts everything out instead of
  // shifting by 64.
  const std::uint64_t word = __builtin_bswap64((accumulator << (63 - bitCount)) << 1);
  std::memcpy(out, &word, sizeof word);
  out += bitCount >> 3;
  bitCount &= 7;
}

// Joins the codes of K bytes into one group and adds the group to the
// accumulator, then stores the whole bytes. The joins of consecutive groups
// do not depend on each other, so the processor overlaps them; only the add
// to the accumulator and the store form a chain from group to group.
//
// A group must not exceed 56 bits, so that with the 0 to 7 bits left over it
// fits the accumulator. Without kCheck, K codes of the longest length fit
// for sure. With kCheck, K is chosen for the usual lengths and a group that
// turns out longer (a run of rare bytes) is added one code at a time.
template <int K, bool kCheck>
bool Encode(const std::uint8_t* p, const std::uint8_t* end, const PackedCodes& codes,
            BitCursor& cursor) {
  const std::uint64_t* const codeOf = codes.codes.data();
  const std::uint8_t* const lengthOf = codes.lengths.data();
  std::uint64_t accumulator = cursor.accumulator;
  int bitCount = cursor.bitCount;
  std::uint8_t* out = cursor.out;
  std::uint64_t seen = 0;
  for (; end - p >= K; p += K) {
    std::uint64_t group = 0;
    int length = 0;
    for (int k = 0; k < K; ++k) {
      const std::uint64_t code = codeOf[p[k]];
      const int codeLength = lengthOf[p[k]];
      group = (group << codeLength) | code;
      length += codeLength;
      seen |= code;
    }
    if (kCheck && length > BitWriter::kMaxCodeBits) {
      for (int k = 0; k < K; ++k) {
        const int codeLength = lengthOf[p[k]];
        accumulator = (accumulator << codeLength) | codeOf[p[k]];
        bitCount += codeLength;
        StoreWhole(accumulator, bitCount, out);
      }
      continue;
    }
    accumulator = (accumulator << length) | group;
    bitCount += length;
    StoreWhole(accumulator, bitCount, out);
  }
  for (; p != end; ++p) {
    const std::uint64_t code = codeOf[*p];
    const int length = lengthOf[*p];
    accumulator = (accumulator << length) | code;
    bitCount += length;
    seen |= code;
    StoreWhole(accumulator, bitCount, out);
  }
  cursor.accumulator = accumulator;
  cursor.bitCount = bitCount;
  cursor.out = out;
  return (seen & PackedCodes::kNoCode) == 0;
}

template <int K>
bool EncodeGroups(const std::uint8_t* p, const std::uint8_t* end, const PackedCodes& codes,
                  BitCursor& cursor) {
  if (K * codes.maxLength <= BitWriter::kMaxCodeBits) return Encode<K, false>(p, end, codes, cursor);
  return Encode<K, true>(p, end, codes, cursor);
}

}  // namespace

PackedCodes PackCodes(const CodeTable& table) {
  PackedCodes codes;
  codes.codes.fill(PackedCodes::kNoCode);
  // A code of L bits stands for a share of about 2^-L of the input, so this
  // is about the average code length, without the counts.
  double typicalLength = 0;
  for (std::int32_t position = table.LowerBound(); position < table.End(); ++position) {
    const CodeEntry& entry = table[position];
    const int length = static_cast<int>(entry.code.size());
    codes.maxLength = std::max(codes.maxLength, length);
    typicalLength += std::ldexp(static_cast<double>(length), -length);
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
  const double groupBits = 40;
  codes.groupSize = std::clamp(static_cast<int>(groupBits / std::max(typicalLength, 1.0)), 1, 8);
  return codes;
}

std::size_t BytesPerBlock(const PackedCodes& codes) {
  assert(codes.maxLength > 0);
  return (BitWriter::kBlockBytes - 1) * 8 / static_cast<std::size_t>(codes.maxLength);
}

bool EncodeBytes(const std::uint8_t* data, std::size_t size, const PackedCodes& codes,
                 BitCursor& cursor) {
  assert(codes.fits);
  const std::uint8_t* const end = data + size;
  switch (codes.groupSize) {
    case 8: return EncodeGroups<8>(data, end, codes, cursor);
    case 7: return EncodeGroups<7>(data, end, codes, cursor);
    case 6: return EncodeGroups<6>(data, end, codes, cursor);
    case 5: return EncodeGroups<5>(data, end, codes, cursor);
    case 4: return EncodeGroups<4>(data, end, codes, cursor);
    case 3: return EncodeGroups<3>(data, end, codes, cursor);
    case 2: return EncodeGroups<2>(data, end, codes, cursor);
    default: return EncodeGroups<1>(data, end, codes, cursor);
  }
}

}  // namespace tarvel
