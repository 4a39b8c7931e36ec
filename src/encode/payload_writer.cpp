#include "encode/payload_writer.h"

#include <algorithm>
#include <cassert>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "encode/ordered_join.h"
#include "encode/payload_encoder.h"
#include "io/input_blocks.h"
#include "io/page_buffer.h"
#include "io/worker_threads.h"

namespace tarvel {

namespace {

// Input per block. A thread's buffer for the encoded block has room for the
// longest codes, but only the part that the usual lengths fill is ever
// touched.
constexpr std::size_t kInputBlockBytes = std::size_t{1} << 18;
constexpr std::int64_t kBlocksBeforePairs = 4;
// What the buffers for the blocks of several threads may take: two per
// thread within this much, else fewer, but at least one each.
constexpr std::size_t kEncodedBudgetBytes = std::size_t{4} << 20;

// The position stored for `symbol`, or 0 for a symbol outside the index.
std::int32_t PositionOf(const SymbolIndex& index, std::int32_t symbol) {
  if (symbol < index.LowerBound() || symbol >= index.End()) return 0;
  return index[symbol];
}

}  // namespace

PayloadResult WritePayload(BitWriter& writer, std::istream& input, const CodeTable& table,
                           const SymbolIndex& index, int threads, std::size_t blockBytes,
                           const PositionalFile* file, Progress* progress) {
  assert(threads >= 1);
  const PackedCodes codes = PackCodes(table);
  if (!codes.fits) return WritePayloadByteByByte(writer, input, table, index);

  const auto longest = static_cast<std::size_t>(codes.maxLength);
  if (blockBytes == 0) blockBytes = kInputBlockBytes;
  const std::size_t encodedBytes = blockBytes * longest / 8 + 16;
  const std::size_t slice = std::min(blockBytes, BytesPerBlock(codes));

  // The pair table costs about as much to build as coding a few hundred
  // kilobytes saves: it is built once the input has shown itself large.
  std::once_flag pairsBuilt;
  PairCodes pairs;
  const auto pairsFor = [&](const InputBlocks::Block& block) -> const PairCodes* {
    if (codes.groupSize < 2 || block.number < kBlocksBeforePairs || block.size < blockBytes) {
      return nullptr;
    }
    std::call_once(pairsBuilt, [&] { pairs = PackPairs(codes); });
    return &pairs;
  };

  InputBlocks blocks(input, nullptr, file, progress);
  PayloadResult result;

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
        const bool known = EncodeBytes(block.bytes + done, size, codes, pairTable, cursor);
        writer.End(cursor);
        if (!known) {
          result.status = PayloadResult::Status::kUnknownByte;
          return;
        }
        done += size;
      }
      if (writer.Failed()) {
        result.status = PayloadResult::Status::kWriteFailed;
        return;
      }
      result.bytesRead += static_cast<std::int64_t>(block.size);
    }
  };

  // With several, each encodes its blocks into a buffer from a pool, and
  // the blocks are joined to the output in order. The result is touched
  // only by the joins.
  const std::function<void(const EncodedBlock&)> join = [&](const EncodedBlock& encoded) {
    if (result.status != PayloadResult::Status::kComplete) return;
    if (!encoded.known) {
      result.status = PayloadResult::Status::kUnknownByte;
      blocks.Stop();
      return;
    }
    writer.WriteBitBlock(encoded.bytes.Bytes(), encoded.bits);
    if (writer.Failed()) {
      result.status = PayloadResult::Status::kWriteFailed;
      blocks.Stop();
      return;
    }
    result.bytesRead += static_cast<std::int64_t>(encoded.inputBytes);
  };
  std::optional<OrderedJoin> joins;  // only for several threads

  const auto encodeAndJoin = [&]() {
    const PageBuffer in(blockBytes);
    const PairCodes* pairTable = nullptr;
    for (;;) {
      // The buffer first: the block that is next in order is always in one.
      std::unique_ptr<EncodedBlock> encoded = joins->Take();
      if (!encoded) break;
      const InputBlocks::Block block = blocks.Next(in.Get(), blockBytes);
      if (block.size == 0) {
        joins->Give(std::move(encoded));
        break;
      }
      if (pairTable == nullptr) pairTable = pairsFor(block);
      BitCursor cursor{encoded->bytes.Bytes(), 0, 0};
      encoded->known = EncodeBytes(block.bytes, block.size, codes, pairTable, cursor);
      encoded->bits = (cursor.out - encoded->bytes.Bytes()) * 8 + cursor.bitCount;
      if (cursor.bitCount != 0) {
        *cursor.out = static_cast<std::uint8_t>(cursor.accumulator << (8 - cursor.bitCount));
      }
      encoded->number = block.number;
      encoded->inputBytes = block.size;
      joins->Finish(std::move(encoded));
    }
  };

  if (threads == 1) {
    encodeInPlace();
  } else {
    const auto perThread = static_cast<std::size_t>(threads);
    joins.emplace(std::clamp(kEncodedBudgetBytes / encodedBytes, perThread, 2 * perThread),
                  encodedBytes, join);
    RunOnThreads(
        threads, [&](int /*k*/) { encodeAndJoin(); },
        [&]() noexcept {
          joins->Abort();
          blocks.Stop();
        });
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

PayloadResult WritePayloadByteByByte(BitWriter& writer, std::istream& input, const CodeTable& table,
                                     const SymbolIndex& index) {
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
    if (writer.Failed()) {
      result.status = PayloadResult::Status::kWriteFailed;
      return result;
    }
  }
  if (input.bad()) {
    result.status = PayloadResult::Status::kReadFailed;
    return result;
  }
  writer.WriteBits(table[PositionOf(index, kEndSymbol)].code);
  return result;
}

}  // namespace tarvel
