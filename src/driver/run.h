// The entry routine: one run of tarvel from the command line to the exit
// status.
#pragma once

namespace tarvel {

// Compresses the file named by argv[1] into the file named by argv[2];
// arguments after the second are ignored. Returns the exit status: 0 after a
// successful run (an empty input included), 1 after any failure, with its
// message on standard error and no output left behind.
int RunTarvel(int argc, char** argv);

}  // namespace tarvel
