#include "driver/options.h"

#include <cctype>
#include <string_view>

#include "driver/messages.h"

namespace tarvel {

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) {
      return std::tolower(static_cast<unsigned char>(c));
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

void ParseOptions(int* argc, char** argv, bool* sixteenBit) {
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    const std::string_view argument = argv[i];
    const bool isOption = !argument.empty() && (argument[0] == '/' || argument[0] == '-');
    if (!isOption) {
      argv[kept++] = argv[i];
    } else if (EqualsIgnoringCase(argument.substr(1), "16")) {
      *sixteenBit = true;
    } else {
      WriteErrorLine(UnknownOptionMessage(argument));
    }
  }
  *argc = kept;
}

}  // namespace tarvel
