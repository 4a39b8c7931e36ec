// The compressed file: a byte-aligned header from which a reader rebuilds the
// codes, then the code of every input byte, the end symbol's code and the
// zero fill of the last byte.
//
// Layout (every field unsigned, most significant bit and byte first):
//   HeaderFlags          8 bits   kLongCodeLengths | kWideRecordCount | kOddBytePresent
//   OddByte              8 bits   only with kOddBytePresent
//   RecordCountMinusOne  8 bits, 16 with kWideRecordCount: n - 1
//   EndPosition         32 bits   the end symbol's position in the table
//   EndCodeLength        8 bits, 16 with kLongCodeLengths
//   n SymbolRecords      Symbol (8 bits), CodeLength (8 bits, 16 with
//                        kLongCodeLengths), one per table position except
//                        EndPosition, in ascending position order
//   payload              the codes; the end symbol's code; zero fill
// where n is the number of distinct byte values. Only code lengths are
// stored: consecutive positions have consecutive codes, the first all zeros.
#pragma once

#include <cstdint>

namespace tarvel {

// Bits of HeaderFlags.
inline constexpr std::int32_t kLongCodeLengths = 1;  // a code of 256 bits or more
inline constexpr std::int32_t kWideRecordCount = 2;  // 256 records or more
inline constexpr std::int32_t kOddBytePresent = 4;   // a lone trailing byte follows the flags
inline constexpr std::int32_t kKnownFlags = kLongCodeLengths | kWideRecordCount | kOddBytePresent;

// Field widths in bits.
inline constexpr int kFlagsBits = 8;
inline constexpr int kEndPositionBits = 32;
inline constexpr int kSymbolBits = 8;
inline constexpr int LengthBits(std::int32_t flags) {
  return (flags & kLongCodeLengths) != 0 ? 16 : 8;
}
inline constexpr int RecordCountBits(std::int32_t flags) {
  return (flags & kWideRecordCount) != 0 ? 16 : 8;
}

// A tree of at most 257 leaves is at most 256 levels deep: no code is longer.
inline constexpr std::int32_t kMaxCodeLength = 256;

static_assert(kFlagsBits % 8 == 0 && kEndPositionBits % 8 == 0 && kSymbolBits % 8 == 0 &&
                  LengthBits(0) % 8 == 0 && LengthBits(kLongCodeLengths) % 8 == 0,
              "every header field is whole bytes, so the payload starts on a byte");
static_assert(kMaxCodeLength < (1 << LengthBits(kLongCodeLengths)),
              "a 16-bit length field holds every code length");

}  // namespace tarvel
