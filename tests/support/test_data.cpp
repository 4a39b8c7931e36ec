#include "support/test_data.h"

#include <algorithm>
#include <array>

namespace tarvel::testing {

namespace {

// A small, fast generator whose sequence is fixed by its seed everywhere
// (the standard engines' distributions are not).
class Random {
 public:
  explicit Random(std::uint32_t seed) : state(0x9E3779B97F4A7C15ull ^ seed) {}
  std::uint64_t Next() {
    state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint32_t Below(std::uint32_t bound) { return static_cast<std::uint32_t>(Next() % bound); }

 private:
  std::uint64_t state;
};

template <typename T>
void Shuffle(T& items, Random& random) {
  for (std::size_t k = items.size(); k > 1; --k) {
    std::swap(items[k - 1], items[random.Below(static_cast<std::uint32_t>(k))]);
  }
}

std::string Text(std::size_t size, Random& random) {
  static const std::array<const char*, 24> kWords = {
      "the",    "of",    "and",   "a",     "to",       "in",      "is",     "file",
      "code",   "bytes", "tree",  "count", "compress", "header",  "symbol", "length",
      "return", "const", "while", "int",   "weight",   "payload", "{",      "}"};
  std::string text;
  while (text.size() < size) {
    text += kWords[random.Below(kWords.size())];
    const std::uint32_t gap = random.Below(16);
    text += gap == 0 ? ".\n" : gap == 1 ? ", " : " ";
  }
  text.resize(size);
  return text;
}

}  // namespace

const std::vector<DataKind>& AllDataKinds() {
  static const std::vector<DataKind> kinds = {
      DataKind::kText,      DataKind::kRandom,      DataKind::kSkewed,   DataKind::kRuns,
      DataKind::kAllValues, DataKind::kEqualCounts, DataKind::kFibonacci};
  return kinds;
}

const char* DataKindName(DataKind kind) {
  switch (kind) {
    case DataKind::kText:
      return "text";
    case DataKind::kRandom:
      return "random";
    case DataKind::kSkewed:
      return "skewed";
    case DataKind::kRuns:
      return "runs";
    case DataKind::kAllValues:
      return "all-values";
    case DataKind::kEqualCounts:
      return "equal-counts";
    case DataKind::kFibonacci:
      return "fibonacci";
  }
  return "?";
}

std::string MakeTestData(DataKind kind, std::size_t size, std::uint32_t seed) {
  Random random(seed * 7919u + static_cast<std::uint32_t>(kind));
  std::string data;
  switch (kind) {
    case DataKind::kText:
      return Text(size, random);
    case DataKind::kRandom:
      for (std::size_t k = 0; k < size; ++k) data.push_back(static_cast<char>(random.Next()));
      return data;
    case DataKind::kSkewed: {
      const std::uint32_t base = random.Below(256);
      for (std::size_t k = 0; k < size; ++k) {
        std::uint32_t step = 0;
        while (step < 255 && random.Below(3) != 0) ++step;
        data.push_back(static_cast<char>(base + step * 37));
      }
      return data;
    }
    case DataKind::kRuns:
      while (data.size() < size) {
        const char value = static_cast<char>("\0\n aZ\xFF"[random.Below(6)]);
        data.append(std::min<std::size_t>(size - data.size(), 1 + random.Below(4000)), value);
      }
      return data;
    case DataKind::kAllValues:
      while (data.size() < size) {
        std::string block(256, '\0');
        for (int v = 0; v < 256; ++v) block[static_cast<std::size_t>(v)] = static_cast<char>(v);
        Shuffle(block, random);
        data += block;
      }
      data.resize(size);
      return data;
    case DataKind::kEqualCounts: {
      const std::uint32_t distinct = 17 + random.Below(48);
      const std::uint32_t first = random.Below(256 - distinct);
      for (std::size_t k = 0; k < size; ++k) {
        data.push_back(static_cast<char>(first + k % distinct));
      }
      Shuffle(data, random);
      return data;
    }
    case DataKind::kFibonacci: {
      std::uint64_t a = 1, b = 1;
      for (int symbol = 0; symbol < 256 && data.size() < size; ++symbol) {
        data.append(static_cast<std::size_t>(a), static_cast<char>(symbol));
        const std::uint64_t next = a + b;
        a = b;
        b = next;
      }
      Shuffle(data, random);
      return data;
    }
  }
  return data;
}

}  // namespace tarvel::testing
