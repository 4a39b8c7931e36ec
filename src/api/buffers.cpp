// The codec on bytes in memory, and the library's version.
#include <exception>
#include <new>
#include <ostream>
#include <streambuf>
#include <string_view>

#include "api/compress.h"
#include "api/guarded.h"
#include "decode/file_decoder.h"
#include "io/platform.h"
#include "tarvel/tarvel.h"

namespace tarvel {

namespace {

std::string_view AsText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// An output stream that appends to a vector, with no buffer between. An
// append that finds no memory fails the stream's write and is remembered:
// nothing is thrown through the writer.
class VectorBuffer : public std::streambuf {
 public:
  explicit VectorBuffer(std::vector<std::uint8_t>& out) : out(out) {}
  bool OutOfMemory() const { return outOfMemory; }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* data, std::streamsize size) override {
    if (outOfMemory) return 0;
    try {
      out.insert(out.end(), data, data + size);
    } catch (const std::exception&) {  // std::bad_alloc, std::length_error
      outOfMemory = true;
      return 0;
    }
    return size;
  }

 private:
  std::vector<std::uint8_t>& out;
  bool outOfMemory = false;
};

}  // namespace

const char* Version() { return TARVEL_VERSION; }

Result Compress(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& compressed,
                int threads) {
  compressed.clear();
  Result result = Guarded([&] {
    VectorBuffer buffer(compressed);
    std::ostream sink(&buffer);
    CompressTo(AsText(data), ThreadsFor(threads, static_cast<std::int64_t>(data.size())), sink);
    Result done;
    if (buffer.OutOfMemory()) done.code = Result::Code::kOutOfMemory;
    done.inputBytes = data.size();
    done.outputBytes = compressed.size();
    return done;
  });
  if (!result) std::vector<std::uint8_t>().swap(compressed);
  return result;
}

std::vector<std::uint8_t> Compress(std::span<const std::uint8_t> data, int threads) {
  std::vector<std::uint8_t> compressed;
  if (!Compress(data, compressed, threads)) throw std::bad_alloc();
  return compressed;
}

Result Decompress(std::span<const std::uint8_t> compressed, std::vector<std::uint8_t>& restored,
                  int threads) {
  class VectorSink : public ByteSink {
   public:
    explicit VectorSink(std::vector<std::uint8_t>& out) : out(out) {}
    bool Write(const std::uint8_t* data, std::size_t size) override {
      out.insert(out.end(), data, data + size);
      return true;
    }

   private:
    std::vector<std::uint8_t>& out;
  };
  restored.clear();
  Result result = Guarded([&] {
    MemorySource source(AsText(compressed));
    VectorSink sink(restored);
    const DecodeResult decoded =
        Decode(source, sink, ThreadsFor(threads, static_cast<std::int64_t>(compressed.size())));
    Result done;
    done.inputBytes = static_cast<std::uint64_t>(decoded.inputBytes);
    done.outputBytes = static_cast<std::uint64_t>(decoded.outputBytes);
    if (decoded.status == DecodeResult::Status::kInvalid) {
      done.code = Result::Code::kInvalidData;
      done.reason = decoded.reason;
    }
    return done;
  });
  if (result.code == Result::Code::kOutOfMemory) std::vector<std::uint8_t>().swap(restored);
  return result;
}

}  // namespace tarvel
