// The input of a run, opened with the checks that come before anything is
// written.
#pragma once

#include <fstream>
#include <string>

#include "io/input_blocks.h"
#include "platform/platform.h"

namespace tarvel {

struct OpenedInput {
  enum class Status { kOpen, kCannotOpen, kSameFile };
  Status status = Status::kOpen;
  FileStatus file;  // for kOpen: what the name leads to
};

// Opens `inputName` for binary reading into `input`. kCannotOpen when it
// cannot be opened or is a directory (which opens as a stream whose first
// read fails); kSameFile when `outputName` leads to the same file: writing
// the output must never touch the input.
OpenedInput OpenInput(const std::string& inputName, const std::string& outputName,
                      std::ifstream& input);

// The input opened once more, for reading by position, so that several
// threads can read it at once: for a regular file of some size, and only
// when the name still leads to the file that `status` describes. Closed on
// destruction.
class PositionalInput {
 public:
  PositionalInput(const std::string& name, const FileStatus& status);
  // The descriptor `fd` itself, from `base` on, which stays open; for a
  // regular file of some size that can seek (`base` not negative).
  PositionalInput(int fd, std::int64_t base, const FileStatus& status);
  ~PositionalInput();
  PositionalInput(const PositionalInput&) = delete;
  PositionalInput& operator=(const PositionalInput&) = delete;

  // The file with the size it had when opened, or null when it could not be
  // opened so (the stream is read instead).
  const PositionalFile* File() const { return file.fd >= 0 ? &file : nullptr; }

 private:
  PositionalFile file;
  bool owned = true;
};

}  // namespace tarvel
