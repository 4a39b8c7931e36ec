// The calls on files and descriptors, for the C++ and the C interfaces.
#pragma once

#include <string>

#include "api/file_run.h"
#include "tarvel/tarvel.h"

namespace tarvel {

// CompressFile() and DecompressFile(), with a progress callback.
Result CompressNamedFile(const std::string& input, const std::string& output, const FileJob& job);
Result DecompressNamedFile(const std::string& input, const std::string& output, const FileJob& job);

// The same on two open descriptors, read and written from where they stand
// and never closed.
Result CompressDescriptor(int input, int output, const FileJob& job);
Result DecompressDescriptor(int input, int output, const FileJob& job);

}  // namespace tarvel
