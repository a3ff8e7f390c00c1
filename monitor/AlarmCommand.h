// Alarm delivery for a monitor without a window: the user's alarm command
// and the system log.
//
// The alarm command is a program run directly, never through a shell, for
// each alarm of a disk, with the alarm's facts in its environment:
//   STAVRION_ALARM_KIND    temperature | health | status
//   STAVRION_ALARM_ID      606 | 607 | 608 (the event identifier)
//   STAVRION_DEVICE        the device ("/dev/sda"), else the drive letters
//   STAVRION_DISK_INDEX    the disk's place in the list, from 0
//   STAVRION_MODEL, STAVRION_SERIAL
//   STAVRION_FIGURE        temperature (Celsius), life (percent) or status
//                          (1 good, 2 caution, 3 bad)
//   STAVRION_LIMIT         the limit it reached (0 for status)
//   STAVRION_PREVIOUS      the figure of the previous record (health, status)
//   STAVRION_MESSAGE       the alarm's line, as the log shows it
// Texts from the disk are untrusted; in the environment they are one line
// of printable text (control bytes become blanks). The monitor never waits
// for the command: at most ALARM_COMMAND_MAX_RUNNING run at once, and an
// alarm that finds them all still running is logged and not handed on.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "monitor/AlarmEvent.h"
#include "os/Process.h"
#include "os/SystemLog.h"

namespace monitor {

constexpr int32_t ALARM_COMMAND_MAX_RUNNING = 4;

// The environment an alarm command gets for `event`.
os::EnvironmentList AlarmEnvironment(const AlarmEvent& event);

class CAlarmCommandSink : public IAlarmSink {
 public:
  // How a program is started; os::StartDetached unless a test says
  // otherwise.
  using Starter =
      std::function<bool(const std::string& program, const std::vector<std::string>& arguments,
                         const os::EnvironmentList& environment, std::string* error,
                         std::function<void(int status)> onExit)>;

  // `report` receives one line for each command that could not be started
  // or was not started (may be empty).
  explicit CAlarmCommandSink(std::string program,
                             std::function<void(const std::string&)> report = {},
                             Starter starter = {});

  void OnAlarm(const AlarmEvent& event) override;

  // Commands started and not yet ended.
  int32_t Running() const { return m_Running->load(); }

 private:
  std::string m_Program;
  std::function<void(const std::string&)> m_Report;
  Starter m_Starter;
  // Shared with the threads that wait for the commands, which may outlive
  // this object.
  std::shared_ptr<std::atomic<int32_t>> m_Running;
};

// The alarms of disks to the system log, the alarm identifier as event id.
// A monitor without a window has no balloon: the system log (the journal
// under systemd) is where its alarms are always seen, so it takes every
// alarm (`everyAlarm`). The window program writes only the alarms of disks
// whose "AlarmEventLog" is on.
class CSystemLogSink : public IAlarmSink {
 public:
  explicit CSystemLogSink(os::ISystemLog& log, bool everyAlarm = true)
      : m_Log(log), m_EveryAlarm(everyAlarm) {}
  void OnAlarm(const AlarmEvent& event) override;

 private:
  os::ISystemLog& m_Log;
  bool m_EveryAlarm;
};

}  // namespace monitor
