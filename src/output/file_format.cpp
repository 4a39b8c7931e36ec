#include "output/file_format.h"

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "model/input_blocks.h"
#include "model/page_buffer.h"
#include "output/payload_encoder.h"

namespace tarvel {

namespace {

// Input per block. A thread's buffer for the encoded block has room for the
// longest codes, but only the part that the usual lengths fill is ever
// touched.
constexpr std::size_t kInputBlockBytes = std::size_t{1} << 18;
constexpr std::int64_t kBlocksBeforePairs = 4;

// The position stored for `symbol`, or 0 for a symbol outside the index.
std::int32_t PositionOf(const SymbolIndex& index, std::int32_t symbol) {
  if (symbol < index.LowerBound() || symbol >= index.End()) return 0;
  return index[symbol];
}

}  // namespace

void WriteHeader(BitWriter& writer, const CodeTable& table, const SymbolIndex& index,
                 std::int32_t oddByte) {
  assert(writer.BitCount() == 0);
  std::int32_t flags = 0;
  for (std::int32_t position = table.LowerBound(); position < table.End(); ++position) {
    if (table[position].code.size() >= 256) flags |= kLongCodeLengths;
  }
  const std::int32_t records = table.Count() - 1;
  if (records >= 256) flags |= kWideRecordCount;
  if (oddByte != -1) flags |= kOddBytePresent;
  const std::int32_t lengthWidth = (flags & kLongCodeLengths) != 0 ? 16 : 8;

  writer.WriteBits(ToBitString(flags, 8));
  if ((flags & kOddBytePresent) != 0) writer.WriteBits(ToBitString(oddByte, 8));
  if (records > 0) {
    writer.WriteBits(ToBitString(records - 1, (flags & kWideRecordCount) != 0 ? 16 : 8));
  }
  const std::int32_t endPosition = PositionOf(index, kEndSymbol);
  writer.WriteBits(ToBitString(endPosition, 32));
  const auto lengthOf = [&](std::int32_t position) {
    return static_cast<std::int32_t>(table[position].code.size());
  };
  writer.WriteBits(ToBitString(lengthOf(endPosition), lengthWidth));
  for (std::int32_t position = table.LowerBound(); position < table.End(); ++position) {
    if (table[position].symbol == kEndSymbol) continue;
    writer.WriteBits(ToBitString(table[position].symbol, 8));
    writer.WriteBits(ToBitString(lengthOf(position), lengthWidth));
  }
}

PayloadResult WritePayload(BitWriter& writer, std::istream& input, const CodeTable& table,
                           const SymbolIndex& index, int threads, std::size_t blockBytes,
                           const PositionalFile* file) {
  assert(threads >= 1);
  const PackedCodes codes = PackCodes(table);
  if (!codes.fits) return WritePayloadByteByByte(writer, input, table, index);

  const auto longest = static_cast<std::size_t>(codes.maxLength);
  if (blockBytes == 0) blockBytes = kInputBlockBytes;
  const std::size_t encodedBytes = blockBytes * longest / 8 + 16;
  const std::size_t slice = std::min(blockBytes, BytesPerBlock(codes));

  // The pair table costs about as much to build as coding a few hundred
  // kilobytes saves: it is built once the input has shown itself large.
  const bool pairsPayOff = PairsPayOff(codes);
  std::once_flag pairsBuilt;
  PairCodes pairs;
  const auto pairsFor = [&](const InputBlocks::Block& block) -> const PairCodes* {
    if (!pairsPayOff || block.number < kBlocksBeforePairs || block.size < blockBytes) {
      return nullptr;
    }
    std::call_once(pairsBuilt, [&] { pairs = PackPairs(codes); });
    return &pairs;
  };

  InputBlocks blocks(input, nullptr, file);
  PayloadResult result;
  // Block k is written when `turn` is k; the result is touched only then.
  std::mutex turnMutex;
  std::condition_variable turnChanged;
  std::int64_t turn = 0;

  // With one thread, blocks are encoded straight into the writer.
  const auto encodeInPlace = [&]() {
    const PageBuffer in(blockBytes);
    const PairCodes* pairTable = nullptr;
    for (;;) {
      const InputBlocks::Block block = blocks.Next(in.Get(), blockBytes);
      if (block.size == 0) break;
      if (pairTable == nullptr) pairTable = pairsFor(block);
      for (std::size_t done = 0; done < block.size;) {
        // As much as surely fits in what is left of the writer's block, so
        // that the block goes out full; when little is left, a new block.
        std::size_t size = std::min(slice, block.size - done);
        const std::size_t fitting = writer.Room() * 8 / longest;
        if (fitting > slice / 8 + 1) size = std::min(size, fitting - 1);
        BitCursor cursor = writer.Begin(size * longest / 8 + 1);
        const bool known = EncodeBytes(in.Bytes() + done, size, codes, pairTable, cursor);
        writer.End(cursor);
        if (!known) {
          result.status = PayloadResult::Status::kUnknownByte;
          return;
        }
        done += size;
      }
      result.bytesRead += static_cast<std::int64_t>(block.size);
    }
  };

  // With several, each encodes its blocks into a buffer of its own, and
  // joins it to the output when its turn comes.
  const auto encodeAndJoin = [&]() {
    const PageBuffer in(blockBytes);
    const PageBuffer encoded(encodedBytes);
    const PairCodes* pairTable = nullptr;
    for (;;) {
      const InputBlocks::Block block = blocks.Next(in.Get(), blockBytes);
      if (block.size == 0) break;
      if (pairTable == nullptr) pairTable = pairsFor(block);
      BitCursor cursor{encoded.Bytes(), 0, 0};
      const bool known = EncodeBytes(in.Bytes(), block.size, codes, pairTable, cursor);
      const std::int64_t bits = (cursor.out - encoded.Bytes()) * 8 + cursor.bitCount;
      if (cursor.bitCount != 0) {
        *cursor.out = static_cast<std::uint8_t>(cursor.accumulator << (8 - cursor.bitCount));
      }

      std::unique_lock<std::mutex> lock(turnMutex);
      turnChanged.wait(lock, [&] { return turn == block.number; });
      if (result.status == PayloadResult::Status::kComplete) {
        if (known) {
          writer.WriteBitBlock(encoded.Bytes(), bits);
          result.bytesRead += static_cast<std::int64_t>(block.size);
        } else {
          result.status = PayloadResult::Status::kUnknownByte;
          blocks.Stop();
        }
      }
      ++turn;
      turnChanged.notify_all();
    }
  };

  if (threads == 1) {
    encodeInPlace();
  } else {
    std::vector<std::thread> helpers;
    for (int k = 1; k < threads; ++k) helpers.emplace_back(encodeAndJoin);
    encodeAndJoin();
    for (auto& helper : helpers) helper.join();
  }

  if (result.status != PayloadResult::Status::kComplete) return result;
  if (input.bad()) {
    result.status = PayloadResult::Status::kReadFailed;
    return result;
  }
  if (blocks.Changed()) {
    result.status = PayloadResult::Status::kOtherSize;
    return result;
  }
  writer.WriteCode(codes.endCode, codes.endLength);
  return result;
}

PayloadResult WritePayloadByteByByte(BitWriter& writer, std::istream& input,
                                     const CodeTable& table, const SymbolIndex& index) {
  PayloadResult result;
  constexpr auto kEnd = std::istream::traits_type::eof();
  for (auto byte = input.get(); byte != kEnd; byte = input.get()) {
    const auto symbol = static_cast<std::int32_t>(byte);
    const CodeEntry& entry = table[PositionOf(index, symbol)];
    if (entry.symbol != symbol) {
      result.status = PayloadResult::Status::kUnknownByte;
      return result;
    }
    writer.WriteBits(entry.code);
    ++result.bytesRead;
  }
  if (input.bad()) {
    result.status = PayloadResult::Status::kReadFailed;
    return result;
  }
  writer.WriteBits(table[PositionOf(index, kEndSymbol)].code);
  return result;
}

}  // namespace tarvel
