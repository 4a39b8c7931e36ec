#include "api/compress.h"

#include <memory>
#include <sstream>

#include "encode/payload_writer.h"

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

CompressStatus CompressInput(std::istream& input, const CodePlan& plan, BitWriter& writer,
                             int threads, const PositionalFile* file, Progress* progress) {
  writer.WriteBitBlock(reinterpret_cast<const std::uint8_t*>(plan.header.data()),
                       static_cast<std::int64_t>(plan.header.size()) * 8);
  input.clear();
  input.seekg(0);
  const std::int64_t start = BitPosition(writer);
  // The payload pass expects the counted bytes, no more and no fewer.
  PositionalFile counted = file != nullptr ? *file : PositionalFile{};
  counted.size = plan.dataBytes;
  const PayloadResult payload = WritePayload(writer, input, plan.table, plan.index, threads, 0,
                                             file != nullptr ? &counted : nullptr, progress);
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
  if (payload.bytesRead != plan.dataBytes || BitPosition(writer) - start != plan.payloadBits) {
    return CompressStatus::kInputChanged;
  }
  return CompressStatus::kComplete;
}

namespace {

// Bytes in memory as a position for the passes, which then read them where
// they stand, with no copy.
PositionalFile InMemory(std::span<const std::uint8_t> data) {
  return PositionalFile{-1, static_cast<std::int64_t>(data.size()), data.data()};
}

}  // namespace

CodePlan PlanBytes(std::span<const std::uint8_t> data, int threads) {
  MemoryBuffer buffer({reinterpret_cast<const char*>(data.data()), data.size()});
  std::istream input(&buffer);
  const PositionalFile memory = InMemory(data);
  return PlanCodes(CountSymbols(input, /*copy=*/nullptr, threads, &memory));
}

bool CompressBytesInto(std::span<const std::uint8_t> data, const CodePlan& plan, int threads,
                       std::uint8_t* out, std::size_t capacity) {
  if (capacity < static_cast<std::uint64_t>(plan.CompressedBytes())) return false;
  MemoryBuffer buffer({reinterpret_cast<const char*>(data.data()), data.size()});
  std::istream input(&buffer);
  const PositionalFile memory = InMemory(data);
  BitWriter writer(out, capacity);
  // Bytes in memory cannot change, and the room is enough.
  const CompressStatus status = CompressInput(input, plan, writer, threads, &memory);
  return writer.Close() && status == CompressStatus::kComplete;
}

std::string CompressBytes(std::string_view data, int threads) {
  if (data.empty()) return {};
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(data.data()),
                                            data.size());
  const CodePlan plan = PlanBytes(bytes, threads);
  std::string out(static_cast<std::size_t>(plan.CompressedBytes()), '\0');
  CompressBytesInto(bytes, plan, threads, reinterpret_cast<std::uint8_t*>(out.data()), out.size());
  return out;
}

}  // namespace tarvel
