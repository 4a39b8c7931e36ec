// The first pass over the input: how often each symbol occurs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <vector>

#include "io/input_blocks.h"

namespace tarvel {

// How often one symbol occurs. 64 bits: inputs of many gigabytes count
// exactly.
using Count = std::int64_t;

// Counts indexed by symbol; in a run, 256 of them indexed by byte value.
using FrequencyTable = std::vector<Count>;

// Adds how often each byte value occurs in data[0..size) to counts[0..255].
void CountBlock(const std::uint8_t* data, std::size_t size, Count* counts);

// Counts bytes two at a time: one increment for each pair of neighbours, in
// a table of all 65536 pairs. Half the increments of CountBlock(): on text,
// whose frequent pairs stay in the first-level cache, about half again as
// fast; on random data, whose pairs do not, and on long runs, where each
// increment waits for the one before, up to half as fast. PairsPay() tells
// from a sample which it is.
// Whether counting by pairs pays on data like `sample`: fewer than 200 byte
// values occur in it, and fewer than half of its bytes repeat the one before.
// REQUIRES: size >= 1.
bool PairsPay(const std::uint8_t* sample, std::size_t size);

class PairCounter {
 public:
  // How many bytes the 32-bit pair counts see before they are added to the
  // totals: a pair count grows by at most half of them.
  static constexpr std::uint64_t kFlushBytes = std::uint64_t{1} << 32;

  explicit PairCounter(std::uint64_t flushBytes = kFlushBytes);

  // Counts data[0..size) into the pairs, and into counts[0..255] what does
  // not fill a pair or falls due.
  void Add(const std::uint8_t* data, std::size_t size, Count* counts);

  // Adds the pairs counted so far to counts[0..255] and clears them.
  void Flush(Count* counts);

 private:
  std::vector<std::uint32_t> pairs;  // indexed by first byte | second << 8
  const std::uint64_t flushBytes;
  std::uint64_t unflushed = 0;  // bytes counted into `pairs`
};

// Reads `input` from where it stands to its end and returns 256 counts
// with the number of times each byte value was read. Bytes are taken as
// unsigned values: 0xFF is counted at 255. The input is read in large blocks,
// which `threads` threads count at once; when `copy` is given, every block
// read is also written to it, in order, and the count stops early if that
// write fails.
//
// On return `input` stands at its end with its failure flags set; a read
// that failed for another reason than the end of the data leaves it bad()
// and the counts cover what was read before.
//
// With `file`, the bytes are read from it by position instead (up to
// `file->size`), and of `input` only the bad() flag is used. A file that
// turned out shorter or longer is the caller's to find by its size.
// REQUIRES: threads >= 1; not both `copy` and `file`.
// `progress`, when given, counts the bytes read, and can stop the count as
// a failed read does.
FrequencyTable CountSymbols(std::istream& input, std::ostream* copy = nullptr, int threads = 1,
                            const PositionalFile* file = nullptr, Progress* progress = nullptr);

// The same count, reading one byte at a time: the reference that the block
// count is tested against.
FrequencyTable CountSymbolsByteByByte(std::istream& input);

}  // namespace tarvel
