// The output file as a sequence of bits: eight to a byte, the first bit in the
// most significant position, the last byte filled up with zero bits.
#pragma once

#include <cstdint>
#include <fstream>
#include <ostream>
#include <string>

#include "output/bit_string.h"

namespace tarvel {

// The output file with a one-byte accumulator in front of it.
//
// Construction from a name opens (creating or emptying) the file; IsOpen()
// tells whether that worked. A writer can also be put in front of any output
// stream, which is how tests and benchmarks compress in memory. Every completed byte is handed to the file stream at once and
// the stream is tested right after: a byte that cannot be written ends the
// process with the disk-full message and exit status 1, leaving the file with
// whatever reached it. Destruction writes the pending bits as a last byte,
// zero-filled, and closes the file.
class BitWriter {
 public:
  explicit BitWriter(const std::string& fileName);
  // Writes to `sink`, which must outlive the writer; destruction writes the
  // last byte but leaves `sink` open.
  explicit BitWriter(std::ostream& sink);
  ~BitWriter();

  BitWriter(const BitWriter&) = delete;
  BitWriter& operator=(const BitWriter&) = delete;

  // False when the file could not be opened for writing; nothing may be
  // written then.
  bool IsOpen() const;

  // Appends every character of `bits`, in order, as one bit. Bits of one call
  // continue the byte left unfinished by the previous call.
  // REQUIRES: IsOpen(); `bits` holds only '0' and '1'.
  void WriteBits(const BitString& bits);

  // The number of complete bytes handed to the file so far (bits pending in
  // the accumulator are not counted), or -1 once the stream has failed.
  std::int32_t WritePosition() const;

  // Bits waiting in the accumulator: 0 to 7.
  std::int32_t BitCount() const { return bitCount; }

 private:
  // Hands `accumulator` to the stream as one byte and ends the process with
  // the disk-full message if the stream then reports a failure.
  void PutAccumulator();

  std::ofstream file;  // open only when the writer was made from a name
  std::ostream& stream;
  std::int32_t bitCount = 0;
  // The k-th pending bit sits in bit 7 - k; positions not yet filled are 0.
  std::uint8_t accumulator = 0;
  std::int32_t bytesHanded = 0;
};

}  // namespace tarvel
