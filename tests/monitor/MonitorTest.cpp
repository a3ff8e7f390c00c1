// The refresh cycle on simulated machines with a virtual clock: what is read
// when, which timers run with which periods, the power-on unit measurement
// 130 s after discovery and the units it keeps, selection and its pages,
// rescan, AAM/APM levels sent to disks, ticks that arrive during another
// tick, and the exit refusal.
#include "monitor/Monitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <memory>
#include <vector>

#include "monitor/DetailPaneState.h"
#include "os/sim/DemoMachine.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/SectorBuilder.h"
#include "tests/support/SimEngine.h"
#include "tests/support/StdFileSystem.h"
#include "tests/support/TempDir.h"

namespace {

using monitor::CMonitor;
using testutil::Attr;
using testutil::IdentifyBuilder;
using testutil::Sector;
using testutil::SmartDataBuilder;
using testutil::ThresholdBuilder;

constexpr uint32_t MINUTE = 60000;

// Everything the monitor hands on, in order.
struct CRecorder : monitor::IMonitorListener, monitor::IMonitorServices {
  std::vector<int32_t> Saved;  // SaveSmartInfo indexes
  int32_t Published = 0;
  int32_t Sounds = 0;
  int32_t Overheat = 0;
  int32_t ResidentChecks = 0;
  std::vector<uint32_t> Changes;
  std::vector<bool> Busy;
  std::function<void(uint32_t)> OnChange;
  std::function<void(bool)> Rescan;

  void OnMonitorChanged(uint32_t changes) override {
    Changes.push_back(changes);
    if (OnChange) OnChange(changes);
  }
  void OnBusy(bool busy) override { Busy.push_back(busy); }
  void CheckResident() override { ++ResidentChecks; }
  void OnRescan(bool begins) override {
    if (Rescan) Rescan(begins);
  }
  void SaveSmartInfo(const ATA_SMART_INFO&, int32_t index) override { Saved.push_back(index); }
  void PlayPendingSound() override { ++Sounds; }
  void AlarmOverheat(const CDiskArray&) override { ++Overheat; }
  void Publish(const CDiskArray&) override { ++Published; }

  uint32_t AllChanges() const {
    uint32_t all = 0;
    for (uint32_t c : Changes) all |= c;
    return all;
  }
  int32_t SavedCount(int32_t index) const {
    return static_cast<int32_t>(std::count(Saved.begin(), Saved.end(), index));
  }
};

// A monitor on a simulated machine, its settings in a temporary folder and
// its timers on the machine's virtual clock.
class CRig {
 public:
  explicit CRig(os::sim::SimMachine machine)
      : m_Sim(std::move(machine), m_Files),
        m_Settings(m_Sim.Get().Profile, m_Sim.Clock(), m_Dir.File("stavrion.ini")),
        m_Timers(m_Sim.Clock()) {}

  static std::unique_ptr<CRig> Demo() {
    os::sim::LoadResult r = os::sim::LoadDemoMachine();
    EXPECT_TRUE(r.Machine.has_value()) << r.Error;
    return std::make_unique<CRig>(std::move(*r.Machine));
  }
  static std::unique_ptr<CRig> Folder(const std::string& relative) {
    os::sim::LoadResult r =
        os::sim::LoadMachineFolder(std::string(STAVRION_SOURCE_DIR) + "/" + relative);
    EXPECT_TRUE(r.Machine.has_value()) << r.Error;
    return std::make_unique<CRig>(std::move(*r.Machine));
  }
  static std::unique_ptr<CRig> Disks(std::vector<os::sim::SimDisk> disks) {
    os::sim::SimMachine m;
    m.Disks = std::move(disks);
    return std::make_unique<CRig>(std::move(m));
  }

  CMonitor& Monitor() {
    if (!m_Monitor) {
      m_Monitor = std::make_unique<CMonitor>(m_Sim.Get(), m_Settings, m_Timers, &Events, &Events);
    }
    return *m_Monitor;
  }
  // A second start of the program on the same machine and settings.
  CMonitor& Restart() {
    m_Monitor.reset();
    Events = CRecorder();
    return Monitor();
  }
  // Lets time pass, running the timers that fall due.
  size_t Run(uint64_t ms) {
    return m_Timers.RunFor(ms, [this](uint32_t id) { Monitor().OnTimer(id); });
  }

  app::CSettings& Settings() { return m_Settings; }
  monitor::CTimerQueue& Timers() { return m_Timers; }
  os::sim::CSimPlatform& Sim() { return m_Sim; }
  os::sim::SimDisk& SimDisk(const std::string& name) {
    for (auto& d : m_Sim.Machine().Disks) {
      if (d.Name == name) return d;
    }
    throw std::runtime_error("no disk " + name);
  }
  int32_t IndexOf(const std::string& modelPrefix) {
    const CDiskArray& disks = Monitor().Disks();
    for (int32_t i = 0; i < disks.GetCount(); ++i) {
      if (disks[i].Model.rfind(modelPrefix, 0) == 0) return i;
    }
    return -1;
  }
  int32_t StoredUnit(int32_t index) {
    return m_Settings.GetDisk(app::DiskSetting::POWER_ON_UNIT,
                              Monitor().Disks()[index].ModelSerial);
  }

  CRecorder Events;

 private:
  testutil::CTempDir m_Dir;
  testutil::CStdFileSystem m_Files;
  os::sim::CSimPlatform m_Sim;
  app::CSettings m_Settings;
  monitor::CTimerQueue m_Timers;
  std::unique_ptr<CMonitor> m_Monitor;
};

Sector Thresholds() {
  return ThresholdBuilder().Add(0x05, 36).Add(0x09, 0).Add(0x0C, 0).Add(0xC2, 0).Build();
}

Sector Data(uint64_t powerOn, uint8_t temperature = 35) {
  return SmartDataBuilder()
      .Add({0x05, 100, 100, 0})
      .Add({0x09, 99, 99, powerOn})
      .Add({0x0C, 99, 99, 10})
      .Add({0xC2, 100, 100, temperature})
      .Build();
}

os::sim::SimDisk Disk(int32_t pd, const std::string& serial, std::vector<Sector> reads,
                      uint16_t word83 = 0x0400) {
  IdentifyBuilder id;
  id.Serial(serial).Word(83, word83);
  os::sim::SimDisk d = testutil::AtaDisk(pd, id.Build(), std::move(reads), Thresholds());
  d.Name = serial;
  return d;
}

// ---- start-up ---------------------------------------------------------------

TEST(Monitor, InitAtaOnTheDemoMachineRecordsEveryDiskAndPublishesOnce) {
  auto rig = CRig::Demo();
  CMonitor& m = rig->Monitor();
  m.InitAta();
  ASSERT_EQ(m.DiskCount(), 22);
  std::vector<int32_t> inOrder(22);
  for (int32_t i = 0; i < 22; ++i) inOrder[static_cast<size_t>(i)] = i;
  EXPECT_EQ(rig->Events.Saved, inOrder);
  EXPECT_EQ(rig->Events.Published, 1);
  EXPECT_EQ(rig->Events.ResidentChecks, 1);
  // Every disk is an automatic refresh target unless its settings say no.
  for (int32_t i = 0; i < 22; ++i) EXPECT_TRUE(m.IsAutoRefreshTarget(i)) << i;
  // No maker disk of level 1-3 on the demo machine: the first disk.
  EXPECT_EQ(m.SelectedDisk(), 0);
  // The resident check runs on the first discovery only.
  m.Rescan();
  EXPECT_EQ(rig->Events.ResidentChecks, 1);
}

TEST(Monitor, TheLastMakerDiskIsSelectedAtStart) {
  // The maker's serial numbers: 20 characters starting with the date YYMMDD.
  auto rig = CRig::Disks({Disk(0, "A1", {Data(0)}), Disk(1, "16011500000000000001", {Data(0)}),
                          Disk(2, "C3", {Data(0)}), Disk(3, "16011500000000000003", {Data(0)}),
                          Disk(4, "E5", {Data(0)})});
  CMonitor& m = rig->Monitor();
  m.InitAta();
  ASSERT_EQ(m.DiskCount(), 5);
  ASSERT_EQ(m.Disks()[1].SupportLevel, 2);
  ASSERT_EQ(m.Disks()[3].SupportLevel, 2);
  EXPECT_EQ(m.SelectedDisk(), 3);
  EXPECT_EQ(m.DrivePage(), 0);
}

TEST(Monitor, PerDiskSettingsReachTheRecords) {
  auto rig = CRig::Disks({Disk(0, "A1", {Data(100)}), Disk(1, "B2", {Data(100)})});
  CMonitor& m = rig->Monitor();
  const std::string key = "TEST DISK 500B2";
  app::CSettings& s = rig->Settings();
  s.SetDisk(app::DiskSetting::ALARM_TEMPERATURE, key, 100);  // beyond 85: off
  s.SetDisk(app::DiskSetting::ALARM_TEMPERATURE_BELOW, key, -10);
  s.SetDisk(app::DiskSetting::ALARM_HEALTH_STATUS, key, 20);
  s.SetDisk(app::DiskSetting::THREASHOLD_OF_CAUTION_05, key, 8);
  s.SetDisk(app::DiskSetting::THREASHOLD_OF_CAUTION_FF, key, 70000);
  s.SetDisk(app::DiskSetting::AUTO_REFRESH_TARGET, key, 0);
  m.InitAta();
  ASSERT_EQ(m.DiskCount(), 2);
  const ATA_SMART_INFO& b = m.Disks()[1];
  ASSERT_EQ(b.ModelSerial, key);
  EXPECT_EQ(b.AlarmTemperature, 0);
  EXPECT_EQ(b.AlarmTemperatureBelow, -10);
  EXPECT_EQ(b.AlarmHealthStatus, 20);
  EXPECT_EQ(b.Threshold05, 8);
  EXPECT_EQ(b.ThresholdFF, 0xFFFF);  // not wrapped to 4464
  EXPECT_EQ(m.Disks()[0].Threshold05, 1);
  EXPECT_TRUE(m.IsAutoRefreshTarget(0));
  EXPECT_FALSE(m.IsAutoRefreshTarget(1));
}

// ---- timers -----------------------------------------------------------------

TEST(Monitor, EveryAutoRefreshValueArmsItsPeriod) {
  struct Case {
    int32_t Value;
    uint32_t Minutes;  // 0: no timer
  };
  const Case cases[] = {{0, 0},    {1, 1},     {2, 3},   {3, 5},   {4, 10},
                        {5, 30},   {6, 60},    {7, 120}, {8, 180}, {9, 360},
                        {10, 720}, {11, 1440}, {12, 0},  {-1, 0},  {1000, 0}};
  auto rig = CRig::Demo();
  CMonitor& m = rig->Monitor();
  for (const Case& c : cases) {
    m.SetAutoRefresh(c.Value);
    EXPECT_EQ(rig->Timers().Period(monitor::TIMER_AUTO_REFRESH), c.Minutes * MINUTE) << c.Value;
    EXPECT_EQ(rig->Settings().GetRaw(app::Setting::AUTO_REFRESH), c.Value);
  }
}

TEST(Monitor, AutomaticRefreshReadsOnlyItsTargetsEveryPeriod) {
  // Power-on counts of 0: no measurement 130 s in.
  auto rig =
      CRig::Disks({Disk(0, "A1", {Data(0)}), Disk(1, "B2", {Data(0)}), Disk(2, "C3", {Data(0)})});
  rig->Settings().SetDisk(app::DiskSetting::AUTO_REFRESH_TARGET, "TEST DISK 500B2", 0);
  rig->Settings().Set(app::Setting::AUTO_REFRESH, 2);  // 3 minutes
  CMonitor& m = rig->Monitor();
  m.InitAta();
  m.Start();
  rig->Events.Saved.clear();
  rig->Run(3 * MINUTE - 500 - 1);  // the selection of Start slept 500 ms of it
  EXPECT_TRUE(rig->Events.Saved.empty());
  rig->Run(1);
  EXPECT_EQ(rig->Events.Saved, (std::vector<int32_t>{0, 2}));
  rig->Run(3 * 60 * MINUTE);  // three hours: 60 more passes
  EXPECT_EQ(rig->Events.SavedCount(0), 61);
  EXPECT_EQ(rig->Events.SavedCount(1), 0);
  // The Refresh command and a selection read it all the same.
  rig->Events.Saved.clear();
  EXPECT_TRUE(m.Refresh(true));
  EXPECT_EQ(rig->Events.Saved, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_TRUE(rig->Events.AllChanges() & monitor::CHANGE_DRIVE_BUTTONS);
  const size_t reads = rig->SimDisk("B2").SmartReads;
  EXPECT_TRUE(m.SelectDrive(1));
  EXPECT_EQ(rig->SimDisk("B2").SmartReads, reads + 1);
}

TEST(Monitor, LogIntervalPeriodsAreComputedWideAndClamped) {
  struct Case {
    int32_t Minutes;
    uint32_t Ms;
  };
  const Case cases[] = {{0, 60 * MINUTE},
                        {-5, 60 * MINUTE},
                        {1, MINUTE},
                        {60, 60 * MINUTE},
                        {35791, 35791u * MINUTE},
                        // 71583 x 60000 is past 32 bits: wrapped, it would wake every 12.7 s.
                        {71583, monitor::TIMER_MAXIMUM_MS},
                        {INT_MAX, monitor::TIMER_MAXIMUM_MS}};
  for (const Case& c : cases)
    EXPECT_EQ(CMonitor::LogIntervalPeriodMs(c.Minutes), c.Ms) << c.Minutes;

  auto rig = CRig::Disks({Disk(0, "A1", {Data(0)})});
  rig->Settings().Set(app::Setting::SMART_LOG, 1);
  rig->Settings().SetText(app::Setting::LOG_INTERVAL, "71583");
  CMonitor& m = rig->Monitor();
  m.InitAta();
  m.Start();
  rig->Events.Saved.clear();
  rig->Run(60 * MINUTE);
  EXPECT_TRUE(rig->Events.Saved.empty()) << "the log pass ran within the hour";
  EXPECT_FALSE(m.TakeLogPassDone());

  rig->Settings().SetText(app::Setting::LOG_INTERVAL, "10");
  m.ApplySettings();
  rig->Events.Saved.clear();
  rig->Run(10 * MINUTE);
  EXPECT_EQ(rig->Events.Saved, (std::vector<int32_t>{0}));
  EXPECT_TRUE(m.TakeLogPassDone());
  EXPECT_FALSE(m.TakeLogPassDone());
  // Off: no more passes.
  rig->Settings().Set(app::Setting::SMART_LOG, 0);
  m.ApplySettings();
  EXPECT_FALSE(rig->Timers().IsArmed(monitor::TIMER_LOG));
}

// ---- the power-on unit ------------------------------------------------------

TEST(Monitor, PowerOnUnitIsMeasured130SecondsAfterDiscoveryAndKept) {
  // A disk counting minutes: 2 more after 130 s. Reads: two at admission,
  // one at the first selection, then the measuring read.
  auto rig = CRig::Disks({Disk(0, "MIN1", {Data(6000), Data(6000), Data(6000), Data(6002)}),
                          Disk(1, "ZERO", {Data(0)})});
  CMonitor& m = rig->Monitor();
  m.InitAta();
  m.Start();
  ASSERT_EQ(m.DiskCount(), 2);
  EXPECT_TRUE(m.IsMeasuringPowerOnUnit());
  EXPECT_EQ(rig->Timers().Period(monitor::TIMER_SET_POWER_ON_UNIT), 130000u);
  rig->Run(130000 - 500 - 1);  // the selection slept 500 ms of it
  EXPECT_TRUE(m.IsMeasuringPowerOnUnit());
  rig->Events.Changes.clear();
  rig->Run(1);
  // Done: the panel stops saying it measures, and the tick does not come back.
  EXPECT_FALSE(m.IsMeasuringPowerOnUnit());
  EXPECT_TRUE(rig->Events.AllChanges() & monitor::CHANGE_POWER_ON_TEXT);
  EXPECT_FALSE(rig->Timers().IsArmed(monitor::TIMER_SET_POWER_ON_UNIT));
  EXPECT_EQ(m.Disks()[0].MeasuredTimeUnitType, TIME_UNIT_MINUTES);
  EXPECT_EQ(m.Disks()[0].MeasuredPowerOnHours, 6002 / 60);
  EXPECT_EQ(rig->StoredUnit(0), TIME_UNIT_MINUTES);
  // A disk whose count is 0 is never measured, so nothing is kept for it.
  EXPECT_EQ(rig->StoredUnit(1), -1);

  // Next start: the stored unit applies at once and nothing is measured.
  CMonitor& again = rig->Restart();
  again.InitAta();
  EXPECT_FALSE(again.IsMeasuringPowerOnUnit());
  EXPECT_FALSE(rig->Timers().IsArmed(monitor::TIMER_SET_POWER_ON_UNIT));
  EXPECT_EQ(again.Disks()[0].MeasuredTimeUnitType, TIME_UNIT_MINUTES);
  EXPECT_EQ(again.Disks()[0].MeasuredPowerOnHours, 6002 / 60);
}

TEST(Monitor, ADiskThatDoesNotAnswerTheMeasuringReadKeepsNoUnit) {
  auto rig = CRig::Disks({Disk(0, "OK1", {Data(6000), Data(6000), Data(6000), Data(6002)}),
                          Disk(1, "GONE", {Data(5000)})});
  CMonitor& m = rig->Monitor();
  m.InitAta();
  m.Start();
  ASSERT_EQ(m.DiskCount(), 2);
  // The second disk stops answering before the measurement.
  for (auto& byPath : rig->SimDisk("GONE").Faults) {
    byPath[static_cast<size_t>(os::sim::SimOp::SmartData)].Kind = os::sim::FaultKind::NoAnswer;
  }
  rig->Run(130000);
  EXPECT_FALSE(m.IsMeasuringPowerOnUnit());
  EXPECT_EQ(rig->StoredUnit(0), TIME_UNIT_MINUTES);
  EXPECT_EQ(rig->StoredUnit(1), -1) << "an unchanged count of a silent disk is not a unit";
  EXPECT_NE(m.Disks()[1].MeasuredTimeUnitType, TIME_UNIT_HOURS);
  // So the next start measures it again.
  for (auto& byPath : rig->SimDisk("GONE").Faults) {
    byPath[static_cast<size_t>(os::sim::SimOp::SmartData)].Kind = os::sim::FaultKind::None;
  }
  CMonitor& again = rig->Restart();
  again.InitAta();
  EXPECT_TRUE(again.IsMeasuringPowerOnUnit());
}

TEST(Monitor, AMeasurementOutsideItsWindowStillEndsTheMeasuring) {
  auto rig = CRig::Disks({Disk(0, "A1", {Data(6000)})});
  CMonitor& m = rig->Monitor();
  m.InitAta();
  ASSERT_TRUE(m.IsMeasuringPowerOnUnit());
  m.OnTimer(monitor::TIMER_SET_POWER_ON_UNIT);  // at once, long before 125 s
  EXPECT_FALSE(m.IsMeasuringPowerOnUnit());
  EXPECT_FALSE(rig->Timers().IsArmed(monitor::TIMER_SET_POWER_ON_UNIT));
  EXPECT_EQ(rig->StoredUnit(0), -1);
}

// ---- selection and pages ---------------------------------------------------

TEST(Monitor, SelectionByIndexAndByButtonStaysInsideTheList) {
  auto rig = CRig::Demo();
  CMonitor& m = rig->Monitor();
  m.InitAta();
  ASSERT_EQ(m.DiskCount(), 22);
  struct Step {
    const char* What;
    std::function<bool(CMonitor&)> Do;
    bool Done;
    int32_t Selected;
    int32_t Page;
  };
  const Step steps[] = {
      {"select 9", [](CMonitor& x) { return x.SelectDrive(9); }, true, 9, 1},
      // The graph pane names disks absolutely: 8 is disk 8, not 8 + 8 x page.
      {"select 8 from page 1", [](CMonitor& x) { return x.SelectDrive(8); }, true, 8, 1},
      {"button 1 of page 1", [](CMonitor& x) { return x.SelectDriveButton(1); }, true, 9, 1},
      {"select 17", [](CMonitor& x) { return x.SelectDrive(17); }, true, 17, 2},
      {"button 7 of page 2 (disk 23)", [](CMonitor& x) { return x.SelectDriveButton(7); }, false,
       17, 2},
      {"button 8", [](CMonitor& x) { return x.SelectDriveButton(8); }, false, 17, 2},
      {"select 22", [](CMonitor& x) { return x.SelectDrive(22); }, false, 17, 2},
      {"select -1", [](CMonitor& x) { return x.SelectDrive(-1); }, false, 17, 2},
      {"select 21", [](CMonitor& x) { return x.SelectDrive(21); }, true, 21, 2},
      {"next on the last", [](CMonitor& x) { return x.SelectNext(); }, false, 21, 2},
      {"select 0", [](CMonitor& x) { return x.SelectDrive(0); }, true, 0, 0},
      {"previous on the first", [](CMonitor& x) { return x.SelectPrevious(); }, false, 0, 0},
      {"next", [](CMonitor& x) { return x.SelectNext(); }, true, 1, 0},
  };
  for (const Step& s : steps) {
    rig->Events.Saved.clear();
    EXPECT_EQ(s.Do(m), s.Done) << s.What;
    EXPECT_EQ(m.SelectedDisk(), s.Selected) << s.What;
    EXPECT_EQ(m.DrivePage(), s.Page) << s.What;
    if (!s.Done) {
      EXPECT_TRUE(rig->Events.Saved.empty()) << s.What << " touched a disk";
    }
  }
}

// ---- rescan -----------------------------------------------------------------

TEST(Monitor, RescanKeepsTheSelectedDisk) {
  auto rig = CRig::Disks({Disk(0, "A1", {Data(1)}), Disk(1, "B2", {Data(1)}),
                          Disk(2, "C3", {Data(1)}), Disk(3, "D4", {Data(1)})});
  CMonitor& m = rig->Monitor();
  m.InitAta();
  m.Start();
  ASSERT_EQ(m.DiskCount(), 4);
  ASSERT_TRUE(m.SelectDrive(2));

  // The same disks: the selection stays, every disk is read.
  rig->Events = CRecorder();
  EXPECT_TRUE(m.Rescan());
  EXPECT_EQ(m.SelectedDisk(), 2);
  EXPECT_FALSE(rig->Events.AllChanges() & monitor::CHANGE_DISK_LIST);
  EXPECT_EQ(rig->Events.SavedCount(3), 2);  // initialisation, then the refresh of all

  // A disk before it goes away: the same disk stays selected at its new index.
  rig->SimDisk("A1").OpenError = 2;
  rig->Events = CRecorder();
  EXPECT_TRUE(m.Rescan());
  ASSERT_EQ(m.DiskCount(), 3);
  EXPECT_TRUE(rig->Events.AllChanges() & monitor::CHANGE_DISK_LIST);
  EXPECT_EQ(m.Disks()[m.SelectedDisk()].SerialNumber, "C3");
  EXPECT_EQ(m.DrivePage(), 0);

  // The selected disk itself goes: the first one.
  rig->SimDisk("C3").OpenError = 2;
  EXPECT_TRUE(m.Rescan());
  ASSERT_EQ(m.DiskCount(), 2);
  EXPECT_EQ(m.SelectedDisk(), 0);
}

// The window stops its performance sampling before the rescan's pause and
// search, and starts it again once everything the rescan changed is known.
TEST(Monitor, ARescanIsFramedByTheSamplingStopAndStart) {
  auto rig = CRig::Disks({Disk(0, "A1", {Data(1)}), Disk(1, "B2", {Data(1)})});
  CMonitor& m = rig->Monitor();
  m.InitAta();
  m.Start();
  struct Seen {
    bool Begins;
    uint64_t Tick;
    size_t Requests;
    size_t Changes;
  };
  std::vector<Seen> seen;
  auto watch = [&] {
    rig->Events = CRecorder();
    rig->Events.Rescan = [&](bool begins) {
      seen.push_back({begins, rig->Sim().Clock().TickCount(),
                      rig->Sim().Devices().Requests().size(), rig->Events.Changes.size()});
    };
  };
  for (const bool diskGone : {false, true}) {
    watch();
    seen.clear();
    if (diskGone) rig->SimDisk("A1").OpenError = 2;
    const uint64_t start = rig->Sim().Clock().TickCount();
    const size_t requests = rig->Sim().Devices().Requests().size();
    EXPECT_TRUE(m.Rescan());
    ASSERT_EQ(seen.size(), 2u) << diskGone;
    // Stopped before the pause and before any disk was asked anything.
    EXPECT_TRUE(seen[0].Begins);
    EXPECT_EQ(seen[0].Tick, start);
    EXPECT_EQ(seen[0].Requests, requests);
    EXPECT_EQ(seen[0].Changes, 0u);
    // Started after the pauses (500 ms and 1500 ms) and the search, and
    // after the new disk list was announced.
    EXPECT_FALSE(seen[1].Begins);
    EXPECT_GE(seen[1].Tick - start, 2000u);
    EXPECT_GT(seen[1].Requests, requests);
    if (diskGone) {
      ASSERT_EQ(m.DiskCount(), 1);
      const auto& changes = rig->Events.Changes;
      const auto list = std::find_if(changes.begin(), changes.end(), [](uint32_t c) {
        return (c & monitor::CHANGE_DISK_LIST) != 0;
      });
      ASSERT_NE(list, changes.end());
      EXPECT_LT(static_cast<size_t>(list - changes.begin()), seen[1].Changes);
    }
  }
}

// The detail pane through a rescan that finds fewer disks: an entry picked
// from the old selector shows an empty list (it once made the engine stop
// on an invalid index), and the new disk list refills the selector.
TEST(Monitor, TheDetailPaneAfterARescanWithFewerDisks) {
  using monitor::CDetailPaneState;
  auto rig =
      CRig::Disks({Disk(0, "A1", {Data(1)}), Disk(1, "B2", {Data(1)}), Disk(2, "C3", {Data(1)})});
  CMonitor& m = rig->Monitor();
  m.InitAta();
  m.Start();
  CDetailPaneState pane(m);
  pane.Refill();
  ASSERT_EQ(pane.Entries().size(), 3u);
  EXPECT_EQ(pane.Selection(), m.SelectedDisk());
  EXPECT_EQ(pane.Pick(2), CDetailPaneState::REDRAW_SELECTION | CDetailPaneState::REDRAW_LIST);
  EXPECT_FALSE(pane.List({}, {}).Rows.empty());
  EXPECT_EQ(pane.Pick(2), CDetailPaneState::REDRAW_NONE);  // the same entry again

  rig->SimDisk("C3").OpenError = 2;
  rig->Events = CRecorder();
  ASSERT_TRUE(m.Rescan());
  ASSERT_EQ(m.DiskCount(), 2);
  // The old third entry, picked before the pane heard of the rescan.
  pane.Pick(2);
  EXPECT_TRUE(pane.List({}, {}).Rows.empty());
  EXPECT_EQ(pane.Selection(), -1);
  // The main window cannot select a disk that is not there either.
  EXPECT_EQ(pane.Select(2), CDetailPaneState::REDRAW_NONE);
  EXPECT_EQ(pane.Select(-1), CDetailPaneState::REDRAW_NONE);
  // What the rescan announced refills the selector, on the selected disk.
  uint32_t redraw = 0;
  for (const uint32_t changes : rig->Events.Changes) redraw |= pane.OnMonitorChanged(changes);
  EXPECT_TRUE(redraw & CDetailPaneState::REDRAW_ENTRIES);
  ASSERT_EQ(pane.Entries().size(), 2u);
  EXPECT_EQ(pane.Entries(), monitor::DiskSelectorEntries(m.Disks()));
  EXPECT_EQ(pane.Selection(), m.SelectedDisk());
  EXPECT_FALSE(pane.List({}, {}).Rows.empty());
  // A selection by the main window is shown.
  ASSERT_TRUE(m.SelectDrive(1));
  EXPECT_EQ(pane.OnMonitorChanged(monitor::CHANGE_SELECTION),
            CDetailPaneState::REDRAW_SELECTION | CDetailPaneState::REDRAW_LIST);
  EXPECT_EQ(pane.Selection(), 1);
}

TEST(Monitor, RescanOfTheDemoMachineKeepsAPageBeyondTheFirst) {
  auto rig = CRig::Demo();
  CMonitor& m = rig->Monitor();
  m.InitAta();
  ASSERT_TRUE(m.SelectDrive(19));
  // Disk 2 (physical drive 1) disappears.
  rig->SimDisk("samsung-hdd").OpenError = 2;
  const std::string key = m.Disks()[19].ModelSerial;
  EXPECT_TRUE(m.Rescan());
  ASSERT_EQ(m.DiskCount(), 21);
  EXPECT_EQ(m.Disks()[m.SelectedDisk()].ModelSerial, key);
  EXPECT_EQ(m.DrivePage(), m.SelectedDisk() / 8);
}

// ---- AAM and APM ------------------------------------------------------------

// SET FEATURES commands sent with `feature` and `count` (the task file of
// an ATA pass-through: features, count, ..., command EF).
size_t SetFeaturesSent(os::sim::CSimPlatform& sim, uint8_t feature, uint8_t count) {
  size_t n = 0;
  for (const auto& r : sim.Devices().Requests()) {
    for (size_t k = 0; k + 6 < r.In.size(); ++k) {
      if (r.In[k] == feature && r.In[k + 1] == count && r.In[k + 6] == 0xEF) {
        ++n;
        break;
      }
    }
  }
  return n;
}

TEST(Monitor, StoredAamAndApmLevelsGoToTheDiskOnlyWhenValid) {
  struct Case {
    int32_t Status;
    int32_t Value;
    uint8_t Feature;  // 0: nothing may be sent
    uint8_t Count;
  };
  const Case aam[] = {{1, 0xFE, 0x42, 0xFE}, {1, 0x80, 0x42, 0x80}, {1, 300, 0, 0},
                      {1, 0, 0, 0},          {1, 0xFF, 0, 0},       {1, 0x7F, 0, 0},
                      {1, -1, 0, 0},         {0, 0xFE, 0xC2, 0},    {2, 0xFE, 0, 0}};
  const Case apm[] = {{1, 1, 0x05, 1}, {1, 0xFE, 0x05, 0xFE}, {1, 0, 0, 0}, {1, 0xFF, 0, 0},
                      {1, 260, 0, 0},  {0, 5, 0x85, 0},       {-1, 5, 0, 0}};
  auto run = [](bool isAam, const Case& c) {
    // Word 83: bit 9 AAM, bit 3 APM (with 48-bit addressing).
    auto rig = CRig::Disks({Disk(0, "AAM1", {Data(1)}, 0x0608)});
    app::CSettings& s = rig->Settings();
    const std::string key = "TEST DISK 500AAM1";
    s.Set(app::Setting::AUTO_AAM_APM, 1);
    s.SetDisk(isAam ? app::DiskSetting::AAM_STATUS : app::DiskSetting::APM_STATUS, key, c.Status);
    if (c.Value != -1) {
      s.SetDisk(isAam ? app::DiskSetting::AAM_VALUE : app::DiskSetting::APM_VALUE, key, c.Value);
    }
    rig->Monitor().InitAta();
    EXPECT_EQ(rig->Monitor().DiskCount(), 1);
    const uint8_t enable = isAam ? 0x42 : 0x05;
    const uint8_t disable = isAam ? 0xC2 : 0x85;
    size_t sent = 0;
    for (int count = 0; count < 256; ++count) {
      sent += SetFeaturesSent(rig->Sim(), enable, static_cast<uint8_t>(count));
    }
    sent += SetFeaturesSent(rig->Sim(), disable, 0);
    const char* what = isAam ? "AAM" : "APM";
    if (c.Feature == 0) {
      EXPECT_EQ(sent, 0u) << what << " status " << c.Status << " value " << c.Value;
    } else {
      EXPECT_EQ(sent, 1u) << what << " status " << c.Status << " value " << c.Value;
      EXPECT_EQ(SetFeaturesSent(rig->Sim(), c.Feature, c.Count), 1u) << what << " " << c.Value;
    }
  };
  for (const Case& c : aam) run(true, c);
  for (const Case& c : apm) run(false, c);
}

TEST(Monitor, AamApmAdaptionIsOffByDefault) {
  auto rig = CRig::Disks({Disk(0, "AAM1", {Data(1)}, 0x0608)});
  rig->Settings().SetDisk(app::DiskSetting::AAM_STATUS, "TEST DISK 500AAM1", 1);
  rig->Settings().SetDisk(app::DiskSetting::AAM_VALUE, "TEST DISK 500AAM1", 0x80);
  rig->Monitor().InitAta();
  EXPECT_EQ(SetFeaturesSent(rig->Sim(), 0x42, 0x80), 0u);
}

// ---- ticks inside ticks, exceptions, exit -----------------------------------

TEST(Monitor, ATickArrivingDuringAnotherRunsAfterIt) {
  auto rig = CRig::Disks({Disk(0, "A1", {Data(1)}), Disk(1, "B2", {Data(1)})});
  CMonitor& m = rig->Monitor();
  m.InitAta();
  m.SetAutoRefresh(1);
  size_t savedWhenNested = 0;
  bool nestedRescan = true;
  bool nested = false;
  rig->Events.OnChange = [&](uint32_t) {
    if (nested) return;
    nested = true;
    // A message box of the refresh lets these in.
    savedWhenNested = rig->Events.Saved.size();
    m.OnTimer(monitor::TIMER_AUTO_REFRESH);
    nestedRescan = m.Rescan();
    EXPECT_EQ(rig->Events.Saved.size(), savedWhenNested) << "ran inside the refresh";
  };
  rig->Events.Saved.clear();
  rig->Events.Busy.clear();
  EXPECT_TRUE(m.Refresh(true));
  EXPECT_FALSE(nestedRescan);
  // The refresh, then the waiting tick: two separate passes over both disks.
  EXPECT_EQ(rig->Events.Saved, (std::vector<int32_t>{0, 1, 0, 1}));
  EXPECT_EQ(rig->Events.Busy, (std::vector<bool>{true, false, true, false}));
}

struct CThrowingServices : CRecorder {
  void SaveSmartInfo(const ATA_SMART_INFO&, int32_t) override {
    throw std::runtime_error("history folder on fire");
  }
};

TEST(Monitor, NoExceptionLeavesTheMonitor) {
  auto rig = CRig::Disks({Disk(0, "A1", {Data(1)})});
  // The history service throws on every record; the monitor keeps going.
  CThrowingServices services;
  CMonitor m(rig->Sim().Get(), rig->Settings(), rig->Timers(), &services, &services);
  EXPECT_NO_THROW(m.InitAta());
  EXPECT_EQ(m.DiskCount(), 1);
  EXPECT_NO_THROW(EXPECT_TRUE(m.Refresh(true)));
  EXPECT_NO_THROW(m.OnTimer(monitor::TIMER_LOG));
  // Still usable afterwards: not left marked busy.
  EXPECT_TRUE(m.SelectDrive(0));
}

TEST(Monitor, ARefusedExitChangesNothing) {
  auto rig = CRig::Disks({Disk(0, "A1", {Data(6000)})});
  rig->Settings().Set(app::Setting::SMART_LOG, 1);
  CMonitor& m = rig->Monitor();
  m.InitAta();
  m.SetAutoRefresh(3);
  m.Start();
  m.SetBenchmarkRunning(true);
  rig->Events.Changes.clear();
  EXPECT_EQ(m.CanExit(), monitor::ExitRefusal::BENCHMARK);
  m.SetBenchmarkRunning(false);
  m.SetPerformanceRunning(true);
  EXPECT_EQ(m.CanExit(), monitor::ExitRefusal::PERFORMANCE);
  EXPECT_TRUE(rig->Events.Changes.empty());
  for (uint32_t id :
       {monitor::TIMER_SET_POWER_ON_UNIT, monitor::TIMER_AUTO_REFRESH, monitor::TIMER_LOG}) {
    EXPECT_TRUE(rig->Timers().IsArmed(id)) << id;
  }
  m.SetPerformanceRunning(false);
  EXPECT_EQ(m.CanExit(), monitor::ExitRefusal::NONE);
  uint64_t due = 0;
  EXPECT_FALSE(rig->Timers().NextDue(&due)) << "a timer outlives the exit";
}

}  // namespace

namespace {

// The "EvaluateAllDisks" setting reaches the engine at each discovery: the
// demo machine's failing hard disk of another maker is bad with it, unknown
// without it, and a rescan picks up a change of the setting.
TEST(Monitor, EvaluateAllDisksSettingJudgesUnratedDisks) {
  auto rig = CRig::Demo();
  CMonitor& m = rig->Monitor();
  m.InitAta();
  const int32_t failing = rig->IndexOf("SIMULATED HDD 1000");
  ASSERT_GE(failing, 0);
  EXPECT_EQ(m.Disks()[failing].DiskStatus, DISK_STATUS_UNKNOWN);
  rig->Settings().Set(app::Setting::EVALUATE_ALL_DISKS, 1);
  m.Rescan();
  EXPECT_EQ(m.Disks()[rig->IndexOf("SIMULATED HDD 1000")].DiskStatus, DISK_STATUS_BAD);
}

}  // namespace
