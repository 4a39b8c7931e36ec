// The encoding phase of a run: from the counts to the complete compressed
// data, header and payload.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

#include "encode/bit_writer.h"
#include "model/symbol_count.h"

namespace tarvel {

enum class CompressStatus {
  kComplete,
  kReadFailed,    // the second pass could not read the input to its end
  kInputChanged,  // the second pass met other bytes than the first pass counted
  kWriteFailed,   // the writer failed; the pass stopped early
};

// Builds the code tree for `counts`, walks it into the code table (the tree
// is gone before anything is written), writes the header, rewinds `input` to
// its start and writes the payload. The zero fill comes when `writer` closes.
//
// The second pass must meet the bytes that the first one counted: a byte
// value without a code, another number of bytes, or another number of
// payload bits than the counts give means the input changed in between. On
// any failure the output is incomplete and must be discarded.
// `threads` threads encode the payload; the output is the same for any
// number. With `file`, the payload pass reads the bytes from it by position,
// and a file of another size than counted is a changed input.
// REQUIRES: `counts` holds at least one non-zero count and was made from
// `input`; nothing written to `writer` yet; threads >= 1.
CompressStatus CompressInput(std::istream& input, const FrequencyTable& counts, BitWriter& writer,
                             int threads = 1, const PositionalFile* file = nullptr);

// Writes the compressed form of `data` to `sink`, exactly as a run makes
// the file: nothing for empty data. REQUIRES: threads >= 1.
void CompressTo(std::string_view data, int threads, std::ostream& sink);

// The same, as a string.
std::string CompressBytes(std::string_view data, int threads = 1);

}  // namespace tarvel
