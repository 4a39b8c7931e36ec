#include "decode/span_in_step.h"

#include <algorithm>

#include "io/far_copy.h"

namespace tarvel {

namespace {

// The bytes of one guessed part: at most as many as a segment of its own
// holds, so that a piece of a stream of the usual size fills every lane, and
// at least as many as make the joins' few exact symbols worth it.
constexpr std::size_t kPartBytes = std::size_t{1} << 15;
constexpr std::size_t kFewestPartBytes = std::size_t{1} << 12;
// Spans of fewer parts are decoded by one lane.
constexpr std::uint64_t kFewestParts = 3;

// Joins part `segment`, which starts at byte `from` of `bits`, from the true
// boundary where `bits` stands up to `end`: decodes up to the first
// checkpoint where the true boundaries meet the guess's, takes the guess's
// symbols from there when the room holds them, and decodes the rest.
RunOutcome JoinPart(MemoryBits& bits, const DecodingTables& tables, const Segment& segment,
                    std::uint64_t every, std::uint64_t from, std::uint64_t end, std::uint8_t*& out,
                    const std::uint8_t* outEnd, const std::uint8_t* far) {
  const std::uint64_t first = from * 8;
  if (segment.usable && bits.Position() < first + std::uint64_t{segment.size} * 8) {
    for (std::size_t k = segment.firstValid; k < segment.checkpoints.size(); ++k) {
      const RunOutcome run = DecodeRun(bits, tables, first + CheckpointStop(k, every), out, outEnd);
      if (run.end != RunEnd::kBoundary) return run;
      if (bits.Position() != first + segment.checkpoints[k].bit) continue;
      // In step from here on: the guess's symbols are the true ones, and
      // they fit when the room after them is as much as a run leaves.
      const std::size_t taken = segment.checkpoints[k].decoded;
      const std::size_t count = segment.outputSize - taken;
      if (static_cast<std::size_t>(outEnd - out) >= count + 4) {
        CopyNearOrFar(out, segment.guessed + taken, count, out >= far);
        out += count;
        bits.Start(first + segment.endBit);
      }
      break;
    }
  }
  return DecodeRun(bits, tables, end, out, outEnd);
}

}  // namespace

RunOutcome DecodeRunInStep(MemoryBits& bits, const DecodingTables& tables, std::uint64_t stopBit,
                           std::uint8_t*& out, const std::uint8_t* outEnd, const std::uint8_t* far,
                           std::vector<std::unique_ptr<Segment>>& parts, std::size_t partBytes) {
  for (;;) {
    // The parts start on the first whole byte where the bits stand, and end
    // before `stopBit`; the join of the first starts at the true boundary.
    const std::uint64_t position = bits.Position();
    const std::uint64_t start = (position + 7) / 8;
    // As many bytes as restore to about the room: text restores to less
    // than twice its size, and where the room fills up sooner, the guesses
    // it does not take cost no more than the bytes it took.
    const std::uint64_t bytes = std::min<std::uint64_t>(
        stopBit / 8 > start ? stopBit / 8 - start : 0, static_cast<std::size_t>(outEnd - out) / 2);
    const std::size_t size = partBytes != 0 ? partBytes
                                            : static_cast<std::size_t>(std::clamp<std::uint64_t>(
                                                  bytes / kMaxLanes, kFewestPartBytes, kPartBytes));
    const std::uint64_t count = std::min<std::uint64_t>(bytes / size, kMaxLanes);
    if (count < kFewestParts) return DecodeRun(bits, tables, stopBit, out, outEnd);
    const std::uint64_t every = CheckpointBits(size);
    while (parts.size() < count) {
      parts.push_back(std::make_unique<Segment>(std::max(kPartBytes, partBytes), true));
    }
    Segment* guessed[kMaxLanes];
    for (std::uint64_t k = 0; k < count; ++k) {
      Segment& part = *parts[k];
      const std::uint64_t from = start + k * size;
      part.data = bits.bytes + from;
      part.size = size;
      part.lookahead = std::min<std::size_t>(kLookaheadBytes, bits.limit - from - size);
      guessed[k] = &part;
    }
    GuessInStep(guessed, static_cast<int>(count), every, tables, [](Segment& /*done*/) {});
    for (std::uint64_t k = 0; k < count; ++k) {
      const std::uint64_t from = start + k * size;
      const RunOutcome run =
          JoinPart(bits, tables, *parts[k], every, from, (from + size) * 8, out, outEnd, far);
      if (run.end != RunEnd::kBoundary) return run;
    }
  }
}

}  // namespace tarvel
