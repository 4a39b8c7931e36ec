// The copy of an input that can be read only once, kept in a temporary file
// without a name.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <streambuf>
#include <vector>

namespace tarvel {

// Written by the first pass through Copy(), read back from its start by the
// second through File(). The file is in the temporary folder ($TMPDIR, else
// /tmp; %TEMP% on Windows) and has no name, so that it goes when the object
// does or the process ends, however it ends.
//
// The copy fails, and stays failed, before it would leave its file system
// with less free room than a thirty-second of its size (at most 1 GiB): an
// endless input (/dev/zero) stops there rather than fill the disk that other
// programs share.
class SpoolFile {
 public:
  SpoolFile() = default;
  ~SpoolFile();
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;

  // False when no such file could be made.
  bool Open();
  std::ostream& Copy() { return copy; }
  std::istream& File() { return file; }

 private:
  class Buffer : public std::streambuf {
   public:
    int fd = -1;

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize size) override;
    int sync() override;
    int_type underflow() override;
    pos_type seekoff(off_type offset, std::ios_base::seekdir way,
                     std::ios_base::openmode which) override;
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

   private:
    // Writes what waits in `bytes`; false when that failed.
    bool Flush();
    // Whether `size` more bytes leave the room the copy must not take.
    bool Room(std::uint64_t size);

    std::vector<char> bytes = std::vector<char>(std::size_t{1} << 17);
    bool reading = false;
    std::uint64_t allowed = 0;  // bytes that may still come before the next look
  };

  Buffer buffer;
  std::ostream copy{&buffer};
  std::istream file{&buffer};
};

}  // namespace tarvel
