// Judging every disk on request: disks the program does not rate (other
// makers' hard disks, SSDs of no known family) are "unknown" by default and
// judged by their attributes with the "EvaluateAllDisks" setting or
// `--all-disks`. Real disks of fixtures/ and the demo machine's failing ones.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "engine/AtaSmart.h"
#include "engine/DiskStatus.h"
#include "engine/SmartFamily.h"
#include "monitor/DiskReport.h"
#include "monitor/Monitor.h"
#include "monitor/TimerHost.h"
#include "os/sim/DemoMachine.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/HistoryTestSupport.h"
#include "tests/support/SectorBuilder.h"
#include "tests/support/SimEngine.h"
#include "tests/support/StdFileSystem.h"

namespace {

// Status of every disk of a machine by serial number, as the report computes it.
std::map<std::string, int32_t> StatusBySerial(os::sim::LoadResult loaded, bool allDisks,
                                              std::string* text = nullptr) {
  EXPECT_TRUE(loaded.Machine.has_value()) << loaded.Error;
  if (!loaded.Machine) return {};
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), files);
  os::Platform platform = sim.Get();
  CAtaSmart ata(platform);
  ata.m_FlagEvaluateAllDisks = allDisks;
  monitor::DiscoverDisks(ata);
  std::map<std::string, int32_t> status;
  for (const auto& asi : ata.vars) status[asi.SerialNumber] = asi.DiskStatus;
  if (text) *text = monitor::DiskReportText(ata.vars, nullptr, allDisks);
  return status;
}

os::sim::LoadResult Fixture(const std::string& name) {
  return os::sim::LoadMachineFolder(
      (std::filesystem::path(STAVRION_SOURCE_DIR) / "fixtures" / name).string());
}

constexpr int32_t U = DISK_STATUS_UNKNOWN;
constexpr int32_t G = DISK_STATUS_GOOD;
constexpr int32_t C = DISK_STATUS_CAUTION;
constexpr int32_t B = DISK_STATUS_BAD;

struct Verdict {
  const char* Machine;  // fixture folder, or "demo"
  const char* Serial;
  int32_t ByDefault;
  int32_t AllDisks;
  const char* Why;
};

const Verdict kVerdicts[] = {
    // Real hard disks of other makers: "unknown" unless asked.
    {"real-ata", "5NJ0R13A", U, B, "attribute 04 at 1 below its threshold 20"},
    {"real-ata", "S0MUJ1NQ110060", U, C, "one reallocated and one pending sector"},
    {"real-ata", "WD-WCAPW0493929", U, C, "63 reallocated, 529 pending sectors"},
    {"real-ata", "SE808N0608", U, C, "reallocation count 0x5000 in the low word"},
    {"real-ata", "K434T81257SL", U, G, "counters only in the upper raw bytes"},
    // A rated SSD is judged as always.
    {"real-ata", "CVPR109301UZ120LGN", G, G, "Intel family, life rated"},
    // SSDs of no rated family: every attribute against its threshold.
    {"families", "SYN0035", U, G, "all attributes above thresholds"},
    {"families", "SYN0041", U, U, "no threshold set: nothing to judge by"},
    {"families", "SYN0038", U, U, "no threshold set: nothing to judge by"},
    // Rated disks keep their verdicts.
    {"families", "SYN0036", B, B, "attribute 01 below its threshold"},
    {"families", "SYN0026", C, C, "life attribute at the caution limit"},
    // The demo machine's failing hard disk and its healthy ones.
    {"demo", "SIM0FAIL0001", U, B, "reallocated sectors past their threshold"},
    {"demo", "SIMUSB0SAT01", U, G, "healthy USB hard disk"},
    {"demo", "SIMRAID00001", U, G, "healthy RAID member"},
    // NVMe: the health log's rules, now also for an unrated controller.
    {"demo", "2009A0123456", U, G, "NVMe spare and wear fine"},
    {"demo", "2J1420012345", B, B, "NVMe critical warning"},
};

os::sim::LoadResult Load(const std::string& machine) {
  return machine == "demo" ? os::sim::LoadDemoMachine() : Fixture(machine);
}

TEST(AllDisks, VerdictsWithAndWithoutTheOption) {
  std::map<std::string, std::map<std::string, int32_t>> byDefault, allDisks;
  for (const Verdict& v : kVerdicts) {
    if (!byDefault.count(v.Machine)) {
      byDefault[v.Machine] = StatusBySerial(Load(v.Machine), false);
      allDisks[v.Machine] = StatusBySerial(Load(v.Machine), true);
    }
    SCOPED_TRACE(std::string(v.Machine) + " " + v.Serial + ": " + v.Why);
    ASSERT_TRUE(byDefault[v.Machine].count(v.Serial)) << "disk not found";
    EXPECT_EQ(byDefault[v.Machine][v.Serial], v.ByDefault);
    EXPECT_EQ(allDisks[v.Machine][v.Serial], v.AllDisks);
  }
}

// The option only ever turns "unknown" into a verdict: a disk the program
// rates keeps the verdict it has without it, on every machine we have.
TEST(AllDisks, RatedDisksAreJudgedAsBefore) {
  for (const char* machine : {"real-ata", "families", "demo"}) {
    SCOPED_TRACE(machine);
    auto before = StatusBySerial(Load(machine), false);
    auto after = StatusBySerial(Load(machine), true);
    ASSERT_EQ(before.size(), after.size());
    for (const auto& [serial, status] : before) {
      if (status != U) {
        EXPECT_EQ(after[serial], status) << serial;
      }
    }
  }
}

TEST(AllDisks, TheReportNamesTheDisksJudgedThisWay) {
  std::string plain, judged;
  StatusBySerial(Fixture("real-ata"), false, &plain);
  StatusBySerial(Fixture("real-ata"), true, &judged);
  EXPECT_EQ(plain.find("Judged by"), std::string::npos);
  // Five hard disks of other makers; the rated Intel SSD is not named.
  size_t count = 0;
  for (size_t at = judged.find("Judged by"); at != std::string::npos;
       at = judged.find("Judged by", at + 1)) {
    ++count;
  }
  EXPECT_EQ(count, 5u);
  const size_t intel = judged.find("INTEL SSDSA2CW120G3");
  ASSERT_NE(intel, std::string::npos);
  const size_t next = judged.find("\n(", intel);
  EXPECT_EQ(judged.substr(intel, next - intel).find("Judged by"), std::string::npos);
}

TEST(AllDisks, OnlyUnratedDisksAreMarked) {
  ATA_SMART_INFO asi;
  asi.SupportLevel = SUPPORT_NONE;
  EXPECT_FALSE(IsJudgedOnlyByOption(asi, false));
  EXPECT_TRUE(IsJudgedOnlyByOption(asi, true));
  asi.SupportLevel = SUPPORT_CONTROLLER;
  EXPECT_FALSE(IsJudgedOnlyByOption(asi, true));
}

}  // namespace

namespace {

// A hard disk of no rated maker whose reallocated-sector count jumps after
// admission: with the option, its status goes from good to caution and the
// status alarm fires; without it the disk stays unknown and nothing fires.
TEST(AllDisks, TheStatusAlarmFiresForAJudgedDisk) {
  for (bool allDisks : {false, true}) {
    SCOPED_TRACE(allDisks ? "with the option" : "without it");
    const testutil::Sector thresholds =
        testutil::ThresholdBuilder().Add(0x05, 36).Add(0x09, 0).Build();
    const testutil::Sector healthy =
        testutil::SmartDataBuilder().Add({0x05, 100, 100, 0}).Add({0x09, 99, 99, 500}).Build();
    const testutil::Sector worse =
        testutil::SmartDataBuilder().Add({0x05, 98, 98, 40}).Add({0x09, 99, 99, 501}).Build();
    testutil::IdentifyBuilder id;
    id.Serial("OTHERMAKER01").Word(83, 0x0400);
    os::sim::SimMachine machine;
    machine.Disks.push_back(
        testutil::AtaDisk(0, id.Build(), {healthy, healthy, worse}, thresholds));

    testutil::CRig rig;
    rig.Settings.Set(app::Setting::EVALUATE_ALL_DISKS, allDisks ? 1 : 0);
    testutil::CStdFileSystem files;
    os::sim::CSimPlatform sim(std::move(machine), files);
    monitor::CTimerQueue timers(sim.Clock());
    monitor::CMonitor monitor(sim.Get(), rig.Settings, timers, nullptr, &rig.Services());
    monitor.InitAta();
    ASSERT_EQ(monitor.DiskCount(), 1);
    ASSERT_EQ(monitor.Disks()[0].SupportLevel, SUPPORT_NONE);
    EXPECT_EQ(monitor.Disks()[0].DiskStatus, allDisks ? G : U);

    rig.AdvanceSeconds(300);  // past the history's rate limit
    monitor.Refresh(true);
    EXPECT_EQ(monitor.Disks()[0].DiskStatus, allDisks ? C : U);
    if (allDisks) {
      ASSERT_EQ(rig.Sink.Events.size(), 1u);
      EXPECT_EQ(rig.Sink.Events[0].Kind, monitor::AlarmKind::STATUS);
      EXPECT_EQ(rig.Sink.Events[0].PreviousValue, G);
      EXPECT_EQ(rig.Sink.Events[0].Value, C);
    } else {
      EXPECT_TRUE(rig.Sink.Events.empty());
    }
  }
}

// The settings pane turns the option on and saves a disk's alarms while the
// program runs: applying the settings judges the disk at its next read, and
// the disk's record takes the saved alarms, without a rescan.
TEST(AllDisks, SavedSettingsApplyWithoutARescan) {
  const testutil::Sector thresholds = testutil::ThresholdBuilder().Add(0x05, 36).Build();
  const testutil::Sector data = testutil::SmartDataBuilder().Add({0x05, 100, 100, 0}).Build();
  testutil::IdentifyBuilder id;
  id.Serial("OTHERMAKER02").Word(83, 0x0400);
  os::sim::SimMachine machine;
  machine.Disks.push_back(testutil::AtaDisk(0, id.Build(), {data, data, data, data}, thresholds));
  testutil::CRig rig;
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(machine), files);
  monitor::CTimerQueue timers(sim.Clock());
  monitor::CMonitor monitor(sim.Get(), rig.Settings, timers, nullptr, &rig.Services());
  monitor.InitAta();
  ASSERT_EQ(monitor.DiskCount(), 1);
  EXPECT_EQ(monitor.Disks()[0].DiskStatus, U);

  const std::string key = monitor.Disks()[0].ModelSerial;
  rig.Settings.Set(app::Setting::EVALUATE_ALL_DISKS, 1);
  rig.Settings.SetDisk(app::DiskSetting::ALARM_TEMPERATURE, key, 61);
  rig.Settings.SetDisk(app::DiskSetting::ALARM_HEALTH_STATUS, key, -5);
  rig.Settings.SetDisk(app::DiskSetting::ALARM_EMAIL, key, 1);
  monitor.ReloadAlarms();
  monitor.ApplySettings();
  EXPECT_EQ(monitor.Disks()[0].AlarmTemperature, 61);
  EXPECT_EQ(monitor.Disks()[0].AlarmHealthStatus, 0);  // a negative threshold is off
  EXPECT_EQ(monitor.Disks()[0].AlarmEmail, 1);
  rig.AdvanceSeconds(300);
  monitor.Refresh(true);
  EXPECT_EQ(monitor.Disks()[0].DiskStatus, G);
}

}  // namespace
