#include "output/file_format.h"

#include <cassert>

namespace tarvel {

namespace {

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

void WritePayload(BitWriter& writer, std::istream& input, const CodeTable& table,
                  const SymbolIndex& index) {
  constexpr auto kEnd = std::istream::traits_type::eof();
  for (auto byte = input.get(); byte != kEnd; byte = input.get()) {
    writer.WriteBits(table[PositionOf(index, static_cast<std::int32_t>(byte))].code);
  }
  writer.WriteBits(table[PositionOf(index, kEndSymbol)].code);
}

}  // namespace tarvel
