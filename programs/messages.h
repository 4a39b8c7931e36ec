// Every line that the programs write to standard error.
#pragma once

#include <string>
#include <string_view>

#include "tarvel/tarvel.h"

namespace tarvel {

inline constexpr std::string_view kUsageMessage = "usage: tarvel <file in> <file out> [/16]";
inline constexpr std::string_view kUntarvelUsageMessage =
    "usage: untarvel [-f] <file in> <file out>";
// untarvel --help, on standard output.
inline constexpr std::string_view kUntarvelHelp =
    "usage: untarvel [-f] <file in> <file out>\n"
    "Restores <file in>, a file that tarvel wrote, into <file out>, and reports the run.\n"
    "  -f, --force  replace <file out> when it is an existing file\n"
    "  --           end the options, for a name that begins with -\n"
    "  --help       print this and exit\n"
    "  --version    print the version and exit";
inline constexpr std::string_view kDiskFullMessage = "error : disk full while writing data.";
inline constexpr std::string_view kOutOfMemoryMessage = "error : not enough memory.";

inline constexpr std::string_view kFilterUsageMessage = "usage: tarvel-filter [-d] < in > out";
// tarvel-filter --help, on standard output.
inline constexpr std::string_view kFilterHelp =
    "usage: tarvel-filter [-d] < in > out\n"
    "Compresses standard input to standard output as tarvel does, or restores it, for tar -I\n"
    "and other programs that run a compressor on a stream.\n"
    "  -d, --decompress  restore instead\n"
    "  -c, --stdout      write to standard output, as it always does (-dc is -d)\n"
    "  --help            print this and exit\n"
    "  --version         print the version and exit";
inline constexpr std::string_view kNotToTerminalMessage =
    "error : compressed data not written to a terminal.";
inline constexpr std::string_view kNotFromTerminalMessage =
    "error : compressed data not read from a terminal.";

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
// "error : output file 'NAME' already exists; use -f to replace it."
std::string OutputExistsMessage(std::string_view fileName);
// "error : input file 'IN' is already compressed, and 'OUT' exists; use
// untarvel to restore it."
std::string SwappedNamesMessage(std::string_view inputName, std::string_view outputName);
// "error : unknown option 'OPTION'."
std::string UnknownOptionMessage(std::string_view option);

// The line for a failed run, or nothing when the reader of a pipe has gone,
// as other tools in a pipeline say nothing then.
std::string FailureMessage(const Result& result, const std::string& input,
                           const std::string& output);

// Writes `message` and a newline to standard error and flushes it. Standard
// error is tied to standard output, so anything pending there goes out first.
void WriteErrorLine(std::string_view message);

}  // namespace tarvel
