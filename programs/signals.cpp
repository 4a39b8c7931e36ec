#include "signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace tarvel {

namespace {

constexpr int kRemovingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Read by the handler, which may run on any thread: the folder is set before
// a name is, and changes only while no name is set.
std::atomic<int> pendingFolder{AT_FDCWD};
std::atomic<const char*> pendingRemoval{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void RemoveAndReraise(int signalNumber) {
  const char* name = pendingRemoval.load();
  if (name != nullptr) unlinkat(pendingFolder.load(), name, 0);
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

void SignalWatcher::Enter() {
  if (depth++ > 0) return;
  const sigset_t blocked = RemovingSignals();
  pthread_sigmask(SIG_BLOCK, &blocked, &saved);
}

void SignalWatcher::Leave() {
  if (--depth == 0) pthread_sigmask(SIG_SETMASK, &saved, nullptr);
}

void SignalWatcher::Pending(int folder, const char* name) {
  if (name == nullptr) {
    pendingRemoval.store(nullptr);
    return;
  }
  pendingFolder.store(folder);
  pendingRemoval.store(name);
}

}  // namespace tarvel
