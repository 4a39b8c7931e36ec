// Any bytes given to the decoder: it must accept or reject them with a
// reason, never crash, hang or touch memory it does not own, and decode
// them the same on two threads with small segments as on one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "decode/file_decoder.h"
#include "tarvel/tarvel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes;
  const tarvel::Result result = tarvel::Decompress({data, size}, bytes, /*threads=*/1);
  const bool rejected = result.code == tarvel::Result::Code::kInvalidData;
  if (!rejected && !result) std::abort();               // nothing else can fail in memory
  if (rejected == result.reason.empty()) std::abort();  // a rejection always says why
  if (!rejected && result.inputBytes != size) std::abort();
  const std::string restored(bytes.begin(), bytes.end());

  // Again on two threads with small segments, which only the inside reaches.
  const std::string_view compressed(reinterpret_cast<const char*>(data), size);
  const std::size_t segmentBytes = 1 + (size > 0 ? data[size - 1] % 61 : 0);
  std::string again;
  const tarvel::DecodeResult threaded = tarvel::DecodeBytes(compressed, again, 2, segmentBytes);
  if ((threaded.status == tarvel::DecodeResult::Status::kInvalid) != rejected ||
      threaded.reason != result.reason) {
    std::abort();
  }
  if (!rejected &&
      (again != restored || static_cast<std::uint64_t>(threaded.inputBytes) != result.inputBytes)) {
    std::abort();
  }
  return 0;
}
