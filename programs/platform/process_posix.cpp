#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

#include "platform/process.h"

namespace tarvel {

namespace {

constexpr int kRemovingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The file a signal must remove, read by the handler on whichever thread it
// runs. Two slots, and which one holds the file (-1 for none) in a single
// sig_atomic_t, the one type that a handler may read whole on every
// processor (ARMv5 has no lock-free atomic pointer): a slot is filled, and a
// fence passed, before it is named.
struct PendingFile {
  int folder;
  const char* name;
};
PendingFile pendingFiles[2] = {{AT_FDCWD, nullptr}, {AT_FDCWD, nullptr}};
volatile std::sig_atomic_t pendingSlot = -1;

extern "C" void RemoveAndReraise(int signalNumber) {
  const int slot = pendingSlot;
  std::atomic_thread_fence(std::memory_order_acquire);
  if (slot >= 0) unlinkat(pendingFiles[slot].folder, pendingFiles[slot].name, 0);
  // The signal is held back while its handler runs: with the default action
  // restored, it ends the process as soon as the handler returns.
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

sigset_t RemovingSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signalNumber : kRemovingSignals) sigaddset(&set, signalNumber);
  return set;
}

}  // namespace

void OpenStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) continue;
    // The lowest free descriptor: `fd` itself, since those below are open.
    // It is opened for the other way than its own, so that an output named
    // /dev/stdout is refused rather than lost.
    const int opened = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    if (opened >= 0 && opened != fd) close(opened);
  }
}

bool IsTerminal(int fd) { return isatty(fd) == 1; }

bool StandardErrorIsStandardOutput() {
  struct stat output {};
  struct stat error {};
  return fstat(STDOUT_FILENO, &output) == 0 && fstat(STDERR_FILENO, &error) == 0 &&
         output.st_dev == error.st_dev && output.st_ino == error.st_ino;
}

void InstallSignalHandling() {
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  for (const int signalNumber : kRemovingSignals) {
    struct sigaction current {};
    if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
      continue;
    }
    struct sigaction action {};
    action.sa_handler = RemoveAndReraise;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
  }
}

namespace {

// How deep this thread is in Enter() calls, and its signal mask before the
// outermost.
thread_local int enterDepth = 0;
thread_local sigset_t savedMask;

}  // namespace

void SignalWatcher::Enter() {
  if (enterDepth++ > 0) return;
  const sigset_t blocked = RemovingSignals();
  pthread_sigmask(SIG_BLOCK, &blocked, &savedMask);
}

void SignalWatcher::Leave() {
  if (--enterDepth == 0) pthread_sigmask(SIG_SETMASK, &savedMask, nullptr);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::filesystem::path PathFromUtf8(const std::string& name) { return name; }

void SignalWatcher::Pending(int folder, const char* name) {
  if (name == nullptr) {
    pendingSlot = -1;
    return;
  }
  const int next = pendingSlot == 0 ? 1 : 0;
  pendingFiles[next] = PendingFile{folder, name};
  std::atomic_thread_fence(std::memory_order_release);
  pendingSlot = next;
}

}  // namespace tarvel
