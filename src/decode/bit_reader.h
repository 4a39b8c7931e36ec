// The bits of a payload in memory, most significant first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "io/byte_order.h"

namespace tarvel {

// The bits of bytes in memory, most significant first.
class MemoryBits {
 public:
  MemoryBits(const std::uint8_t* bytes, std::size_t limit) : bytes(bytes), limit(limit) {}

  // Starts at `bit`. REQUIRES: bit <= limit * 8.
  void Start(std::uint64_t bit) {
    pos = static_cast<std::size_t>(bit / 8);
    buffer = 0;
    available = 0;
    Refill();
    Skip(static_cast<int>(bit % 8));
  }

  // Tops the buffer up to at least 56 bits, or to the limit. With eight
  // bytes at hand one load does it: it takes as many whole bytes as fit, and
  // the bits below `available` are always the stream's next bits, so the
  // next load may lay the same bits over them.
  void Refill() {
    if (limit - pos >= 8) {
      buffer |= LoadBigEndian64(bytes + pos) >> available;
      pos += static_cast<std::size_t>((63 - available) >> 3);
      available |= 56;
      return;
    }
    while (available <= 56 && pos < limit) {
      buffer |= static_cast<std::uint64_t>(bytes[pos++]) << (56 - available);
      available += 8;
    }
  }

  std::uint64_t Position() const { return std::uint64_t{pos} * 8 - available; }
  std::uint32_t Peek(int bits) const { return static_cast<std::uint32_t>(buffer >> (64 - bits)); }
  void Skip(int bits) {
    buffer <<= bits;
    available -= bits;
  }

  const std::uint8_t* bytes;
  std::size_t limit;
  std::size_t pos = 0;
  std::uint64_t buffer = 0;  // pending bits, the next one in the top position
  int available = 0;         // bits of `buffer` that belong to the stream
};

}  // namespace tarvel
