// Any bytes compressed through the library, exactly as tarvel writes a file,
// must decode back to themselves, and compress the same on two threads.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "tarvel/tarvel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> original(data, size);
  const std::vector<std::uint8_t> compressed = tarvel::Compress(original, /*threads=*/1);
  std::vector<std::uint8_t> restored;
  const tarvel::Result result = tarvel::Decompress(compressed, restored, /*threads=*/1);
  if (!result || !std::equal(restored.begin(), restored.end(), original.begin(), original.end())) {
    std::abort();
  }
  if (tarvel::Compress(original, /*threads=*/2) != compressed) std::abort();
  return 0;
}
