#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "command_line.h"
#include "messages.h"
#include "platform/process.h"
#include "program.h"
#include "tarvel/tarvel.h"

namespace tarvel {

namespace {

constexpr int kStandardInput = 0;
constexpr int kStandardOutput = 1;

int Filter(const std::vector<std::string>& args) {
  const CommandLine line = ParseFilter(args);
  switch (line.action) {
    case CommandLine::Action::kRun:
      break;
    case CommandLine::Action::kUsage:
      WriteErrorLine(kFilterUsageMessage);
      return 1;
    case CommandLine::Action::kUnknownOption:
      WriteErrorLine(UnknownOptionMessage(line.option));
      return 1;
    case CommandLine::Action::kHelp:
      std::cout << kFilterHelp << std::endl;
      return 0;
    case CommandLine::Action::kVersion:
      std::cout << "tarvel-filter " << Version() << std::endl;
      return 0;
  }
  // Compressed data are for programs, not for eyes, as gzip has it.
  if (!line.decompress && IsTerminal(kStandardOutput)) {
    WriteErrorLine(kNotToTerminalMessage);
    return 1;
  }
  if (line.decompress && IsTerminal(kStandardInput)) {
    WriteErrorLine(kNotFromTerminalMessage);
    return 1;
  }
  // Nothing is written at a temporary name: no watcher.
  const Result result = line.decompress ? DecompressDescriptor(kStandardInput, kStandardOutput)
                                        : CompressDescriptor(kStandardInput, kStandardOutput);
  if (!result) {
    const std::string message = FailureMessage(result, "stdin", "stdout");
    if (!message.empty()) WriteErrorLine(message);
    return 1;
  }
  return 0;
}

}  // namespace

int RunFilter(int argc, char** argv) {
  try {
    return Filter(CommandLineArguments(argc, argv));
  } catch (const std::bad_alloc&) {  // in the program's own strings
    WriteErrorLine(kOutOfMemoryMessage);
    return 1;
  }
}

}  // namespace tarvel
