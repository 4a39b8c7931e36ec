// Copies past the caches give the bytes of memcpy at every alignment.
#include "io/far_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "io/cpu.h"

namespace tarvel {
namespace {

TEST(FarCopyTest, CopiesEveryByteAtEveryAlignmentOnEitherPath) {
  std::vector<std::uint8_t> from(5000);
  for (std::size_t k = 0; k < from.size(); ++k) from[k] = static_cast<std::uint8_t>(k * 131 + 7);
  for (const bool baseline : {false, true}) {
    UseBaselineInstructions(baseline);
    for (const std::size_t size : {0, 1, 31, 32, 33, 64, 100, 4099}) {
      for (std::size_t at = 0; at < 40; at += 3) {
        std::vector<std::uint8_t> to(size + 80, 0xEE);
        CopyFar(to.data() + at, from.data() + 1, size);
        const auto start = to.begin() + static_cast<std::ptrdiff_t>(at);
        const auto end = start + static_cast<std::ptrdiff_t>(size);
        const auto untouched = [](std::uint8_t byte) { return byte == 0xEE; };
        EXPECT_TRUE(std::equal(start, end, from.begin() + 1) &&
                    std::all_of(to.begin(), start, untouched) &&
                    std::all_of(end, to.end(), untouched))
            << size << " bytes at " << at << (baseline ? ", baseline" : "");
      }
    }
  }
  UseBaselineInstructions(false);
}

}  // namespace
}  // namespace tarvel
