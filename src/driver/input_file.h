// The input of a run, opened with the checks that both programs make before
// anything is written.
#pragma once

#include <fstream>
#include <optional>

#include "driver/platform.h"

namespace tarvel {

// Opens `inputName` for binary reading into `input` and returns what it
// leads to. Writes the message and returns nothing when it cannot be opened
// or is a directory (which opens as a stream whose first read fails), or
// when `outputName` leads to the same file: writing the output must never
// touch the input.
std::optional<FileStatus> OpenInput(const char* inputName, const char* outputName,
                                    std::ifstream& input);

}  // namespace tarvel
