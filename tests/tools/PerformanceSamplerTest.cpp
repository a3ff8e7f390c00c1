// The performance sampler over scripted counters: the ring of twenty, the
// means and maxima, missing and failing counters, and what the main window
// and the panes show of the figures.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "os/sim/DemoMachine.h"
#include "os/sim/SimMachine.h"
#include "os/sim/SimPerformance.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/StdFileSystem.h"
#include "tools/PerformanceSampler.h"

using os::sim::CounterScript;
using os::sim::CSimPerformanceCounters;

namespace {

const std::string READ = DiskCounterPath(0, "C:", "Disk Read Bytes/sec");
const std::string WRITE = DiskCounterPath(0, "C:", "Disk Write Bytes/sec");
const std::string TOTAL = DiskCounterPath(0, "C:", "Disk Bytes/sec");

CounterScript Values(std::initializer_list<double> values) {
  CounterScript s;
  for (double v : values) s.emplace_back(v);
  return s;
}

TEST(PerformanceCounterSet, RingOfTwentyAndItsStatistics) {
  CSimPerformanceCounters counters;
  CounterScript script;
  for (int i = 1; i <= 25; ++i) script.emplace_back(i * 10.0);
  counters.SetScript("\\A", script);
  CPerformanceCounterSet set(&counters);
  ASSERT_TRUE(set.Open());
  const int32_t id = set.AddCounter("\\a");  // paths are compared without case
  ASSERT_EQ(id, 0);
  EXPECT_EQ(set.AddCounter("\\missing"), -1);
  CounterStatistics s;
  EXPECT_FALSE(set.GetStatistics(id, &s));  // nothing read yet
  const struct {
    int Ticks;  // collections so far
    int64_t Min, Max, Mean;
    int32_t Count, First;
  } steps[] = {
      {1, 10, 10, 10, 1, 0},
      {20, 10, 200, 105, 20, 0},
      {21, 20, 210, 115, 20, 1},  // the oldest went
      {25, 60, 250, 155, 20, 5},
  };
  int done = 0;
  for (const auto& step : steps) {
    for (; done < step.Ticks; ++done) {
      ASSERT_TRUE(set.Collect());
      EXPECT_EQ(set.GetCounterValue(id), (done + 1) * 10);
    }
    ASSERT_TRUE(set.GetStatistics(id, &s));
    EXPECT_EQ(s.Min, step.Min) << step.Ticks;
    EXPECT_EQ(s.Max, step.Max) << step.Ticks;
    EXPECT_EQ(s.Mean, step.Mean) << step.Ticks;
    EXPECT_EQ(set.Counters()[0].Count, step.Count);
    EXPECT_EQ(set.Counters()[0].FirstSlot, step.First);
  }
  EXPECT_EQ(set.GetCounterValue(7), COUNTER_UNAVAILABLE);
  EXPECT_FALSE(set.GetStatistics(-1, &s));
}

TEST(PerformanceCounterSet, SixtyFourBitValuesAndTheirMean) {
  // 3 GiB/s and more do not wrap; the mean of huge values does not overflow.
  CSimPerformanceCounters counters;
  counters.SetScript("\\A", Values({3.0 * 1024 * 1024 * 1024, 9.0e18, 9.0e18, -5, 1e300}));
  CPerformanceCounterSet set(&counters);
  ASSERT_TRUE(set.Open());
  ASSERT_EQ(set.AddCounter("\\A"), 0);
  const int64_t expected[] = {3221225472LL, 9000000000000000000LL, 9000000000000000000LL, 0,
                              INT64_MAX};
  for (int64_t e : expected) {
    ASSERT_TRUE(set.Collect());
    EXPECT_EQ(set.GetCounterValue(0), e);
  }
  CounterStatistics s;
  ASSERT_TRUE(set.GetStatistics(0, &s));
  EXPECT_EQ(s.Max, INT64_MAX);
  EXPECT_EQ(s.Min, 0);
  EXPECT_GT(s.Mean, 5000000000000000000LL);
}

struct SamplerCase {
  CSimPerformanceCounters Counters;
  CPerformanceSampler Sampler{&Counters};

  SamplerCase(CounterScript cpu, CounterScript memory, CounterScript read, CounterScript write,
              CounterScript total) {
    if (!cpu.empty()) Counters.SetScript(COUNTER_PROCESSOR_TIME, std::move(cpu));
    if (!memory.empty()) Counters.SetScript(COUNTER_AVAILABLE_MB, std::move(memory));
    if (!read.empty()) Counters.SetScript(READ, std::move(read));
    if (!write.empty()) Counters.SetScript(WRITE, std::move(write));
    if (!total.empty()) Counters.SetScript(TOTAL, std::move(total));
    // The second disk has no drive letter: no counters.
    EXPECT_TRUE(Sampler.Start({{"C:", 0, false}, {"", 1, false}}));
  }
};

TEST(PerformanceSampler, MeansClampsAndMissingValues) {
  SamplerCase c(Values({10, 30, 140}), {std::nullopt, 4096.0, 2048.0}, Values({100, 0, 50}),
                {std::nullopt, 20.0, std::nullopt}, Values({100, 20, 50}));
  EXPECT_FALSE(c.Sampler.CpuUsage());
  EXPECT_FALSE(c.Sampler.AvailableMb());
  ASSERT_TRUE(c.Sampler.Tick());
  EXPECT_EQ(c.Sampler.CpuUsage(), 10);
  EXPECT_FALSE(c.Sampler.AvailableMb());  // its first value is missing
  const DiskCounterRecord& d = c.Sampler.Disks()[0];
  EXPECT_EQ(d.Read, 100);
  EXPECT_EQ(d.Write, COUNTER_UNAVAILABLE);
  EXPECT_DOUBLE_EQ(d.Activity, 100);
  ASSERT_TRUE(c.Sampler.Tick());
  EXPECT_EQ(c.Sampler.CpuUsage(), 20);
  EXPECT_EQ(c.Sampler.AvailableMb(), 4096);
  EXPECT_DOUBLE_EQ(c.Sampler.Disks()[0].Activity, 20);
  ASSERT_TRUE(c.Sampler.Tick());
  // A value above 100 (a counter's rounding) stays in the ring; only the
  // mean is kept to 0-100: (10 + 30 + 140) / 3 = 60.
  EXPECT_EQ(c.Sampler.CpuUsage(), 60);
  EXPECT_EQ(c.Sampler.AvailableMb(), 3072);
  EXPECT_DOUBLE_EQ(c.Sampler.Disks()[0].Activity, 50);
  EXPECT_FALSE(c.Sampler.Disks()[1].HasCounters());
}

TEST(PerformanceSampler, ProcessorMeanNeverAbove100) {
  SamplerCase c(Values({250}), {}, {}, {}, {});
  ASSERT_TRUE(c.Sampler.Tick());
  EXPECT_EQ(c.Sampler.CpuUsage(), 100);
}

TEST(PerformanceSampler, FailedCollectionKeepsTheFigures) {
  SamplerCase c(Values({10, 90}), Values({1000, 500}), {}, {}, {});
  c.Counters.FailCollections({1});
  ASSERT_TRUE(c.Sampler.Tick());
  EXPECT_FALSE(c.Sampler.Tick());
  EXPECT_EQ(c.Sampler.CpuUsage(), 10);
  EXPECT_EQ(c.Sampler.AvailableMb(), 1000);
  ASSERT_TRUE(c.Sampler.Tick());
  EXPECT_EQ(c.Sampler.CpuUsage(), 50);
}

TEST(PerformanceSampler, NoCounterLibrary) {
  CSimPerformanceCounters counters;
  counters.SetAvailable(false);
  CPerformanceSampler sampler(&counters);
  EXPECT_FALSE(sampler.Start({{"C:", 0, false}}));
  EXPECT_FALSE(sampler.Tick());
  CPerformanceSampler none(nullptr);
  EXPECT_FALSE(none.Start({}));
  EXPECT_FALSE(none.Tick());
  const PerformancePaneFigures f = ComputePerformancePane(none, 16384, -1, -1);
  EXPECT_EQ(f.CpuText, "0%");
  EXPECT_EQ(f.MemoryText, "----");
}

TEST(PerformanceSampler, LiveListsSkipTheTickAfterALogPassAndHold51) {
  SamplerCase c({}, {}, Values({1000}), {std::nullopt}, Values({1000}));
  ASSERT_TRUE(c.Sampler.Tick());
  c.Sampler.AppendLiveSamples({40, 35}, true);
  EXPECT_TRUE(c.Sampler.Live()[0].TemperatureSamples.empty());
  for (int i = 0; i < 60; ++i) {
    c.Sampler.AppendLiveSamples({static_cast<int8_t>(i), 35}, false);
  }
  const LiveSamples& live = c.Sampler.Live()[0];
  EXPECT_EQ(live.TemperatureSamples.size(), 51u);
  EXPECT_EQ(live.TemperatureSamples.front(), 9);
  EXPECT_EQ(live.TemperatureSamples.back(), 59);
  EXPECT_EQ(live.ReadRateSamples.size(), 51u);
  EXPECT_TRUE(live.WriteRateSamples.empty());                   // never available
  EXPECT_TRUE(c.Sampler.Live()[1].TemperatureSamples.empty());  // no counters, no samples
  c.Sampler.ClearLiveSamples(0);
  EXPECT_TRUE(c.Sampler.Live()[0].ReadRateSamples.empty());
}

TEST(PerformanceReadouts, RateTexts) {
  const RateUnits u;
  const struct {
    int64_t Rate;
    const char* One;
    const char* Two;
  } cases[] = {
      {COUNTER_UNAVAILABLE, "0 B/s", "N/A"},
      {0, "0 B/s", "0 \nB/s"},
      {1023, "1023 B/s", "1023 \nB/s"},
      {1024, "1 KB/s", "1 \nKB/s"},
      {1048575, "1023 KB/s", "1023 \nKB/s"},
      {1048576, "1.00 MB/s", "1.00 \nMB/s"},
      {3LL * 1024 * 1024 * 1024, "3072.00 MB/s", "3072.00 \nMB/s"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RateText(c.Rate, u), c.One);
    EXPECT_EQ(RateText(c.Rate, u, true), c.Two);
  }
}

TEST(PerformanceReadouts, GaugeImages) {
  const struct {
    double P;
    int32_t Read, Write;
  } cases[] = {
      {0, 463, 463},  {5, 464, 463},    {10, 465, 463}, {10.5, 465, 464}, {20, 466, 464},
      {45, 468, 467}, {89.9, 472, 471}, {90, 473, 471}, {99, 473, 472},   {100, 473, 473},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadGaugeImage(c.P), c.Read) << c.P;
    EXPECT_EQ(WriteGaugeImage(c.P), c.Write) << c.P;
  }
  const struct {
    double Q;
    int32_t Image;
  } load[] = {{0, 193}, {0.2, 193}, {0.3, 192}, {0.5, 194}, {0.7, 212}, {0.99, 195}, {1, 196}};
  for (const auto& c : load) EXPECT_EQ(LoadImage(c.Q), c.Image) << c.Q;
  EXPECT_EQ(GaugePercentText(100, false), "100%");
  EXPECT_EQ(GaugePercentText(12.345, false), "12.3%");
  EXPECT_EQ(GaugePercentText(0, true), "0.0 %");
  const struct {
    int32_t P, Image;
  } pane[] = {{-3, 520}, {0, 520},  {1, 537},  {5, 537},  {6, 425},  {25, 539},
              {75, 544}, {90, 433}, {91, 546}, {95, 546}, {96, 434}, {100, 434}};
  for (const auto& c : pane) EXPECT_EQ(PerformanceGaugeImage(c.P), c.Image) << c.P;
}

TEST(PerformanceReadouts, SelectedDisk) {
  SamplerCase c({}, {}, Values({2048, 1024}), Values({0, 0}), Values({2048, 1024}));
  ASSERT_TRUE(c.Sampler.Tick());
  ASSERT_TRUE(c.Sampler.Tick());
  const DiskReadouts r = ComputeDiskReadouts(c.Sampler, 0, RateUnits());
  EXPECT_FALSE(r.Cleared);
  EXPECT_EQ(r.ReadText, "1 KB/s");
  EXPECT_EQ(r.ReadPercentText, "50.0%");
  EXPECT_EQ(r.ReadGauge, 50);
  EXPECT_EQ(r.ReadImage, 469);
  EXPECT_EQ(r.WriteText, "0 B/s");
  EXPECT_EQ(r.WritePercentText, "0.0 %");  // its largest value is 0
  EXPECT_EQ(r.WriteImage, 463);
  EXPECT_EQ(r.TotalText, "1 \nKB/s");
  EXPECT_EQ(r.LoadImage, 194);
  const DiskReadouts none = ComputeDiskReadouts(c.Sampler, 1, RateUnits());
  EXPECT_TRUE(none.Cleared);
  EXPECT_EQ(none.ReadText, "----");
  EXPECT_EQ(none.TotalText, "N/A");
}

TEST(PerformancePane, MemoryAndActivity) {
  SamplerCase c(Values({100}), Values({4096}), Values({10}), Values({10}), Values({10}));
  ASSERT_TRUE(c.Sampler.Tick());
  const PerformancePaneFigures f = ComputePerformancePane(c.Sampler, 16384, 0, 0);
  EXPECT_EQ(f.CpuText, "100%");
  EXPECT_EQ(f.CpuImage, 434);
  EXPECT_EQ(f.MemoryText, "75%");
  EXPECT_EQ(f.MemoryImage, 544);
  EXPECT_TRUE(f.ActivityFound);
  EXPECT_EQ(f.ActivityText, "100%");
  // An unknown memory size is shown as unknown, not divided by.
  EXPECT_EQ(ComputePerformancePane(c.Sampler, 0, 0, 0).MemoryText, "----");
  const auto noSystemDisk = ComputePerformancePane(c.Sampler, 16384, -1, -1);
  EXPECT_FALSE(noSystemDisk.ActivityFound);
  EXPECT_EQ(noSystemDisk.ActivityText, "0%");
  // Its built-in picture is the empty gauge, as its text says, not a tenth.
  EXPECT_EQ(noSystemDisk.ActivityImage, 520);
  EXPECT_EQ(ComputePerformancePane(c.Sampler, 16384, 1, 1).ActivityText, "0%");  // no counters

  const struct {
    uint32_t Ram;
    std::optional<int64_t> Available;
    std::optional<int32_t> Percent;
  } memory[] = {
      {16384, 4096, 75}, {16384, 16384, 0},       {16384, 20000, 0},  // more than installed
      {16384, -5, 100},  {0, 4096, std::nullopt}, {16384, std::nullopt, std::nullopt},
  };
  for (const auto& m : memory) EXPECT_EQ(MemoryUsePercent(m.Ram, m.Available), m.Percent);
  EXPECT_EQ(FindSystemDisk({"D:", "", "E: C:", "C:"}), 2);
  EXPECT_EQ(FindSystemDisk({"D:"}), -1);
}

TEST(PerformanceSampler, ManifestScript) {
  const std::string manifest =
      "[machine]\nversion = 2\n[performance]\n"
      "\\Processor(_Total)\\% Processor Time = 12 30.5 - 7\n";
  os::sim::CMemorySource source(
      "m", {{"machine.ini", std::vector<uint8_t>(manifest.begin(), manifest.end())}});
  auto loaded = os::sim::LoadMachine(source);
  ASSERT_TRUE(loaded.Machine) << loaded.Error;
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), files);
  CPerformanceSampler sampler(sim.Get().Performance);
  ASSERT_TRUE(sampler.Start({}));
  const std::optional<int32_t> expected[] = {12, 21, 21, 16, 14};  // means; "-" is none
  for (const auto& e : expected) {
    ASSERT_TRUE(sampler.Tick());
    EXPECT_EQ(sampler.CpuUsage(), e);
  }
  const struct {
    const char* Lines;
    const char* Error;
  } bad[] = {
      {"\\A = 1 x\n", "counter values must be"},
      {"\\A = -1\n", "counter values must be"},
      {"\\A =\n", "without values"},
      {"\\A = 1\n\\a = 2\n", "given twice"},
  };
  for (const auto& b : bad) {
    const std::string m = std::string("[machine]\nversion = 2\n[performance]\n") + b.Lines;
    os::sim::CMemorySource s("m", {{"machine.ini", std::vector<uint8_t>(m.begin(), m.end())}});
    const auto r = os::sim::LoadMachine(s);
    EXPECT_FALSE(r.Machine) << b.Lines;
    EXPECT_NE(r.Error.find(b.Error), std::string::npos) << r.Error;
  }
}

}  // namespace

namespace {

TEST(PerformanceSampler, DiskCounterPaths) {
  EXPECT_EQ(DiskCounterPath(0, "C: \nD: \n", "Disk Bytes/sec"),
            "\\PhysicalDisk(0 C: D:)\\Disk Bytes/sec");
  EXPECT_EQ(DiskCounterPath(12, "E: \r\n", "Disk Read Bytes/sec"),
            "\\PhysicalDisk(12 E:)\\Disk Read Bytes/sec");
}

TEST(PerformanceSampler, DemoMachineSystemDisk) {
  auto loaded = os::sim::LoadDemoMachine();
  ASSERT_TRUE(loaded.Machine) << loaded.Error;
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), files);
  CPerformanceSampler sampler(sim.Get().Performance);
  ASSERT_TRUE(sampler.Start({{"C: \n", 0, false}, {"", 3, false}}));
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(sampler.Tick());
  EXPECT_TRUE(sampler.Disks()[0].HasCounters());
  EXPECT_FALSE(sampler.Disks()[1].HasCounters());
  const PerformancePaneFigures f = ComputePerformancePane(sampler, 24463, 0, 0);
  EXPECT_EQ(f.CpuText, "34%");  // (12 + 18 + 9 + 35 + 64 + 71) / 6
  EXPECT_EQ(f.ActivityText, "100%");
  EXPECT_EQ(f.MemoryText, "43%");  // 13864 of 24463 MiB available
}

}  // namespace
