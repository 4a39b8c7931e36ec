#include "format/header_writer.h"

#include <cassert>

#include "format/layout.h"

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
  const std::int32_t lengthWidth = LengthBits(flags);

  writer.WriteBits(ToBitString(flags, kFlagsBits));
  if ((flags & kOddBytePresent) != 0) writer.WriteBits(ToBitString(oddByte, kSymbolBits));
  if (records > 0) {
    writer.WriteBits(ToBitString(records - 1, RecordCountBits(flags)));
  }
  const std::int32_t endPosition = PositionOf(index, kEndSymbol);
  writer.WriteBits(ToBitString(endPosition, kEndPositionBits));
  const auto lengthOf = [&](std::int32_t position) {
    return static_cast<std::int32_t>(table[position].code.size());
  };
  writer.WriteBits(ToBitString(lengthOf(endPosition), lengthWidth));
  for (std::int32_t position = table.LowerBound(); position < table.End(); ++position) {
    if (table[position].symbol == kEndSymbol) continue;
    writer.WriteBits(ToBitString(table[position].symbol, kSymbolBits));
    writer.WriteBits(ToBitString(lengthOf(position), lengthWidth));
  }
}

}  // namespace tarvel
