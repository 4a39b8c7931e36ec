#include "io/far_copy.h"

#include <algorithm>
#include <cstring>

#include "io/cpu.h"

#if TARVEL_X86_VARIANTS
#include <immintrin.h>
#endif

namespace tarvel {

namespace {

#if TARVEL_X86_VARIANTS
TARVEL_WITH_AVX2 void CopyWithAvx2(std::uint8_t* to, const std::uint8_t* from, std::size_t size) {
  // Up to a 32-byte boundary of the target as memcpy does, then whole
  // vectors, then the rest.
  const std::size_t head = std::min(size, (32 - reinterpret_cast<std::uintptr_t>(to) % 32) % 32);
  std::memcpy(to, from, head);
  std::size_t done = head;
  for (; size - done >= 32; done += 32) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + done));
    _mm256_stream_si256(reinterpret_cast<__m256i*>(to + done), bytes);
  }
  std::memcpy(to + done, from + done, size - done);
  // Such stores are not ordered with the others until a fence.
  _mm_sfence();
}
#endif

}  // namespace

void CopyFar(std::uint8_t* to, const std::uint8_t* from, std::size_t size) {
  if (size == 0) return;
#if TARVEL_X86_VARIANTS
  if (UseAvx2()) return CopyWithAvx2(to, from, size);
#endif
  std::memcpy(to, from, size);
}

void CopyNearOrFar(std::uint8_t* to, const std::uint8_t* from, std::size_t size, bool far) {
  if (far) {
    CopyFar(to, from, size);
  } else if (size != 0) {
    std::memcpy(to, from, size);
  }
}

}  // namespace tarvel
