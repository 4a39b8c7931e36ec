// The payload of a compressed file back to bytes, on one thread or several.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "decode/decoding_tables.h"
#include "decode/file_decoder.h"
#include "format/faults.h"

namespace tarvel {

// Reads up to `size` bytes of the data that follow the header into
// `buffer` and returns how many: fewer only at the end of the data or after
// a failed read, which is the reader's to report.
using PayloadReader = std::function<std::size_t(std::uint8_t* buffer, std::size_t size)>;

struct PayloadOutcome {
  enum class Status { kOk, kInvalid, kWriteFailed };
  Status status = Status::kOk;
  Fault fault = Fault::kNone;  // for kInvalid
  std::int64_t outputBytes = 0;
};

// Decodes the payload up to the end symbol, then checks that the fill bits
// are zero and that no byte follows, and hands the bytes to `sink` in order.
//
// The payload is cut into segments of up to `segmentBytes` (0: a default),
// read four at a time and decoded ahead, each from its first bit, not
// knowing where the true symbols begin: four segments decoded in step take
// little longer than one. A prefix code falls into step with the true symbol
// boundaries within a few symbols, so joining a segment in order means
// decoding it only up to a boundary that the guess also met, and taking
// the guess's symbols from there; where the two never meet, the segment is
// decoded whole. `threads` threads do this work, whichever is free taking
// what comes next. The bytes are the same for any number of threads and
// any segment size.
PayloadOutcome DecodePayload(const PayloadReader& read, const DecodingTables& tables,
                             ByteSink& sink, int threads, std::size_t segmentBytes);

}  // namespace tarvel
