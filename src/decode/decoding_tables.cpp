#include "decode/decoding_tables.h"

#include <algorithm>

namespace tarvel {

namespace {

// The characters code[from, from + count) read as a binary number.
std::uint32_t BitsOf(const std::string& code, std::size_t from, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t k = from; k < from + count; ++k) {
    value = (value << 1) | static_cast<std::uint32_t>(code[k] - '0');
  }
  return value;
}

}  // namespace

DecodingTables BuildTables(const std::vector<std::int32_t>& symbols,
                           const std::vector<std::string>& codes) {
  constexpr std::uint32_t kSize = std::uint32_t{1} << kTableBits;
  // First one symbol per lookup: the decoding index and the code length, or
  // a length of 0 for a code longer than the table.
  std::vector<std::int32_t> index(kSize, 0);
  std::vector<int> length(kSize, 0);
  DecodingTables tables;
  tables.children.assign(2, 0);
  for (std::size_t position = 0; position < codes.size(); ++position) {
    const std::string& code = codes[position];
    const std::int32_t symbol = symbols[position];
    const std::int32_t decoded = symbol < 0 ? kEndIndex : symbol;
    if (code.size() <= kTableBits) {
      const std::uint32_t value = BitsOf(code, 0, code.size());
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
  // The second lookup's tables, one per prefix, as wide as its longest code
  // needs.
  std::vector<int> longest(kSize, 0);
  for (const std::string& code : codes) {
    if (code.size() <= kTableBits) continue;
    const std::uint32_t prefix = BitsOf(code, 0, kTableBits);
    longest[prefix] = std::max(longest[prefix], static_cast<int>(code.size()));
  }
  tables.longStart.assign(kSize, 0);
  for (std::uint32_t prefix = 0; prefix < kSize; ++prefix) {
    if (longest[prefix] == 0) continue;
    const int bits = std::min(longest[prefix] - kTableBits, kLongBits);
    tables.longStart[prefix] = LongStart(static_cast<std::uint32_t>(tables.longCodes.size()), bits);
    tables.longCodes.resize(tables.longCodes.size() + (std::size_t{1} << bits), 0);
  }
  for (std::size_t position = 0; position < codes.size(); ++position) {
    const std::string& code = codes[position];
    const int size = static_cast<int>(code.size());
    if (size <= kTableBits || size > kTableBits + kLongBits || symbols[position] < 0) continue;
    const std::uint32_t start = tables.longStart[BitsOf(code, 0, kTableBits)];
    const int bits = LongStartBits(start);
    const std::uint32_t suffix = BitsOf(code, kTableBits, code.size() - kTableBits);
    const int spare = bits - (size - kTableBits);
    const std::size_t first = LongStartOffset(start) + (suffix << spare);
    for (std::size_t k = first; k < first + (std::size_t{1} << spare); ++k) {
      tables.longCodes[k] = LongEntry(size, symbols[position]);
    }
  }

  tables.first.assign(kSize, 0);
  for (std::uint32_t value = 0; value < kSize; ++value) {
    tables.first[value] = FirstEntry(length[value], index[value]);
  }
  // Then more symbols wherever their codes fit in the bits left over.
  for (std::uint32_t value = 0; value < kSize; ++value) {
    std::uint32_t entry = 0;
    std::uint32_t symbols = 0;
    int used = 0;
    for (std::uint32_t count = 0; count < 3; ++count) {
      const std::uint32_t rest = (value << used) & (kSize - 1);
      const int next = length[rest];
      if (next == 0 || used + next > kTableBits || index[rest] == kEndIndex) break;
      used += next;
      symbols |= static_cast<std::uint32_t>(index[rest])
                 << FastSymbolShift(static_cast<int>(count));
      entry = FastEntry(symbols, count + 1, used);
    }
    tables.fast[0].entries[value] = entry;
    tables.fast[0].advance[value] = EntryCount(entry);
  }
  return tables;
}

}  // namespace tarvel
