// Guesses at segments of a payload: each decoded from its first bit, not
// knowing where the true symbols begin, with notes of the symbol boundaries
// it met on the way.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "decode/bit_reader.h"
#include "decode/decoding_tables.h"
#include "decode/fast_loop.h"
#include "decode/symbol_decoder.h"
#include "io/page_buffer.h"

namespace tarvel {

// Every segment carries the first bytes of what follows it: more than the
// longest code (256 bits), so that a symbol that starts in the segment can
// always be finished from its own buffer.
inline constexpr std::size_t kLookaheadBytes = 64;
// The page of the addresses' low bits.
inline constexpr std::size_t kPageBytes = 4096;

// A guess stops at every checkpoint of its segment and notes the symbol
// boundary where it stands and how much it had decoded. Every stop takes
// every lane out of the fast loop, so they are few: eight to a segment
// (every 65536 bits in segments of the usual size) after the early ones,
// and at least every 64 bits, so that the tests' small segments have
// checkpoints too.
inline constexpr std::uint64_t kFewestCheckpointBits = 64;
inline std::uint64_t CheckpointBits(std::size_t segmentBytes) {
  return std::max<std::uint64_t>(segmentBytes, kFewestCheckpointBits);
}

// Where checkpoint `index` stands: the first few come sooner, doubling up
// to `every`, because the join decodes up to the first checkpoint where its
// symbols meet the guess's, which is usually a few symbols into the segment.
inline constexpr std::size_t kEarlyCheckpoints = 4;
static_assert((kFewestCheckpointBits >> kEarlyCheckpoints) > 0,
              "the earliest checkpoint is past the first bit");
inline std::uint64_t CheckpointStop(std::size_t index, std::uint64_t every) {
  if (index < kEarlyCheckpoints) return every >> (kEarlyCheckpoints - index);
  return (index - kEarlyCheckpoints + 1) * every;
}

struct Checkpoint {
  std::uint32_t bit;
  std::uint32_t decoded;
};

// One segment of the payload, with what a guess found in it.
struct Segment {
  // A segment whose bytes are always used where they lie has no room of
  // its own for them.
  explicit Segment(std::size_t segmentBytes, bool inPlace = false)
      : bytes(inPlace ? 0 : segmentBytes + kLookaheadBytes),
        output(OutputBytes(segmentBytes) + kPageBytes),
        room(OutputBytes(segmentBytes)) {}

  // Room for four bytes of symbols per byte of the segment: more than text
  // needs, so that the memory a guess's output touches stays bounded
  // however well the data compresses. A guess that fills it stops short
  // and leaves the rest of its segment to the join.
  static std::size_t OutputBytes(std::size_t segmentBytes) {
    return (segmentBytes + kLookaheadBytes) * 4 + 16;
  }

  PageBuffer bytes;
  const std::uint8_t* data = nullptr;  // where its bytes lie: in `bytes`, or in place
  std::size_t size = 0;                // bytes of this segment
  std::size_t lookahead = 0;           // bytes after it, there behind it
  bool filledUp = false;               // the read took all the bytes it asked for

  // What the guess decoded from the first bit: usable only when it ran to
  // the end of the segment, or filled its output, without meeting the end
  // symbol.
  bool usable = false;
  std::vector<Checkpoint> checkpoints;
  std::size_t firstValid = 0;  // the checkpoints before it lead to a wrong end
  PageBuffer output;
  const std::size_t room;           // for a guess's output
  std::uint8_t* guessed = nullptr;  // where the guess's output starts in `output`
  std::size_t outputSize = 0;
  // Where the guess's output ends: the first boundary at or past size * 8,
  // or, when its output filled up, a boundary before.
  std::uint64_t endBit = 0;
  bool ready = false;
};

// Where in `buffer` (with a page to spare) output decoded from `bytes`
// starts: half a page away from them in the low bits of the address, so
// that the loads of the bytes never seem to the processor to wait for the
// stores of the output (which, for data that restore to as many bytes as
// they take, keep the same distance all along).
inline std::uint8_t* HalfAPageFrom(const std::uint8_t* bytes, std::uint8_t* buffer) {
  const std::uintptr_t apart = reinterpret_cast<std::uintptr_t>(bytes) + kPageBytes / 2 -
                               reinterpret_cast<std::uintptr_t>(buffer);
  return buffer + apart % kPageBytes;
}

// A guess at a segment: decoded from its first bit, checkpoint by
// checkpoint. Where the guess meets the end symbol or runs out of bits, it
// was wrong (the last segment, which holds the true end symbol, is not
// guessed at): it starts afresh at the next checkpoint, and only the
// checkpoints from there on lead to the end of the segment.
struct Guess {
  Guess(Segment& segment, std::uint64_t checkpointBits)
      : segment(segment),
        bits(segment.data, segment.size + segment.lookahead),
        first(segment.guessed = HalfAPageFrom(segment.data, segment.output.Bytes())),
        out(first),
        outEnd(first + segment.room),
        segmentBits(std::uint64_t{segment.size} * 8),
        checkpointBits(checkpointBits),
        stop(std::min(CheckpointStop(0, checkpointBits), segmentBits)) {
    bits.Start(0);
    segment.checkpoints.clear();
    segment.firstValid = 0;
    segment.usable = false;
  }

  // Goes on where the fast loop stopped: up to the checkpoint when it is
  // near or the output is almost full, else by one symbol, which the fast
  // loop could not decode.
  void Advance(const DecodingTables& tables) {
    if (!RoundFits(bits, stop) || outEnd - out < static_cast<std::ptrdiff_t>(kRoundOutputBytes)) {
      Reached(DecodeRun(bits, tables, stop, out, outEnd).end);
      return;
    }
    bool inside = false;
    const std::int32_t decoded = NextSymbol(bits, tables, inside);
    if (decoded < 0 || decoded == kEndIndex) {
      Reached(RunEnd::kEndSymbol);
      return;
    }
    *out++ = static_cast<std::uint8_t>(decoded);
  }

  void Reached(RunEnd end) {
    if (stop >= segmentBits || end == RunEnd::kOutputFull) {
      segment.usable = end == RunEnd::kBoundary || end == RunEnd::kOutputFull;
      segment.outputSize = static_cast<std::size_t>(out - first);
      segment.endBit = bits.Position();
      done = true;
      return;
    }
    if (end != RunEnd::kBoundary) {
      bits.Start(stop);
      segment.firstValid = segment.checkpoints.size();
    }
    segment.checkpoints.push_back(
        {static_cast<std::uint32_t>(bits.Position()), static_cast<std::uint32_t>(out - first)});
    stop = std::min(CheckpointStop(segment.checkpoints.size(), checkpointBits), segmentBits);
  }

  Segment& segment;
  MemoryBits bits;
  std::uint8_t* const first;
  std::uint8_t* out;
  const std::uint8_t* const outEnd;
  const std::uint64_t segmentBits;
  const std::uint64_t checkpointBits;
  std::uint64_t stop;  // the next checkpoint, or the end of the segment
  bool done = false;
};

// Guesses at `count` segments (1 to kMaxLanes) at once, in step while they
// go on. `finished` is called for each as soon as it is done.
template <typename Finished>
void GuessInStep(Segment* const* segments, int count, std::uint64_t checkpointBits,
                 const DecodingTables& tables, const Finished& finished) {
  std::optional<Guess> guesses[kMaxLanes];
  Guess* going[kMaxLanes];
  for (int k = 0; k < count; ++k) going[k] = &guesses[k].emplace(*segments[k], checkpointBits);
  while (count > 0) {
    FastLane lanes[kMaxLanes];
    for (int k = 0; k < count; ++k) {
      lanes[k] = {&going[k]->bits, &going[k]->out, going[k]->outEnd, going[k]->stop};
    }
    DecodeFastLanes(lanes, count, tables);
    int kept = 0;
    for (int k = 0; k < count; ++k) {
      going[k]->Advance(tables);
      if (going[k]->done) {
        finished(going[k]->segment);
      } else {
        going[kept++] = going[k];
      }
    }
    count = kept;
  }
}

}  // namespace tarvel
