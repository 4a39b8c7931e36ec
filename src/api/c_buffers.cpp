// The C interface: statuses, the version and whole buffers.
#include <cerrno>
#include <limits>
#include <span>
#include <string_view>

#include "api/c_status.h"
#include "api/compress.h"
#include "decode/file_decoder.h"
#include "io/far_copy.h"
#include "platform/platform.h"

namespace tarvel {

int FaultStatus(Fault fault) { return TARVEL_ERROR_INVALID_FIRST + 1 - static_cast<int>(fault); }

int ResultStatus(const Result& result) {
  switch (result.code) {
    case Result::Code::kOk:
      return TARVEL_OK;
    case Result::Code::kOpenInput:
      return TARVEL_ERROR_OPEN_INPUT;
    case Result::Code::kOpenOutput:
      return TARVEL_ERROR_OPEN_OUTPUT;
    case Result::Code::kSameFile:
      return TARVEL_ERROR_SAME_FILE;
    case Result::Code::kReadInput:
      return TARVEL_ERROR_READ_INPUT;
    case Result::Code::kInputChanged:
      return TARVEL_ERROR_INPUT_CHANGED;
    case Result::Code::kTemporaryCopy:
      return TARVEL_ERROR_TEMPORARY_COPY;
    case Result::Code::kWriteOutput:
      return TARVEL_ERROR_WRITE_OUTPUT;
    case Result::Code::kReplaceOutput:
      return TARVEL_ERROR_REPLACE_OUTPUT;
    case Result::Code::kOutOfMemory:
      return TARVEL_ERROR_OUT_OF_MEMORY;
    case Result::Code::kCancelled:
      return TARVEL_ERROR_CANCELLED;
    case Result::Code::kOutputExists:  // no C call asks to keep an output
      return TARVEL_ERROR_OPEN_OUTPUT;
    case Result::Code::kInvalidData:
      break;
  }
  for (int k = 1; k < static_cast<int>(Fault::kCount); ++k) {
    if (result.reason == FaultReason(static_cast<Fault>(k)))
      return FaultStatus(static_cast<Fault>(k));
  }
  return TARVEL_ERROR_INVALID_FIRST;
}

namespace {

// The restored bytes into a buffer of fixed room: what does not fit is
// counted, not kept, so that the size needed is known at the end. Past the
// first kFarOutputBytes the bytes go past the caches.
class BoundedSink : public ByteSink {
 public:
  BoundedSink(std::uint8_t* out, std::size_t capacity) : out(out), capacity(capacity) {}
  bool Write(const std::uint8_t* data, std::size_t size) override {
    if (used + size <= capacity) CopyNearOrFar(out + used, data, size, used >= kFarOutputBytes);
    used += size;
    return true;
  }
  std::uint64_t used = 0;

 private:
  std::uint8_t* out;
  std::size_t capacity;
};

}  // namespace

}  // namespace tarvel

using tarvel::Fault;

extern "C" {

int tarvel_is_invalid_data(int status) {
  return status <= TARVEL_ERROR_INVALID_FIRST && status >= TARVEL_ERROR_INVALID_LAST;
}

const char* tarvel_version(void) { return tarvel::Version(); }

const char* tarvel_status_text(int status) {
  switch (status) {
    case TARVEL_DONE:
      return "done";
    case TARVEL_OK:
      return "success";
    case TARVEL_ERROR_OPEN_INPUT:
      return "the input cannot be opened";
    case TARVEL_ERROR_OPEN_OUTPUT:
      return "the output cannot be opened for writing";
    case TARVEL_ERROR_SAME_FILE:
      return "the input and the output are the same file";
    case TARVEL_ERROR_READ_INPUT:
      return "the input cannot be read";
    case TARVEL_ERROR_INPUT_CHANGED:
      return "the input changed while it was being compressed";
    case TARVEL_ERROR_TEMPORARY_COPY:
      return "no temporary copy of the input could be kept";
    case TARVEL_ERROR_WRITE_OUTPUT:
      return "the output cannot be written";
    case TARVEL_ERROR_REPLACE_OUTPUT:
      return "the output cannot be replaced";
    case TARVEL_ERROR_OUTPUT_TOO_SMALL:
      return "the output buffer is too small";
    case TARVEL_ERROR_OUT_OF_MEMORY:
      return "out of memory";
    case TARVEL_ERROR_CANCELLED:
      return "cancelled";
    case TARVEL_ERROR_ARGUMENT:
      return "an argument is invalid";
    default:
      break;
  }
  const int fault = TARVEL_ERROR_INVALID_FIRST + 1 - status;
  if (fault >= 1 && fault < static_cast<int>(Fault::kCount)) {
    return tarvel::FaultReason(static_cast<Fault>(fault));
  }
  return "unknown status";
}

size_t tarvel_compress_bound(size_t size) {
  // A code of nine bits for every byte value and the end symbol would be a
  // prefix code, so the Huffman code takes at most nine bits a byte; the end
  // symbol's code at most 256 bits; the header at most 777 bytes.
  constexpr size_t kMost = std::numeric_limits<size_t>::max();
  constexpr size_t kFixed = 777 + 32 + 1;
  if (size > (kMost - kFixed) / 9 * 8) return 0;
  return size + size / 8 + 1 + kFixed;
}

size_t tarvel_decompress_bound(size_t srcSize) {
  // At least one bit a byte.
  if (srcSize > std::numeric_limits<size_t>::max() / 8) return SIZE_MAX;
  return srcSize * 8;
}

int tarvel_compress(const void* src, size_t srcSize, void* dst, size_t dstCapacity, size_t* dstSize,
                    int threads) {
  if ((src == nullptr && srcSize > 0) || dstSize == nullptr ||
      (dst == nullptr && dstCapacity > 0) || threads < 0) {
    return TARVEL_ERROR_ARGUMENT;
  }
  *dstSize = 0;
  if (srcSize == 0) return TARVEL_OK;
  return tarvel::GuardedStatus([&]() -> int {
    const std::span<const std::uint8_t> data(static_cast<const std::uint8_t*>(src), srcSize);
    const int used = tarvel::ThreadsFor(threads, static_cast<std::int64_t>(srcSize));
    const tarvel::CodePlan plan = tarvel::PlanBytes(data, used);
    const auto needed = static_cast<std::uint64_t>(plan.CompressedBytes());
    if (needed > dstCapacity) {
      *dstSize = needed > SIZE_MAX ? SIZE_MAX : static_cast<size_t>(needed);
      return TARVEL_ERROR_OUTPUT_TOO_SMALL;
    }
    // Bytes that another thread changes during the call code to other bits
    // than counted: never a success.
    if (!tarvel::CompressBytesInto(data, plan, used, static_cast<std::uint8_t*>(dst),
                                   dstCapacity)) {
      return TARVEL_ERROR_INPUT_CHANGED;
    }
    *dstSize = static_cast<size_t>(needed);
    return TARVEL_OK;
  });
}

int tarvel_decompress(const void* src, size_t srcSize, void* dst, size_t dstCapacity,
                      size_t* dstSize, int threads) {
  if ((src == nullptr && srcSize > 0) || dstSize == nullptr ||
      (dst == nullptr && dstCapacity > 0) || threads < 0) {
    return TARVEL_ERROR_ARGUMENT;
  }
  *dstSize = 0;
  return tarvel::GuardedStatus([&]() -> int {
    tarvel::MemorySource source({static_cast<const char*>(src), srcSize});
    tarvel::BoundedSink sink(static_cast<std::uint8_t*>(dst), dstCapacity);
    const tarvel::DecodeResult decoded = tarvel::Decode(
        source, sink, tarvel::ThreadsFor(threads, static_cast<std::int64_t>(srcSize)));
    if (decoded.status == tarvel::DecodeResult::Status::kInvalid) {
      return tarvel::FaultStatus(decoded.fault);
    }
    if (sink.used > dstCapacity) {
      *dstSize = sink.used > SIZE_MAX ? SIZE_MAX : static_cast<size_t>(sink.used);
      return TARVEL_ERROR_OUTPUT_TOO_SMALL;
    }
    *dstSize = static_cast<size_t>(sink.used);
    return TARVEL_OK;
  });
}

}  // extern "C"
