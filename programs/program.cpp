#include "program.h"

#include <cerrno>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "command_line.h"
#include "messages.h"
#include "platform/process.h"
#include "run_report.h"
#include "swapped_names.h"
#include "tarvel/tarvel.h"

namespace tarvel {

namespace {

int Run(Direction direction, const std::vector<std::string>& args) {
  const bool compress = direction == Direction::kCompress;
  const CommandLine line = compress ? ParseTarvel(args) : ParseUntarvel(args);
  switch (line.action) {
    case CommandLine::Action::kRun:
      break;
    case CommandLine::Action::kUsage:
      WriteErrorLine(compress ? kUsageMessage : kUntarvelUsageMessage);
      return 1;
    case CommandLine::Action::kUnknownOption:
      WriteErrorLine(UnknownOptionMessage(line.option));
      return 1;
    case CommandLine::Action::kHelp:
      std::cout << kUntarvelHelp << std::endl;
      return 0;
    case CommandLine::Action::kVersion:
      std::cout << "untarvel " << Version() << std::endl;
      return 0;
  }
  // tarvel never compresses a compressed file over what looks like its
  // original: the names were swapped, meaning to restore.
  if (compress && NamesLookSwapped(line.input, line.output)) {
    WriteErrorLine(SwappedNamesMessage(line.input, line.output));
    return 1;
  }
  static SignalWatcher watcher;
  FileOptions options;
  options.watcher = &watcher;
  // untarvel keeps an existing file without -f, also one that appears while
  // it runs; tarvel replaces it.
  const Result result =
      compress ? CompressFile(line.input, line.output, options)
               : DecompressFile(line.input, line.output, options,
                                line.force ? ExistingOutput::kReplace : ExistingOutput::kKeep);
  if (!result) {
    const std::string message = FailureMessage(result, line.input, line.output);
    if (!message.empty()) WriteErrorLine(message);
    return 1;
  }
  // The report never goes into the data: away from standard output when the
  // output is its file, and left out when standard error leads there too.
  if (result.outputIsStandardOutput && StandardErrorIsStandardOutput()) return 0;
  PrintRunReport(result.outputIsStandardOutput ? std::cerr : std::cout,
                 compress ? "tarvel" : "untarvel", result.milliseconds,
                 static_cast<std::int64_t>(result.inputBytes),
                 static_cast<std::int64_t>(result.outputBytes), line.input, line.output);
  return 0;
}

}  // namespace

int RunProgram(Direction direction, int argc, char** argv) {
  try {
    return Run(direction, CommandLineArguments(argc, argv));
  } catch (const std::bad_alloc&) {  // in the program's own strings
    WriteErrorLine(kOutOfMemoryMessage);
    return 1;
  }
}

}  // namespace tarvel
