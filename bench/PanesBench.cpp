// The tool panes' own costs:
//   - one 500 ms performance tick for 48 disks (processor, memory and three
//     counters per disk: 146 counters), the sampler's arithmetic and the
//     live lists, over scripted counters (the counter library's own time is
//     the system's, not ours);
//   - collecting the system information on the demo machine (WMI answered
//     by the simulated machine at once, so the time is the program's).
//
//   PanesBench [ticks]
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "os/sim/DemoMachine.h"
#include "os/sim/SimPerformance.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/StdFileSystem.h"
#include "tools/PerformanceSampler.h"
#include "tools/SystemInfo.h"

namespace {

uint64_t CpuNanoseconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

}  // namespace

int main(int argc, char** argv) {
  const int ticks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;
  constexpr int DISKS = 48;

  os::sim::CSimPerformanceCounters counters;
  os::sim::CounterScript cpu, rate;
  for (int i = 0; i < 64; ++i) {
    cpu.emplace_back(static_cast<double>(i % 100));
    rate.emplace_back(static_cast<double>(i) * 12345678.0);
  }
  counters.SetScript(COUNTER_PROCESSOR_TIME, cpu);
  counters.SetScript(COUNTER_AVAILABLE_MB, cpu);
  std::vector<PerformanceDisk> disks;
  for (int d = 0; d < DISKS; ++d) {
    const std::string letter = std::string(1, static_cast<char>('C' + d % 24)) + ": \n";
    disks.push_back({letter, d, false});
    for (const char* what : {"Disk Read Bytes/sec", "Disk Write Bytes/sec", "Disk Bytes/sec"}) {
      counters.SetScript(DiskCounterPath(d, letter, what), rate);
    }
  }
  CPerformanceSampler sampler(&counters);
  if (!sampler.Start(disks)) return 1;
  const std::vector<int8_t> temperatures(DISKS, 40);
  std::vector<double> perTick;
  const uint64_t start = CpuNanoseconds();
  const int rounds = 20;
  for (int r = 0; r < rounds; ++r) {
    const uint64_t t0 = CpuNanoseconds();
    for (int i = 0; i < ticks / rounds; ++i) {
      sampler.Tick();
      sampler.AppendLiveSamples(temperatures, false);
      (void)ComputeDiskReadouts(sampler, 0, RateUnits());
    }
    perTick.push_back(static_cast<double>(CpuNanoseconds() - t0) / (ticks / rounds) / 1000.0);
  }
  const double total = static_cast<double>(CpuNanoseconds() - start) / 1e6;
  std::sort(perTick.begin(), perTick.end());
  std::printf(
      "performance tick, %d disks: median %.2f us, max %.2f us CPU per tick (%d ticks, "
      "%.1f ms)\n",
      DISKS, perTick[perTick.size() / 2], perTick.back(), ticks, total);

  auto loaded = os::sim::LoadDemoMachine();
  if (!loaded.Machine) return 1;
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), files);
  os::Platform platform = sim.Get();
  std::vector<double> collect;
  for (int i = 0; i < 50; ++i) {
    const uint64_t t0 = CpuNanoseconds();
    const SystemInfo info = CollectSystemInfo(platform.Wmi, platform.System, "Unknown");
    collect.push_back(static_cast<double>(CpuNanoseconds() - t0) / 1e6);
    if (info.Text.Cpu.empty()) return 1;
  }
  std::sort(collect.begin(), collect.end());
  std::printf("system information on the demo machine: median %.3f ms CPU\n",
              collect[collect.size() / 2]);
  return 0;
}
