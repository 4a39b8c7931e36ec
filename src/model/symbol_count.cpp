#include "model/symbol_count.h"

#include <cassert>

namespace tarvel {

FrequencyTable CountSymbols(std::istream& input, std::int32_t size, bool sixteenBit,
                            std::int32_t* oddByte) {
  assert(size >= (sixteenBit ? 65536 : 256));
  assert(oddByte != nullptr);
  FrequencyTable counts(static_cast<std::size_t>(size > 0 ? size : 0), 0);
  constexpr auto kEnd = std::istream::traits_type::eof();
  for (auto first = input.get(); first != kEnd; first = input.get()) {
    if (!sixteenBit) {
      ++counts[static_cast<std::size_t>(first)];
      continue;
    }
    const auto second = input.get();
    if (second == kEnd) {
      *oddByte = static_cast<std::int32_t>(first);
      break;
    }
    ++counts[static_cast<std::size_t>(first + 256 * second)];
  }
  return counts;
}

}  // namespace tarvel
