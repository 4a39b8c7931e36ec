#include "encode/stream_encoder.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace tarvel {

namespace {

constexpr std::size_t kStagedBytes = std::size_t{1} << 16;
constexpr std::size_t kSlackBytes = 16;
// Room in the caller's output from which it is coded into directly.
constexpr std::size_t kDirectRoom = 4096;
// The pair table pays for itself once this much has come.
constexpr std::int64_t kBytesBeforePairs = std::int64_t{1} << 20;

// A code of any length as pieces that PutCode() takes.
std::vector<std::pair<std::uint64_t, int>> Pieces(const BitString& bits) {
  std::vector<std::pair<std::uint64_t, int>> pieces;
  for (std::size_t at = 0; at < bits.size(); at += BitWriter::kMaxCodeBits) {
    const std::size_t length = std::min<std::size_t>(BitWriter::kMaxCodeBits, bits.size() - at);
    std::uint64_t code = 0;
    for (std::size_t k = at; k < at + length; ++k) code = (code << 1) | (bits[k] == '1' ? 1 : 0);
    pieces.emplace_back(code, static_cast<int>(length));
  }
  return pieces;
}

}  // namespace

StreamEncoder::StreamEncoder(const CodeTable& table, std::string header, std::int64_t dataBytes,
                             std::int64_t payloadBits)
    : codes(PackCodes(table)),
      header(std::move(header)),
      dataBytes(dataBytes),
      payloadBits(payloadBits) {
  if (!codes.fits) {
    wideCodes.resize(256);
    for (std::int32_t position = table.LowerBound(); position < table.End(); ++position) {
      const CodeEntry& entry = table[position];
      auto& pieces =
          entry.symbol == kEndSymbol ? wideEnd : wideCodes[static_cast<std::size_t>(entry.symbol)];
      pieces = Pieces(entry.code);
    }
  }
}

std::size_t StreamEncoder::Fitting(std::size_t room) const {
  const auto longest = static_cast<std::size_t>(codes.maxLength);
  const std::size_t fitting = room > 1 ? (room - 1) * 8 / longest : 0;
  return codes.fits ? std::min(fitting, BytesPerBlock(codes)) : fitting;
}

bool StreamEncoder::Encode(const std::uint8_t* data, std::size_t size, BitCursor& cursor) {
  if (codes.fits) {
    if (pairs.empty() && codes.groupSize >= 2 && bytesSeen >= kBytesBeforePairs) {
      pairs = PackPairs(codes);
    }
    return EncodeBytes(data, size, codes, pairs.empty() ? nullptr : &pairs, cursor);
  }
  for (std::size_t k = 0; k < size; ++k) {
    const auto& pieces = wideCodes[data[k]];
    if (pieces.empty()) return false;
    for (const auto& [code, length] : pieces) PutCode(cursor, code, length);
  }
  return true;
}

StreamEncoder::Status StreamEncoder::Run(const std::uint8_t* in, std::size_t inSize,
                                         std::size_t& inPos, std::uint8_t* out, std::size_t outSize,
                                         std::size_t& outPos, bool last) {
  assert(inPos <= inSize && outPos <= outSize);
  for (;;) {
    if (stagedPos < stagedEnd) {
      const std::size_t n = std::min(stagedEnd - stagedPos, outSize - outPos);
      if (n > 0) std::memcpy(out + outPos, staged.data() + stagedPos, n);
      stagedPos += n;
      outPos += n;
      if (stagedPos < stagedEnd) return Status::kMore;
    }
    // Bytes after the end are more than were counted.
    if (ended && inPos < inSize) changed = true;
    if (changed) return Status::kChanged;
    if (ended) return Status::kDone;
    if (staged.empty()) staged.resize(kStagedBytes + kSlackBytes);
    if (!started) {
      started = true;
      std::memcpy(staged.data(), header.data(), header.size());
      stagedPos = 0;
      stagedEnd = header.size();
      continue;
    }
    const bool more = inPos < inSize;
    if (!more && !last) return Status::kMore;
    // Straight into the caller's room when there is enough of it.
    const bool direct = more && outSize - outPos >= kDirectRoom + kSlackBytes;
    std::uint8_t* const start = direct ? out + outPos : staged.data();
    BitCursor cursor{start, accumulator, bitCount};
    if (more) {
      const std::size_t room = direct ? outSize - outPos - kSlackBytes : kStagedBytes;
      const std::size_t size = std::min(inSize - inPos, Fitting(room));
      if (bytesSeen + static_cast<std::int64_t>(size) > dataBytes ||
          !Encode(in + inPos, size, cursor)) {
        changed = true;
        continue;
      }
      inPos += size;
      bytesSeen += static_cast<std::int64_t>(size);
    } else {
      // The end: the end symbol's code, then the fill of the last byte.
      if (codes.fits) {
        PutCode(cursor, codes.endCode, codes.endLength);
      } else {
        for (const auto& [code, length] : wideEnd) PutCode(cursor, code, length);
      }
      const std::int64_t bits = bitsWritten + (cursor.out - start) * 8 + cursor.bitCount - bitCount;
      if (bytesSeen != dataBytes || bits != payloadBits) {
        changed = true;
        continue;
      }
      if (cursor.bitCount != 0) {
        *cursor.out++ = static_cast<std::uint8_t>(cursor.accumulator << (8 - cursor.bitCount));
        cursor.accumulator = 0;
        cursor.bitCount = 0;
      }
      ended = true;
    }
    const auto produced = static_cast<std::size_t>(cursor.out - start);
    bitsWritten += static_cast<std::int64_t>(produced) * 8 + cursor.bitCount - bitCount;
    accumulator = cursor.accumulator;
    bitCount = cursor.bitCount;
    if (direct) {
      outPos += produced;
    } else {
      stagedPos = 0;
      stagedEnd = produced;
    }
  }
}

}  // namespace tarvel
