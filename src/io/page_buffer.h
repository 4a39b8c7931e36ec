// Buffers for block reads and writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace tarvel {

// A buffer for block reads and writes, aligned to a memory page. The kernel
// copies between the page cache and a buffer at a small offset from a page
// boundary several times slower than into an aligned one, and large heap
// blocks come at such an offset.
class PageBuffer {
 public:
  explicit PageBuffer(std::size_t size)
      : bytes(static_cast<char*>(::operator new[](size, std::align_val_t{kPageBytes}))) {}
  char* Get() const { return bytes.get(); }
  std::uint8_t* Bytes() const { return reinterpret_cast<std::uint8_t*>(bytes.get()); }

 private:
  static constexpr std::size_t kPageBytes = 4096;
  struct Release {
    void operator()(char* p) const { ::operator delete[](p, std::align_val_t{kPageBytes}); }
  };
  std::unique_ptr<char[], Release> bytes;
};

}  // namespace tarvel
