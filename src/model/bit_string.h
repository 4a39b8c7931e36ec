// Bits as text: how codes and fixed-width header fields travel.
#pragma once

#include <cstdint>
#include <string>

namespace tarvel {

// A sequence of bits as text, one character ('0' or '1') per bit, the first
// character being the first bit written.
using BitString = std::string;

// Returns the `width` lowest bits of `value`, most significant first, as a
// BitString of exactly `width` characters (empty when width <= 0). Bits above
// the width are ignored, so -1 and 511 both give eight ones at width 8.
// REQUIRES: width <= 32.
BitString ToBitString(std::int32_t value, std::int32_t width);

}  // namespace tarvel
