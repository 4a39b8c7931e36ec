// The payload of a compressed file back to bytes, on one thread or several.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/decoding_tables.h"
#include "decode/file_decoder.h"
#include "format/faults.h"

namespace tarvel {

// Where the data that follow the header come from.
class PayloadReader {
 public:
  virtual ~PayloadReader() = default;
  // Reads up to `size` bytes into `buffer` and returns how many: fewer only
  // at the end of the data or after a failed read, which is the reader's to
  // report.
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t size) = 0;
  // When the data lie in memory that stays put until the pass ends: takes
  // up to `size` bytes as Read() does, but where they lie, and returns
  // where (`got` says how many). Null, taking nothing, for data that must
  // be read.
  virtual const std::uint8_t* ReadInPlace(std::size_t /*size*/, std::size_t& got) {
    got = 0;
    return nullptr;
  }
};

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
// read six at a time (kMaxLanes) and decoded ahead, each from its first bit, not
// knowing where the true symbols begin: several segments decoded in step
// take little longer than one. A prefix code falls into step with the true symbol
// boundaries within a few symbols, so joining a segment in order means
// decoding it only up to a boundary that the guess also met, and taking
// the guess's symbols from there; where the two never meet, the segment is
// decoded whole. `threads` threads do this work, whichever is free taking
// what comes next. The bytes are the same for any number of threads and
// any segment size.
PayloadOutcome DecodePayload(PayloadReader& read, const DecodingTables& tables, ByteSink& sink,
                             int threads, std::size_t segmentBytes);

}  // namespace tarvel
