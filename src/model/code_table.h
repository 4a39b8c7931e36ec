// Every leaf's code in walk order, and the map from symbol to that order.
#pragma once

#include <cstdint>

#include "model/bit_string.h"
#include "model/offset_array.h"

namespace tarvel {

// The symbol that marks the end of the coded data. It has weight 0 and is the
// smallest symbol; byte values are 0 to 255.
inline constexpr std::int32_t kEndSymbol = -1;

// One leaf's code: '0' for every step into a zero branch, '1' for every step
// into a one branch, from the root down to the leaf.
struct CodeEntry {
  BitString code;
  std::int32_t symbol = 0;
};

// The leaves indexed by position, from 0: position k holds the leaf that the
// walk (zero branch first) meets after k other leaves, so the codes are in
// ascending order and consecutive positions have consecutive codes.
using CodeTable = OffsetArray<CodeEntry>;

// Indexed by symbol (from kEndSymbol): the symbol's position in the
// CodeTable. A byte value without a leaf holds 0, like the real position 0,
// so a lookup alone cannot tell the two apart.
using SymbolIndex = OffsetArray<std::int32_t>;

// Fills `index` from the complete `table`, visiting positions in ascending
// order: the first symbol stored (that of position 0) fixes the index's lower
// bound, and the index then grows towards lower and higher symbols.
// REQUIRES: `index` is empty.
void BuildSymbolIndex(const CodeTable& table, SymbolIndex& index);

}  // namespace tarvel
