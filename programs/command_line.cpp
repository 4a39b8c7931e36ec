#include "command_line.h"

#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

namespace tarvel {

namespace {

bool Exists(const char* name) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(name, error));
}

}  // namespace

CommandLine ParseTarvel(int argc, const char* const* argv) {
  CommandLine line;
  if (argc < 3) return line;
  for (int k = 3; k < argc; ++k) {
    if (std::string_view(argv[k]) != "/16" && Exists(argv[k])) return line;
  }
  line.input = argv[1];
  line.output = argv[2];
  line.action = CommandLine::Action::kRun;
  return line;
}

namespace {

// Options, then names: fills `line` and `names`, false when an option ended
// the parse (--help, --version, one unknown). `flag` is the program's own
// option and the field it sets.
bool ParseOptions(int argc, const char* const* argv, std::string_view shortFlag,
                  std::string_view longFlag, bool CommandLine::*flag, CommandLine& line,
                  std::vector<std::string_view>& names) {
  bool options = true;
  for (int k = 1; k < argc; ++k) {
    const std::string_view argument = argv[k];
    const bool option = options && names.empty() && argument.size() > 1 && argument[0] == '-';
    if (!option) {
      names.push_back(argument);
    } else if (argument == "--") {
      options = false;
    } else if (argument == shortFlag || argument == longFlag) {
      line.*flag = true;
    } else if (argument == "--help") {
      line.action = CommandLine::Action::kHelp;
      return false;
    } else if (argument == "--version") {
      line.action = CommandLine::Action::kVersion;
      return false;
    } else {
      line.action = CommandLine::Action::kUnknownOption;
      line.option = argument;
      return false;
    }
  }
  return true;
}

}  // namespace

CommandLine ParseUntarvel(int argc, const char* const* argv) {
  CommandLine line;
  std::vector<std::string_view> names;
  if (!ParseOptions(argc, argv, "-f", "--force", &CommandLine::force, line, names)) return line;
  if (names.size() != 2) return line;
  line.input = names[0];
  line.output = names[1];
  line.action = CommandLine::Action::kRun;
  return line;
}

CommandLine ParseFilter(int argc, const char* const* argv) {
  CommandLine line;
  std::vector<std::string_view> names;
  if (!ParseOptions(argc, argv, "-d", "--decompress", &CommandLine::decompress, line, names)) {
    return line;
  }
  if (names.empty()) line.action = CommandLine::Action::kRun;
  return line;
}

}  // namespace tarvel
