#include "decoder/file_decoder.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>
#include <memory>

#include "decoder/decoding_tables.h"
#include "decoder/payload_decoder.h"
#include "model/page_buffer.h"
#include "output/file_format.h"

namespace tarvel {

namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 17;
constexpr std::size_t kDirectBytes = std::size_t{1} << 12;
// A tree of at most 257 leaves is at most 256 levels deep.
constexpr std::int32_t kMaxCodeLength = 256;

constexpr std::int32_t kKnownFlags = kLongCodeLengths | kWideRecordCount | kOddBytePresent;

// The header of a compressed file. By table position: the symbol (a byte
// value, or -1 for the end symbol) and its code length.
struct FileHeader {
  std::int32_t flags = 0;
  std::vector<std::int32_t> symbols;
  std::vector<std::int32_t> lengths;
  std::int32_t endPosition = 0;
};

// The compressed bytes, a block at a time.
class BlockReader {
 public:
  explicit BlockReader(ByteSource& source)
      : source(source), block(kBlockBytes), pos(block.Bytes()), end(block.Bytes()) {}

  // Makes at least one more byte available; false at the end of the data or
  // when the read failed (then `failed` is set).
  bool Fill() {
    if (pos != end) return true;
    if (failed) return false;
    const std::ptrdiff_t got = source.Read(block.Bytes(), kBlockBytes);
    if (got < 0) failed = true;
    if (got <= 0) return false;
    consumedBefore += end - block.Bytes();
    pos = block.Bytes();
    end = pos + got;
    return true;
  }

  // Reads up to `size` bytes; fewer only at the end of the data or after a
  // failed read.
  std::size_t ReadBytes(std::uint8_t* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
      // Once the block is used up, all but small reads go straight to the
      // caller's buffer.
      if (pos == end && size - done >= kDirectBytes && !failed) {
        const std::ptrdiff_t got = source.Read(buffer + done, size - done);
        if (got < 0) failed = true;
        if (got <= 0) break;
        consumedBefore += (end - block.Bytes()) + got;
        pos = end = block.Bytes();
        done += static_cast<std::size_t>(got);
        continue;
      }
      if (!Fill()) break;
      const auto take = std::min(size - done, static_cast<std::size_t>(end - pos));
      std::memcpy(buffer + done, pos, take);
      pos += take;
      done += take;
    }
    return done;
  }

  bool ReadByte(std::uint8_t& byte) {
    if (!Fill()) return false;
    byte = *pos++;
    return true;
  }

  // Reads a big-endian field of `bytes` bytes.
  bool ReadField(int bytes, std::uint32_t& value) {
    value = 0;
    for (int k = 0; k < bytes; ++k) {
      std::uint8_t byte = 0;
      if (!ReadByte(byte)) return false;
      value = (value << 8) | byte;
    }
    return true;
  }

  // Bytes taken out of the block so far.
  std::int64_t Consumed() const { return consumedBefore + (pos - block.Bytes()); }

  ByteSource& source;
  PageBuffer block;
  const std::uint8_t* pos;
  const std::uint8_t* end;
  std::int64_t consumedBefore = 0;
  bool failed = false;
};

// Reads the header fields. Returns the reason when they are not valid.
std::string ReadHeader(BlockReader& reader, FileHeader& header) {
  const std::string truncated = "the header is truncated";
  std::uint32_t field = 0;
  if (!reader.ReadField(1, field)) return truncated;
  header.flags = static_cast<std::int32_t>(field);
  if ((header.flags & ~kKnownFlags) != 0) return "the header has unknown flags set";
  if ((header.flags & kOddBytePresent) != 0) {
    return "the header announces a lone trailing byte, which no byte-coded file has";
  }
  const int lengthBytes = (header.flags & kLongCodeLengths) != 0 ? 2 : 1;

  if (!reader.ReadField((header.flags & kWideRecordCount) != 0 ? 2 : 1, field)) {
    return truncated;
  }
  const std::int32_t records = static_cast<std::int32_t>(field) + 1;
  if (records > 256) return "the header lists more records than there are byte values";

  if (!reader.ReadField(4, field)) return truncated;
  if (field > static_cast<std::uint32_t>(records)) {
    return "the end position is beyond the record count";
  }
  header.endPosition = static_cast<std::int32_t>(field);

  const std::size_t positions = static_cast<std::size_t>(records) + 1;
  header.symbols.assign(positions, 0);
  header.lengths.assign(positions, 0);
  if (!reader.ReadField(lengthBytes, field)) return truncated;
  header.symbols[static_cast<std::size_t>(header.endPosition)] = -1;
  header.lengths[static_cast<std::size_t>(header.endPosition)] = static_cast<std::int32_t>(field);

  std::array<bool, 256> seen{};
  for (std::size_t position = 0; position < positions; ++position) {
    if (position == static_cast<std::size_t>(header.endPosition)) continue;
    std::uint32_t symbol = 0;
    if (!reader.ReadField(1, symbol) || !reader.ReadField(lengthBytes, field)) return truncated;
    if (seen[symbol]) return "a byte value has two records";
    seen[symbol] = true;
    header.symbols[position] = static_cast<std::int32_t>(symbol);
    header.lengths[position] = static_cast<std::int32_t>(field);
  }
  return {};
}

// Rebuilds the codes from their lengths: the first code is all zeros, each
// next one is the previous plus one, padded with zero bits or cut to its
// length, and the last is all ones. Returns the reason when the lengths do
// not make such a sequence, which is exactly when they do not make a
// complete prefix code in table order.
std::string RebuildCodes(const FileHeader& header, std::vector<std::string>& codes) {
  codes.clear();
  for (const std::int32_t length : header.lengths) {
    if (length == 0) return "a code length is 0";
    if (length > kMaxCodeLength) return "a code length exceeds 256 bits";
    if (codes.empty()) {
      codes.emplace_back(static_cast<std::size_t>(length), '0');
      continue;
    }
    std::string code = codes.back();
    std::size_t k = code.size();
    while (k > 0 && code[k - 1] == '1') code[--k] = '0';
    if (k == 0) return "the code lengths overflow";
    code[k - 1] = '1';
    const auto wanted = static_cast<std::size_t>(length);
    if (wanted < code.size()) {
      if (code.find('1', wanted) != std::string::npos) {
        return "a shortened code drops bits that are not zero";
      }
    }
    code.resize(wanted, '0');
    codes.push_back(std::move(code));
  }
  if (codes.back().find('0') != std::string::npos) return "the last code is not all ones";
  return {};
}

DecodeResult Invalid(std::string reason) {
  DecodeResult result;
  result.status = DecodeResult::Status::kInvalid;
  result.reason = std::move(reason);
  return result;
}

}  // namespace

DecodeResult Decode(ByteSource& source, ByteSink& sink, int threads, std::size_t segmentBytes) {
  BlockReader reader(source);
  const auto finish = [&](DecodeResult result) {
    if (reader.failed) result.status = DecodeResult::Status::kReadFailed;
    result.inputBytes = reader.Consumed();
    return result;
  };
  if (!reader.Fill()) return finish({});  // empty data restores to nothing

  FileHeader header;
  std::vector<std::string> codes;
  std::string reason = ReadHeader(reader, header);
  if (reason.empty()) reason = RebuildCodes(header, codes);
  if (!reason.empty()) return finish(Invalid(std::move(reason)));

  const DecodingTables tables = BuildTables(header.symbols, codes);
  const PayloadReader read = [&reader](std::uint8_t* buffer, std::size_t size) {
    return reader.ReadBytes(buffer, size);
  };
  const PayloadOutcome outcome = DecodePayload(read, tables, sink, threads, segmentBytes);
  DecodeResult result;
  switch (outcome.status) {
    case PayloadOutcome::Status::kOk:
      break;
    case PayloadOutcome::Status::kInvalid:
      result = Invalid(outcome.reason);
      break;
    case PayloadOutcome::Status::kWriteFailed:
      result.status = DecodeResult::Status::kWriteFailed;
      break;
  }
  result.outputBytes = outcome.outputBytes;
  return finish(result);
}

namespace {

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view data) : data(data) {}
  std::ptrdiff_t Read(std::uint8_t* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, data.size());
    std::memcpy(buffer, data.data(), n);
    data.remove_prefix(n);
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  std::string_view data;
};

class MemorySink : public ByteSink {
 public:
  explicit MemorySink(std::string& out) : out(out) {}
  bool Write(const std::uint8_t* data, std::size_t size) override {
    out.append(reinterpret_cast<const char*>(data), size);
    return true;
  }

 private:
  std::string& out;
};

}  // namespace

std::ptrdiff_t StreamSource::Read(std::uint8_t* buffer, std::size_t size) {
  input.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(size));
  if (input.bad()) return -1;
  return static_cast<std::ptrdiff_t>(input.gcount());
}

DecodeResult DecodeBytes(std::string_view compressed, std::string& restored, int threads,
                         std::size_t segmentBytes) {
  restored.clear();
  MemorySource source(compressed);
  MemorySink sink(restored);
  return Decode(source, sink, threads, segmentBytes);
}

}  // namespace tarvel
