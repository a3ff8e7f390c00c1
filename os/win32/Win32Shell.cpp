#include "os/win32/Win32Shell.h"

#include <windows.h>

#include <shellapi.h>

#include "os/win32/WinText.h"

namespace os {

bool CWin32Shell::Open(const std::string& file, const std::string& parameters,
                       const std::string& folder) {
  if (file.empty() || HasNul(file) || HasNul(parameters) || HasNul(folder)) return false;
  const std::wstring f = Utf8ToWide(file), p = Utf8ToWide(parameters), d = Utf8ToWide(folder);
  const HINSTANCE r = ShellExecuteW(nullptr, L"open", f.c_str(), p.empty() ? nullptr : p.c_str(),
                                    d.empty() ? nullptr : d.c_str(), SW_SHOWNORMAL);
  // Values above 32 mean success.
  return reinterpret_cast<INT_PTR>(r) > 32;
}

HiddenRun CWin32Shell::RunHidden(const std::string& program, const std::string& commandLine,
                                 uint32_t timeoutMs) {
  HiddenRun run;
  if (program.empty() || HasNul(program) || HasNul(commandLine)) return run;
  const std::wstring app = Utf8ToWide(program);
  std::wstring line = Utf8ToWide(commandLine);  // CreateProcessW may write into it
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(app.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &si, &pi)) {
    return run;
  }
  run.Started = true;
  if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    DWORD code = 0;
    run.Finished = GetExitCodeProcess(pi.hProcess, &code) != FALSE;
    run.ExitCode = code;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return run;
}

std::string CWin32Shell::SystemFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const UINT n = GetSystemDirectoryW(buffer, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return {};
  return WideToUtf8(std::wstring(buffer, n));
}

}  // namespace os
