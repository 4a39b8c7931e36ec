// Starting and waiting for commands, and the shell, on POSIX systems.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "support/scratch.h"

namespace tarvel::testing {

namespace fs = std::filesystem;

bool HaveShell() { return true; }

int OpenDescriptor(const fs::path& path, bool writing) {
  return writing ? open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)
                 : open(path.c_str(), O_RDONLY);
}

bool MakePipe(int ends[2]) { return pipe(ends) == 0; }

bool IsOpenDescriptor(int fd) { return fcntl(fd, F_GETFD) != -1; }

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

RunResult RunShell(const std::string& script, const fs::path& workDir) {
  return RunCommand({"/bin/bash", "-c", script}, workDir);
}

}  // namespace tarvel::testing
