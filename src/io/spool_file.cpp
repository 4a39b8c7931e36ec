#include "io/spool_file.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace tarvel {

bool OpenSpoolFile(std::fstream& stream) {
  const char* folder = std::getenv("TMPDIR");
  std::string name = (folder != nullptr && *folder != '\0') ? folder : "/tmp";
  name += "/tarvel-XXXXXX";
  const int descriptor = mkstemp(name.data());
  if (descriptor < 0) return false;
  close(descriptor);
  stream.open(name, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
  unlink(name.c_str());
  return stream.is_open();
}

}  // namespace tarvel
