// What the programs ask of the system, beside the library: the standard
// descriptors, the signals (on Windows, the console's control events) that
// would end a run in the middle of a write, the removal of an unfinished
// output when one ends the run, terminals, and the command line and console
// in UTF-8. One implementation per system, linked into the programs only.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tarvel/tarvel.h"

namespace tarvel {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that
// no file the run opens takes their place (and the report never lands in
// the output): 0 for writing, 1 and 2 for reading, so that an output that
// names one of them is refused instead of gone to /dev/null.
void OpenStandardDescriptors();

// Whether descriptor `fd` is a terminal.
bool IsTerminal(int fd);

// Whether standard error leads to the file that standard output leads to
// (`2>&1`).
bool StandardErrorIsStandardOutput();

// Ignores SIGPIPE and SIGXFSZ, so that a write to a pipe whose reader has
// gone, or beyond the file size limit, fails with EPIPE or EFBIG instead of
// ending the process. Gives SIGINT, SIGTERM, SIGHUP and SIGQUIT a handler
// that removes the file a SignalWatcher was told of, then ends the process
// by the same signal; a signal ignored when the program started stays
// ignored.
void InstallSignalHandling();

// Told by the library which file a signal must remove, and holding the
// signals back (in this thread) while such a file is created, renamed or
// removed. One per process.
class SignalWatcher : public OutputWatcher {
 public:
  void Enter() override;
  void Leave() override;
  void Pending(int folder, const char* name) override;
};

// The command line as UTF-8 strings, argv[0] first.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// A UTF-8 name as std::filesystem takes it.
std::filesystem::path PathFromUtf8(const std::string& name);

}  // namespace tarvel
