// One run of tarvel or untarvel, from the command line to the exit status.
#pragma once

namespace tarvel {

enum class Direction { kCompress, kDecompress };

// Compresses (or restores) the file named by argv[1] into the file named by
// argv[2]; further arguments are ignored. Prints the six-line report and
// returns 0 on success; on any failure writes its one line to standard
// error (none when the reader of a pipe has gone) and returns 1, with no
// output left behind and an existing one as it was.
// REQUIRES: the standard descriptors open and the signals set up, as
// OpenStandardDescriptors() and InstallSignalHandling() do.
int RunProgram(Direction direction, int argc, char** argv);

// tarvel-filter: compresses standard input to standard output, or with -d
// restores it, as tar's compression programs do; no report. Returns the exit
// status, as RunProgram() does.
int RunFilter(int argc, char** argv);

}  // namespace tarvel
