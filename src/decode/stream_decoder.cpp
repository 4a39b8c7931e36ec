#include "decode/stream_decoder.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <string>

#include "decode/bit_reader.h"
#include "decode/span_in_step.h"
#include "decode/symbol_decoder.h"
#include "format/header_reader.h"
#include "io/far_copy.h"

namespace tarvel {

namespace {

// Room below which restored bytes go to the spill first: a run of the fast
// loop wants a few bytes at hand.
constexpr std::size_t kDirectRoom = 64;
// Input bytes joined to the carried ones: enough for any code that starts
// among them to end among these.
constexpr std::size_t kJoinBytes = 40;

}  // namespace

void StreamDecoder::Reset() {
  phase = Phase::kHeader;
  saidDone = false;
  fault = Fault::kNone;
  header.clear();
  longest = 0;
  carried = 0;
  carryBit = 0;
  spillPos = 0;
  spillEnd = 0;
}

StreamDecoder::Status StreamDecoder::Fail(Fault found) {
  phase = Phase::kFailed;
  fault = found;
  return Status::kInvalid;
}

StreamDecoder::Status StreamDecoder::Run(const std::uint8_t* in, std::size_t inSize,
                                         std::size_t& inPos, std::uint8_t* out, std::size_t outSize,
                                         std::size_t& outPos, bool last) {
  assert(inPos <= inSize && outPos <= outSize);
  // Bytes after the end are left to the caller by the call that says it is
  // done, unless it is the last; they are invalid in any later one.
  const bool doneBefore = saidDone;
  bool inputUsedUp = false;
  for (;;) {
    if (phase == Phase::kFailed) return Status::kInvalid;
    // What found no room before goes first.
    if (spillPos < spillEnd) {
      const std::size_t n = std::min(spillEnd - spillPos, outSize - outPos);
      if (n > 0) std::memcpy(out + outPos, spill.data() + spillPos, n);
      spillPos += n;
      outPos += n;
      if (spillPos < spillEnd) return Status::kMore;
    }
    if (phase == Phase::kDone) {
      // The end may have been decoded by an earlier call that still held
      // bytes for the room: a last call's input follows it all the same.
      if ((doneBefore || last) && inPos < inSize) return Fail(Fault::kDataAfterEnd);
      saidDone = true;
      return Status::kDone;
    }
    if (inputUsedUp) return Status::kMore;
    if (phase == Phase::kHeader) {
      const Status read = ReadHeader(in, inSize, inPos, last);
      if (phase == Phase::kHeader || read == Status::kInvalid) return read;
      continue;
    }
    if (outPos == outSize) return Status::kMore;
    // Straight into the caller's room when there is enough of it, else into
    // the spill.
    const bool direct = outSize - outPos >= kDirectRoom;
    if (!direct && spill.empty()) spill.resize(kSpillBytes);
    std::uint8_t* const targetStart = direct ? out + outPos : spill.data();
    std::uint8_t* target = targetStart;
    const std::uint8_t* const targetEnd = direct ? out + outSize : spill.data() + spill.size();
    // Far into a large room, what the lanes guessed goes past the caches, as
    // in a buffer call; the spill stays in them.
    far = direct ? out + std::min<std::uint64_t>(outSize, kFarOutputBytes) : targetEnd;
    const Step step = Decode(in, inSize, inPos, last, target, targetEnd);
    const auto produced = static_cast<std::size_t>(target - targetStart);
    if (direct) {
      outPos += produced;
    } else {
      spillPos = 0;
      spillEnd = produced;
    }
    if (step == Step::kFailed) return Status::kInvalid;
    inputUsedUp = step == Step::kNeedInput;
  }
}

StreamDecoder::Status StreamDecoder::ReadHeader(const std::uint8_t* in, std::size_t inSize,
                                                std::size_t& inPos, bool last) {
  const std::size_t given = inSize - inPos;
  if (header.empty() && given == 0) {
    if (!last) return Status::kMore;
    phase = Phase::kDone;  // no bytes at all: an empty file
    return Status::kDone;
  }
  // The header is read from what was kept and what has come, and only the
  // bytes it takes are consumed.
  std::size_t cursor = 0;
  const FieldReader readField = [&](int bytes, std::uint32_t& value) {
    value = 0;
    for (int k = 0; k < bytes; ++k, ++cursor) {
      std::uint8_t byte = 0;
      if (cursor < header.size()) {
        byte = header[cursor];
      } else if (cursor - header.size() < given) {
        byte = in[inPos + cursor - header.size()];
      } else {
        return false;
      }
      value = (value << 8) | byte;
    }
    return true;
  };
  FileHeader fields;
  Fault found = tarvel::ReadHeader(readField, fields);
  if (found == Fault::kHeaderTruncated && !last) {
    header.insert(header.end(), in + inPos, in + inSize);
    inPos = inSize;
    return Status::kMore;
  }
  std::vector<std::string> codes;
  if (found == Fault::kNone) found = RebuildCodes(fields, codes);
  if (found != Fault::kNone) return Fail(found);
  inPos += cursor - header.size();
  header = std::vector<std::uint8_t>();
  tables = BuildTables(fields.symbols, codes);
  for (const std::string& code : codes) longest = std::max<std::uint64_t>(longest, code.size());
  phase = Phase::kPayload;
  return Status::kMore;
}

StreamDecoder::Step StreamDecoder::Decode(const std::uint8_t* in, std::size_t inSize,
                                          std::size_t& inPos, bool last, std::uint8_t*& target,
                                          const std::uint8_t* targetEnd) {
  const auto ranOut = [&](std::uint64_t bit, std::uint64_t totalBits) {
    if (!last) return Step::kNeedInput;
    Fail(bit < totalBits ? Fault::kEndsInsideCode : Fault::kEndsBeforeEndSymbol);
    return Step::kFailed;
  };
  const auto ended = [&](Status finished) {
    if (finished == Status::kInvalid) return Step::kFailed;
    if (last && inPos < inSize) {
      Fail(Fault::kDataAfterEnd);
      return Step::kFailed;
    }
    return Step::kEnded;
  };
  std::uint64_t startBit = 0;
  if (carried > 0) {
    // The carried bytes and the first of the piece, up to the first symbol
    // that starts in the piece.
    std::uint8_t joint[kCarryBytes + kJoinBytes];
    const std::size_t joined = std::min(kJoinBytes, inSize - inPos);
    std::memcpy(joint, carry, carried);
    if (joined > 0) std::memcpy(joint + carried, in + inPos, joined);
    const std::size_t jointSize = carried + joined;
    const std::uint64_t carriedBits = std::uint64_t{carried} * 8;
    const SpanEnd end = DecodeSpan(joint, jointSize, static_cast<std::uint64_t>(carryBit),
                                   carriedBits, target, targetEnd);
    switch (end.kind) {
      case SpanEnd::Kind::kEndSymbol: {
        std::size_t taken = 0;
        const Status finished = Finish(joint, end.bit, taken);
        inPos += taken > carried ? taken - carried : 0;
        carried = 0;
        return ended(finished);
      }
      case SpanEnd::Kind::kOutOfBits:
        // Only when the piece is all in the joint: any code is shorter.
        assert(inPos + joined == inSize);
        Carry(joint, jointSize, end.bit);
        inPos = inSize;
        return ranOut(end.bit, std::uint64_t{jointSize} * 8);
      case SpanEnd::Kind::kOutputFull:
        if (end.bit < carriedBits) {
          Carry(joint, carried, end.bit);
          return Step::kNeedRoom;
        }
        [[fallthrough]];
      case SpanEnd::Kind::kStopBit:
        inPos += static_cast<std::size_t>(end.bit / 8) - carried;
        startBit = end.bit % 8;
        carried = 0;
        if (end.kind == SpanEnd::Kind::kOutputFull) {
          if (startBit != 0) {
            Carry(in + inPos, 1, startBit);
            ++inPos;
          }
          return Step::kNeedRoom;
        }
        break;
    }
  }
  const std::uint8_t* const bytes = in + inPos;
  const std::size_t size = inSize - inPos;
  const SpanEnd end = DecodeSpan(bytes, size, startBit, ~std::uint64_t{0}, target, targetEnd);
  switch (end.kind) {
    case SpanEnd::Kind::kEndSymbol: {
      std::size_t taken = 0;
      const Status finished = Finish(bytes, end.bit, taken);
      inPos += taken;
      return ended(finished);
    }
    case SpanEnd::Kind::kOutOfBits:
    case SpanEnd::Kind::kStopBit:  // not met: no stop bit
      Carry(bytes, size, end.bit);
      inPos = inSize;
      return ranOut(end.bit, std::uint64_t{size} * 8);
    case SpanEnd::Kind::kOutputFull:
      inPos += static_cast<std::size_t>(end.bit / 8);
      if (end.bit % 8 != 0) {
        Carry(in + inPos, 1, end.bit % 8);
        ++inPos;
      }
      return Step::kNeedRoom;
  }
  return Step::kNeedRoom;
}

StreamDecoder::SpanEnd StreamDecoder::DecodeSpan(const std::uint8_t* bytes, std::size_t size,
                                                 std::uint64_t startBit, std::uint64_t stopBit,
                                                 std::uint8_t*& out, const std::uint8_t* outEnd) {
  MemoryBits bits(bytes, size);
  bits.Start(startBit);
  const std::uint64_t totalBits = std::uint64_t{size} * 8;
  // Up to where every code that starts has all its bits: the fast loops.
  if (totalBits > longest && bits.Position() < std::min(stopBit, totalBits - longest)) {
    const RunOutcome run = DecodeRunInStep(bits, tables, std::min(stopBit, totalBits - longest),
                                           out, outEnd, far, parts, partBytes);
    if (run.end == RunEnd::kEndSymbol) return {SpanEnd::Kind::kEndSymbol, bits.Position()};
    if (run.end == RunEnd::kOutputFull) return {SpanEnd::Kind::kOutputFull, bits.Position()};
  }
  // Then one symbol at a time, each taken only if its code is whole.
  for (;;) {
    if (bits.Position() >= stopBit) return {SpanEnd::Kind::kStopBit, bits.Position()};
    if (out == outEnd) return {SpanEnd::Kind::kOutputFull, bits.Position()};
    const MemoryBits before = bits;
    bool inside = false;
    const std::int32_t symbol = NextSymbol(bits, tables, inside);
    if (symbol < 0) return {SpanEnd::Kind::kOutOfBits, before.Position()};
    if (symbol == kEndIndex) return {SpanEnd::Kind::kEndSymbol, bits.Position()};
    *out++ = static_cast<std::uint8_t>(symbol);
  }
}

StreamDecoder::Status StreamDecoder::Finish(const std::uint8_t* bytes, std::uint64_t bit,
                                            std::size_t& taken) {
  taken = static_cast<std::size_t>((bit + 7) / 8);
  const int fill = static_cast<int>((8 - bit % 8) % 8);
  if (fill != 0 && (bytes[taken - 1] & ((1u << fill) - 1)) != 0) return Fail(Fault::kFillNotZero);
  phase = Phase::kDone;
  return Status::kDone;
}

void StreamDecoder::Carry(const std::uint8_t* bytes, std::size_t size, std::uint64_t bit) {
  const std::size_t from = static_cast<std::size_t>(bit / 8);
  assert(size - from <= kCarryBytes);
  if (size > from) std::memmove(carry, bytes + from, size - from);
  carried = size - from;
  carryBit = static_cast<int>(bit % 8);
}

}  // namespace tarvel
