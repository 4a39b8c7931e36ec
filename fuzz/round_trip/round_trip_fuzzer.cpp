// Any bytes compressed in memory, exactly as tarvel writes a file, must
// decode back to themselves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "api/compress.h"
#include "decode/file_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string original(reinterpret_cast<const char*>(data), size);
  const std::string compressed = tarvel::CompressBytes(original);
  std::string restored;
  const tarvel::DecodeResult result = tarvel::DecodeBytes(compressed, restored);
  if (result.status != tarvel::DecodeResult::Status::kOk || restored != original) std::abort();
  return 0;
}
