// Where untarvel writes: never a partial or wrong file at the output's name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "decoder/file_decoder.h"

namespace tarvel {

// The restored bytes go to a temporary file beside the output, which is
// renamed over the output only once everything has been written, flushed and
// closed without error; any failure, and an interrupting signal, removes the
// temporary file and leaves an existing output as it was. An output that
// exists and is not a regular file (/dev/null, a FIFO, a terminal) is
// written directly, and never replaced.
class RestoredOutput : public ByteSink {
 public:
  RestoredOutput() = default;
  ~RestoredOutput() override;
  RestoredOutput(const RestoredOutput&) = delete;
  RestoredOutput& operator=(const RestoredOutput&) = delete;

  // Prepares to write `name`; false when no file can be written there.
  bool Open(const std::string& name);

  bool Write(const std::uint8_t* data, std::size_t size) override;

  // Flushes, closes and, for a temporary file, renames it to the output's
  // name. False when any of it failed; the temporary file is then gone.
  bool Commit();

  // Removes the temporary file, if any.
  void Discard();

 private:
  std::ofstream file;
  std::string finalName;
  std::string temporaryName;  // empty when writing the output directly
};

}  // namespace tarvel
