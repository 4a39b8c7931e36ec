// Compresses a buffer, restores it, and shows what a malformed one gives.
#include <tarvel/tarvel.h>

#include <cstdio>
#include <string_view>
#include <vector>

int main() {
  constexpr std::string_view kText = "abracadabra, abracadabra, abracadabra";
  const std::vector<std::uint8_t> data(kText.begin(), kText.end());

  const std::vector<std::uint8_t> packed = tarvel::Compress(data);
  std::vector<std::uint8_t> restored;
  const tarvel::Result result = tarvel::Decompress(packed, restored);
  if (!result || restored != data) {
    std::printf("round trip failed\n");
    return 1;
  }
  std::printf("tarvel %s: %zu bytes in %zu bytes\n", tarvel::Version(), data.size(), packed.size());

  const std::vector<std::uint8_t> truncated(packed.begin(), packed.begin() + 5);
  const tarvel::Result bad = tarvel::Decompress(truncated, restored);
  if (bad || bad.code != tarvel::Result::Code::kInvalidData) {
    std::printf("a truncated file was accepted\n");
    return 1;
  }
  std::printf("a truncated file: %s\n", bad.reason.c_str());
  return 0;
}
