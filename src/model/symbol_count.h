// The first pass over the input: how often each symbol occurs.
#pragma once

#include <cstdint>
#include <istream>
#include <vector>

namespace tarvel {

// How often one symbol occurs.
using Count = std::int32_t;

// Counts indexed by symbol; in a run, 256 of them indexed by byte value.
using FrequencyTable = std::vector<Count>;

// Reads `input` from where it stands to its end, one byte at a time, and
// returns `size` counts with the number of times each symbol was read. Bytes
// are taken as unsigned values: 0xFF is counted at 255.
//
// With `sixteenBit` set, each symbol is a pair of bytes, the first byte low
// and the second high (symbols 0 to 65535). A lone last byte is not counted
// but stored through `oddByte`; without it `oddByte` is left untouched.
//
// REQUIRES: size >= 256, or >= 65536 with `sixteenBit`; `oddByte` not null.
// On return `input` stands at its end with its failure flags set.
FrequencyTable CountSymbols(std::istream& input, std::int32_t size, bool sixteenBit,
                            std::int32_t* oddByte);

}  // namespace tarvel
