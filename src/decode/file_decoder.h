// Reading a compressed file back: the header, the codes rebuilt from their
// lengths, and the payload decoded up to the end symbol. Every file that does
// not follow the layout exactly is rejected with a reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

#include "format/faults.h"

namespace tarvel {

// Where the decoder takes the compressed bytes from.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `size` bytes into `buffer` and returns how many: 0 at the
  // end of the data, -1 when the read failed.
  virtual std::ptrdiff_t Read(std::uint8_t* buffer, std::size_t size) = 0;
  // How many bytes are left to read, when that is known; else -1.
  virtual std::int64_t Left() const { return -1; }
  // For data in memory that stays put while the decoder runs: takes all the
  // bytes left, to be used where they lie, and returns them (`size` says
  // how many); else null, taking nothing.
  virtual const std::uint8_t* TakeRest(std::size_t& size) {
    size = 0;
    return nullptr;
  }
};

// Where the decoder puts the restored bytes.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Takes `size` bytes; returns false when they could not be written.
  virtual bool Write(const std::uint8_t* data, std::size_t size) = 0;
  // Told, before the first Write(), the most bytes that can come, when
  // that is known: a sink in memory makes room for them at once.
  virtual void Expect(std::uint64_t /*mostBytes*/) {}
};

// A ByteSource over an input stream: a read that fails for another reason
// than the end of the data gives -1.
class StreamSource : public ByteSource {
 public:
  explicit StreamSource(std::istream& input) : input(input) {}
  std::ptrdiff_t Read(std::uint8_t* buffer, std::size_t size) override;

 private:
  std::istream& input;
};

// A ByteSource over bytes in memory.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view data) : data(data) {}
  std::ptrdiff_t Read(std::uint8_t* buffer, std::size_t size) override;
  std::int64_t Left() const override { return static_cast<std::int64_t>(data.size()); }
  const std::uint8_t* TakeRest(std::size_t& size) override;

 private:
  std::string_view data;
};

// A ByteSink that appends to a string.
class StringSink : public ByteSink {
 public:
  explicit StringSink(std::string& out) : out(out) {}
  bool Write(const std::uint8_t* data, std::size_t size) override;

 private:
  std::string& out;
};

struct DecodeResult {
  enum class Status { kOk, kInvalid, kReadFailed, kWriteFailed };
  Status status = Status::kOk;
  // For kInvalid: why the data is not a valid compressed file, a phrase
  // without a final full stop ("the header is truncated").
  std::string reason;
  Fault fault = Fault::kNone;
  std::int64_t inputBytes = 0;   // compressed bytes consumed
  std::int64_t outputBytes = 0;  // restored bytes handed to the sink
};

// Decodes the whole of `source` into `sink`. Empty data is valid and restores
// to nothing. On any failure the sink may already have received part of the
// data; it is the caller's to discard it.
//
// `threads` threads decode segments of `segmentBytes` (0 chooses the size)
// ahead and join them in order; what reaches the sink, and the result, are
// the same for any number of threads and any segment size.
DecodeResult Decode(ByteSource& source, ByteSink& sink, int threads = 1,
                    std::size_t segmentBytes = 0);

// Decode() from memory into memory.
DecodeResult DecodeBytes(std::string_view compressed, std::string& restored, int threads = 1,
                         std::size_t segmentBytes = 0);

}  // namespace tarvel
