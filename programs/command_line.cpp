#include "command_line.h"

#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/process.h"

namespace tarvel {

namespace {

bool Exists(const std::string& name) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(PathFromUtf8(name), error));
}

}  // namespace

CommandLine ParseTarvel(const std::vector<std::string>& args) {
  CommandLine line;
  if (args.size() < 3) return line;
  for (std::size_t k = 3; k < args.size(); ++k) {
    if (args[k] != "/16" && Exists(args[k])) return line;
  }
  line.input = args[1];
  line.output = args[2];
  line.action = CommandLine::Action::kRun;
  return line;
}

namespace {

// A program's options: the letter and the long name of the one that sets
// `flag`, and the letters and long names of those accepted as they are
// (the filter's -c: it always writes to standard output).
struct Options {
  char letter;
  std::string_view longName;
  bool CommandLine::*flag;
  std::string_view ignoredLetters;
  std::string_view ignoredLongName;
};

// Whether `argument` is short options grouped after one dash (-dc), each
// the program's; sets the flag when its letter is among them.
bool ShortOptions(std::string_view argument, const Options& program, CommandLine& line) {
  if (argument.size() < 2 || argument[1] == '-') return false;
  bool flag = false;
  for (const char letter : argument.substr(1)) {
    if (letter == program.letter) {
      flag = true;
    } else if (program.ignoredLetters.find(letter) == std::string_view::npos) {
      return false;
    }
  }
  if (flag) line.*program.flag = true;
  return true;
}

// Options, then names: fills `line` and `names`, false when an option ended
// the parse (--help, --version, one unknown).
bool ParseOptions(const std::vector<std::string>& args, const Options& program, CommandLine& line,
                  std::vector<std::string_view>& names) {
  bool options = true;
  for (std::size_t k = 1; k < args.size(); ++k) {
    const std::string_view argument = args[k];
    const bool option = options && names.empty() && argument.size() > 1 && argument[0] == '-';
    if (!option) {
      names.push_back(argument);
    } else if (argument == "--") {
      options = false;
    } else if (argument == program.longName) {
      line.*program.flag = true;
    } else if ((!program.ignoredLongName.empty() && argument == program.ignoredLongName) ||
               ShortOptions(argument, program, line)) {
      continue;
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

CommandLine ParseUntarvel(const std::vector<std::string>& args) {
  CommandLine line;
  std::vector<std::string_view> names;
  if (!ParseOptions(args, {'f', "--force", &CommandLine::force, "", ""}, line, names)) return line;
  if (names.size() != 2) return line;
  line.input = names[0];
  line.output = names[1];
  line.action = CommandLine::Action::kRun;
  return line;
}

CommandLine ParseFilter(const std::vector<std::string>& args) {
  CommandLine line;
  std::vector<std::string_view> names;
  if (!ParseOptions(args, {'d', "--decompress", &CommandLine::decompress, "c", "--stdout"}, line,
                    names)) {
    return line;
  }
  if (names.empty()) line.action = CommandLine::Action::kRun;
  return line;
}

}  // namespace tarvel
