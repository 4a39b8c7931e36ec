#include "swapped_names.h"

#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/process.h"
#include "tarvel.h"
#include "tarvel/tarvel.h"

namespace tarvel {

namespace {

constexpr std::string_view kSuffix = ".tarvel";
constexpr std::size_t kPieceBytes = std::size_t{1} << 16;

bool EndsWithSuffix(std::string_view name) {
  return name.size() > kSuffix.size() && name.substr(name.size() - kSuffix.size()) == kSuffix;
}

// Whether the file `name` restores without a fault, read to its end; what
// it restores to is not kept.
bool IsCompressedFile(const std::string& name) {
  std::ifstream file(PathFromUtf8(name), std::ios::binary);
  tarvel_decoder* decoder = tarvel_decoder_new();
  if (!file || decoder == nullptr) {
    tarvel_decoder_free(decoder);
    return false;
  }
  std::vector<char> piece(kPieceBytes);
  std::vector<unsigned char> room(kPieceBytes);
  int status = TARVEL_OK;
  while (status == TARVEL_OK) {
    file.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    const auto got = static_cast<std::size_t>(file.gcount());
    if (file.bad()) break;
    const int last = got == 0 ? 1 : 0;
    tarvel_in in{piece.data(), got, 0};
    do {
      tarvel_out out{room.data(), room.size(), 0};
      status = tarvel_decoder_run(decoder, &out, &in, last);
    } while (status == TARVEL_OK && (in.pos < in.size || last != 0));
    if (status == TARVEL_DONE && last == 0 &&
        (in.pos < in.size || file.read(piece.data(), 1).gcount() > 0)) {
      status = TARVEL_ERROR_DATA_AFTER_END;
    }
  }
  tarvel_decoder_free(decoder);
  return status == TARVEL_DONE;
}

}  // namespace

bool NamesLookSwapped(const std::string& input, const std::string& output) {
  if (!EndsWithSuffix(input) || EndsWithSuffix(output) || !OutputReplacesFile(output)) {
    return false;
  }
  std::error_code error;
  const std::filesystem::path inputPath = PathFromUtf8(input);
  if (!std::filesystem::is_regular_file(inputPath, error) ||
      std::filesystem::equivalent(inputPath, PathFromUtf8(output), error)) {
    return false;
  }
  return IsCompressedFile(input);
}

}  // namespace tarvel
