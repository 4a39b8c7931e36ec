// Writing the header of a compressed file.
#pragma once

#include <cstdint>

#include "encode/bit_writer.h"
#include "model/code_table.h"

namespace tarvel {

// Writes the header for `table`: the flags, the odd byte when `oddByte` is not
// -1, the record count, the end symbol's position and code length, and a
// record of symbol and code length for every other position, each field as
// format/layout.h fixes it.
// REQUIRES: nothing written to `writer` yet; `table` as the code walk fills
// it (positions from 0, at least two) and `index` built from it.
void WriteHeader(BitWriter& writer, const CodeTable& table, const SymbolIndex& index,
                 std::int32_t oddByte);

}  // namespace tarvel
