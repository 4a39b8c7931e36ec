#include "model/code_table.h"

#include <cassert>

namespace tarvel {

void BuildSymbolIndex(const CodeTable& table, SymbolIndex& index) {
  assert(index.Count() == 0);
  for (std::int32_t position = table.LowerBound(); position < table.End(); ++position) {
    index.At(table[position].symbol) = position;
  }
}

}  // namespace tarvel
