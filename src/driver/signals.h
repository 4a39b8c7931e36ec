// What both programs set up before they touch a file: the standard
// descriptors, the signals that would end a run in the middle of a write, and
// the removal of an unfinished output when a signal ends the run.
#pragma once

#include <signal.h>

namespace tarvel {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that
// no file the run opens takes their place (and the report never lands in
// the output).
void OpenStandardDescriptors();

// Ignores SIGPIPE and SIGXFSZ, so that a write to a pipe whose reader has
// gone, or beyond the file size limit, fails with EPIPE or EFBIG instead of
// ending the process. Gives SIGINT, SIGTERM, SIGHUP and SIGQUIT a handler
// that removes the file named by RemoveOnSignal() and then ends the process
// by the same signal; a signal ignored when the program started stays
// ignored.
void InstallSignalHandling();

// Names the file that a signal must not leave behind, or none (null). The
// name must stay valid until it is replaced. Call it inside a
// SignalsBlocked scope, together with creating or renaming the file.
void RemoveOnSignal(const char* name);

// Holds back the signals that have the removal handler, in this thread, for
// the life of the object: a file is created or renamed and registered for
// removal in one step.
class SignalsBlocked {
 public:
  SignalsBlocked();
  ~SignalsBlocked();
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t saved;  // the thread's signal mask before
};

}  // namespace tarvel
