// Code tables for test inputs, made the way a run makes them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/code_table.h"
#include "model/symbol_count.h"

namespace tarvel::testing {

// The 256 byte counts of `bytes`.
FrequencyTable CountsOf(std::string_view bytes);

// Builds the tree for `counts`, walks it into `table` and fills `index`.
void MakeCodes(const FrequencyTable& counts, CodeTable& table, SymbolIndex& index);

// "a:0 b:10 end:11000": each position's symbol and code, in table order.
// Printable ASCII symbols appear as characters, others as decimal numbers.
std::string DescribeTable(const CodeTable& table);

}  // namespace tarvel::testing
