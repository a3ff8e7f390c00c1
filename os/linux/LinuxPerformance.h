// Performance counters on Linux, from the kernel's statistics files under
// the /proc root: "\Processor(_Total)\% Processor Time" from /proc/stat,
// "\Memory\Available MBytes" from /proc/meminfo, and per disk
// "\PhysicalDisk(N ...)\Disk Read Bytes/sec", "...\Disk Write Bytes/sec"
// and "...\Disk Bytes/sec" from /proc/diskstats, where N is the disk's
// physical drive number (its place in the sysfs disk list). Rates are
// taken between two collections over the time the clock says passed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "os/PerformanceCounters.h"
#include "os/linux/SysfsDisks.h"

namespace os {

class CLinuxPerformanceCounters : public IPerformanceCounters {
 public:
  // `nowMs`: a monotonic clock in milliseconds (the steady clock by default).
  explicit CLinuxPerformanceCounters(LinuxRoots roots = {},
                                     std::function<uint64_t()> nowMs = nullptr);
  std::unique_ptr<IPerformanceQuery> OpenQuery() override;

 private:
  LinuxRoots m_Roots;
  std::function<uint64_t()> m_NowMs;
};

}  // namespace os
