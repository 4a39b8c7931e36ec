// Every line that tarvel writes to standard error, and the one routine that
// writes a fatal line and ends the run.
#pragma once

#include <string>
#include <string_view>

namespace tarvel {

inline constexpr std::string_view kUsageMessage = "usage: tarvel <file in> <file out> [/16]";
inline constexpr std::string_view kDiskFullMessage = "error : disk full while writing data.";

// "error : unable to open input file 'NAME'."
std::string InputOpenMessage(std::string_view fileName);
// "error : unable to open file 'NAME' for output."
std::string OutputOpenMessage(std::string_view fileName);
// "error : unknown option 'ARG'."
std::string UnknownOptionMessage(std::string_view argument);

// Writes `message` and a newline to standard error and flushes it. Standard
// error is tied to standard output, so anything pending there goes out first.
void WriteErrorLine(std::string_view message);

// Writes `message` as WriteErrorLine does, then ends the process with exit
// status 1 through the normal exit path. Used for every fatal condition: the
// place that meets it reports it and ends the run.
[[noreturn]] void ExitWithMessage(std::string_view message);

}  // namespace tarvel
