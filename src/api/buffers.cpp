// The codec on bytes in memory, and the library's version.
#include <exception>
#include <new>
#include <ostream>
#include <stdexcept>
#include <streambuf>
#include <string_view>

#include "api/compress.h"
#include "api/guarded.h"
#include "decode/file_decoder.h"
#include "platform/platform.h"
#include "tarvel/tarvel.h"

namespace tarvel {

namespace {

std::string_view AsText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

const char* Version() { return TARVEL_VERSION; }

Result Compress(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& compressed,
                int threads) {
  compressed.clear();
  Result result = Guarded([&] {
    Result done;
    done.inputBytes = data.size();
    if (data.empty()) return done;
    const int used = ThreadsFor(threads, static_cast<std::int64_t>(data.size()));
    const CodePlan plan = PlanBytes(data, used);
    // One allocation of the exact size, coded into in place.
    compressed.resize(static_cast<std::size_t>(plan.CompressedBytes()));
    // Bytes that another thread changes during the call code to other bits
    // than counted: never a success.
    if (!CompressBytesInto(data, plan, used, compressed.data(), compressed.size())) {
      done.code = Result::Code::kInputChanged;
      return done;
    }
    done.outputBytes = compressed.size();
    return done;
  });
  if (!result) std::vector<std::uint8_t>().swap(compressed);
  return result;
}

std::vector<std::uint8_t> Compress(std::span<const std::uint8_t> data, int threads) {
  std::vector<std::uint8_t> compressed;
  const Result result = Compress(data, compressed, threads);
  if (result.code == Result::Code::kInputChanged) {
    throw std::runtime_error("the input changed while it was being compressed");
  }
  if (!result) throw std::bad_alloc();
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
    // Room for the most it can get, so that it never grows by copying; when
    // that is too much to have, it grows as it goes.
    void Expect(std::uint64_t mostBytes) override {
      if (mostBytes > out.max_size()) return;
      try {
        out.reserve(static_cast<std::size_t>(mostBytes));
      } catch (const std::bad_alloc&) {
      }
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
