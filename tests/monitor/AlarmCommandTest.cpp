// The alarm command's environment and start rules, and the system log sink.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "monitor/AlarmCommand.h"

namespace {

using monitor::AlarmEvent;
using monitor::AlarmKind;

AlarmEvent Event(AlarmKind kind, int32_t id) {
  AlarmEvent e;
  e.Kind = kind;
  e.Id = id;
  e.DiskIndex = 2;
  e.Model = "Disk\nModel";
  e.SerialNumber = "S\x1B[31mN";
  e.DevicePath = "/dev/sdc";
  e.DriveMap = "C: D:";
  e.Value = 58;
  e.Limit = 55;
  e.PreviousValue = 50;
  e.Line = "Temperature: 58 C";
  e.EventLogText = "(2) Disk Model\r\nTemperature: 58 C";
  return e;
}

std::map<std::string, std::string> AsMap(const os::EnvironmentList& list) {
  std::map<std::string, std::string> m;
  for (const auto& [k, v] : list) EXPECT_TRUE(m.emplace(k, v).second) << "twice: " << k;
  return m;
}

TEST(AlarmCommand, EnvironmentCarriesTheFactsOnOneLineEach) {
  struct Case {
    AlarmKind Kind;
    int32_t Id;
    const char* KindName;
  };
  for (const Case& c :
       {Case{AlarmKind::TEMPERATURE, 606, "temperature"}, Case{AlarmKind::HEALTH, 607, "health"},
        Case{AlarmKind::STATUS, 608, "status"}}) {
    const auto env = AsMap(monitor::AlarmEnvironment(Event(c.Kind, c.Id)));
    EXPECT_EQ(env.at("STAVRION_ALARM_KIND"), c.KindName);
    EXPECT_EQ(env.at("STAVRION_ALARM_ID"), std::to_string(c.Id));
    EXPECT_EQ(env.at("STAVRION_DEVICE"), "/dev/sdc");
    EXPECT_EQ(env.at("STAVRION_DISK_INDEX"), "2");
    EXPECT_EQ(env.at("STAVRION_MODEL"), "Disk Model");
    EXPECT_EQ(env.at("STAVRION_SERIAL"), "S [31mN");
    EXPECT_EQ(env.at("STAVRION_FIGURE"), "58");
    EXPECT_EQ(env.at("STAVRION_LIMIT"), "55");
    EXPECT_EQ(env.at("STAVRION_PREVIOUS"), "50");
    EXPECT_EQ(env.at("STAVRION_MESSAGE"), "Temperature: 58 C");
  }
  // Without a device node the drive letters stand for the disk.
  AlarmEvent windows = Event(AlarmKind::HEALTH, 607);
  windows.DevicePath.clear();
  EXPECT_EQ(AsMap(monitor::AlarmEnvironment(windows)).at("STAVRION_DEVICE"), "C: D:");
}

TEST(AlarmCommand, StartsTheProgramDirectlyAndNeverPilesUpRunningCommands) {
  struct Start {
    std::string Program;
    std::vector<std::string> Arguments;
    std::map<std::string, std::string> Env;
  };
  std::vector<Start> starts;
  std::vector<std::function<void(int)>> exits;
  bool fail = false;
  std::vector<std::string> reports;
  monitor::CAlarmCommandSink sink(
      "/usr/local/bin/notify me", [&](const std::string& line) { reports.push_back(line); },
      [&](const std::string& program, const std::vector<std::string>& arguments,
          const os::EnvironmentList& env, std::string* error, std::function<void(int)> onExit) {
        if (fail) {
          *error = "no such file";
          return false;
        }
        starts.push_back({program, arguments, AsMap(env)});
        exits.push_back(std::move(onExit));
        return true;
      });

  // The overview is a balloon only: no command.
  sink.OnAlarm(Event(AlarmKind::OVERVIEW, 0));
  EXPECT_TRUE(starts.empty());

  for (int i = 0; i < monitor::ALARM_COMMAND_MAX_RUNNING + 2; ++i) {
    sink.OnAlarm(Event(AlarmKind::TEMPERATURE, 606));
  }
  ASSERT_EQ(starts.size(), static_cast<size_t>(monitor::ALARM_COMMAND_MAX_RUNNING));
  EXPECT_EQ(starts[0].Program, "/usr/local/bin/notify me");
  EXPECT_TRUE(starts[0].Arguments.empty());
  EXPECT_EQ(starts[0].Env.at("STAVRION_ALARM_KIND"), "temperature");
  EXPECT_EQ(reports.size(), 2u);
  EXPECT_EQ(sink.Running(), monitor::ALARM_COMMAND_MAX_RUNNING);

  // One ends: the next alarm starts again.
  exits[0](0);
  EXPECT_EQ(sink.Running(), monitor::ALARM_COMMAND_MAX_RUNNING - 1);
  sink.OnAlarm(Event(AlarmKind::HEALTH, 607));
  EXPECT_EQ(starts.size(), static_cast<size_t>(monitor::ALARM_COMMAND_MAX_RUNNING) + 1);

  // A program that cannot be started is reported and counts as not running.
  exits[1](0);
  fail = true;
  sink.OnAlarm(Event(AlarmKind::STATUS, 608));
  EXPECT_EQ(sink.Running(), monitor::ALARM_COMMAND_MAX_RUNNING - 1);
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_NE(reports.back().find("no such file"), std::string::npos) << reports.back();
}

class CRecordingLog : public os::ISystemLog {
 public:
  void Write(os::LogLevel level, int32_t eventId, const std::string& text) override {
    Records.push_back({level, eventId, text});
  }
  struct Record {
    os::LogLevel Level;
    int32_t Id;
    std::string Text;
  };
  std::vector<Record> Records;
};

TEST(AlarmCommand, SystemLogGetsEveryDiskAlarmAsAWarning) {
  CRecordingLog log;
  monitor::CSystemLogSink sink(log);
  sink.OnAlarm(Event(AlarmKind::OVERVIEW, 0));
  AlarmEvent health = Event(AlarmKind::HEALTH, 607);
  health.EventLog = false;  // the window's event-log choice does not silence the service
  sink.OnAlarm(health);
  ASSERT_EQ(log.Records.size(), 1u);
  EXPECT_EQ(log.Records[0].Level, os::LogLevel::WARNING);
  EXPECT_EQ(log.Records[0].Id, 607);
  EXPECT_EQ(log.Records[0].Text, "(2) Disk Model\r\nTemperature: 58 C");
}

TEST(AlarmCommand, TheWindowsEventLogGetsOnlyTheDisksThatAskForIt) {
  CRecordingLog log;
  monitor::CSystemLogSink sink(log, /*everyAlarm=*/false);
  AlarmEvent quiet = Event(AlarmKind::TEMPERATURE, 606);
  quiet.EventLog = false;
  sink.OnAlarm(quiet);
  AlarmEvent asked = Event(AlarmKind::HEALTH, 607);
  asked.EventLog = true;
  sink.OnAlarm(asked);
  AlarmEvent overview = Event(AlarmKind::OVERVIEW, 0);
  overview.EventLog = true;
  sink.OnAlarm(overview);
  ASSERT_EQ(log.Records.size(), 1u);
  EXPECT_EQ(log.Records[0].Id, 607);
}

}  // namespace
