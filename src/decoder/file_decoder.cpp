#include "decoder/file_decoder.h"

#include <array>
#include <cassert>
#include <cstring>
#include <memory>

#include "model/page_buffer.h"

namespace tarvel {

namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 17;
// A tree of at most 257 leaves is at most 256 levels deep.
constexpr std::int32_t kMaxCodeLength = 256;
// Codes up to this long are decoded by table lookups; longer ones (rare
// symbols by construction) by walking the code tree bit by bit.
constexpr int kTableBits = 12;
constexpr std::int32_t kEndIndex = 256;  // the end symbol in decoding tables

constexpr std::int32_t kKnownFlags = 7;
constexpr std::int32_t kLongCodeLengthsFlag = 1;
constexpr std::int32_t kWideRecordCountFlag = 2;
constexpr std::int32_t kOddBytePresentFlag = 4;

// The compressed bytes, a block at a time.
class BlockReader {
 public:
  explicit BlockReader(ByteSource& source)
      : source(source),
        block(kBlockBytes),
        pos(block.Bytes()),
        end(block.Bytes()) {}

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
  if ((header.flags & kOddBytePresentFlag) != 0) {
    return "the header announces a lone trailing byte, which no byte-coded file has";
  }
  const int lengthBytes = (header.flags & kLongCodeLengthsFlag) != 0 ? 2 : 1;

  if (!reader.ReadField((header.flags & kWideRecordCountFlag) != 0 ? 2 : 1, field)) {
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
  header.headerBytes = reader.Consumed();
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

// The decoding tables. One lookup of kTableBits bits gives one or two whole
// symbols when their codes are short; a longer code, and the end symbol, go
// through the code tree bit by bit.
//
// An entry of `fast`: the bits its symbols take (bits 0-5, so that a shift
// by the entry itself consumes them), how many symbols it gives (6-7), the
// first symbol (8-15) and the second (16-23). An entry that gives none sends
// the decoder to the tree.
struct DecodingTables {
  std::vector<std::uint32_t> fast;
  // Tree nodes: children[2 * node + bit] is a node number, or -(index + 1)
  // for a leaf holding the decoding index (byte value or kEndIndex).
  std::vector<std::int32_t> children;
};

constexpr std::uint32_t EntryCount(std::uint32_t entry) { return (entry >> 6) & 3; }
constexpr int EntryLength(std::uint32_t entry) { return static_cast<int>(entry & 0x3F); }
constexpr std::uint32_t MakeEntry(int length, std::uint32_t count, std::uint32_t first,
                                  std::uint32_t second) {
  return static_cast<std::uint32_t>(length) | count << 6 | first << 8 | second << 16;
}

DecodingTables BuildTables(const FileHeader& header, const std::vector<std::string>& codes) {
  constexpr std::uint32_t kSize = std::uint32_t{1} << kTableBits;
  // First one symbol per lookup: the decoding index and the code length, or
  // a length of 0 for a code longer than the table.
  std::vector<std::int32_t> index(kSize, 0);
  std::vector<int> length(kSize, 0);
  DecodingTables tables;
  tables.children.assign(2, 0);
  for (std::size_t position = 0; position < codes.size(); ++position) {
    const std::string& code = codes[position];
    const std::int32_t symbol = header.symbols[position];
    const std::int32_t decoded = symbol < 0 ? kEndIndex : symbol;
    if (code.size() <= kTableBits) {
      std::uint32_t value = 0;
      for (const char c : code) value = (value << 1) | static_cast<std::uint32_t>(c - '0');
      const int spare = kTableBits - static_cast<int>(code.size());
      for (std::uint32_t k = value << spare; k < (value + 1) << spare; ++k) {
        index[k] = decoded;
        length[k] = static_cast<int>(code.size());
      }
    }
    std::int32_t node = 0;
    for (std::size_t k = 0; k < code.size(); ++k) {
      const std::size_t slot =
          2 * static_cast<std::size_t>(node) + static_cast<std::size_t>(code[k] - '0');
      if (k + 1 == code.size()) {
        tables.children[slot] = -(decoded + 1);
      } else {
        if (tables.children[slot] == 0) {
          tables.children[slot] = static_cast<std::int32_t>(tables.children.size() / 2);
          tables.children.resize(tables.children.size() + 2, 0);
        }
        node = tables.children[slot];
      }
    }
  }
  // Then a second symbol wherever its code fits in the bits left over.
  tables.fast.assign(kSize, 0);
  for (std::uint32_t value = 0; value < kSize; ++value) {
    const int first = length[value];
    if (first == 0 || index[value] == kEndIndex) continue;
    const auto symbol = static_cast<std::uint32_t>(index[value]);
    const std::uint32_t rest = (value << first) & (kSize - 1);
    const int second = length[rest];
    if (second != 0 && first + second <= kTableBits && index[rest] != kEndIndex) {
      tables.fast[value] =
          MakeEntry(first + second, 2, symbol, static_cast<std::uint32_t>(index[rest]));
    } else {
      tables.fast[value] = MakeEntry(first, 1, symbol, 0);
    }
  }
  return tables;
}

// The payload as a stream of bits, most significant first.
class BitReader {
 public:
  explicit BitReader(BlockReader& reader) : reader(reader) {}

  // Tops the buffer up to at least 56 bits, or to the end of the data. With
  // eight bytes at hand, one load does it: it takes as many whole bytes as
  // fit, and the bits below `available` are always the stream's next bits,
  // so the next load may lay the same bits over them.
  void Refill() {
    if (reader.end - reader.pos >= 8) {
      std::uint64_t word;
      std::memcpy(&word, reader.pos, sizeof word);
      buffer |= __builtin_bswap64(word) >> available;
      reader.pos += (63 - available) >> 3;
      available |= 56;
      return;
    }
    while (available <= 56) {
      if (reader.pos == reader.end && !reader.Fill()) return;
      buffer |= static_cast<std::uint64_t>(*reader.pos++) << (56 - available);
      available += 8;
    }
  }

  std::uint32_t Peek(int bits) const { return static_cast<std::uint32_t>(buffer >> (64 - bits)); }
  void Skip(int bits) {
    buffer <<= bits;
    available -= bits;
  }

  BlockReader& reader;
  std::uint64_t buffer = 0;  // pending bits, the next one in the top position
  int available = 0;         // bits of `buffer` that belong to the stream
};

DecodeResult Invalid(std::string reason) {
  DecodeResult result;
  result.status = DecodeResult::Status::kInvalid;
  result.reason = std::move(reason);
  return result;
}

constexpr const char* kEndsBeforeEnd = "the payload ends before the end symbol";
constexpr const char* kEndsInsideCode = "the payload ends inside a code";

// Walks the code tree bit by bit to the next symbol. Returns its decoding
// index, or -1 when the data ends first (`reason` then says where).
std::int32_t DecodeByTree(BitReader& bits, const DecodingTables& tables, const char*& reason) {
  std::int32_t node = 0;
  for (bool first = true;; first = false) {
    if (bits.available == 0) bits.Refill();
    if (bits.available == 0) {
      reason = first ? kEndsBeforeEnd : kEndsInsideCode;
      return -1;
    }
    const std::int32_t next = tables.children[2 * static_cast<std::size_t>(node) + bits.Peek(1)];
    bits.Skip(1);
    if (next < 0) return -next - 1;
    node = next;
  }
}

}  // namespace

DecodeResult Decode(ByteSource& source, ByteSink& sink) {
  BlockReader reader(source);
  std::int64_t written = 0;
  const auto finish = [&](DecodeResult result) {
    if (reader.failed) result.status = DecodeResult::Status::kReadFailed;
    result.inputBytes = reader.Consumed();
    result.outputBytes = written;
    return result;
  };
  DecodeResult writeFailed;
  writeFailed.status = DecodeResult::Status::kWriteFailed;

  if (!reader.Fill()) return finish({});  // empty data restores to nothing

  FileHeader header;
  std::vector<std::string> codes;
  std::string reason = ReadHeader(reader, header);
  if (reason.empty()) reason = RebuildCodes(header, codes);
  if (!reason.empty()) return finish(Invalid(std::move(reason)));
  const DecodingTables tables = BuildTables(header, codes);
  const std::uint32_t* const fast = tables.fast.data();

  // Each round of the loop stores up to 4 lookups of 2 bytes; the block is
  // handed on before it could overflow.
  const PageBuffer block(kBlockBytes + 8);
  std::uint8_t* const start = block.Bytes();
  std::uint8_t* const limit = start + kBlockBytes;
  std::uint8_t* out = start;
  BitReader bits(reader);
  for (;;) {
    if (out + 8 > limit) {
      if (!sink.Write(start, static_cast<std::size_t>(out - start))) return finish(writeFailed);
      written += out - start;
      out = start;
    }
    bits.Refill();
    // Every lookup takes at most kTableBits bits: with 48 at hand, four are
    // sure to find theirs. The state lives in locals for the round.
    if (bits.available >= 4 * kTableBits) {
      std::uint64_t buffer = bits.buffer;
      int available = bits.available;
      int done = 0;
      for (; done < 4; ++done) {
        const std::uint32_t entry = fast[buffer >> (64 - kTableBits)];
        if (EntryCount(entry) == 0) break;
        const auto pair = static_cast<std::uint16_t>(entry >> 8);
        std::memcpy(out, &pair, sizeof pair);  // the first symbol, then the second
        out += EntryCount(entry);
        buffer <<= EntryLength(entry);
        available -= EntryLength(entry);
      }
      bits.buffer = buffer;
      bits.available = available;
      if (done == 4) continue;
    } else if (bits.available >= kTableBits) {
      const std::uint32_t entry = fast[bits.Peek(kTableBits)];
      if (EntryCount(entry) != 0) {
        const auto pair = static_cast<std::uint16_t>(entry >> 8);
        std::memcpy(out, &pair, sizeof pair);
        out += EntryCount(entry);
        bits.Skip(EntryLength(entry));
        continue;
      }
    }

    // A long code, the end symbol, or the last bits of the data.
    const char* ends = nullptr;
    const std::int32_t decoded = DecodeByTree(bits, tables, ends);
    if (decoded < 0) return finish(Invalid(ends));
    if (decoded == kEndIndex) break;
    *out++ = static_cast<std::uint8_t>(decoded);
  }
  if (!sink.Write(start, static_cast<std::size_t>(out - start))) return finish(writeFailed);
  written += out - start;

  const int fillBits = bits.available % 8;
  if (fillBits != 0 && bits.Peek(fillBits) != 0) {
    return finish(Invalid("the fill bits after the end symbol are not zero"));
  }
  if (bits.available >= 8 || reader.pos != reader.end || reader.Fill()) {
    return finish(Invalid("data follows the end symbol"));
  }
  return finish({});
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

DecodeResult DecodeBytes(std::string_view compressed, std::string& restored) {
  restored.clear();
  MemorySource source(compressed);
  MemorySink sink(restored);
  return Decode(source, sink);
}

}  // namespace tarvel
