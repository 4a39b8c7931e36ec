#include "support/scratch.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace tarvel::testing {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "tarvel-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  // Restore permissions a test may have taken away, so that removal works.
  fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (const auto& entry : fs::directory_iterator(root, ignored)) {
    if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(root, ignored);
}

std::vector<std::string> ScratchDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(root)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (!text.empty()) text.push_back(' ');
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 15]);
  }
  return text;
}

std::string FromHex(std::string_view hex) {
  std::string bytes;
  std::string digits;
  for (const char c : hex) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    digits.push_back(c);
    if (digits.size() == 2) {
      bytes.push_back(static_cast<char>(std::stoi(digits, nullptr, 16)));
      digits.clear();
    }
  }
  if (!digits.empty()) throw std::invalid_argument("odd number of hex digits");
  return bytes;
}

int StartCommand(const std::vector<std::string>& argv, const fs::path& workDir,
                 const std::string& stdinPath, const std::string& stdoutPath,
                 const std::string& stderrPath) {
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (chdir(workDir.c_str()) != 0) _exit(126);
    const int inFd = open(stdinPath.c_str(), O_RDONLY);
    const int outFd = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFd = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (inFd < 0 || outFd < 0 || errFd < 0) _exit(126);
    dup2(inFd, 0);
    dup2(outFd, 1);
    dup2(errFd, 2);
    // The command starts with the standard descriptors only, as from a shell.
    for (int fd = 3; fd < 1024; ++fd) close(fd);
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

int WaitCommand(int pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

RunResult RunCommand(const std::vector<std::string>& argv, const fs::path& workDir,
                     const std::string& stdinPath) {
  char outPattern[] = "/tmp/tarvel-out-XXXXXX";
  char errPattern[] = "/tmp/tarvel-err-XXXXXX";
  const int outFd = mkstemp(outPattern);
  const int errFd = mkstemp(errPattern);
  if (outFd < 0 || errFd < 0) throw std::runtime_error("mkstemp failed");
  close(outFd);
  close(errFd);

  RunResult result;
  result.exitCode = WaitCommand(StartCommand(argv, workDir, stdinPath, outPattern, errPattern));
  result.out = ReadFile(outPattern);
  result.err = ReadFile(errPattern);
  std::remove(outPattern);
  std::remove(errPattern);
  return result;
}

RunResult RunShell(const std::string& script, const fs::path& workDir) {
  return RunCommand({"/bin/bash", "-c", script}, workDir);
}

RunResult RunTarvelBinary(const std::vector<std::string>& args, const fs::path& workDir) {
  std::vector<std::string> argv{TARVEL_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv, workDir);
}

}  // namespace tarvel::testing

namespace tarvel::testing {

RunResult RunUntarvelBinary(const std::vector<std::string>& args,
                            const std::filesystem::path& workDir) {
  std::vector<std::string> argv{UNTARVEL_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv, workDir);
}

}  // namespace tarvel::testing
