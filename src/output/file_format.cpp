#include "output/file_format.h"

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "model/input_blocks.h"

#include "output/payload_encoder.h"

namespace tarvel {

namespace {

// At most this much input, and this much encoded output, per block.
constexpr std::size_t kEncodedBlockBytes = std::size_t{1} << 18;

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
                           const SymbolIndex& index, int threads, std::size_t blockBytes) {
  assert(threads >= 1);
  const PackedCodes codes = PackCodes(table);
  if (!codes.fits) return WritePayloadByteByByte(writer, input, table, index);

  const auto longest = static_cast<std::size_t>(codes.maxLength);
  if (blockBytes == 0) blockBytes = std::min(kEncodedBlockBytes, kEncodedBlockBytes * 8 / longest);
  const std::size_t encodedBytes = blockBytes * longest / 8 + 16;

  InputBlocks blocks(input);
  PayloadResult result;
  // Block k is written when `turn` is k; the result is touched only then.
  std::mutex turnMutex;
  std::condition_variable turnChanged;
  std::int64_t turn = 0;

  const auto encodeBlocks = [&]() {
    const PageBuffer in(blockBytes);
    const PageBuffer encoded(encodedBytes);
    for (;;) {
      const InputBlocks::Block block = blocks.Next(in.Get(), blockBytes);
      if (block.size == 0) break;
      BitCursor cursor{encoded.Bytes(), 0, 0};
      const bool known = EncodeBytes(in.Bytes(), block.size, codes, cursor);
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
  std::vector<std::thread> helpers;
  for (int k = 1; k < threads; ++k) helpers.emplace_back(encodeBlocks);
  encodeBlocks();
  for (auto& helper : helpers) helper.join();

  if (result.status != PayloadResult::Status::kComplete) return result;
  if (input.bad()) {
    result.status = PayloadResult::Status::kReadFailed;
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
