#include "os/SystemFigures.h"

#include <cstdio>
#include <cstring>

namespace os {

bool ReadMemoryFigures(MemoryFigures* figures) {
  std::FILE* f = std::fopen("/proc/meminfo", "r");
  if (f == nullptr) return false;
  char line[256];
  unsigned long long total = 0;
  unsigned long long available = 0;
  bool haveTotal = false;
  bool haveAvailable = false;
  while (std::fgets(line, sizeof line, f) != nullptr) {
    unsigned long long kb = 0;
    if (std::sscanf(line, "MemTotal: %llu kB", &kb) == 1) {
      total = kb;
      haveTotal = true;
    } else if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) {
      available = kb;
      haveAvailable = true;
    }
  }
  std::fclose(f);
  if (!haveTotal || !haveAvailable) return false;
  figures->TotalMb = total / 1024;
  figures->AvailableMb = available / 1024;
  return true;
}

bool ReadCpuTimes(CpuTimes* times) {
  std::FILE* f = std::fopen("/proc/stat", "r");
  if (f == nullptr) return false;
  unsigned long long v[8] = {};
  const int n = std::fscanf(f, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &v[0], &v[1], &v[2],
                            &v[3], &v[4], &v[5], &v[6], &v[7]);
  std::fclose(f);
  if (n < 4) return false;
  uint64_t total = 0;
  for (unsigned long long x : v) total += x;
  // Idle and waiting for I/O (fields 4 and 5) are not busy.
  times->Total = total;
  times->Busy = total - v[3] - v[4];
  return true;
}

}  // namespace os
