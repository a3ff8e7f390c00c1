#include "os/win32/Win32System.h"

#include <windows.h>

#include <iterator>

#include "os/WindowsCommandLine.h"
#include "os/win32/WinHandle.h"
#include "os/win32/WinText.h"

namespace os {
namespace {

// The longest command line CreateProcessW accepts, in UTF-16 units with
// the terminating NUL.
constexpr size_t MAX_COMMAND_LINE = 32768;

class CWin32NamedMutex final : public INamedMutex {
 public:
  explicit CWin32NamedMutex(CWinHandle handle) : m_Handle(std::move(handle)) {}

 private:
  CWinHandle m_Handle;
};

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);

OsVersion FromRecord(const OSVERSIONINFOEXW& info, bool extended) {
  OsVersion v;
  v.MajorVersion = info.dwMajorVersion;
  v.MinorVersion = info.dwMinorVersion;
  v.BuildNumber = info.dwBuildNumber;
  v.PlatformId = info.dwPlatformId;
  size_t length = 0;
  while (length < std::size(info.szCSDVersion) && info.szCSDVersion[length] != L'\0') ++length;
  v.CSDVersion = WideToUtf8(info.szCSDVersion, length);
  v.Extended = extended;
  if (extended) {
    v.ServicePackMajor = info.wServicePackMajor;
    v.ServicePackMinor = info.wServicePackMinor;
    v.ProductType = info.wProductType;
  }
  return v;
}

}  // namespace

OsVersion CWin32System::GetOsVersion() {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
    // Through a plain function pointer type first: gcc warns on a direct
    // cast between unrelated function types.
    auto proc = reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "RtlGetVersion"));
    if (auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(proc)) {
      if (rtlGetVersion(&info) == 0) return FromRecord(info, true);
    }
  }
  info = OSVERSIONINFOEXW{};
  info.dwOSVersionInfoSize = sizeof info;
  if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return FromRecord(info, true);
  info = OSVERSIONINFOEXW{};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
  if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return FromRecord(info, false);
  return OsVersion{};
}

std::unique_ptr<INamedMutex> CWin32System::CreateNamedMutex(const std::string& name,
                                                            bool* alreadyExisted) {
  if (alreadyExisted) *alreadyExisted = false;
  if (HasNul(name)) return nullptr;
  std::wstring wide = Utf8ToWide(name);
  CWinHandle handle(CreateMutexW(nullptr, FALSE, wide.empty() ? nullptr : wide.c_str()));
  DWORD error = GetLastError();
  if (!handle) return nullptr;
  if (alreadyExisted) *alreadyExisted = error == ERROR_ALREADY_EXISTS;
  return std::make_unique<CWin32NamedMutex>(std::move(handle));
}

bool CWin32System::StartProcess(const std::string& path, const std::vector<std::string>& args) {
  if (path.empty()) return false;
  std::optional<std::string> line = BuildWindowsCommandLine(path, args);
  if (!line) return false;
  std::wstring application = Utf8ToWide(path);
  std::wstring command = Utf8ToWide(*line);
  if (command.size() >= MAX_COMMAND_LINE) return false;
  // CreateProcessW may write into the command line buffer.
  command.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  CWinHandle processHandle(process.hProcess);
  CWinHandle threadHandle(process.hThread);
  return true;
}

void CWin32System::ShowMessage(const std::string& text, const std::string& caption) {
  std::wstring wideText = Utf8ToWide(text);
  std::wstring wideCaption = Utf8ToWide(caption);
  MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(), MB_OK);
}

}  // namespace os
