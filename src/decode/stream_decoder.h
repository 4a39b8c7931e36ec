// A compressed stream restored from pieces of any size into room of any
// size, in memory that does not grow with the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decode/decoding_tables.h"
#include "decode/segment_guess.h"
#include "format/faults.h"

namespace tarvel {

// Holds between two pieces only what it cannot use yet: the header while it
// is incomplete, the bytes of a code that the piece cut in two (a code has at
// most 256 bits), and restored bytes that found no room. It never takes a
// byte beyond the end of the compressed data, so that the caller finds
// whatever follows the data where the input stands.
class StreamDecoder {
 public:
  // Long pieces are decoded in parts of `partBytes` (0: as suits them).
  explicit StreamDecoder(std::size_t partBytes = 0) : partBytes(partBytes) {}

  enum class Status {
    kMore,     // it needs more input, or more room for its output
    kDone,     // the end symbol and its fill are consumed, and every byte is out
    kInvalid,  // the data do not follow the layout: Fault() says why
  };

  // Consumes what it can of in[inPos..inSize) and writes restored bytes to
  // out[outPos..outSize), advancing both positions. `last` says that the
  // input holds the rest of the data: then data that end early are invalid,
  // and so are bytes after the end. Without it, bytes after the end are left
  // unconsumed, and given to a later call they are invalid. Once invalid, it
  // stays so.
  // REQUIRES: inPos <= inSize, outPos <= outSize.
  Status Run(const std::uint8_t* in, std::size_t inSize, std::size_t& inPos, std::uint8_t* out,
             std::size_t outSize, std::size_t& outPos, bool last);

  Fault FaultFound() const { return fault; }

  // Readies it for a new stream, keeping its memory.
  void Reset();

 private:
  // Why decoding a piece stopped.
  enum class Step { kNeedInput, kNeedRoom, kEnded, kFailed };

  // Where a span of bits stopped.
  struct SpanEnd {
    enum class Kind { kEndSymbol, kStopBit, kOutOfBits, kOutputFull } kind;
    std::uint64_t bit = 0;  // the symbol boundary where it stopped
  };

  Status ReadHeader(const std::uint8_t* in, std::size_t inSize, std::size_t& inPos, bool last);
  Step Decode(const std::uint8_t* in, std::size_t inSize, std::size_t& inPos, bool last,
              std::uint8_t*& target, const std::uint8_t* targetEnd);
  // Decodes bytes[0..size) from `startBit` on, up to the end symbol, a
  // boundary at or past `stopBit`, the last code that the bits hold whole,
  // or the room running out.
  SpanEnd DecodeSpan(const std::uint8_t* bytes, std::size_t size, std::uint64_t startBit,
                     std::uint64_t stopBit, std::uint8_t*& out, const std::uint8_t* outEnd);
  // After the end symbol, which ends at `bit` of bytes[0..size): the fill
  // must be zero. Returns how many bytes the data took.
  Status Finish(const std::uint8_t* bytes, std::uint64_t bit, std::size_t& taken);
  // Keeps bytes[0..size) from `bit` on, for the next piece.
  void Carry(const std::uint8_t* bytes, std::size_t size, std::uint64_t bit);
  Status Fail(Fault found);

  enum class Phase { kHeader, kPayload, kDone, kFailed };
  Phase phase = Phase::kHeader;
  bool saidDone = false;  // Run() has returned kDone
  Fault fault = Fault::kNone;
  std::vector<std::uint8_t> header;  // the header's bytes while it is incomplete
  DecodingTables tables;
  std::uint64_t longest = 0;  // bits of the longest code
  // The bytes of a code cut by the end of a piece, or the byte in which the
  // output's room ran out, and the bit at which their next symbol starts.
  static constexpr std::size_t kCarryBytes = 48;
  std::uint8_t carry[kCarryBytes] = {};
  std::size_t carried = 0;
  int carryBit = 0;
  // Restored bytes that found no room.
  static constexpr std::size_t kSpillBytes = 4096;
  std::vector<std::uint8_t> spill;
  std::size_t spillPos = 0;
  std::size_t spillEnd = 0;
  // The parts of a long piece guessed at in step, made when first needed.
  std::size_t partBytes;
  std::vector<std::unique_ptr<Segment>> parts;
  const std::uint8_t* far = nullptr;  // where the current target is far in
};

}  // namespace tarvel
