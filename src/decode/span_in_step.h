// A long span of bits in memory decoded by several lanes at once: the first
// part exactly, the others guessed at in step and joined where their symbol
// boundaries meet the true ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decode/bit_reader.h"
#include "decode/decoding_tables.h"
#include "decode/segment_guess.h"
#include "decode/symbol_decoder.h"

namespace tarvel {

// Does what DecodeRun() does, with the same bytes, the same end and the
// same bit position: faster for spans of many parts, which it guesses at in
// step, keeping their segments in `parts` from call to call. Parts are of
// `partBytes` (0: as many as suit the span; tests choose a few). Guessed
// bytes taken at `far` or past it are copied past the caches.
// REQUIRES: every code that starts before `stopBit` ends within `bits`.
RunOutcome DecodeRunInStep(MemoryBits& bits, const DecodingTables& tables, std::uint64_t stopBit,
                           std::uint8_t*& out, const std::uint8_t* outEnd, const std::uint8_t* far,
                           std::vector<std::unique_ptr<Segment>>& parts, std::size_t partBytes = 0);

}  // namespace tarvel
