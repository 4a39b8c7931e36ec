#include "driver/compress.h"

#include <memory>
#include <sstream>

#include "model/code_table.h"
#include "model/code_tree.h"
#include "output/file_format.h"

namespace tarvel {

namespace {

std::int64_t BitPosition(const BitWriter& writer) {
  return writer.WritePosition() * 8 + writer.BitCount();
}

}  // namespace

CompressStatus CompressInput(std::istream& input, const FrequencyTable& counts,
                             std::int32_t oddByte, BitWriter& writer, int threads,
                             const PositionalFile* file) {
  NodeList list;
  CodeTable table;
  SymbolIndex index;
  {
    std::unique_ptr<CodeNode> root = BuildCodeTree(counts, list);
    std::int32_t position = 0;
    BitString code;
    root->AssignCodes(position, code, table);
  }
  BuildSymbolIndex(table, index);
  WriteHeader(writer, table, index, oddByte);

  std::int64_t expectedBytes = 0;
  std::int64_t expectedBits = 0;
  for (std::int32_t position = table.LowerBound(); position < table.End(); ++position) {
    const CodeEntry& entry = table[position];
    const Count count =
        entry.symbol == kEndSymbol ? 1 : counts[static_cast<std::size_t>(entry.symbol)];
    expectedBits += count * static_cast<std::int64_t>(entry.code.size());
    if (entry.symbol != kEndSymbol) expectedBytes += count;
  }

  input.clear();
  input.seekg(0);
  const std::int64_t start = BitPosition(writer);
  // The payload pass expects the counted bytes, no more and no fewer.
  const PositionalFile counted{file != nullptr ? file->fd : -1, expectedBytes};
  const PayloadResult payload =
      WritePayload(writer, input, table, index, threads, 0, file != nullptr ? &counted : nullptr);
  switch (payload.status) {
    case PayloadResult::Status::kReadFailed:
      return CompressStatus::kReadFailed;
    case PayloadResult::Status::kUnknownByte:
    case PayloadResult::Status::kOtherSize:
      return CompressStatus::kInputChanged;
    case PayloadResult::Status::kWriteFailed:
      return CompressStatus::kWriteFailed;
    case PayloadResult::Status::kComplete:
      break;
  }
  if (payload.bytesRead != expectedBytes || BitPosition(writer) - start != expectedBits) {
    return CompressStatus::kInputChanged;
  }
  return CompressStatus::kComplete;
}

std::string CompressBytes(std::string_view data) {
  std::ostringstream sink;
  {
    BitWriter writer(sink);
    if (!data.empty()) {
      std::istringstream input{std::string(data)};
      std::int32_t oddByte = -1;
      const FrequencyTable counts = CountSymbols(input, 256, /*sixteenBit=*/false, &oddByte);
      CompressInput(input, counts, oddByte, writer);
    }
  }
  return std::move(sink).str();
}

}  // namespace tarvel
