// The alarms: when each fires and what it says, the period between
// temperature alarms on a virtual clock, the status alarm, the temperature
// overview and which alert sound wins; all through the services object, so
// the previous values come from the history the record itself writes.
#include "monitor/AlarmCheck.h"

#include <gtest/gtest.h>

#include "monitor/Monitor.h"
#include "monitor/OneLineText.h"
#include "monitor/TimerHost.h"
#include "os/sim/DemoMachine.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/HistoryTestSupport.h"

namespace {

using monitor::AlarmEvent;
using monitor::AlarmKind;
using testutil::CRig;
using testutil::MakeDisk;

TEST(Alarms, OneLineTexts) {
  const struct {
    const char* In;
    const char* OneLine;
    const char* Field;
  } cases[] = {
      {"C:\nD:", "C: D:", "C: D:"},
      {"C:\r\n\r\nD:\n", "C: D:", "C: D:"},
      {"  WDC  WD10 ", "WDC  WD10", "WDC  WD10"},
      {"A\tB", "A B", "A B"},
      {"BAD\x01\x1B[31mDISK\x7F", "BAD[31mDISK", "BAD[31mDISK"},
      {"Model, Inc.", "Model, Inc.", "Model  Inc."},
      {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
      {"\r\n", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(monitor::OneLine(c.In), c.OneLine) << c.In;
    EXPECT_EQ(monitor::StatusField(c.In), c.Field) << c.In;
  }
}

TEST(Alarms, TemperatureAlarmOncePerPeriod) {
  CRig rig;
  ATA_SMART_INFO d = MakeDisk("WDC WD10EZEX", "WX1");
  d.DriveMap = "C:\nD:";
  d.DevicePath = "/dev/sda";
  d.Temperature = 55;
  d.AlarmTemperature = 50;
  d.AlarmEventLog = 1;
  d.AlarmEmail = 1;
  rig.Save(d, 2);
  ASSERT_EQ(rig.Sink.Ids(), std::vector<int32_t>{606});
  const AlarmEvent& e = rig.Sink.Events[0];
  EXPECT_EQ(e.Kind, AlarmKind::TEMPERATURE);
  EXPECT_EQ(e.DiskIndex, 2);
  EXPECT_EQ(e.Value, 55);
  EXPECT_EQ(e.Limit, 50);
  EXPECT_FALSE(e.Below);
  EXPECT_EQ(e.Line, "Temperature: 55 C");
  // The drive letters' line feed never reaches a header or a subject.
  EXPECT_EQ(e.MailTitle, "(3) WDC WD10EZEX / WX1 / C: D:");
  EXPECT_EQ(e.EventLogText, "(3) WDC WD10EZEX / WX1 / C: D:\r\nTemperature: 55 C\r\n");
  EXPECT_EQ(e.MailText, "Temperature: 55 C\r\n");
  EXPECT_EQ(e.DriveMap, "C: D:");
  EXPECT_EQ(e.DevicePath, "/dev/sda");
  EXPECT_TRUE(e.EventLog);
  EXPECT_TRUE(e.Email);
  EXPECT_TRUE(e.ShowBalloon);
  EXPECT_EQ(e.BalloonLevel, monitor::BALLOON_WARNING);
  EXPECT_EQ(e.BalloonText, "(3) WDC WD10EZEX\nTemperature: 55 C\r\n");

  // Records every 150 s for the next hour: no more alarms.
  for (int i = 0; i < 24; ++i) {
    rig.AdvanceSeconds(150);
    rig.Save(d, 2);
  }
  EXPECT_EQ(rig.Sink.Events.size(), 1u);
  rig.AdvanceSeconds(150);  // 3750 s after the first
  rig.Save(d, 2);
  EXPECT_EQ(rig.Sink.Ids(), (std::vector<int32_t>{606, 606}));
}

TEST(Alarms, TemperatureLimits) {
  struct Case {
    const char* Name;
    int8_t Temperature;
    int32_t Above;
    int32_t Below;
    bool Fahrenheit;
    const char* Line;  // nullptr: no alarm
  } cases[] = {
      {"at the upper limit", 50, 50, 0, false, "Temperature: 50 C"},
      {"under the upper limit", 49, 50, 0, false, nullptr},
      {"at the lower limit", 10, 0, 10, false, "Temperature: 10 C"},
      {"above the lower limit", 11, 0, 10, false, nullptr},
      {"negative lower limit", -5, 0, -3, false, "Temperature: -5 C"},
      {"fahrenheit, truncated toward zero", -3, 0, 5, true, "Temperature: 27 F"},
      {"fahrenheit", 55, 50, 0, true, "Temperature: 131 F"},
      {"both off", 90, 0, 0, false, nullptr},
      // No reading is not a cold disk.
      {"unknown temperature, lower limit", TEMPERATURE_UNKNOWN, 0, 10, false, nullptr},
      {"unknown temperature, upper limit", TEMPERATURE_UNKNOWN, 50, 0, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    CRig rig;
    rig.Settings.Set(app::Setting::TEMPERATURE, c.Fahrenheit ? 1 : 0);
    ATA_SMART_INFO d = MakeDisk("WDC WD10EZEX", "WX1");
    d.Temperature = c.Temperature;
    d.AlarmTemperature = c.Above;
    d.AlarmTemperatureBelow = c.Below;
    rig.Save(d);
    if (c.Line == nullptr) {
      EXPECT_TRUE(rig.Sink.Events.empty());
    } else {
      ASSERT_EQ(rig.Sink.Events.size(), 1u);
      EXPECT_EQ(rig.Sink.Events[0].Line, c.Line);
      EXPECT_EQ(rig.Sink.Events[0].Below, c.Below != 0);
    }
  }
}

TEST(Alarms, ClockSetBackDoesNotSilenceTheTemperatureAlarm) {
  CRig rig;
  rig.Settings.Set(app::Setting::SAVE_SMART_PERIOD, 0);
  ATA_SMART_INFO d = MakeDisk("WDC WD10EZEX", "WX1");
  d.Temperature = 60;
  d.AlarmTemperature = 55;
  rig.Save(d);
  rig.Clock.SetNow(rig.Clock.Now() - 1800);  // set back half an hour
  rig.Save(d);
  EXPECT_EQ(rig.Sink.Ids(), (std::vector<int32_t>{606, 606}));
  rig.AdvanceSeconds(60);
  rig.Save(d);
  EXPECT_EQ(rig.Sink.Events.size(), 2u);
}

TEST(Alarms, AlarmTimesFollowTheDiskNotItsPlaceInTheList) {
  CRig rig;
  ATA_SMART_INFO hot = MakeDisk("HOT", "1"), warm = MakeDisk("WARM", "2");
  hot.Temperature = 60;
  hot.AlarmTemperature = 55;
  warm.Temperature = 58;
  warm.AlarmTemperature = 55;
  rig.Save(hot, 0);
  // A rescan puts the other disk first; its own alarm is not held back.
  rig.Save(warm, 0);
  ASSERT_EQ(rig.Sink.Events.size(), 2u);
  EXPECT_EQ(rig.Sink.Events[1].Model, "WARM");
}

TEST(Alarms, HealthAlarm) {
  struct Case {
    const char* Name;
    int32_t FirstLife;
    int32_t Life;
    int32_t Threshold;
    int32_t Status;
    bool Fires;
  } cases[] = {
      {"below the threshold", 20, 9, 10, DISK_STATUS_CAUTION, true},
      {"at the threshold", 20, 10, 10, DISK_STATUS_CAUTION, false},
      {"threshold 1 alarms at 0 only", 5, 1, 1, DISK_STATUS_CAUTION, false},
      {"threshold 1, life 0", 5, 0, 1, DISK_STATUS_BAD, true},
      {"threshold off", 20, 0, 0, DISK_STATUS_BAD, false},
      {"unknown status", 20, 5, 10, DISK_STATUS_UNKNOWN, false},
      {"no life before", -1, 5, 10, DISK_STATUS_CAUTION, false},
      {"no life now", 20, -1, 10, DISK_STATUS_CAUTION, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    CRig rig;
    ATA_SMART_INFO d = MakeDisk("SSD", "S1");
    d.AlarmHealthStatus = c.Threshold;
    d.AlarmStatus = 0;
    d.Life = c.FirstLife;
    d.DiskStatus = c.Status;
    rig.Save(d);
    rig.AdvanceSeconds(150);
    d.Life = c.Life;
    rig.Save(d);
    std::vector<int32_t> ids = rig.Sink.Ids();
    EXPECT_EQ(ids, c.Fires ? std::vector<int32_t>{607} : std::vector<int32_t>{});
  }
}

TEST(Alarms, FirstRecordNeverRaisesTheHealthAlarm) {
  CRig rig;
  ATA_SMART_INFO d = MakeDisk("SSD", "S1");
  d.Life = 3;
  d.AlarmHealthStatus = 50;
  d.DiskStatus = DISK_STATUS_CAUTION;
  rig.Save(d);
  EXPECT_TRUE(rig.Sink.Events.empty());
  rig.AdvanceSeconds(150);
  d.Life = 2;
  rig.Save(d);
  ASSERT_EQ(rig.Sink.Ids(), std::vector<int32_t>{607});
  EXPECT_EQ(rig.Sink.Events[0].Line, "Health Status: [Caution 3%] -> [Caution 2%]");
  EXPECT_EQ(rig.Sink.Events[0].PreviousValue, 3);
  EXPECT_EQ(rig.Sink.Events[0].Limit, 50);
}

TEST(Alarms, HealthAlarmHearsTheLifeOfADiskWhoseNameAnIniCannotHold) {
  // "[", "]" or "=" from the disk's texts made the section unreadable: the
  // life was never read back and the alarm never fired.
  CRig rig;
  ATA_SMART_INFO d = MakeDisk("SSD [X]", "S=1");
  d.Life = 20;
  d.AlarmHealthStatus = 10;
  d.DiskStatus = DISK_STATUS_GOOD;
  rig.Save(d);
  rig.AdvanceSeconds(150);
  d.Life = 5;
  rig.Save(d);
  EXPECT_EQ(rig.Sink.Ids(), std::vector<int32_t>{607});
}

TEST(Alarms, StatusAlarm) {
  struct Case {
    const char* Name;
    int32_t Before;
    int32_t After;
    int32_t Setting;
    const char* Line;  // nullptr: none
  } cases[] = {
      {"good to caution", DISK_STATUS_GOOD, DISK_STATUS_CAUTION, 1,
       "Health Status: [Good] -> [Caution]"},
      {"caution to bad", DISK_STATUS_CAUTION, DISK_STATUS_BAD, 1,
       "Health Status: [Caution] -> [Bad]"},
      {"good to bad", DISK_STATUS_GOOD, DISK_STATUS_BAD, 1, "Health Status: [Good] -> [Bad]"},
      {"better", DISK_STATUS_BAD, DISK_STATUS_CAUTION, 1, nullptr},
      {"unchanged", DISK_STATUS_CAUTION, DISK_STATUS_CAUTION, 1, nullptr},
      {"from unknown", DISK_STATUS_UNKNOWN, DISK_STATUS_BAD, 1, nullptr},
      {"to unknown", DISK_STATUS_GOOD, DISK_STATUS_UNKNOWN, 1, nullptr},
      {"turned off", DISK_STATUS_GOOD, DISK_STATUS_BAD, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    CRig rig;
    ATA_SMART_INFO d = MakeDisk("WDC WD10EZEX", "WX1");
    d.AlarmStatus = c.Setting;
    d.AlarmEmail = 1;
    d.DiskStatus = c.Before;
    rig.Save(d);
    rig.AdvanceSeconds(150);
    d.DiskStatus = c.After;
    rig.Save(d);
    if (c.Line == nullptr) {
      EXPECT_TRUE(rig.Sink.Events.empty());
    } else {
      ASSERT_EQ(rig.Sink.Ids(), std::vector<int32_t>{608});
      EXPECT_EQ(rig.Sink.Events[0].Kind, AlarmKind::STATUS);
      EXPECT_EQ(rig.Sink.Events[0].Line, c.Line);
      EXPECT_EQ(rig.Sink.Events[0].Value, c.After);
      EXPECT_EQ(rig.Sink.Events[0].PreviousValue, c.Before);
      EXPECT_TRUE(rig.Sink.Events[0].Email);
    }
  }
  // The per-disk setting is on unless the file says otherwise.
  CRig rig;
  EXPECT_EQ(rig.Settings.GetDisk(app::DiskSetting::ALARM_STATUS, "ANY"), 1);
}

TEST(Alarms, OneBalloonPerCheckAndTheTemperatureSoundWins) {
  CRig rig;
  rig.Settings.Set(app::Setting::ALERT_SOUND, 1);
  ATA_SMART_INFO d = MakeDisk("SSD", "S1");
  d.Life = 30;
  d.AlarmHealthStatus = 20;
  d.Temperature = 70;
  d.AlarmTemperature = 60;
  rig.Save(d);
  rig.Services().PlayPendingSound();
  EXPECT_EQ(rig.Sink.Sounds, std::vector<int32_t>{606});
  rig.AdvanceSeconds(150);
  d.Life = 10;
  d.DiskStatus = DISK_STATUS_CAUTION;
  rig.Save(d);
  // Health, status; the temperature waits for its period.
  ASSERT_EQ(rig.Sink.Ids(), (std::vector<int32_t>{606, 607, 608}));
  EXPECT_FALSE(rig.Sink.Events[1].ShowBalloon);
  EXPECT_TRUE(rig.Sink.Events[2].ShowBalloon);
  EXPECT_EQ(rig.Sink.Events[2].BalloonText,
            "(1) SSD\nHealth Status: [Good 30%] -> [Caution 10%]\r\n"
            "Health Status: [Good] -> [Caution]\r\n");
  rig.Services().PlayPendingSound();
  EXPECT_EQ(rig.Sink.Sounds, (std::vector<int32_t>{606, 607}));
  // Nothing pending: nothing played.
  rig.Services().PlayPendingSound();
  EXPECT_EQ(rig.Sink.Sounds.size(), 2u);
}

TEST(Alarms, NoSoundWhenTheAlertSoundIsOff) {
  CRig rig;
  ATA_SMART_INFO d = MakeDisk("WDC WD10EZEX", "WX1");
  d.Temperature = 70;
  d.AlarmTemperature = 60;
  rig.Save(d);
  rig.Services().PlayPendingSound();
  EXPECT_TRUE(rig.Sink.Sounds.empty());
  // Turned on later: the old alarm's sound is not played then.
  rig.Settings.Set(app::Setting::ALERT_SOUND, 1);
  rig.Services().ApplySettings();
  rig.Services().PlayPendingSound();
  EXPECT_TRUE(rig.Sink.Sounds.empty());
}

TEST(Alarms, SoundPrecedence) {
  monitor::CAlarmCheck check(nullptr);
  struct Case {
    std::vector<int32_t> Registered;
    int32_t Pending;
  } cases[] = {
      {{607, 606}, 606}, {{606, 607}, 606}, {{608, 607}, 607}, {{606, 0}, 0}, {{0, 608}, 608},
  };
  for (const Case& c : cases) {
    for (int32_t id : c.Registered) check.RegisterSound(id);
    EXPECT_EQ(check.TakePendingSound(), c.Pending);
    EXPECT_EQ(check.PendingSound(), 0);
  }
}

TEST(Alarms, TemperatureOverview) {
  CDiskArray disks;
  ATA_SMART_INFO hot = MakeDisk("HOT", "1"), cold = MakeDisk("COLD", "2"),
                 fine = MakeDisk("FINE", "3"), unknown = MakeDisk("UNKNOWN", "4");
  hot.Temperature = 61;
  hot.AlarmTemperature = 60;
  cold.Temperature = 4;
  cold.AlarmTemperatureBelow = 5;
  cold.DiskStatus = DISK_STATUS_CAUTION;
  fine.AlarmTemperature = 60;
  unknown.Temperature = TEMPERATURE_UNKNOWN;
  unknown.AlarmTemperatureBelow = 5;
  for (const auto* d : {&hot, &fine, &unknown, &cold}) disks.Add(*d);

  CRig rig;
  rig.Services().AlarmOverheat(disks);
  ASSERT_EQ(rig.Sink.Events.size(), 1u);
  const AlarmEvent& e = rig.Sink.Events[0];
  EXPECT_EQ(e.Kind, AlarmKind::OVERVIEW);
  EXPECT_EQ(e.BalloonTitle, "Temperature");
  EXPECT_EQ(e.BalloonText, "(1) HOT [Good] 61 C\r\n(4) COLD [Caution] 4 C");
  EXPECT_FALSE(e.EventLog);
  EXPECT_FALSE(e.Email);

  CDiskArray calm;
  calm.Add(fine);
  calm.Add(unknown);
  rig.Services().AlarmOverheat(calm);
  EXPECT_EQ(rig.Sink.Events.size(), 1u);
}

// The services behind the refresh cycle of a simulated machine: the first
// disk initialisation writes every disk's history and publishes.
TEST(Alarms, ServicesBehindTheMonitor) {
  struct CPublisher : monitor::IPublisher {
    int32_t Calls = 0;
    int32_t Disks = 0;
    void Publish(const CDiskArray& disks) override {
      ++Calls;
      Disks = disks.GetCount();
    }
  } publisher;
  os::sim::LoadResult r = os::sim::LoadDemoMachine();
  ASSERT_TRUE(r.Machine.has_value()) << r.Error;
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(*r.Machine), files);
  CRig rig;
  rig.Services().AddPublisher(&publisher);
  monitor::CTimerQueue timers(sim.Clock());
  monitor::CMonitor monitor(sim.Get(), rig.Settings, timers, nullptr, &rig.Services());
  monitor.InitAta();
  ASSERT_GT(monitor.DiskCount(), 0);
  EXPECT_EQ(publisher.Calls, 1);
  EXPECT_EQ(publisher.Disks, monitor.DiskCount());
  for (const ATA_SMART_INFO& d : monitor.Disks()) {
    if (d.IsSmartCorrect == 0) continue;
    SCOPED_TRACE(d.Model);
    EXPECT_EQ(rig.Ini(d, d.ModelSerial, "HealthStatus"), std::to_string(d.DiskStatus));
  }
}

}  // namespace
