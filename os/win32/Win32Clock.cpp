#include "os/win32/Win32Clock.h"

#include <windows.h>

#include <ctime>

namespace os {

uint64_t CWin32Clock::TickCount() { return GetTickCount64(); }

int64_t CWin32Clock::Now() { return static_cast<int64_t>(std::time(nullptr)); }

std::tm CWin32Clock::LocalTime(int64_t t) {
  std::tm local{};
  std::time_t value = static_cast<std::time_t>(t);
  if (localtime_s(&local, &value) != 0) return std::tm{};
  return local;
}

int64_t CWin32Clock::MakeLocalTime(const std::tm& local) {
  std::tm copy = local;
  return static_cast<int64_t>(std::mktime(&copy));
}

void CWin32Clock::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace os
