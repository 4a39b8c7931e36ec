// The codec on bytes in memory, and the library's version.
#include <ostream>
#include <streambuf>
#include <string_view>

#include "api/compress.h"
#include "decode/file_decoder.h"
#include "io/platform.h"
#include "tarvel/tarvel.h"

namespace tarvel {

namespace {

std::string_view AsText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// An output stream that appends to a vector, with no buffer between.
class VectorBuffer : public std::streambuf {
 public:
  explicit VectorBuffer(std::vector<std::uint8_t>& out) : out(out) {}

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      out.push_back(static_cast<std::uint8_t>(traits_type::to_char_type(c)));
    }
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* data, std::streamsize size) override {
    out.insert(out.end(), data, data + size);
    return size;
  }

 private:
  std::vector<std::uint8_t>& out;
};

}  // namespace

const char* Version() { return TARVEL_VERSION; }

std::vector<std::uint8_t> Compress(std::span<const std::uint8_t> data, int threads) {
  std::vector<std::uint8_t> compressed;
  VectorBuffer buffer(compressed);
  std::ostream sink(&buffer);
  CompressTo(AsText(data), ThreadsFor(threads, static_cast<std::int64_t>(data.size())), sink);
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
  MemorySource source(AsText(compressed));
  VectorSink sink(restored);
  const DecodeResult decoded =
      Decode(source, sink, ThreadsFor(threads, static_cast<std::int64_t>(compressed.size())));
  Result result;
  result.inputBytes = static_cast<std::uint64_t>(decoded.inputBytes);
  result.outputBytes = static_cast<std::uint64_t>(decoded.outputBytes);
  if (decoded.status == DecodeResult::Status::kInvalid) {
    result.code = Result::Code::kInvalidData;
    result.reason = decoded.reason;
  }
  return result;
}

}  // namespace tarvel
