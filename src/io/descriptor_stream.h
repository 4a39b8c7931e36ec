// An open descriptor read as a stream.
#pragma once

#include <cstdint>
#include <istream>
#include <streambuf>
#include <vector>

namespace tarvel {

// Reads descriptor `fd` from where it stands, through a buffer of its own.
// Positions count from that first offset, so that a seek to 0 goes back to
// it (where the descriptor can seek at all). The descriptor is not closed.
class DescriptorStream : public std::istream {
 public:
  explicit DescriptorStream(int fd);
  // The offset at which the stream started, or -1 for a descriptor that
  // cannot seek.
  std::int64_t Base() const { return buffer.base; }

 private:
  class Buffer : public std::streambuf {
   public:
    explicit Buffer(int fd);
    int fd;
    std::int64_t base = -1;

   protected:
    int_type underflow() override;
    // Large reads go straight into the caller's memory once the buffer is
    // drained, with no copy through it.
    std::streamsize xsgetn(char_type* out, std::streamsize count) override;
    pos_type seekoff(off_type offset, std::ios_base::seekdir way,
                     std::ios_base::openmode which) override;
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

   private:
    std::vector<char> bytes;
  };
  Buffer buffer;
};

}  // namespace tarvel
