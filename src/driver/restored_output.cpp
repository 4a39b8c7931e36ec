#include "driver/restored_output.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "driver/platform.h"

namespace tarvel {

namespace {

// The temporary file that a signal must not leave behind. A signal handler
// may only read it, so it is a plain array.
char pendingRemoval[4096];

extern "C" void RemoveAndReraise(int signalNumber) {
  if (pendingRemoval[0] != '\0') unlink(pendingRemoval);
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

void GuardAgainstSignals(const std::string& name) {
  if (name.size() >= sizeof pendingRemoval) return;
  std::memcpy(pendingRemoval, name.c_str(), name.size() + 1);
  for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    signal(signalNumber, RemoveAndReraise);
  }
}

void ReleaseGuard() { pendingRemoval[0] = '\0'; }

// The permission bits a new file gets: 0666 less the umask.
mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

RestoredOutput::~RestoredOutput() { Discard(); }

bool RestoredOutput::Open(const std::string& name) {
  finalName = name;
  const std::optional<FileStatus> existing = StatusOf(name.c_str());
  file.rdbuf()->pubsetbuf(nullptr, 0);  // the decoder hands over whole blocks
  if (existing && !existing->IsRegular()) {
    file.open(name, std::ios::out | std::ios::binary | std::ios::trunc);
    return file.is_open();
  }
  if (existing && existing->IsDirectory()) return false;

  std::string pattern = name + ".untarvel-XXXXXX";
  const int descriptor = mkstemp(pattern.data());
  if (descriptor < 0) return false;
  // An existing output keeps its permissions; a new one gets the usual.
  fchmod(descriptor, existing ? (existing->mode & 07777) : NewFileMode());
  close(descriptor);
  temporaryName = pattern;
  GuardAgainstSignals(temporaryName);
  // Opened without truncation, which the new file does not need: some file
  // systems take a truncation to empty as a file being rewritten in place,
  // and write all of its data out when it is closed.
  file.open(temporaryName, std::ios::in | std::ios::out | std::ios::binary);
  if (!file.is_open()) {
    Discard();
    return false;
  }
  return true;
}

bool RestoredOutput::Write(const std::uint8_t* data, std::size_t size) {
  file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return static_cast<bool>(file);
}

bool RestoredOutput::Commit() {
  file.flush();
  const bool flushed = static_cast<bool>(file);
  file.close();
  if (!flushed || file.fail()) {
    Discard();
    return false;
  }
  if (temporaryName.empty()) return true;
  if (std::rename(temporaryName.c_str(), finalName.c_str()) != 0) {
    Discard();
    return false;
  }
  temporaryName.clear();
  ReleaseGuard();
  return true;
}

void RestoredOutput::Discard() {
  if (file.is_open()) file.close();
  if (!temporaryName.empty()) {
    std::remove(temporaryName.c_str());
    temporaryName.clear();
    ReleaseGuard();
  }
}

}  // namespace tarvel
