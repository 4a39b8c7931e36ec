#include "api/compress.h"

#include <memory>
#include <sstream>

#include "encode/payload_writer.h"
#include "format/header_writer.h"
#include "model/code_table.h"
#include "model/code_tree.h"

namespace tarvel {

namespace {

std::int64_t BitPosition(const BitWriter& writer) {
  return writer.WritePosition() * 8 + writer.BitCount();
}

// Bytes in memory as an input stream, read in place; it can be rewound.
class MemoryBuffer : public std::streambuf {
 public:
  explicit MemoryBuffer(std::string_view data) {
    char* begin = const_cast<char*>(data.data());  // only ever read
    setg(begin, begin, begin + data.size());
  }

 protected:
  pos_type seekoff(off_type offset, std::ios_base::seekdir way,
                   std::ios_base::openmode /*which*/) override {
    const off_type size = egptr() - eback();
    const off_type base = way == std::ios_base::beg   ? 0
                          : way == std::ios_base::end ? size
                                                      : gptr() - eback();
    const off_type target = base + offset;
    if (target < 0 || target > size) return pos_type(off_type(-1));
    setg(eback(), eback() + target, egptr());
    return pos_type(target);
  }

  pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
    return seekoff(off_type(position), std::ios_base::beg, which);
  }
};

}  // namespace

CompressStatus CompressInput(std::istream& input, const FrequencyTable& counts, BitWriter& writer,
                             int threads, const PositionalFile* file) {
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
  WriteHeader(writer, table, index, /*oddByte=*/-1);

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

void CompressTo(std::string_view data, int threads, std::ostream& sink) {
  BitWriter writer(sink);
  if (data.empty()) return;
  MemoryBuffer buffer(data);
  std::istream input(&buffer);
  const FrequencyTable counts = CountSymbols(input, /*copy=*/nullptr, threads);
  CompressInput(input, counts, writer, threads);
}

std::string CompressBytes(std::string_view data, int threads) {
  std::ostringstream sink;
  CompressTo(data, threads, sink);
  return std::move(sink).str();
}

}  // namespace tarvel
