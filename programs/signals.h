// What both programs set up before they touch a file: the standard
// descriptors, the signals that would end a run in the middle of a write, and
// the removal of an unfinished output when a signal ends the run.
#pragma once

#include <signal.h>

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

 private:
  int depth = 0;
  sigset_t saved;  // the thread's signal mask before the outermost Enter()
};

}  // namespace tarvel
