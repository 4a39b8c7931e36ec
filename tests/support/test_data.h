// Deterministic test data, shared by the tests and the benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvel::testing {

enum class DataKind {
  kText,         // words and punctuation, like prose or source code
  kRandom,       // uniformly random bytes: all 256 values, nearly equal counts
  kSkewed,       // a geometric distribution: a few very common bytes, a long tail
  kRuns,         // long runs of a few byte values
  kAllValues,    // every byte value exactly once per 256 bytes, shuffled
  kEqualCounts,  // 17 to 64 distinct values, all with the same count
  kFibonacci,    // symbol k occurs Fib(k) times: the deepest trees; `size` is a floor
};

// Every kind, for tables of cases.
const std::vector<DataKind>& AllDataKinds();
const char* DataKindName(DataKind kind);

// `size` bytes of `kind` (at least `size` for kFibonacci), the same for the
// same arguments on every machine.
std::string MakeTestData(DataKind kind, std::size_t size, std::uint32_t seed);

}  // namespace tarvel::testing
