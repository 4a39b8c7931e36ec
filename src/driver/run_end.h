// How both programs end a run that has opened its output: the output put in
// place or discarded, the message, and the exit status.
#pragma once

#include <string_view>

#include "driver/output_file.h"

namespace tarvel {

// Discards the output, writes `message` and returns exit status 1.
int FailRun(OutputFile& output, std::string_view message);

// Discards an output that could not be written and returns exit status 1,
// with the disk-full message, or without a word when the reader of a pipe
// has gone, as other tools in a pipeline do.
int FailWrite(OutputFile& output);

// Puts the output in place. Returns 0, or 1 after the run has failed with
// its message and the output is gone.
int CommitOutput(OutputFile& output, std::string_view outputName);

}  // namespace tarvel
