// Performance counters on Linux over /proc files written by the test, with
// a clock the test moves: rates between collections, counters that go
// backwards, no time passing, files that vanish.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "os/linux/LinuxPerformance.h"
#include "os/linux/ProcStats.h"
#include "tests/support/TempDir.h"
#include "tools/PerformanceSampler.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

TEST(ProcStats, Parsers) {
  const auto cpu =
      os::ParseProcStatCpu("intr 1 2\ncpu  100 5 45 800 50 0 0 0 7 0\ncpu0 1 1 1 1 1 1 1 1 1 1\n");
  ASSERT_TRUE(cpu);
  EXPECT_EQ(cpu->Total, 1000u);
  EXPECT_EQ(cpu->Busy, 150u);
  EXPECT_FALSE(os::ParseProcStatCpu("cpu  1 2 x 4\n"));
  EXPECT_FALSE(os::ParseProcStatCpu("cpu0 1 2 3 4 5\n"));
  EXPECT_FALSE(os::ParseProcStatCpu("cpu  18446744073709551615 1 0 0\n"));  // sum overflows

  EXPECT_EQ(os::ParseMemAvailableKb("MemTotal: 9 kB\nMemAvailable:   8123456 kB\n"), 8123456u);
  // Old kernels: free + buffers + cached.
  EXPECT_EQ(os::ParseMemAvailableKb("MemFree: 100 kB\nBuffers: 20 kB\nCached: 3 kB\n"), 123u);
  EXPECT_FALSE(os::ParseMemAvailableKb("MemFree: 100 kB\n"));

  const auto disks = os::ParseDiskStats(
      "   8       0 sda 9120 1234 812345 4500 3300 2100 455678 9000 0 7000 13500\n"
      "   8       1 sda1 1 2 3\n"
      " 259       0 nvme0n1 1 2 x 4 5 6 7 8 9 10\n");
  ASSERT_EQ(disks.size(), 1u);
  EXPECT_EQ(disks.at("sda").SectorsRead, 812345u);
  EXPECT_EQ(disks.at("sda").SectorsWritten, 455678u);
}

struct ProcTree {
  testutil::CTempDir Dir;
  os::LinuxRoots Roots;
  uint64_t NowMs = 1000;

  ProcTree() {
    Roots.Sys = (Dir.Path() / "sys").string();
    Roots.Proc = (Dir.Path() / "proc").string();
    // Two disks: sda is physical drive 0, nvme0n1 drive 1.
    for (const char* name : {"sda", "nvme0n1"}) {
      fs::create_directories(Dir.Path() / "sys" / "block" / name);
    }
  }
  void Stat(uint64_t busy, uint64_t idle) {
    Write(Dir.Path() / "proc" / "stat",
          "cpu  " + std::to_string(busy) + " 0 0 " + std::to_string(idle) + " 0 0 0 0 0 0\n");
  }
  void Disk(uint64_t read, uint64_t written) {
    Write(Dir.Path() / "proc" / "diskstats",
          "   8 0 sda 1 0 " + std::to_string(read) + " 0 1 0 " + std::to_string(written) +
              " 0 0 0 0\n 259 0 nvme0n1 0 0 0 0 0 0 0 0 0 0 0\n");
  }
};

TEST(LinuxPerformance, RatesBetweenCollections) {
  ProcTree t;
  os::CLinuxPerformanceCounters counters(t.Roots, [&t] { return t.NowMs; });
  auto q = counters.OpenQuery();
  ASSERT_TRUE(q);
  const int32_t cpu = q->AddCounter("\\Processor(_Total)\\% Processor Time");
  const int32_t memory = q->AddCounter("\\memory\\available mbytes");
  const int32_t read = q->AddCounter("\\PhysicalDisk(0 C:)\\Disk Read Bytes/sec");
  const int32_t write = q->AddCounter("\\PhysicalDisk(0 C:)\\Disk Write Bytes/sec");
  const int32_t total = q->AddCounter("\\PhysicalDisk(0 C:)\\Disk Bytes/sec");
  EXPECT_GE(cpu, 0);
  EXPECT_EQ(q->AddCounter("\\PhysicalDisk(7 X:)\\Disk Bytes/sec"), -1);  // no such drive
  EXPECT_EQ(q->AddCounter("\\PhysicalDisk(0 C:)\\Avg. Disk Queue Length"), -1);
  EXPECT_EQ(q->AddCounter("\\Processor(0)\\% Idle Time"), -1);

  t.Stat(100, 900);
  Write(t.Dir.Path() / "proc" / "meminfo", "MemAvailable: 4194304 kB\n");
  t.Disk(1000, 0);
  ASSERT_TRUE(q->Collect());
  EXPECT_EQ(q->Value(memory), 4096.0);
  EXPECT_FALSE(q->Value(cpu));  // a rate needs two collections
  EXPECT_FALSE(q->Value(read));

  const struct {
    uint64_t Ms;
    uint64_t Busy, Idle;
    uint64_t Read, Written;
    std::optional<double> Cpu, Read_, Write_, Total_;
  } steps[] = {
      // 500 ms: 2048 sectors read = 1 MiB in half a second.
      {500, 150, 950, 3048, 8, 50.0, 2097152.0, 8192.0, 2105344.0},
      // No time passed: no disk rate (the processor's own counts still tell).
      {0, 200, 1000, 3048, 8, 50.0, std::nullopt, std::nullopt, std::nullopt},
      // The disk was replaced and its counts began again: no rate, not a
      // huge one; nor a processor count that went back.
      {500, 100, 1000, 10, 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
      // Past 4 GiB a second: 64-bit all the way.
      {1000, 200, 1100, 10 + 10'000'000, 0, 50.0, 5120000000.0, 0.0, 5120000000.0},
  };
  for (const auto& s : steps) {
    t.NowMs += s.Ms;
    t.Stat(s.Busy, s.Idle);
    t.Disk(s.Read, s.Written);
    ASSERT_TRUE(q->Collect());
    EXPECT_EQ(q->Value(cpu), s.Cpu) << s.Busy;
    EXPECT_EQ(q->Value(read), s.Read_) << s.Read;
    EXPECT_EQ(q->Value(write), s.Write_) << s.Read;
    EXPECT_EQ(q->Value(total), s.Total_) << s.Read;
  }

  // A file that cannot be read fails the collection and keeps the values.
  fs::remove(t.Dir.Path() / "proc" / "diskstats");
  EXPECT_FALSE(q->Collect());
  EXPECT_EQ(q->Value(total), 5120000000.0);
  EXPECT_FALSE(q->Value(99));
}

TEST(LinuxPerformance, SamplerOnTheRealSystem) {
  // The machine running the tests: the processor and memory counters exist
  // and read within their ranges after two ticks.
  os::CLinuxPerformanceCounters counters;
  CPerformanceSampler sampler(&counters);
  ASSERT_TRUE(sampler.Start({}));
  ASSERT_TRUE(sampler.Tick());
  ASSERT_TRUE(sampler.Tick());
  ASSERT_TRUE(sampler.AvailableMb());
  EXPECT_GT(*sampler.AvailableMb(), 0);
  if (sampler.CpuUsage()) {  // no time may have passed between the ticks
    EXPECT_GE(*sampler.CpuUsage(), 0);
    EXPECT_LE(*sampler.CpuUsage(), 100);
  }
}

}  // namespace
