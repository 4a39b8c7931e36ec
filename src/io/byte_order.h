// Byte order in one place. The coded bits run from the most significant bit
// of the first byte on, so whole words of them are loaded and stored
// big-endian, and so are the symbols of a decoding table entry, whose first
// symbol is its top byte. On either kind of machine these compile to
// one load or store, with a byte swap where the machine's order is the other.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

namespace tarvel {

#if defined(__wasm_simd128__)
// WebAssembly has no byte swap: one shuffle of a vector register does what
// a dozen shifts and masks would, and the loads and stores of the byte
// order go through the vector register whole.
[[gnu::always_inline]] inline v128_t Reverse64(v128_t word) {
  return wasm_i8x16_shuffle(word, word, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
}
[[gnu::always_inline]] inline v128_t Reverse32(v128_t word) {
  return wasm_i8x16_shuffle(word, word, 3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
}
#endif

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big,
              "a machine of mixed byte order");

// The eight bytes at `p` as a number, the first byte the most significant.
[[gnu::always_inline]] inline std::uint64_t LoadBigEndian64(const void* p) {
#if defined(__wasm_simd128__)
  return wasm_u64x2_extract_lane(Reverse64(wasm_v128_load64_zero(p)), 0);
#else
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::little) return __builtin_bswap64(word);
  return word;
#endif
}

// The first `size` bytes at `p` (0 to 8) as the top bytes of a number, the
// rest zero.
[[gnu::always_inline]] inline std::uint64_t LoadBigEndianPart(const void* p, std::size_t size) {
  std::uint8_t bytes[8] = {};
  std::memcpy(bytes, p, size);
  return LoadBigEndian64(bytes);
}

// Stores `value` at `p`, its most significant byte first.
[[gnu::always_inline]] inline void StoreBigEndian64(void* p, std::uint64_t value) {
#if defined(__wasm_simd128__)
  wasm_v128_store64_lane(p, Reverse64(wasm_u64x2_splat(value)), 0);
#else
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
  std::memcpy(p, &value, sizeof value);
#endif
}

// Stores `value` at `p`, its most significant byte first.
[[gnu::always_inline]] inline void StoreBigEndian32(void* p, std::uint32_t value) {
#if defined(__wasm_simd128__)
  wasm_v128_store32_lane(p, Reverse32(wasm_u32x4_splat(value)), 0);
#else
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap32(value);
  std::memcpy(p, &value, sizeof value);
#endif
}

// Stores `value` at `p`, its least significant byte first.
[[gnu::always_inline]] inline void StoreLittleEndian32(void* p, std::uint32_t value) {
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap32(value);
  std::memcpy(p, &value, sizeof value);
}

}  // namespace tarvel
