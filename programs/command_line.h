// What a program's command line asks of it.
#pragma once

#include <string>
#include <vector>

namespace tarvel {

// `args` is the whole command line, the program's name first.
struct CommandLine {
  enum class Action {
    kRun,
    kUsage,          // the names are not as they must be: the usage line, status 1
    kUnknownOption,  // `option` is none of the program's
    kHelp,           // --help: the usage on standard output, status 0
    kVersion,        // --version
  };
  Action action = Action::kUsage;
  std::string input;
  std::string output;
  bool force = false;       // untarvel -f: an existing file may be replaced
  bool decompress = false;  // tarvel-filter -d
  std::string option;
};

// tarvel's fixed command line: two names, and whatever follows them is
// ignored ("/16" among others), except an argument that names an existing
// file, which is how a shell pattern that matched more files than two looks:
// the run is refused with the usage line before anything is opened.
CommandLine ParseTarvel(const std::vector<std::string>& args);

// untarvel [-f] [--] <file in> <file out>, or --help, or --version. Options
// come before the names; "--" ends them; exactly two names. Short options
// may be grouped after one dash, as other compressors take them.
CommandLine ParseUntarvel(const std::vector<std::string>& args);

// tarvel-filter [-d] [-c], or --help, or --version: no names, standard input
// to standard output (-c, --stdout, says so, and changes nothing: -dc).
CommandLine ParseFilter(const std::vector<std::string>& args);

}  // namespace tarvel
