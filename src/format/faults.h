// Why a compressed file is rejected: every fault the decoder can find, and
// the phrase that names it.
#pragma once

#include <cstdint>

namespace tarvel {

enum class Fault : std::uint8_t {
  kNone,
  kHeaderTruncated,
  kUnknownFlags,
  kOddByte,
  kTooManyRecords,
  kEndPositionBeyondRecords,
  kTwoRecords,
  kZeroLength,
  kLengthTooLong,
  kLengthsOverflow,
  kShortenedCodeNotZero,
  kLastCodeNotOnes,
  kEndsBeforeEndSymbol,
  kEndsInsideCode,
  kFillNotZero,
  kDataAfterEnd,
  kCount,
};

// The phrase for `fault`, without a final full stop ("the header is
// truncated"); empty for kNone.
const char* FaultReason(Fault fault);

}  // namespace tarvel
