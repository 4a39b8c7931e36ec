// Starting and waiting for commands on Windows; there is no shell.
#include "platform/utf16.h"
//
#include <fcntl.h>
#include <io.h>

#include <map>
#include <mutex>
#include <stdexcept>
#include <string>

#include "support/scratch.h"

namespace tarvel::testing {

namespace fs = std::filesystem;

namespace {

// One argument as the C runtime's parser reads it back.
std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L"\"";
}

HANDLE Inherited(const std::string& path, bool writing) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const std::wstring name = path == "/dev/null" ? L"NUL" : Utf16(path);
  return CreateFileW(name.c_str(), writing ? GENERIC_WRITE : GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                     writing ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::mutex startedLock;
std::map<int, HANDLE> started;

}  // namespace

bool HaveShell() { return false; }

int OpenDescriptor(const fs::path& path, bool writing) {
  return writing ? _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0600)
                 : _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
}

bool MakePipe(int ends[2]) { return _pipe(ends, 1 << 16, _O_BINARY) == 0; }

bool IsOpenDescriptor(int fd) { return _get_osfhandle(fd) != -1; }

int StartCommand(const std::vector<std::string>& argv, const fs::path& workDir,
                 const std::string& stdinPath, const std::string& stdoutPath,
                 const std::string& stderrPath) {
  std::wstring line;
  for (const std::string& argument : argv) {
    if (!line.empty()) line += L' ';
    line += Quoted(Utf16(argument));
  }
  const HANDLE in = Inherited(stdinPath, false);
  const HANDLE out = Inherited(stdoutPath, true);
  const HANDLE err = Inherited(stderrPath, true);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  const std::wstring program = Utf16(argv.front());
  // Wine now and then refuses a start while it is busy: a few more tries.
  BOOL ok = FALSE;
  DWORD error = 0;
  for (int attempt = 0; attempt < 5 && !ok; ++attempt) {
    if (attempt > 0) Sleep(200);
    ok = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        workDir.wstring().c_str(), &startup, &process);
    error = GetLastError();
  }
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  if (!ok) throw std::runtime_error("CreateProcessW failed: error " + std::to_string(error));
  CloseHandle(process.hThread);
  const std::lock_guard<std::mutex> lock(startedLock);
  started[static_cast<int>(process.dwProcessId)] = process.hProcess;
  return static_cast<int>(process.dwProcessId);
}

int WaitCommand(int pid) {
  HANDLE process = nullptr;
  {
    const std::lock_guard<std::mutex> lock(startedLock);
    process = started.at(pid);
    started.erase(pid);
  }
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return static_cast<int>(code);
}

RunResult RunShell(const std::string& /*script*/, const fs::path& /*workDir*/) {
  RunResult skipped;
  skipped.out = "skipped\n";
  return skipped;
}

}  // namespace tarvel::testing
