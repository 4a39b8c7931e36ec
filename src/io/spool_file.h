// Temporary files without a name, in $TMPDIR (or /tmp).
#pragma once

#include <cstdint>
#include <fstream>
#include <ostream>
#include <streambuf>

namespace tarvel {

// A descriptor open for reading and writing on a new, empty file in $TMPDIR
// (or /tmp) whose name is already removed, so that the file disappears when
// it is closed or the process ends, however it ends; -1 with errno set when
// no such file could be made.
int OpenUnnamedFile();

// The copy of an input that can be read only once, in such a file: written
// by the first pass through Copy(), read back by the second through File().
// The copy fails, and stays failed, before it would leave its file system
// with less free room than a thirty-second of its size (at most 1 GiB): an
// endless input (/dev/zero) stops there rather than fill the disk that
// other programs share.
class SpoolFile {
 public:
  // False when no such file could be made.
  bool Open();
  std::ostream& Copy() { return copy; }
  std::iostream& File() { return file; }

 private:
  class Guard : public std::streambuf {
   public:
    explicit Guard(std::streambuf* file) : file(file) {}

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize size) override;
    int sync() override { return file->pubsync(); }

   private:
    // Whether `size` more bytes leave the room the copy must not take.
    bool Room(std::streamsize size);

    std::streambuf* file;
    std::uint64_t unchecked = 0;  // bytes written since the room was looked at
    std::uint64_t allowed = 0;    // bytes that may still come before the next look
  };

  std::fstream file;
  Guard guard{file.rdbuf()};
  std::ostream copy{&guard};
};

}  // namespace tarvel
