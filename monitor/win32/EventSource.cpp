#include "monitor/win32/EventSource.h"

#include <windows.h>

#include <string>

namespace monitor {
namespace {

constexpr const wchar_t* SOURCE_KEY =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Vardex";

}  // namespace

void RegisterAlarmEventSource(bool on) {
  if (!on) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, SOURCE_KEY);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, SOURCE_KEY);
    return;
  }
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, SOURCE_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  // Values already there (set by an installer or an older copy) stay.
  if (RegQueryValueExW(key, L"EventMessageFile", nullptr, nullptr, nullptr, nullptr) !=
      ERROR_SUCCESS) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = 0;
    for (;;) {
      n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
      if (n < path.size() || path.size() >= 32768) break;
      path.resize(path.size() * 2);
    }
    path.resize(n);
    RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ,
                   reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  }
  if (RegQueryValueExW(key, L"TypesSupported", nullptr, nullptr, nullptr, nullptr) !=
      ERROR_SUCCESS) {
    const DWORD types = 7;
    RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                   sizeof(types));
  }
  RegCloseKey(key);
}

}  // namespace monitor
