// The entry routine of untarvel: one compressed file back to its bytes.
#pragma once

namespace tarvel {

// Restores the file named by argv[1] into the file named by argv[2]; further
// arguments are ignored. Prints the six-line report and returns 0 on
// success; on any failure writes one line to standard error, leaves no
// partial output behind, and returns 1.
int RunUntarvel(int argc, char** argv);

}  // namespace tarvel
