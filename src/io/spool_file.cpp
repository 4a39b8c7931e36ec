#include "io/spool_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace tarvel {

namespace {

std::string SpoolTemplate() {
  const char* folder = std::getenv("TMPDIR");
  std::string name = (folder != nullptr && *folder != '\0') ? folder : "/tmp";
  name += "/tarvel-XXXXXX";
  return name;
}

}  // namespace

int OpenUnnamedFile() {
  std::string name = SpoolTemplate();
  const int descriptor = mkstemp(name.data());
  if (descriptor < 0) return -1;
  unlink(name.c_str());
  if (fcntl(descriptor, F_SETFD, FD_CLOEXEC) != 0) {
    const int error = errno;
    close(descriptor);
    errno = error;
    return -1;
  }
  return descriptor;
}

bool OpenSpoolFile(std::fstream& stream) {
  std::string name = SpoolTemplate();
  const int descriptor = mkstemp(name.data());
  if (descriptor < 0) return false;
  close(descriptor);
  stream.open(name, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
  unlink(name.c_str());
  return stream.is_open();
}

}  // namespace tarvel
