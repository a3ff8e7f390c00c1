// The machine's facts and performance counters through the real Windows
// calls (under Wine in CI): what the system-information page and the
// performance sampler read.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/win32/Win32Performance.h"
#include "os/win32/Win32System.h"
#include "tools/PerformanceSampler.h"

namespace {

TEST(Win32MachineFacts, ArchitectureProcessorMemoryAdapters) {
  os::CWin32System system;
  const uint16_t arch = system.NativeArchitecture();
  EXPECT_TRUE(arch == os::PROCESSOR_ARCH_X64 || arch == os::PROCESSOR_ARCH_X86 ||
              arch == os::PROCESSOR_ARCH_ARM64)
      << arch;
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  ASSERT_TRUE(GlobalMemoryStatusEx(&status));
  EXPECT_EQ(system.TotalPhysicalMemory(), status.ullTotalPhys);
#if defined(__x86_64__) || defined(__i386__)
  const std::string brand = system.CpuBrandString();
  EXPECT_FALSE(brand.empty());
  EXPECT_LE(brand.size(), 48u);
  EXPECT_EQ(brand.find('\0'), std::string::npos);
#endif
  // The adapter list, read into a buffer of the size the system reports,
  // whatever the number of adapters.
  std::vector<os::NetworkAdapter> adapters;
  if (system.GetNetworkAdapters(&adapters)) {
    for (const os::NetworkAdapter& a : adapters) EXPECT_LE(a.Address.size(), 8u);
  } else {
    EXPECT_TRUE(adapters.empty());
  }
}

TEST(Win32Performance, CountersByEnglishPath) {
  os::CWin32PerformanceCounters counters;
  auto query = counters.OpenQuery();
  ASSERT_TRUE(query);
  EXPECT_EQ(query->AddCounter("\\No Such Object\\No Such Counter"), -1);
  EXPECT_FALSE(query->Value(42));
  // What the system has of these, it reads as non-negative numbers.
  CPerformanceSampler sampler(&counters);
  ASSERT_TRUE(sampler.Start({}));
  for (int i = 0; i < 3; ++i) {
    sampler.Tick();
    Sleep(20);
  }
  if (sampler.CpuUsage()) {
    EXPECT_GE(*sampler.CpuUsage(), 0);
    EXPECT_LE(*sampler.CpuUsage(), 100);
  }
  if (sampler.AvailableMb()) {
    EXPECT_GT(*sampler.AvailableMb(), 0);
  }
}

}  // namespace
