// The encoding phase of a run: from the counts to the complete compressed
// data, header and payload.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

#include "model/symbol_count.h"
#include "output/bit_writer.h"

namespace tarvel {

// Builds the code tree for `counts`, walks it into the code table (the tree
// is gone before anything is written), writes the header, rewinds `input` to
// its start and writes the payload. The zero fill comes when `writer` closes.
// REQUIRES: `counts` holds at least one non-zero count and was made from
// `input`; nothing written to `writer` yet.
void CompressInput(std::istream& input, const FrequencyTable& counts, std::int32_t oddByte,
                   BitWriter& writer);

// The compressed form of `data`, made in memory exactly as a run makes the
// file: empty for empty data.
std::string CompressBytes(std::string_view data);

}  // namespace tarvel
