#include "io/spool_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace tarvel {

namespace {

std::string SpoolFolder() {
  const char* folder = std::getenv("TMPDIR");
  return (folder != nullptr && *folder != '\0') ? folder : "/tmp";
}

std::string SpoolTemplate() { return SpoolFolder() + "/tarvel-XXXXXX"; }

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

bool SpoolFile::Open() {
  std::string name = SpoolTemplate();
  const int descriptor = mkstemp(name.data());
  if (descriptor < 0) return false;
  close(descriptor);
  file.open(name, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
  unlink(name.c_str());
  return file.is_open();
}

bool SpoolFile::Guard::Room(std::streamsize size) {
  const auto bytes = static_cast<std::uint64_t>(size);
  if (bytes <= allowed) {
    allowed -= bytes;
    return true;
  }
  // The room is looked at again after every 16 MiB or so: the copy may
  // take what is free beyond the reserve, less what others write meanwhile.
  constexpr std::uint64_t kLookEvery = std::uint64_t{16} << 20;
  constexpr std::uint64_t kMostReserve = std::uint64_t{1} << 30;
  std::error_code error;
  const std::filesystem::space_info space = std::filesystem::space(SpoolFolder(), error);
  if (error) return true;  // nothing known: the disk itself says when it is full
  const std::uint64_t reserve = std::min(kMostReserve, space.capacity / 32);
  if (space.available < reserve + bytes) return false;
  allowed = std::min(kLookEvery, space.available - reserve - bytes);
  return true;
}

SpoolFile::Guard::int_type SpoolFile::Guard::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  if (!Room(1)) return traits_type::eof();
  return file->sputc(traits_type::to_char_type(c));
}

std::streamsize SpoolFile::Guard::xsputn(const char* data, std::streamsize size) {
  if (!Room(size)) return 0;
  return file->sputn(data, size);
}

}  // namespace tarvel
