// Whole-system figures for the status service: installed and available
// memory and the processor's busy time. Implemented per system
// (/proc/meminfo and /proc/stat on Linux, GlobalMemoryStatusEx and
// GetSystemTimes on Windows).
#pragma once

#include <cstdint>

namespace os {

struct MemoryFigures {
  uint64_t TotalMb = 0;
  uint64_t AvailableMb = 0;
};

// Processor time since boot, all processors together, in the system's units.
struct CpuTimes {
  uint64_t Busy = 0;
  uint64_t Total = 0;
};

// False when the system would not say.
bool ReadMemoryFigures(MemoryFigures* figures);
bool ReadCpuTimes(CpuTimes* times);

// Percent busy between two readings (0 when no time passed).
inline int32_t CpuUsagePercent(const CpuTimes& before, const CpuTimes& after) {
  if (after.Total <= before.Total || after.Busy < before.Busy) return 0;
  const uint64_t busy = after.Busy - before.Busy;
  const uint64_t total = after.Total - before.Total;
  return static_cast<int32_t>(busy >= total ? 100 : busy * 100 / total);
}

}  // namespace os
