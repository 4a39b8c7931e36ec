#include "model/symbol_count.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>
#include <functional>
#include <memory>
#include <numeric>
#include <optional>

#include "io/input_blocks.h"
#include "io/page_buffer.h"
#include "io/worker_threads.h"

namespace tarvel {

namespace {

constexpr std::size_t kReadBlockBytes = std::size_t{1} << 17;
// Each 32-bit partial count sees at most a quarter of a slice.
constexpr std::size_t kSliceBytes = std::size_t{1} << 30;

}  // namespace

void CountBlock(const std::uint8_t* data, std::size_t size, Count* counts) {
  while (size > 0) {
    const std::size_t slice = std::min(size, kSliceBytes);
    // Four tables, so that runs of one byte value do not make each increment
    // wait for the one before.
    std::array<std::array<std::uint32_t, 256>, 4> tables{};
    const std::uint8_t* p = data;
    const std::uint8_t* const end = data + slice;
    for (; end - p >= 8; p += 8) {
      std::uint64_t word;
      std::memcpy(&word, p, sizeof word);
      ++tables[0][word & 0xFF];
      ++tables[1][(word >> 8) & 0xFF];
      ++tables[2][(word >> 16) & 0xFF];
      ++tables[3][(word >> 24) & 0xFF];
      ++tables[0][(word >> 32) & 0xFF];
      ++tables[1][(word >> 40) & 0xFF];
      ++tables[2][(word >> 48) & 0xFF];
      ++tables[3][word >> 56];
    }
    for (; p != end; ++p) ++tables[0][*p];
    for (std::size_t value = 0; value < 256; ++value) {
      counts[value] +=
          Count{tables[0][value]} + tables[1][value] + tables[2][value] + tables[3][value];
    }
    data += slice;
    size -= slice;
  }
}

PairCounter::PairCounter(std::uint64_t flushBytes)
    : pairs(65536, 0), flushBytes(std::max<std::uint64_t>(flushBytes, 2)) {}

void PairCounter::Add(const std::uint8_t* data, std::size_t size, Count* counts) {
  while (size > 0) {
    if (unflushed + 2 > flushBytes) Flush(counts);
    const std::size_t slice =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, flushBytes - unflushed) & ~1ULL);
    const std::uint8_t* p = data;
    const std::uint8_t* const end = data + slice;
    std::uint32_t* const table = pairs.data();
    for (; end - p >= 16; p += 16) {
      std::uint64_t word, word2;
      std::memcpy(&word, p, sizeof word);
      std::memcpy(&word2, p + 8, sizeof word2);
      // Which byte of a pair is which does not matter: Flush() counts both.
      ++table[word & 0xFFFF];
      ++table[(word >> 16) & 0xFFFF];
      ++table[(word >> 32) & 0xFFFF];
      ++table[word >> 48];
      ++table[word2 & 0xFFFF];
      ++table[(word2 >> 16) & 0xFFFF];
      ++table[(word2 >> 32) & 0xFFFF];
      ++table[word2 >> 48];
    }
    for (; p != end; p += 2) ++table[p[0] | p[1] << 8];
    unflushed += slice;
    data += slice;
    size -= slice;
    if (size == 1) {
      ++counts[*data];
      return;
    }
  }
}

void PairCounter::Flush(Count* counts) {
  // A row of the table holds the pairs of one second byte: its sum is that
  // byte's count as a second, and the rows added up column by column give
  // each first byte's. Both loops run over consecutive counts, in vectors.
  std::array<std::uint64_t, 256> firsts{};
  for (std::size_t second = 0; second < 256; ++second) {
    const std::uint32_t* const row = pairs.data() + (second << 8);
    std::uint64_t sum = 0;
    for (std::size_t first = 0; first < 256; ++first) {
      firsts[first] += row[first];
      sum += row[first];
    }
    counts[second] += static_cast<Count>(sum);
  }
  for (std::size_t first = 0; first < 256; ++first)
    counts[first] += static_cast<Count>(firsts[first]);
  std::fill(pairs.begin(), pairs.end(), 0);
  unflushed = 0;
}

bool PairsPay(const std::uint8_t* sample, std::size_t size) {
  std::array<std::uint8_t, 256> seen{};
  seen[sample[0]] = 1;
  std::size_t repeats = 0;
  for (std::size_t i = 1; i < size; ++i) {
    seen[sample[i]] = 1;
    repeats += sample[i] == sample[i - 1] ? 1 : 0;
  }
  const int values = std::accumulate(seen.begin(), seen.end(), 0);
  return values < 200 && repeats < size / 2;
}

FrequencyTable CountSymbols(std::istream& input, std::ostream* copy, int threads,
                            const PositionalFile* file, Progress* progress) {
  assert(threads >= 1);
  InputBlocks blocks(input, copy, file, progress);
  // Each thread counts the blocks it is given into a table of its own.
  // Counting by pairs pays for its table from the first full block on, if
  // that block shows that it pays at all; smaller inputs are counted byte by
  // byte.
  const auto countBlocks = [&blocks](FrequencyTable& counts) {
    const PageBuffer buffer(kReadBlockBytes);
    std::optional<PairCounter> pairs;
    bool decided = false;
    for (;;) {
      const InputBlocks::Block block = blocks.Next(buffer.Get(), kReadBlockBytes);
      if (block.size == 0) break;
      if (block.size == kReadBlockBytes && !decided) {
        decided = true;
        if (PairsPay(block.bytes, block.size)) pairs.emplace();
      }
      if (pairs) {
        pairs->Add(block.bytes, block.size, counts.data());
      } else {
        CountBlock(block.bytes, block.size, counts.data());
      }
    }
    if (pairs) pairs->Flush(counts.data());
  };
  // A table per thread; those of threads that could not be started stay 0.
  std::vector<FrequencyTable> threadCounts(static_cast<std::size_t>(threads),
                                           FrequencyTable(256, 0));
  RunOnThreads(
      threads, [&](int k) { countBlocks(threadCounts[static_cast<std::size_t>(k)]); },
      [&blocks]() noexcept { blocks.Stop(); });
  FrequencyTable& counts = threadCounts[0];
  for (std::size_t k = 1; k < threadCounts.size(); ++k) {
    for (std::size_t value = 0; value < 256; ++value) counts[value] += threadCounts[k][value];
  }
  return std::move(counts);
}

FrequencyTable CountSymbolsByteByByte(std::istream& input) {
  FrequencyTable counts(256, 0);
  constexpr auto kEnd = std::istream::traits_type::eof();
  for (auto byte = input.get(); byte != kEnd; byte = input.get()) {
    ++counts[static_cast<std::size_t>(byte)];
  }
  return counts;
}

}  // namespace tarvel
