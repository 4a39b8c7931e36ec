#include "output/file_format.h"

#include <algorithm>
#include <cassert>
#include <memory>

#include "output/payload_encoder.h"

namespace tarvel {

namespace {

constexpr std::size_t kReadBlockBytes = std::size_t{1} << 17;

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
                           const SymbolIndex& index) {
  const PackedCodes codes = PackCodes(table);
  if (!codes.fits) return WritePayloadByteByByte(writer, input, table, index);

  PayloadResult result;
  const std::size_t slice = BytesPerBlock(codes);
  const auto block = std::make_unique<char[]>(kReadBlockBytes);
  for (;;) {
    input.read(block.get(), static_cast<std::streamsize>(kReadBlockBytes));
    const auto got = static_cast<std::size_t>(input.gcount());
    const auto* data = reinterpret_cast<const std::uint8_t*>(block.get());
    for (std::size_t done = 0; done < got;) {
      const std::size_t size = std::min(slice, got - done);
      BitCursor cursor = writer.Begin(size * static_cast<std::size_t>(codes.maxLength) / 8 + 1);
      const bool known = EncodeBytes(data + done, size, codes, cursor);
      writer.End(cursor);
      if (!known) {
        result.status = PayloadResult::Status::kUnknownByte;
        return result;
      }
      done += size;
    }
    result.bytesRead += static_cast<std::int64_t>(got);
    if (!input) break;
  }
  if (input.bad()) {
    result.status = PayloadResult::Status::kReadFailed;
    return result;
  }
  writer.WriteCode(codes.endCode >> 8, static_cast<int>(codes.endCode & PackedCodes::kLengthMask));
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
