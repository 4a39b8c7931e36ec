#include "output/payload_encoder.h"

#include <cassert>
#include <cstring>

namespace tarvel {

namespace {

std::uint64_t Pack(const BitString& code) {
  std::uint64_t bits = 0;
  for (const char c : code) bits = (bits << 1) | static_cast<std::uint64_t>(c - '0');
  return (bits << 8) | code.size();
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

// Adds K codes between stores. With at most 7 bits left over and K codes of
// at most 56 / K bits, the accumulator never holds more than 63, so every
// code lands whole and the store's shifts stay in range.
template <int K>
bool Encode(const std::uint8_t* p, const std::uint8_t* end, const PackedCodes& codes,
            BitCursor& cursor) {
  const std::uint64_t* const table = codes.byValue.data();
  std::uint64_t accumulator = cursor.accumulator;
  int bitCount = cursor.bitCount;
  std::uint8_t* out = cursor.out;
  std::uint64_t seen = 0;
  for (; end - p >= K; p += K) {
    for (int k = 0; k < K; ++k) {
      const std::uint64_t entry = table[p[k]];
      const int length = static_cast<int>(entry & PackedCodes::kLengthMask);
      accumulator = (accumulator << length) | (entry >> 8);
      bitCount += length;
      seen |= entry;
    }
    StoreWhole(accumulator, bitCount, out);
  }
  for (; p != end; ++p) {
    const std::uint64_t entry = table[*p];
    const int length = static_cast<int>(entry & PackedCodes::kLengthMask);
    accumulator = (accumulator << length) | (entry >> 8);
    bitCount += length;
    seen |= entry;
    StoreWhole(accumulator, bitCount, out);
  }
  cursor.accumulator = accumulator;
  cursor.bitCount = bitCount;
  cursor.out = out;
  return (seen & PackedCodes::kNoCode) == 0;
}

}  // namespace

PackedCodes PackCodes(const CodeTable& table) {
  PackedCodes codes;
  codes.byValue.fill(PackedCodes::kNoCode);
  for (std::int32_t position = table.LowerBound(); position < table.End(); ++position) {
    const CodeEntry& entry = table[position];
    const int length = static_cast<int>(entry.code.size());
    codes.maxLength = std::max(codes.maxLength, length);
    if (length > BitWriter::kMaxCodeBits) {
      codes.fits = false;
      continue;
    }
    if (entry.symbol == kEndSymbol) {
      codes.endCode = Pack(entry.code);
    } else {
      codes.byValue[static_cast<std::size_t>(entry.symbol)] = Pack(entry.code);
    }
  }
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
  const int length = codes.maxLength;
  if (length <= 9) return Encode<6>(data, end, codes, cursor);
  if (length <= 11) return Encode<5>(data, end, codes, cursor);
  if (length <= 14) return Encode<4>(data, end, codes, cursor);
  if (length <= 18) return Encode<3>(data, end, codes, cursor);
  if (length <= 28) return Encode<2>(data, end, codes, cursor);
  return Encode<1>(data, end, codes, cursor);
}

}  // namespace tarvel
