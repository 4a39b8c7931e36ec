// What the programs ask of Windows: standard handles in binary, the console
// in UTF-8, the command line in UTF-8, and the console's control events
// (Ctrl+C, Ctrl+Break, a closed window), which remove an unfinished output
// before the process ends as it would have.
#include "platform/utf16.h"
//
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <mutex>

#include "platform/process.h"

namespace tarvel {

namespace {

// The file a control event must remove, and the lock that the library's
// creations, renames and removals of such files hold: the event's handler,
// which runs on a thread of its own, waits for them.
std::recursive_mutex pendingLock;
int pendingFolder = -1;
const char* pendingName = nullptr;

BOOL WINAPI RemovePending(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT ||
      event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    const std::lock_guard<std::recursive_mutex> lock(pendingLock);
    if (pendingName != nullptr) {
      const HANDLE folder = reinterpret_cast<HANDLE>(_get_osfhandle(pendingFolder));
      std::wstring path(MAX_PATH, L'\0');
      const DWORD size =
          GetFinalPathNameByHandleW(folder, path.data(), static_cast<DWORD>(path.size()), 0);
      path.resize(size < path.size() ? size : 0);
      if (!path.empty() && path.back() != L'\\') path += L'\\';
      DeleteFileW((path + Utf16(pendingName)).c_str());
      pendingName = nullptr;
    }
  }
  return FALSE;  // then as the event would have ended the process
}

bool SameHandleFile(HANDLE a, HANDLE b) {
  DWORD mode = 0;
  if (GetConsoleMode(a, &mode) && GetConsoleMode(b, &mode)) return true;
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace

void OpenStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (_get_osfhandle(fd) == -1) {
      // NUL, open for the other way than its own, so that an output that
      // names it is refused rather than lost.
      const int opened = _wopen(L"NUL", fd == 0 ? _O_WRONLY : _O_RDONLY);
      if (opened >= 0 && opened != fd) {
        _dup2(opened, fd);
        _close(opened);
      }
    }
    // Every byte as it is, in pipes and files: no translation of line ends.
    _setmode(fd, _O_BINARY);
  }
  // Names in messages and the report are UTF-8.
  SetConsoleOutputCP(CP_UTF8);
}

void InstallSignalHandling() { SetConsoleCtrlHandler(RemovePending, TRUE); }

bool IsTerminal(int fd) {
  DWORD mode = 0;
  return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), &mode) != 0;
}

bool StandardErrorIsStandardOutput() {
  return SameHandleFile(reinterpret_cast<HANDLE>(_get_osfhandle(1)),
                        reinterpret_cast<HANDLE>(_get_osfhandle(2)));
}

void SignalWatcher::Enter() { pendingLock.lock(); }

void SignalWatcher::Leave() { pendingLock.unlock(); }

void SignalWatcher::Pending(int folder, const char* name) {
  const std::lock_guard<std::recursive_mutex> lock(pendingLock);
  pendingFolder = folder;
  pendingName = name;
}

std::vector<std::string> CommandLineArguments(int /*argc*/, char** /*argv*/) {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return arguments;
  for (int k = 0; k < count; ++k) arguments.push_back(Utf8(wide[k]));
  LocalFree(wide);
  return arguments;
}

std::filesystem::path PathFromUtf8(const std::string& name) {
  return std::filesystem::path(Utf16(name));
}

}  // namespace tarvel
