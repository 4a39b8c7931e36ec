// What a count makes: the codes, the header that stands for them, and the
// size of the compressed data, all known before the payload is coded.
#pragma once

#include <cstdint>
#include <string>

#include "model/code_table.h"
#include "model/symbol_count.h"

namespace tarvel {

struct CodePlan {
  CodeTable table;
  SymbolIndex index;
  std::string header;          // the header's bytes
  std::int64_t dataBytes = 0;  // the bytes counted
  // Every byte's code and the end symbol's; -1 when they are too many for
  // a signed 64-bit number (only counts made up, never read, get there).
  std::int64_t payloadBits = 0;

  // The whole compressed size: the header, the payload and its fill.
  std::int64_t CompressedBytes() const {
    return static_cast<std::int64_t>(header.size()) + (payloadBits + 7) / 8;
  }
};

// Builds the code tree for `counts`, walks it into the code table (the tree
// is gone before anything else is made) and writes the header.
// REQUIRES: some count of `counts` is not 0; their total fits in a Count.
CodePlan PlanCodes(const FrequencyTable& counts);

}  // namespace tarvel
