#include "model/bit_string.h"

#include <cassert>

namespace tarvel {

BitString ToBitString(std::int32_t value, std::int32_t width) {
  assert(width <= 32);
  BitString bits;
  if (width <= 0) return bits;
  bits.reserve(static_cast<std::size_t>(width));
  const auto unsignedValue = static_cast<std::uint32_t>(value);
  for (std::int32_t j = width - 1; j >= 0; --j) {
    bits.push_back(static_cast<char>('0' + ((unsignedValue >> j) & 1u)));
  }
  return bits;
}

}  // namespace tarvel
