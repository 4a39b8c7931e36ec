#include "io/spool_file.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/platform.h"

namespace tarvel {

SpoolFile::~SpoolFile() {
  if (buffer.fd >= 0) CloseFile(buffer.fd);
}

bool SpoolFile::Open() {
  buffer.fd = OpenUnnamedFile(TemporaryFolder());
  return buffer.fd >= 0;
}

bool SpoolFile::Buffer::Room(std::uint64_t size) {
  if (size <= allowed) {
    allowed -= size;
    return true;
  }
  // The room is looked at again after every 16 MiB or so: the copy may
  // take what is free beyond the reserve, less what others write meanwhile.
  constexpr std::uint64_t kLookEvery = std::uint64_t{16} << 20;
  constexpr std::uint64_t kMostReserve = std::uint64_t{1} << 30;
  std::error_code error;
  const std::filesystem::space_info space =
      std::filesystem::space(PathOf(TemporaryFolder()), error);
  if (error) return true;  // nothing known: the disk itself says when it is full
  const std::uint64_t reserve = std::min(kMostReserve, space.capacity / 32);
  // What waits here has not reached the disk yet.
  const auto waiting = static_cast<std::uint64_t>(pptr() - pbase());
  if (space.available < reserve + waiting + size) return false;
  allowed = std::min(kLookEvery, space.available - reserve - waiting - size);
  return true;
}

bool SpoolFile::Buffer::Flush() {
  const char* from = pbase();
  while (from < pptr()) {
    const std::int64_t written = WriteSome(fd, from, static_cast<std::size_t>(pptr() - from));
    if (written <= 0) return false;
    from += written;
  }
  setp(bytes.data(), bytes.data() + bytes.size());
  return true;
}

SpoolFile::Buffer::int_type SpoolFile::Buffer::overflow(int_type c) {
  if (reading || pbase() == nullptr) setp(bytes.data(), bytes.data() + bytes.size());
  reading = false;
  if (pptr() == epptr() && !Flush()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  if (!Room(1)) return traits_type::eof();
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize SpoolFile::Buffer::xsputn(const char* data, std::streamsize size) {
  if (!Room(static_cast<std::uint64_t>(size))) return 0;
  std::streamsize done = 0;
  while (done < size) {
    if (pptr() == epptr() || pbase() == nullptr) {
      if (traits_type::eq_int_type(overflow(traits_type::eof()), traits_type::eof())) break;
    }
    const auto n = std::min<std::streamsize>(size - done, epptr() - pptr());
    std::copy(data + done, data + done + n, pptr());
    pbump(static_cast<int>(n));
    done += n;
  }
  return done;
}

int SpoolFile::Buffer::sync() { return reading || pbase() == nullptr || Flush() ? 0 : -1; }

SpoolFile::Buffer::int_type SpoolFile::Buffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const std::int64_t got = ReadSome(fd, bytes.data(), bytes.size());
  if (got <= 0) return traits_type::eof();
  setg(bytes.data(), bytes.data(), bytes.data() + got);
  return traits_type::to_int_type(*gptr());
}

SpoolFile::Buffer::pos_type SpoolFile::Buffer::seekoff(off_type offset, std::ios_base::seekdir way,
                                                       std::ios_base::openmode /*which*/) {
  // Only back to the start, for the second pass, once the copy is complete.
  const pos_type failed = pos_type(off_type(-1));
  if (way != std::ios_base::beg || offset != 0 || (!reading && !Flush())) return failed;
  if (Seek(fd, 0, SeekFrom::kStart) != 0) return failed;
  reading = true;
  setp(nullptr, nullptr);
  setg(bytes.data(), bytes.data(), bytes.data());
  return pos_type(0);
}

SpoolFile::Buffer::pos_type SpoolFile::Buffer::seekpos(pos_type position,
                                                       std::ios_base::openmode which) {
  return seekoff(off_type(position), std::ios_base::beg, which);
}

}  // namespace tarvel
