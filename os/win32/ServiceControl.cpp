// The Windows service control manager. Every call opens the manager and the
// service, does its one thing and closes both.
#include "os/ServiceControl.h"

#include <windows.h>

#include <string>

namespace os {
namespace {

std::wstring Widen(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

// A service handle that closes itself.
class CScHandle {
 public:
  explicit CScHandle(SC_HANDLE handle) : m_Handle(handle) {}
  ~CScHandle() {
    if (m_Handle) CloseServiceHandle(m_Handle);
  }
  CScHandle(const CScHandle&) = delete;
  CScHandle& operator=(const CScHandle&) = delete;
  SC_HANDLE Get() const { return m_Handle; }
  explicit operator bool() const { return m_Handle != nullptr; }

 private:
  SC_HANDLE m_Handle;
};

class CWin32ServiceControl final : public IServiceControl {
 public:
  std::optional<uint32_t> QueryState(const std::string& service) override {
    CScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return std::nullopt;
    CScHandle handle(
        OpenServiceW(manager.Get(), Widen(service).c_str(), SERVICE_QUERY_STATUS | SERVICE_START));
    if (!handle) return std::nullopt;
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(handle.Get(), &status)) return std::nullopt;
    return static_cast<uint32_t>(status.dwCurrentState);
  }

  bool Start(const std::string& service) override {
    CScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    CScHandle handle(
        OpenServiceW(manager.Get(), Widen(service).c_str(), SERVICE_QUERY_STATUS | SERVICE_START));
    if (!handle) return false;
    return StartServiceW(handle.Get(), 0, nullptr) != FALSE;
  }

  bool ConfigureAutoStart(const std::string& service) override {
    wchar_t system[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    std::wstring program = std::wstring(system) + L"\\sc.exe";
    std::wstring command = L"\"" + program + L"\" config " + Widen(service) + L" start= auto";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process)) {
      return false;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode == 0;
  }
};

}  // namespace

std::unique_ptr<IServiceControl> CreateNativeServiceControl() {
  return std::make_unique<CWin32ServiceControl>();
}

}  // namespace os
