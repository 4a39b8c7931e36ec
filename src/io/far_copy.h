// Copies into memory that is not read again soon: the far end of a large
// output, which the caches could not hold anyway.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvel {

// Bytes of an output after which its copies go past the caches: more than
// the caches of most machines hold, so that what a caller reads back first
// is still there.
inline constexpr std::uint64_t kFarOutputBytes = std::uint64_t{16} << 20;

// Copies `size` bytes from `from` to `to`, which do not overlap, with
// stores that go straight to memory where the processor has them (x86-64
// with AVX2), sparing the read of each line they replace; else as memcpy.
// The bytes are in place for every thread when it returns.
void CopyFar(std::uint8_t* to, const std::uint8_t* from, std::size_t size);

// Copies as memcpy does, or with CopyFar when the target is `far` into its
// output.
void CopyNearOrFar(std::uint8_t* to, const std::uint8_t* from, std::size_t size, bool far);

}  // namespace tarvel
