// Temporary files without a name, in $TMPDIR (or /tmp).
#pragma once

#include <fstream>

namespace tarvel {

// A descriptor open for reading and writing on a new, empty file in $TMPDIR
// (or /tmp) whose name is already removed, so that the file disappears when
// it is closed or the process ends, however it ends; -1 with errno set when
// no such file could be made.
int OpenUnnamedFile();

// The same file as a stream, for inputs that can be read only once. Returns
// false when no such file could be made.
bool OpenSpoolFile(std::fstream& stream);

}  // namespace tarvel
