// The encoding phase of a run: from the counts to the complete compressed
// data, header and payload.
#pragma once

#include <cstdint>
#include <istream>
#include <span>
#include <string>
#include <string_view>

#include "encode/bit_writer.h"
#include "format/code_plan.h"
#include "model/symbol_count.h"

namespace tarvel {

enum class CompressStatus {
  kComplete,
  kReadFailed,    // the second pass could not read the input to its end
  kInputChanged,  // the second pass met other bytes than the first pass counted
  kWriteFailed,   // the writer failed; the pass stopped early
};

// Writes the header of `plan`, rewinds `input` to its start and writes the
// payload. The zero fill comes when `writer` closes.
//
// The second pass must meet the bytes that the first one counted: a byte
// value without a code, another number of bytes, or another number of
// payload bits than the counts give means the input changed in between. On
// any failure the output is incomplete and must be discarded.
// `threads` threads encode the payload; the output is the same for any
// number. With `file`, the payload pass reads the bytes from it by position,
// and a file of another size than counted is a changed input.
// REQUIRES: `plan` made from a count of `input`; nothing written to `writer`
// yet; threads >= 1.
CompressStatus CompressInput(std::istream& input, const CodePlan& plan, BitWriter& writer,
                             int threads = 1, const PositionalFile* file = nullptr,
                             Progress* progress = nullptr);

// The count of bytes in memory, by `threads` threads, and its plan.
// REQUIRES: data not empty; threads >= 1.
CodePlan PlanBytes(std::span<const std::uint8_t> data, int threads);

// Writes the compressed form of `data` into out[0..plan.CompressedBytes()),
// in place. False when `capacity` is smaller than that.
// REQUIRES: `plan` made by PlanBytes() from `data`; threads >= 1.
bool CompressBytesInto(std::span<const std::uint8_t> data, const CodePlan& plan, int threads,
                       std::uint8_t* out, std::size_t capacity);

// The compressed form of `data`, exactly as a run makes the file: nothing
// for empty data. REQUIRES: threads >= 1.
std::string CompressBytes(std::string_view data, int threads = 1);

}  // namespace tarvel
