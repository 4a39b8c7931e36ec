#include "io/descriptor_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace tarvel {

namespace {

constexpr std::size_t kBufferBytes = std::size_t{1} << 17;

// Reads some bytes, 0 at the end; a failed read throws, which the stream
// turns into its bad() state.
std::int64_t ReadAgainOnSignal(int fd, char* buffer, std::size_t size) {
  for (;;) {
    const std::int64_t got = ReadSome(fd, buffer, size);
    if (got >= 0) return got;
    if (errno != EINTR) throw std::ios_base::failure("read failed");
  }
}

}  // namespace

DescriptorStream::Buffer::Buffer(int fd) : fd(fd), bytes(kBufferBytes) {
  const std::int64_t at = Seek(fd, 0, SeekFrom::kHere);
  base = at < 0 ? -1 : static_cast<std::int64_t>(at);
  setg(bytes.data(), bytes.data(), bytes.data());
}

DescriptorStream::DescriptorStream(int fd) : std::istream(nullptr), buffer(fd) { rdbuf(&buffer); }

DescriptorStream::Buffer::int_type DescriptorStream::Buffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const std::int64_t got = ReadAgainOnSignal(fd, bytes.data(), bytes.size());
  if (got == 0) return traits_type::eof();
  setg(bytes.data(), bytes.data(), bytes.data() + got);
  return traits_type::to_int_type(*gptr());
}

std::streamsize DescriptorStream::Buffer::xsgetn(char_type* out, std::streamsize count) {
  const std::streamsize held = std::min<std::streamsize>(count, egptr() - gptr());
  std::memcpy(out, gptr(), static_cast<std::size_t>(held));
  gbump(static_cast<int>(held));
  std::streamsize done = held;
  // What is left of a small request goes through the buffer.
  if (count - done < static_cast<std::streamsize>(bytes.size())) {
    return done + std::streambuf::xsgetn(out + done, count - done);
  }
  while (done < count) {
    const std::int64_t got =
        ReadAgainOnSignal(fd, out + done, static_cast<std::size_t>(count - done));
    if (got == 0) break;
    done += static_cast<std::streamsize>(got);
  }
  return done;
}

DescriptorStream::Buffer::pos_type DescriptorStream::Buffer::seekoff(
    off_type offset, std::ios_base::seekdir way, std::ios_base::openmode /*which*/) {
  const pos_type failed = pos_type(off_type(-1));
  if (base < 0) return failed;
  std::int64_t at = -1;
  if (way == std::ios_base::beg) {
    at = Seek(fd, base + offset, SeekFrom::kStart);
  } else if (way == std::ios_base::cur) {
    // The descriptor stands at the end of what the buffer holds.
    at = Seek(fd, offset - (egptr() - gptr()), SeekFrom::kHere);
  } else {
    at = Seek(fd, offset, SeekFrom::kEnd);
  }
  if (at < 0) return failed;
  setg(bytes.data(), bytes.data(), bytes.data());
  return pos_type(off_type(at) - base);
}

DescriptorStream::Buffer::pos_type DescriptorStream::Buffer::seekpos(
    pos_type position, std::ios_base::openmode which) {
  return seekoff(off_type(position), std::ios_base::beg, which);
}

}  // namespace tarvel
