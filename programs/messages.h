// Every line that the programs write to standard error.
#pragma once

#include <string>
#include <string_view>

namespace tarvel {

inline constexpr std::string_view kUsageMessage = "usage: tarvel <file in> <file out> [/16]";
inline constexpr std::string_view kUntarvelUsageMessage = "usage: untarvel <file in> <file out>";
inline constexpr std::string_view kDiskFullMessage = "error : disk full while writing data.";
inline constexpr std::string_view kOutOfMemoryMessage = "error : not enough memory.";

// "error : unable to open input file 'NAME'."
std::string InputOpenMessage(std::string_view fileName);
// "error : unable to open file 'NAME' for output."
std::string OutputOpenMessage(std::string_view fileName);
// "error : input file 'IN' and output file 'OUT' are the same file."
std::string SameFileMessage(std::string_view inputName, std::string_view outputName);
// "error : unable to read input file 'NAME'."
std::string InputReadMessage(std::string_view fileName);
// "error : input file 'NAME' changed while it was being compressed."
std::string InputChangedMessage(std::string_view fileName);
// "error : unable to keep a temporary copy of input file 'NAME'."
std::string SpoolMessage(std::string_view fileName);
// "error : 'NAME' is not a valid tarvel file: REASON."
std::string InvalidFileMessage(std::string_view fileName, std::string_view reason);
// "error : unable to replace output file 'NAME'."
std::string ReplaceFailedMessage(std::string_view fileName);

// Writes `message` and a newline to standard error and flushes it. Standard
// error is tied to standard output, so anything pending there goes out first.
void WriteErrorLine(std::string_view message);

}  // namespace tarvel
