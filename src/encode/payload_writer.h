// The payload of a compressed file: the code of every input byte, then the
// end symbol's code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>

#include "encode/bit_writer.h"
#include "io/input_blocks.h"
#include "model/code_table.h"

namespace tarvel {

struct PayloadResult {
  enum class Status {
    kComplete,     // every byte and the end symbol written
    kReadFailed,   // a read failed before the end of the input
    kUnknownByte,  // a byte value without a code: the input is not what was counted
    kOtherSize,    // the positional file was shorter or longer than expected
    kWriteFailed   // the writer failed: the pass stopped early
  };
  Status status = Status::kComplete;
  std::int64_t bytesRead = 0;
};

// Reads `input` to its end and writes the code of every byte, then the code
// of the end symbol. On a failure the end symbol is not written and the
// output is incomplete. A failed write stops the pass at the next block, on
// whichever thread, and is returned once every thread has stopped.
//
// The input is read in blocks, which `threads` threads encode at once, each
// into a buffer of its own; the buffers are joined at the bit level and
// written in input order, so the output is the same for any number of
// threads. `blockBytes` sets the size of a block (0 chooses one from the
// code lengths). A code too long to pack into a word makes the whole payload
// go the way of WritePayloadByteByByte.
// With `file`, the bytes are read from it by position, exactly `file->size`
// of them, and of `input` only the bad() flag is used.
// REQUIRES: `input` positioned at the first byte of the data that `table`
// was built for; threads >= 1.
// `progress`, when given, counts the bytes read, and can stop the pass as a
// failed read does.
PayloadResult WritePayload(BitWriter& writer, std::istream& input, const CodeTable& table,
                           const SymbolIndex& index, int threads = 1, std::size_t blockBytes = 0,
                           const PositionalFile* file = nullptr, Progress* progress = nullptr);

// The same, one byte and one BitString at a time: the reference for the
// packed path, and the path for codes longer than a packed word.
PayloadResult WritePayloadByteByByte(BitWriter& writer, std::istream& input, const CodeTable& table,
                                     const SymbolIndex& index);

}  // namespace tarvel
