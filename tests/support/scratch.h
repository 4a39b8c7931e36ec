// Helpers shared by the tests: scratch folders, whole-file reads and writes,
// hex dumps, and running a program with its output captured.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel::testing {

// A fresh, empty folder that is removed with everything in it at the end of
// the scope.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& Path() const { return root; }
  std::filesystem::path operator/(std::string_view name) const { return root / name; }
  // Names of the entries directly in the folder, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::filesystem::path root;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

// "61 01 FF": two upper-case hex digits per byte, separated by spaces.
std::string Hex(std::string_view bytes);
// The inverse of Hex; whitespace between bytes is ignored.
std::string FromHex(std::string_view hex);

struct RunResult {
  int exitCode = -1;  // the exit status, or 128 + signal number
  std::string out;
  std::string err;
};

// Starts argv[0] (a path) with the arguments argv[1..] in `workDir`, with
// standard input from `stdinPath` and standard output and error into the
// files named, and returns its process id without waiting.
int StartCommand(const std::vector<std::string>& argv, const std::filesystem::path& workDir,
                 const std::string& stdinPath, const std::string& stdoutPath,
                 const std::string& stderrPath);
// Waits for a started command and returns its exit status (128 + signal
// number when a signal ended it).
int WaitCommand(int pid);

// Runs argv[0] (a path) with the arguments argv[1..] in `workDir`, standard
// input from `stdinPath` (or /dev/null), and returns its exit status and what
// it wrote to standard output and standard error.
RunResult RunCommand(const std::vector<std::string>& argv, const std::filesystem::path& workDir,
                     const std::string& stdinPath = "/dev/null");

// Descriptors for the tests of the descriptor calls: `path` opened for
// reading, or made empty for writing; -1 when it cannot be.
int OpenDescriptor(const std::filesystem::path& path, bool writing);
// A pipe: ends[0] reads what ends[1] writes. False when none could be made.
bool MakePipe(int ends[2]);
// Whether `fd` is open.
bool IsOpenDescriptor(int fd);

// Whether RunShell() has a shell to run: POSIX systems have bash; on Windows
// the tests that need one are skipped.
bool HaveShell();

// Runs `bash -c script` in `workDir`.
RunResult RunShell(const std::string& script, const std::filesystem::path& workDir);

// Runs the built tarvel executable with `args` in `workDir`.
RunResult RunTarvelBinary(const std::vector<std::string>& args,
                          const std::filesystem::path& workDir);

// Runs the built untarvel executable with `args` in `workDir`.
RunResult RunUntarvelBinary(const std::vector<std::string>& args,
                            const std::filesystem::path& workDir);

}  // namespace tarvel::testing
