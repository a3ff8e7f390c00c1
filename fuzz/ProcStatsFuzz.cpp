// The kernel's statistics and description files as Linux offers them, with
// any content: /proc/stat, /proc/meminfo, /proc/diskstats, /proc/cpuinfo and
// the route table go through their parsers, and the performance sampler
// runs a few ticks on counters whose values come from the input (NaN,
// infinities, huge and negative values included).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "os/linux/LinuxMachineInfo.h"
#include "os/linux/ProcStats.h"
#include "os/sim/SimPerformance.h"
#include "tools/PerformanceSampler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)os::ParseProcStatCpu(text);
  (void)os::ParseMemAvailableKb(text);
  (void)os::ParseDiskStats(text);
  (void)os::ParseCpuPackages(text);
  (void)os::ParseDefaultGateways(text);

  // Counter values: 8 bytes each, read as doubles; a byte of 0xFF is none.
  os::sim::CSimPerformanceCounters counters;
  os::sim::CounterScript script;
  for (size_t i = 0; i + 8 <= size && script.size() < 64; i += 8) {
    if (data[i] == 0xFF) {
      script.emplace_back();
      continue;
    }
    double v = 0;
    std::memcpy(&v, data + i, sizeof v);
    script.emplace_back(v);
  }
  if (script.empty()) return 0;
  const std::string read = DiskCounterPath(0, "C:", "Disk Read Bytes/sec");
  for (const char* path : {COUNTER_AVAILABLE_MB, COUNTER_PROCESSOR_TIME, read.c_str()}) {
    counters.SetScript(path, script);
  }
  counters.SetScript(DiskCounterPath(0, "C:", "Disk Bytes/sec"), script);
  CPerformanceSampler sampler(&counters);
  sampler.Start({{"C:", 0, false}});
  for (size_t tick = 0; tick < script.size(); ++tick) {
    sampler.Tick();
    sampler.AppendLiveSamples({40}, false);
    (void)ComputeDiskReadouts(sampler, 0, RateUnits());
    (void)ComputePerformancePane(sampler, static_cast<uint32_t>(size), 0, 0);
  }
  return 0;
}
