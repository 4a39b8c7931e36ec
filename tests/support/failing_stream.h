// An input stream whose reads fail on demand, the way a file stream's do
// when the disk reports an I/O error.
#pragma once

#include <algorithm>
#include <istream>
#include <stdexcept>
#include <streambuf>
#include <string>

namespace tarvel::testing {

// Delivers `data` a few bytes at a time. During pass `failingPass` (the
// first pass is 0; every rewind to the start begins the next one), the read
// after `failAt` bytes throws, which the stream turns into badbit.
class FailingBuffer : public std::streambuf {
 public:
  FailingBuffer(std::string data, int failingPass, std::size_t failAt)
      : data(std::move(data)), failingPass(failingPass), failAt(failAt) {}

 protected:
  int_type underflow() override {
    const bool failing = pass == failingPass;
    if (failing && delivered >= failAt) throw std::runtime_error("simulated read error");
    if (delivered >= data.size()) return traits_type::eof();
    std::size_t size = std::min<std::size_t>(7, data.size() - delivered);
    if (failing) size = std::min(size, failAt - delivered);
    char* start = data.data() + delivered;
    setg(start, start, start + size);
    delivered += size;
    return traits_type::to_int_type(*start);
  }

  pos_type seekoff(off_type offset, std::ios_base::seekdir way,
                   std::ios_base::openmode /*which*/) override {
    if (way != std::ios_base::beg || offset != 0) return pos_type(off_type(-1));
    ++pass;
    delivered = 0;
    setg(nullptr, nullptr, nullptr);
    return pos_type(0);
  }

  pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
    return seekoff(off_type(position), std::ios_base::beg, which);
  }

 private:
  std::string data;
  int failingPass;
  std::size_t failAt;
  int pass = 0;
  std::size_t delivered = 0;
};

// An istream over a FailingBuffer.
class FailingStream : public std::istream {
 public:
  FailingStream(std::string data, int failingPass, std::size_t failAt)
      : std::istream(nullptr), buffer(std::move(data), failingPass, failAt) {
    rdbuf(&buffer);
  }

 private:
  FailingBuffer buffer;
};

}  // namespace tarvel::testing
