// Reading the header of a compressed file back, and the codes it stands for.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "format/faults.h"

namespace tarvel {

// The header of a compressed file. By table position: the symbol (a byte
// value, or -1 for the end symbol) and its code length.
struct FileHeader {
  std::int32_t flags = 0;
  std::vector<std::int32_t> symbols;
  std::vector<std::int32_t> lengths;
  std::int32_t endPosition = 0;
};

// Reads a big-endian field of `bytes` bytes into `value`; false when the data
// end first.
using FieldReader = std::function<bool(int bytes, std::uint32_t& value)>;

// Reads the header fields and checks them: known flags, a record count and
// end position that fit, no byte value twice.
Fault ReadHeader(const FieldReader& read, FileHeader& header);

// Rebuilds the codes from their lengths, as strings of '0' and '1': the
// first code is all zeros, each next one is the previous plus one, padded
// with zero bits or cut to its length, and the last is all ones. The lengths
// make such a sequence exactly when they make a complete prefix code in
// table order; otherwise the fault says where it fails.
Fault RebuildCodes(const FileHeader& header, std::vector<std::string>& codes);

}  // namespace tarvel
