// A temporary file without a name, for inputs that can be read only once.
#pragma once

#include <fstream>

namespace tarvel {

// Opens `stream` for reading and writing on a new, empty file in $TMPDIR (or
// /tmp) and removes the file's name at once, so that the file disappears
// when the stream is closed or the process ends, however it ends. Returns
// false when no such file could be made.
bool OpenSpoolFile(std::fstream& stream);

}  // namespace tarvel
