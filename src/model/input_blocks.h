// One input stream read in consecutive blocks by the threads of a pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <mutex>
#include <ostream>

namespace tarvel {

// Hands out the blocks of `input` in file order, one reader at a time, so
// that any number of threads can work on the blocks they were given. When
// `copy` is given, every block is written to it as it is read, in order.
class InputBlocks {
 public:
  struct Block {
    std::int64_t number = 0;  // 0 for the first block read, then 1, 2, ...
    std::size_t size = 0;     // 0 at the end of the input, or once stopped
  };

  explicit InputBlocks(std::istream& input, std::ostream* copy = nullptr)
      : input(input), copy(copy) {}

  // Reads the next block, up to `capacity` bytes, into `buffer`.
  Block Next(char* buffer, std::size_t capacity);

  // Makes every further Next() return an empty block.
  void Stop();

  // After the last block: whether writing the copy failed. (A failed read
  // leaves the input stream bad(), as a read through it would.)
  bool CopyFailed() const { return copyFailed; }

 private:
  std::mutex mutex;
  std::istream& input;
  std::ostream* copy;
  std::int64_t next = 0;
  bool done = false;
  bool copyFailed = false;
};

}  // namespace tarvel
