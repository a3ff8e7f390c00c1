// Alarm events: what the alarm check decided, handed to whatever delivers
// it. The check (CheckDiskAlarms, the temperature overview, the status
// alarm) builds every text and fact of an alarm once; a sink only delivers
// it: the tray balloon, the event log or system log, mail, the alert sound,
// the alarm command. A sink never decides whether an alarm is due.
//
// Texts are UTF-8. Lines inside EventLogText and BalloonText end with
// "\r\n" or "\n" as the reader of that channel expects them (the event log
// viewer and the balloon); every other text is one line, with no control
// characters, so it can go into a mail header, an environment variable or
// a log line as it stands. Model, serial and device come from the disk and
// stay untrusted: a sink that hands them on still escapes them for its own
// channel.
#pragma once

#include <cstdint>
#include <string>

namespace monitor {

// Alarm identifiers: the event identifiers of the event log, and the order
// of the alert sound (the smaller identifier wins).
constexpr int32_t ALARM_ID_TEMPERATURE = 606;
constexpr int32_t ALARM_ID_HEALTH = 607;
constexpr int32_t ALARM_ID_STATUS = 608;

enum class AlarmKind : uint8_t {
  TEMPERATURE,  // 606: at or above the upper limit, or at or below the lower one
  HEALTH,       // 607: life below the disk's threshold
  STATUS,       // 608: the health status got worse (good -> caution -> bad)
  OVERVIEW,     // temperature overview of all disks: a balloon only, no disk
};

// The balloon's icon.
enum BALLOON_LEVEL : int32_t {
  BALLOON_INFORMATION = 1,
  BALLOON_WARNING = 2,
};

struct AlarmEvent {
  AlarmKind Kind = AlarmKind::TEMPERATURE;
  int32_t Id = 0;          // ALARM_ID_*; 0 for the overview
  int32_t DiskIndex = -1;  // 0-based index in the disk list; -1 for the overview

  // The disk (empty for the overview). DriveMap is the disk's drive letters
  // on one line ("C: D:"); DevicePath its device node where the system has
  // them ("/dev/sda").
  std::string Model;
  std::string SerialNumber;
  std::string DevicePath;
  std::string DriveMap;

  // The figure and the limit it crossed.
  //   TEMPERATURE: Value and Limit in degrees Celsius; Below tells that the
  //                lower limit was reached (Value <= Limit), else the upper
  //                one (Value >= Limit).
  //   HEALTH:      Value is the life in percent, Limit the disk's
  //                threshold, PreviousValue the life of the last record.
  //   STATUS:      Value and PreviousValue are DiskStatus values (1 good,
  //                2 caution, 3 bad), Limit is unused (0).
  int32_t Value = 0;
  int32_t Limit = 0;
  int32_t PreviousValue = 0;
  bool Below = false;

  // Status words of the current and previous health status, in the user's
  // language ("Good", "Caution" ...).
  std::string StatusWord;
  std::string PreviousStatusWord;

  // The alarm's own line, without its line end ("Temperature: 55 C").
  std::string Line;
  // Event log (or system log) record: disk header line and the alarm line.
  std::string EventLogText;
  // Mail: subject (one line) and body.
  std::string MailTitle;
  std::string MailText;

  // The balloon of the check that produced this alarm. One check shows at
  // most one balloon, holding the lines of all its alarms; it rides on the
  // last event of the check (ShowBalloon set), the others carry none.
  bool ShowBalloon = false;
  std::string BalloonTitle;
  std::string BalloonText;
  int32_t BalloonLevel = BALLOON_INFORMATION;

  // The disk's own choices: also to the event log, also by mail. The
  // overview goes to neither.
  bool EventLog = false;
  bool Email = false;
};

// What delivers alarms. Called on the monitor's thread; a sink must not
// block it for long (a slow channel queues the event and returns).
class IAlarmSink {
 public:
  virtual ~IAlarmSink() = default;
  // One alarm, in the order the check produced them.
  virtual void OnAlarm(const AlarmEvent& event) = 0;
  // The alert sound an alarm left pending is due now; `alarmId` is the
  // identifier that won. Sinks that play no sound ignore it.
  virtual void OnAlertSound(int32_t /*alarmId*/) {}
};

}  // namespace monitor
