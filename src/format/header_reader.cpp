#include "format/header_reader.h"

#include <array>

#include "format/layout.h"

namespace tarvel {

Fault ReadHeader(const FieldReader& read, FileHeader& header) {
  const Fault truncated = Fault::kHeaderTruncated;
  std::uint32_t field = 0;
  if (!read(1, field)) return truncated;
  header.flags = static_cast<std::int32_t>(field);
  if ((header.flags & ~kKnownFlags) != 0) return Fault::kUnknownFlags;
  if ((header.flags & kOddBytePresent) != 0) {
    return Fault::kOddByte;
  }
  const int lengthBytes = LengthBits(header.flags) / 8;

  if (!read(RecordCountBits(header.flags) / 8, field)) return truncated;
  const std::int32_t records = static_cast<std::int32_t>(field) + 1;
  if (records > 256) return Fault::kTooManyRecords;

  if (!read(kEndPositionBits / 8, field)) return truncated;
  if (field > static_cast<std::uint32_t>(records)) return Fault::kEndPositionBeyondRecords;
  header.endPosition = static_cast<std::int32_t>(field);

  const std::size_t positions = static_cast<std::size_t>(records) + 1;
  header.symbols.assign(positions, 0);
  header.lengths.assign(positions, 0);
  if (!read(lengthBytes, field)) return truncated;
  header.symbols[static_cast<std::size_t>(header.endPosition)] = -1;
  header.lengths[static_cast<std::size_t>(header.endPosition)] = static_cast<std::int32_t>(field);

  std::array<bool, 256> seen{};
  for (std::size_t position = 0; position < positions; ++position) {
    if (position == static_cast<std::size_t>(header.endPosition)) continue;
    std::uint32_t symbol = 0;
    if (!read(kSymbolBits / 8, symbol) || !read(lengthBytes, field)) return truncated;
    if (seen[symbol]) return Fault::kTwoRecords;
    seen[symbol] = true;
    header.symbols[position] = static_cast<std::int32_t>(symbol);
    header.lengths[position] = static_cast<std::int32_t>(field);
  }
  return Fault::kNone;
}

Fault RebuildCodes(const FileHeader& header, std::vector<std::string>& codes) {
  codes.clear();
  for (const std::int32_t length : header.lengths) {
    if (length == 0) return Fault::kZeroLength;
    if (length > kMaxCodeLength) return Fault::kLengthTooLong;
    if (codes.empty()) {
      codes.emplace_back(static_cast<std::size_t>(length), '0');
      continue;
    }
    std::string code = codes.back();
    std::size_t k = code.size();
    while (k > 0 && code[k - 1] == '1') code[--k] = '0';
    if (k == 0) return Fault::kLengthsOverflow;
    code[k - 1] = '1';
    const auto wanted = static_cast<std::size_t>(length);
    if (wanted < code.size()) {
      if (code.find('1', wanted) != std::string::npos) return Fault::kShortenedCodeNotZero;
    }
    code.resize(wanted, '0');
    codes.push_back(std::move(code));
  }
  if (codes.back().find('0') != std::string::npos) return Fault::kLastCodeNotOnes;
  return Fault::kNone;
}

}  // namespace tarvel
