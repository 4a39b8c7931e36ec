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

namespace tarvel {

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big,
              "a machine of mixed byte order");

// The eight bytes at `p` as a number, the first byte the most significant.
[[gnu::always_inline]] inline std::uint64_t LoadBigEndian64(const void* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::little) return __builtin_bswap64(word);
  return word;
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
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
  std::memcpy(p, &value, sizeof value);
}

// Stores `value` at `p`, its most significant byte first.
[[gnu::always_inline]] inline void StoreBigEndian32(void* p, std::uint32_t value) {
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap32(value);
  std::memcpy(p, &value, sizeof value);
}

// Stores `value` at `p`, its least significant byte first.
[[gnu::always_inline]] inline void StoreLittleEndian32(void* p, std::uint32_t value) {
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap32(value);
  std::memcpy(p, &value, sizeof value);
}

}  // namespace tarvel
