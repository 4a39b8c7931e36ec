// The second pass in pieces: the bytes that were counted, given again in
// pieces of any size, coded into room of any size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "encode/bit_writer.h"
#include "encode/payload_encoder.h"
#include "model/code_table.h"

namespace tarvel {

// Writes the header it is given, then the code of every byte, then the end
// symbol's code and the fill: the same bytes as the whole-input passes. What
// finds no room in the caller's output waits in a block of its own, so its
// memory does not grow with the stream.
class StreamEncoder {
 public:
  enum class Status {
    kMore,     // it needs more input, or more room for its output
    kDone,     // everything is written
    kChanged,  // the bytes are not those counted
  };

  // `header` is the header's bytes; `dataBytes` and `payloadBits` what the
  // count makes of the data.
  StreamEncoder(const CodeTable& table, std::string header, std::int64_t dataBytes,
                std::int64_t payloadBits);

  // Consumes what it can of in[inPos..inSize) and writes to
  // out[outPos..outSize), advancing both. `last` says that the input holds
  // the rest of the data. Once changed, it stays so.
  // REQUIRES: inPos <= inSize, outPos <= outSize.
  Status Run(const std::uint8_t* in, std::size_t inSize, std::size_t& inPos, std::uint8_t* out,
             std::size_t outSize, std::size_t& outPos, bool last);

 private:
  // Codes data[0..size) at `cursor`; false when a byte has no code.
  // REQUIRES: size <= Fitting(the room at `cursor`).
  bool Encode(const std::uint8_t* data, std::size_t size, BitCursor& cursor);
  // The bytes that fit in `room` bytes of output.
  std::size_t Fitting(std::size_t room) const;

  PackedCodes codes;
  // For codes longer than a packed word: each byte value's code in pieces.
  std::vector<std::vector<std::pair<std::uint64_t, int>>> wideCodes;
  std::vector<std::pair<std::uint64_t, int>> wideEnd;
  PairCodes pairs;  // built once the input has shown itself large
  std::string header;
  std::int64_t dataBytes;
  std::int64_t payloadBits;

  std::int64_t bytesSeen = 0;
  std::int64_t bitsWritten = 0;
  std::uint64_t accumulator = 0;  // bits of a byte not yet complete
  int bitCount = 0;
  bool started = false;  // the header is staged
  bool ended = false;    // the end symbol and the fill are staged
  bool changed = false;
  // Output that found no room in the caller's.
  std::vector<std::uint8_t> staged;
  std::size_t stagedPos = 0;
  std::size_t stagedEnd = 0;
};

}  // namespace tarvel
