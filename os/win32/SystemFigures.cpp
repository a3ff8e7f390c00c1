#include "os/SystemFigures.h"

#include <windows.h>

namespace os {
namespace {

uint64_t Ticks(const FILETIME& t) {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

}  // namespace

bool ReadMemoryFigures(MemoryFigures* figures) {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return false;
  figures->TotalMb = status.ullTotalPhys / (1024 * 1024);
  figures->AvailableMb = status.ullAvailPhys / (1024 * 1024);
  return true;
}

bool ReadCpuTimes(CpuTimes* times) {
  FILETIME idle{};
  FILETIME kernel{};
  FILETIME user{};
  if (!GetSystemTimes(&idle, &kernel, &user)) return false;
  // Kernel time includes the idle time.
  times->Total = Ticks(kernel) + Ticks(user);
  times->Busy = times->Total - Ticks(idle);
  return true;
}

}  // namespace os
