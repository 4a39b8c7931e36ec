// The payload of a compressed file back to bytes, on one thread or several.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "decoder/decoding_tables.h"
#include "decoder/file_decoder.h"

namespace tarvel {

// Reads up to `size` bytes of the data that follow the header into
// `buffer` and returns how many: fewer only at the end of the data or after
// a failed read, which is the reader's to report.
using PayloadReader = std::function<std::size_t(std::uint8_t* buffer, std::size_t size)>;

struct PayloadOutcome {
  enum class Status { kOk, kInvalid, kWriteFailed };
  Status status = Status::kOk;
  const char* reason = nullptr;  // for kInvalid
  std::int64_t outputBytes = 0;
};

// Decodes the payload up to the end symbol, then checks that the fill bits
// are zero and that no byte follows, and hands the bytes to `sink` in order.
//
// The payload is cut into segments of `segmentBytes` (0: a default). With
// threads > 1, helper threads decode segments ahead of time, each from its
// first bit, not knowing where the true symbols begin. A prefix code falls
// into step with the true symbol boundaries within a few symbols, so the
// in-order pass that follows decodes each segment only until it meets a
// boundary that the helper also met, and takes the helper's symbols from
// there; where the two never meet, it decodes the whole segment itself. The
// bytes are the same for any number of threads and any segment size.
PayloadOutcome DecodePayload(const PayloadReader& read, const DecodingTables& tables,
                             ByteSink& sink, int threads, std::size_t segmentBytes);

}  // namespace tarvel
