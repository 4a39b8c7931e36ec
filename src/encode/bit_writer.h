// The output file as a sequence of bits: eight to a byte, the first bit in the
// most significant position, the last byte filled up with zero bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "io/page_buffer.h"
#include "model/bit_string.h"

namespace tarvel {

// Where a bulk encoder packs bits: `out` has room for the bytes asked of
// BitWriter::Begin plus 8 bytes of slack; `accumulator` holds `bitCount`
// pending bits (0 to 7 at Begin and End) in its lowest positions, the oldest
// highest.
struct BitCursor {
  std::uint8_t* out;
  std::uint64_t accumulator;
  int bitCount;
};

// Adds the `length` lowest bits of `code` at `cursor`, storing every byte
// that they complete. REQUIRES: length <= 56, no bits of `code` above them,
// room for 8 bytes at `cursor.out`.
inline void PutCode(BitCursor& cursor, std::uint64_t code, int length) {
  cursor.accumulator = (cursor.accumulator << length) | code;
  cursor.bitCount += length;
  while (cursor.bitCount >= 8) {
    cursor.bitCount -= 8;
    *cursor.out++ = static_cast<std::uint8_t>(cursor.accumulator >> cursor.bitCount);
  }
  cursor.accumulator &= (std::uint64_t{1} << cursor.bitCount) - 1;
}

// An output stream, or bytes in memory, with a bit accumulator and a block of
// bytes in front of it.
//
// Completed bytes collect in a block that is handed to the stream whenever it
// fills, and the stream is tested after every hand-over, every flush and the
// close. Into memory, the block is the memory itself wherever there is room
// for it, so that nothing is copied, and a small block of its own at the end.
// A write that fails, or that would go beyond the memory, makes the writer
// Failed(): from then on what it is given is dropped, and the caller, which
// asks after each stretch of work, gives up the output. Close() (or the
// destructor) writes the pending bits as a last, zero-filled byte.
class BitWriter {
 public:
  // Writes to `sink`, which must outlive the writer; closing flushes `sink`
  // but leaves it open.
  explicit BitWriter(std::ostream& sink);
  // Writes to memory[0..capacity) in place. Bytes beyond the last one
  // written but within `capacity` may be overwritten.
  BitWriter(std::uint8_t* memory, std::size_t capacity);
  ~BitWriter();

  BitWriter(const BitWriter&) = delete;
  BitWriter& operator=(const BitWriter&) = delete;

  // Whether a write to the stream has failed. Safe to ask between the calls
  // that write, from the thread that makes them.
  bool Failed() const { return failed; }

  // Appends every character of `bits`, in order, as one bit. Bits of one call
  // continue the byte left unfinished by the previous call.
  // REQUIRES: `bits` holds only '0' and '1'.
  void WriteBits(const BitString& bits);

  // Appends the `length` lowest bits of `code`, most significant first.
  // REQUIRES: 0 <= length <= kMaxCodeBits; no bits of `code` above them.
  static constexpr int kMaxCodeBits = 56;
  void WriteCode(std::uint64_t code, int length);

  // Appends the first `bits` bits of `data`, most significant bit of each
  // byte first: a run of bits packed elsewhere, joined at whatever bit the
  // output stands.
  void WriteBitBlock(const std::uint8_t* data, std::int64_t bits);

  // The number of complete bytes written so far (bits pending in the
  // accumulator are not counted).
  std::int64_t WritePosition() const { return bytesHanded + static_cast<std::int64_t>(fill); }

  // Bits waiting for their byte to fill: 0 to 7.
  std::int32_t BitCount() const { return bitCount; }

  // Writes the pending bits as a last, zero-filled byte and hands everything
  // to the stream, which it flushes. Returns false when a write has failed,
  // now or before. Further calls do nothing.
  bool Close();

  // Stops without writing what is still held in memory: for a run that has
  // failed and is about to discard its output.
  void Abandon();

  // For bulk encoders: returns a cursor with room for `bytes` bytes (plus 8
  // of slack) at the current end of the output, and the pending bits.
  // REQUIRES: bytes <= kBlockBytes. Nothing else may write until End().
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 17;
  BitCursor Begin(std::size_t bytes);
  // How many bytes Begin() can reserve without handing the block over.
  std::size_t Room() const { return windowSize - fill; }
  // Takes back the cursor: every byte before `cursor.out` is written.
  // REQUIRES: at most the reserved bytes used; cursor.bitCount <= 7.
  void End(const BitCursor& cursor);

 private:
  // Hands the block to the stream (or copies it into memory) and tests the
  // stream.
  void HandOver();
  // Hands the block over, then takes the next one, with room for `bytes`.
  void NextWindow(std::size_t bytes);
  void CheckStream();

  std::ostream* stream = nullptr;
  std::uint8_t* memory = nullptr;  // or in memory, with room for `capacity` bytes
  std::size_t capacity = 0;
  std::unique_ptr<PageBuffer> block;
  std::uint8_t* window = nullptr;  // the block: `block`, or part of `memory`
  std::size_t windowSize = 0;      // its room, the slack aside
  bool inMemory = false;           // `window` is part of `memory`
  std::size_t fill = 0;
  std::int64_t bytesHanded = 0;
  std::uint64_t accumulator = 0;  // the pending bits, in the lowest positions
  std::int32_t bitCount = 0;
  bool closed = false;
  bool failed = false;
};

}  // namespace tarvel
