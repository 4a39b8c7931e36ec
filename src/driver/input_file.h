// The input of a run, opened with the checks that both programs make before
// anything is written.
#pragma once

#include <fstream>
#include <optional>

#include "driver/platform.h"
#include "model/input_blocks.h"

namespace tarvel {

// Opens `inputName` for binary reading into `input` and returns what it
// leads to. Writes the message and returns nothing when it cannot be opened
// or is a directory (which opens as a stream whose first read fails), or
// when `outputName` leads to the same file: writing the output must never
// touch the input.
std::optional<FileStatus> OpenInput(const char* inputName, const char* outputName,
                                    std::ifstream& input);

// The input opened once more, for reading by position, so that several
// threads can read it at once: for a regular file of some size, and only
// when the name still leads to the file that `status` describes. Closed on
// destruction.
class PositionalInput {
 public:
  PositionalInput(const char* name, const FileStatus& status);
  ~PositionalInput();
  PositionalInput(const PositionalInput&) = delete;
  PositionalInput& operator=(const PositionalInput&) = delete;

  // The file with the size it had when opened, or null when it could not be
  // opened so (the stream is read instead).
  const PositionalFile* File() const { return file.fd >= 0 ? &file : nullptr; }

 private:
  PositionalFile file;
};

}  // namespace tarvel
