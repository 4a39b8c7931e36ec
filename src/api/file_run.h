// The files of one call: the input opened and checked, the output prepared,
// and the Result that the call returns.
#pragma once

#include <cstdint>
#include <fstream>
#include <istream>
#include <optional>
#include <string>

#include "io/descriptor_stream.h"
#include "io/input_file.h"
#include "io/output_file.h"
#include "io/progress.h"
#include "platform/platform.h"
#include "tarvel/tarvel.h"

namespace tarvel {

// What a file call is given besides its files.
struct FileJob {
  int threads = 0;  // 0: as the programs choose
  OutputWatcher* watcher = nullptr;
  // Whether an existing regular file at the output's name may be replaced:
  // else it is kOutputExists, also when it appears during the run.
  bool replace = true;
  ProgressCallback progress = nullptr;
  void* user = nullptr;
};

class FileRun {
 public:
  explicit FileRun(const FileJob& job) : job(job), output(job.watcher) {}

  // Opens the input `inputName` and prepares the output `outputName`; false
  // with the failure in `result`.
  bool OpenNames(const std::string& inputName, const std::string& outputName);

  // The same for two open descriptors: the input read from where it stands,
  // the output written from where it stands. Neither is closed.
  bool OpenDescriptors(int inputFd, int outputFd);

  // Ends the run with `code`; an output that is not complete is discarded.
  // A read that failed because the caller asked to stop is kCancelled.
  bool Fail(Result::Code code);

  // Puts the output in place, once `outputBytes` of it are written.
  void Commit(std::int64_t outputBytes);

  // Whether the input lies on a pseudo file system, whose sizes are not its
  // contents.
  bool InputOnPseudoFileSystem() const;

  // The input read again by position, for a regular file: the file itself,
  // from where it started.
  const PositionalFile* Positional();

  // The input's status now, to compare with `status`.
  std::optional<FileStatus> StatusNow();

  const FileJob job;
  std::istream* input = nullptr;
  FileStatus status;  // of the input; for a descriptor its size is what is left
  FileStatus before;  // of the input as opened, before the first pass
  OutputFile output;
  std::optional<Progress> progress;
  Result result;

 private:
  bool Opened(int outputError);

  std::ifstream file;
  std::optional<DescriptorStream> descriptor;
  std::string inputName;  // or the descriptor:
  int inputFd = -1;
  std::optional<PositionalInput> positional;
  std::int64_t startTime = 0;
};

}  // namespace tarvel
