// One input stream read in consecutive blocks by the threads of a pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <mutex>
#include <optional>
#include <ostream>

#include "io/progress.h"

namespace tarvel {

// A regular file open for reading at any position, or bytes in memory, and
// how many bytes a pass expects of it.
struct PositionalFile {
  int fd = -1;
  std::int64_t size = 0;
  // In memory: the bytes themselves, which blocks then point into, with no
  // copy and no read that could fail.
  const std::uint8_t* memory = nullptr;
  // Where the bytes start in the file.
  std::int64_t base = 0;
};

// Hands out the blocks of `input` in file order, one reader at a time, so
// that any number of threads can work on the blocks they were given. When
// `copy` is given, every block is written to it as it is read, in order.
// A regular file can be read by position instead, by all threads at once.
class InputBlocks {
 public:
  struct Block {
    std::int64_t number = 0;  // 0 for the first block read, then 1, 2, ...
    std::size_t size = 0;     // 0 at the end of the input, or once stopped
    // Its bytes: in the buffer given to Next(), or for a file in memory
    // where they stand.
    const std::uint8_t* bytes = nullptr;
  };

  // With `file`, reads its first `file->size` bytes by position instead, so
  // that the threads' reads run at once; of `input` only the bad() flag is
  // used: a read that fails sets it. A file found shorter than `file->size`,
  // or longer, has Changed().
  // REQUIRES: not both `copy` and `file`.
  // Each block read is counted by `progress`, when given; once it asks to
  // stop, the reading stops as if it had failed.
  explicit InputBlocks(std::istream& input, std::ostream* copy = nullptr,
                       const PositionalFile* file = nullptr, Progress* progress = nullptr)
      : input(input), copy(copy), progress(progress) {
    if (file != nullptr) positional = *file;
  }

  // Reads the next block, up to `capacity` bytes, into `buffer` (or, in
  // memory, points to it).
  Block Next(char* buffer, std::size_t capacity);

  // Makes every further Next() return an empty block.
  void Stop();

  // After the last block: whether a positional file was not of the size
  // expected.
  bool Changed() const { return changed; }

 private:
  Block NextByPosition(char* buffer, std::size_t capacity);
  // Counts a block read; an empty one, and a failed stream, once stopped.
  // REQUIRES: `mutex` held.
  Block Counted(Block block);

  std::mutex mutex;
  std::istream& input;
  std::ostream* copy = nullptr;
  Progress* progress = nullptr;
  std::optional<PositionalFile> positional;
  std::int64_t next = 0;
  std::int64_t claimed = 0;  // bytes of the positional file handed out
  bool done = false;
  bool changed = false;
};

}  // namespace tarvel
