#include "os/Process.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <optional>
#include <thread>

#include "os/WindowsCommandLine.h"
#include "os/win32/WinHandle.h"
#include "os/win32/WinText.h"

namespace os {
namespace {

constexpr size_t MAX_COMMAND_LINE = 32768;

bool SameName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  }
  return true;
}

}  // namespace

bool IsPrivileged() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  CWinHandle owned(token);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) {
    return false;
  }
  return elevation.TokenIsElevated != 0;
}

bool IsWindowsBuild() { return true; }

std::string GetEnvironment(const std::string& name) {
  const std::wstring wide = Utf8ToWide(name);
  const DWORD size = GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD got = GetEnvironmentVariableW(wide.c_str(), value.data(), size);
  if (got == 0 || got >= size) return {};
  value.resize(got);
  return WideToUtf8(value);
}

bool StartDetached(const std::string& program, const std::vector<std::string>& arguments,
                   const EnvironmentList& extra, std::string* error,
                   std::function<void(int status)> onExit) {
  if (program.empty() || HasNul(program)) {
    *error = "no program to start";
    return false;
  }
  std::optional<std::string> line = BuildWindowsCommandLine(program, arguments);
  if (!line) {
    *error = "the program path or an argument cannot be passed on a command line";
    return false;
  }
  std::wstring command = Utf8ToWide(*line);
  if (command.size() >= MAX_COMMAND_LINE) {
    *error = "command line too long";
    return false;
  }
  command.push_back(L'\0');

  // The environment block: ours, minus the names `extra` replaces, plus
  // `extra`; "NAME=value" strings each ended by a NUL, then one more NUL.
  std::vector<std::wstring> names;
  std::wstring block;
  for (const auto& [name, value] : extra) {
    if (name.empty() || name.find('=') != std::string::npos || HasNul(name) || HasNul(value)) {
      *error = "environment variable name or value not allowed: " + name;
      return false;
    }
    names.push_back(Utf8ToWide(name));
  }
  wchar_t* current = GetEnvironmentStringsW();
  if (current != nullptr) {
    for (const wchar_t* e = current; *e != L'\0'; e += wcslen(e) + 1) {
      const std::wstring entry(e);
      // Entries of drive folders ("=C:=C:\\") start with '='.
      const size_t eq = entry.find(L'=', 1);
      const std::wstring name = entry.substr(0, eq);
      if (std::none_of(names.begin(), names.end(),
                       [&](const std::wstring& n) { return SameName(n, name); })) {
        block += entry;
        block.push_back(L'\0');
      }
    }
    FreeEnvironmentStringsW(current);
  }
  for (const auto& [name, value] : extra) {
    block += Utf8ToWide(name + "=" + value);
    block.push_back(L'\0');
  }
  block.push_back(L'\0');

  const std::wstring application = Utf8ToWide(program);
  const bool hasPath = program.find_first_of("\\/:") != std::string::npos;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  // Without a path the program is searched for as a command line would be.
  if (!CreateProcessW(hasPath ? application.c_str() : nullptr, command.data(), nullptr, nullptr,
                      FALSE, CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, block.data(), nullptr,
                      &startup, &process)) {
    *error = "cannot start " + program + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  CloseHandle(process.hThread);
  HANDLE child = process.hProcess;
  std::thread([child, onExit = std::move(onExit)]() {
    CWinHandle owned(child);
    WaitForSingleObject(child, INFINITE);
    DWORD code = 0;
    const int status = GetExitCodeProcess(child, &code) ? static_cast<int>(code) : -1;
    if (onExit) onExit(status);
  }).detach();
  return true;
}

}  // namespace os
