// Any bytes given to the decoder: it must accept or reject them with a
// reason, never crash, hang or touch memory it does not own, and decode
// them the same on two threads with small segments as on one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "decode/file_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view compressed(reinterpret_cast<const char*>(data), size);
  std::string restored;
  const tarvel::DecodeResult result = tarvel::DecodeBytes(compressed, restored);
  const bool rejected = result.status == tarvel::DecodeResult::Status::kInvalid;
  if (rejected == result.reason.empty()) std::abort();  // a rejection always says why
  if (!rejected && result.inputBytes != static_cast<std::int64_t>(size)) std::abort();

  const std::size_t segmentBytes = 1 + (size > 0 ? data[size - 1] % 61 : 0);
  std::string again;
  const tarvel::DecodeResult threaded = tarvel::DecodeBytes(compressed, again, 2, segmentBytes);
  if (threaded.status != result.status || threaded.reason != result.reason) std::abort();
  if (!rejected && (again != restored || threaded.inputBytes != result.inputBytes)) std::abort();
  return 0;
}
