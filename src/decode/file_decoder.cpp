#include "decode/file_decoder.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>
#include <memory>

#include "decode/decoding_tables.h"
#include "decode/payload_decoder.h"
#include "format/header_reader.h"
#include "io/page_buffer.h"

namespace tarvel {

namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 17;
constexpr std::size_t kDirectBytes = std::size_t{1} << 12;
// The compressed bytes, a block at a time, or where they lie when they are
// in memory.
class BlockReader : public PayloadReader {
 public:
  explicit BlockReader(ByteSource& source)
      : source(source), block(kBlockBytes), base(block.Bytes()), pos(base), end(base) {}

  // Makes at least one more byte available; false at the end of the data or
  // when the read failed (then `failed` is set).
  bool Fill() {
    if (pos != end) return true;
    if (failed || inPlace) return false;
    if (!asked) {
      asked = true;
      std::size_t size = 0;
      if (const std::uint8_t* rest = source.TakeRest(size); rest != nullptr) {
        inPlace = true;
        base = pos = rest;
        end = rest + size;
        return size > 0;
      }
    }
    const std::ptrdiff_t got = source.Read(block.Bytes(), kBlockBytes);
    if (got < 0) failed = true;
    if (got <= 0) return false;
    consumedBefore += end - base;
    pos = block.Bytes();
    end = pos + got;
    return true;
  }

  // Reads up to `size` bytes; fewer only at the end of the data or after a
  // failed read.
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      // Once the block is used up, all but small reads go straight to the
      // caller's buffer.
      if (pos == end && size - done >= kDirectBytes && !failed && !inPlace) {
        const std::ptrdiff_t got = source.Read(buffer + done, size - done);
        if (got < 0) failed = true;
        if (got <= 0) break;
        consumedBefore += (end - base) + got;
        base = pos = end = block.Bytes();
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

  const std::uint8_t* ReadInPlace(std::size_t size, std::size_t& got) override {
    got = 0;
    if (!inPlace) return nullptr;
    got = std::min(size, static_cast<std::size_t>(end - pos));
    const std::uint8_t* const at = pos;
    pos += got;
    return at;
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

  // Bytes read into the block and not taken out of it yet.
  std::int64_t Buffered() const { return end - pos; }

  // Bytes taken out of the block so far.
  std::int64_t Consumed() const { return consumedBefore + (pos - base); }

  ByteSource& source;
  PageBuffer block;
  const std::uint8_t* base;  // where the bytes at hand start: the block, or in place
  const std::uint8_t* pos;
  const std::uint8_t* end;
  std::int64_t consumedBefore = 0;
  bool failed = false;
  bool asked = false;    // whether the source was asked for its bytes in place
  bool inPlace = false;  // the source's bytes are used where they lie
};

DecodeResult Invalid(Fault fault) {
  DecodeResult result;
  result.status = DecodeResult::Status::kInvalid;
  result.reason = FaultReason(fault);
  result.fault = fault;
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
  const FieldReader readField = [&reader](int bytes, std::uint32_t& value) {
    return reader.ReadField(bytes, value);
  };
  Fault fault = ReadHeader(readField, header);
  if (fault == Fault::kNone) fault = RebuildCodes(header, codes);
  if (fault != Fault::kNone) return finish(Invalid(fault));

  const DecodingTables tables = BuildTables(header.symbols, codes);
  // Each byte takes at least the shortest code's bits.
  if (const std::int64_t left = source.Left(); left >= 0) {
    const std::size_t shortest =
        std::min_element(codes.begin(), codes.end(), [](const auto& a, const auto& b) {
          return a.size() < b.size();
        })->size();
    sink.Expect(static_cast<std::uint64_t>(reader.Buffered() + left) * 8 / shortest);
  }
  const PayloadOutcome outcome = DecodePayload(reader, tables, sink, threads, segmentBytes);
  DecodeResult result;
  switch (outcome.status) {
    case PayloadOutcome::Status::kOk:
      break;
    case PayloadOutcome::Status::kInvalid:
      result = Invalid(outcome.fault);
      break;
    case PayloadOutcome::Status::kWriteFailed:
      result.status = DecodeResult::Status::kWriteFailed;
      break;
  }
  result.outputBytes = outcome.outputBytes;
  return finish(result);
}

bool StringSink::Write(const std::uint8_t* data, std::size_t size) {
  out.append(reinterpret_cast<const char*>(data), size);
  return true;
}

std::ptrdiff_t MemorySource::Read(std::uint8_t* buffer, std::size_t size) {
  const std::size_t n = std::min(size, data.size());
  if (n == 0) return 0;  // empty data may have no address at all
  std::memcpy(buffer, data.data(), n);
  data.remove_prefix(n);
  return static_cast<std::ptrdiff_t>(n);
}

const std::uint8_t* MemorySource::TakeRest(std::size_t& size) {
  size = data.size();
  if (size == 0) return nullptr;  // empty data may have no address at all
  const auto* const rest = reinterpret_cast<const std::uint8_t*>(data.data());
  data = {};
  return rest;
}

std::ptrdiff_t StreamSource::Read(std::uint8_t* buffer, std::size_t size) {
  input.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(size));
  if (input.bad()) return -1;
  return static_cast<std::ptrdiff_t>(input.gcount());
}

DecodeResult DecodeBytes(std::string_view compressed, std::string& restored, int threads,
                         std::size_t segmentBytes) {
  restored.clear();
  MemorySource source(compressed);
  StringSink sink(restored);
  return Decode(source, sink, threads, segmentBytes);
}

}  // namespace tarvel
