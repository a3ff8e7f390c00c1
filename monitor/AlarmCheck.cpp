#include "monitor/AlarmCheck.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/DebugLog.h"
#include "monitor/OneLineText.h"

namespace monitor {
namespace {

// The English texts, used when the language files have none.
struct DefaultText {
  const char* Section;
  const char* Key;
  const char* Text;
};
constexpr DefaultText kDefaults[] = {
    {"DiskStatus", "GOOD", "Good"},
    {"DiskStatus", "CAUTION", "Caution"},
    {"DiskStatus", "BAD", "Bad"},
    {"DiskStatus", "UNKNOWN", "Unknown"},
    {"Dialog", "HEALTH_STATUS", "Health Status"},
    {"Alarm", "ALARM_TEMPERATURE", "Temperature"},
    {"Alarm", "ALARM_HEALTH_STATUS", "Alarm"},
    {"Alarm", "INFO_HEALTH_STATUS", "Information"},
};

std::string Format(const char* format, ...) STAVRION_PRINTF_FORMAT(1, 2);
std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

// The limit as the comparison sees it: its low byte, signed.
int32_t LimitByte(int32_t limit) { return static_cast<int8_t>(static_cast<uint8_t>(limit & 0xFF)); }

bool IsAboveLimit(const ATA_SMART_INFO& disk) {
  return disk.AlarmTemperature > 0 && disk.Temperature >= LimitByte(disk.AlarmTemperature);
}

bool IsBelowLimit(const ATA_SMART_INFO& disk) {
  return disk.AlarmTemperatureBelow != 0 &&
         disk.Temperature <= LimitByte(disk.AlarmTemperatureBelow);
}

void FillDisk(AlarmEvent& e, const ATA_SMART_INFO& disk, int32_t index) {
  e.DiskIndex = index;
  e.Model = OneLine(disk.Model);
  e.SerialNumber = OneLine(disk.SerialNumber);
  e.DevicePath = OneLine(disk.DevicePath);
  e.DriveMap = OneLine(disk.DriveMap);
  e.EventLog = disk.AlarmEventLog != 0;
  e.Email = disk.AlarmEmail != 0;
}

}  // namespace

CAlarmCheck::CAlarmCheck(const app::CLanguageText* language) : m_Language(language) {}

std::string CAlarmCheck::Text(const char* section, const char* key) const {
  std::string text = m_Language != nullptr ? m_Language->Get(section, key) : std::string();
  if (text.empty()) {
    for (const DefaultText& d : kDefaults) {
      if (std::strcmp(d.Section, section) == 0 && std::strcmp(d.Key, key) == 0) text = d.Text;
    }
  }
  return OneLine(text);
}

std::string CAlarmCheck::StatusWord(int32_t status) const {
  switch (status) {
    case DISK_STATUS_GOOD:
      return Text("DiskStatus", "GOOD");
    case DISK_STATUS_CAUTION:
      return Text("DiskStatus", "CAUTION");
    case DISK_STATUS_BAD:
      return Text("DiskStatus", "BAD");
    default:
      return Text("DiskStatus", "UNKNOWN");
  }
}

int32_t CAlarmCheck::ShownTemperature(int32_t celsius) const {
  // Integer division truncates toward zero, as the shown figure always has.
  return m_Settings.Fahrenheit ? celsius * 9 / 5 + 32 : celsius;
}

bool CAlarmCheck::IsTemperatureOutOfLimits(const ATA_SMART_INFO& disk) {
  // An unknown temperature (-127) is no reading: it is neither too hot nor
  // below any lower limit.
  if (disk.Temperature == TEMPERATURE_UNKNOWN) return false;
  return IsAboveLimit(disk) || IsBelowLimit(disk);
}

void CAlarmCheck::RegisterSound(int32_t id) {
  if (id == 0) {
    m_PendingSound = 0;
  } else if (m_PendingSound == 0 || id < m_PendingSound) {
    m_PendingSound = id;
  }
}

int32_t CAlarmCheck::TakePendingSound() {
  const int32_t id = m_PendingSound;
  m_PendingSound = 0;
  return id;
}

std::vector<AlarmEvent> CAlarmCheck::CheckDiskAlarms(const ATA_SMART_INFO& disk, int32_t index,
                                                     const PreviousRecord& previous, int64_t now) {
  std::vector<AlarmEvent> events;
  // The drive-letter list holds a line feed between letters; headers and
  // subjects are one line.
  const std::string model = OneLine(disk.Model), serial = OneLine(disk.SerialNumber);
  const std::string drives = OneLine(disk.DriveMap);
  const std::string subject =
      Format("(%d) %s / %s / %s", index + 1, model.c_str(), serial.c_str(), drives.c_str());
  const std::string header = subject + "\r\n";
  const std::string currentWord = StatusWord(disk.DiskStatus);
  const std::string previousWord = StatusWord(previous.HealthStatus);
  std::string lines;

  auto emit = [&](AlarmKind kind, int32_t id, std::string line) {
    AlarmEvent e;
    e.Kind = kind;
    e.Id = id;
    FillDisk(e, disk, index);
    e.StatusWord = currentWord;
    e.PreviousStatusWord = previousWord;
    e.Line = line;
    e.EventLogText = header + line + "\r\n";
    e.MailTitle = subject;
    e.MailText = line + "\r\n";
    lines += line + "\r\n";
    RegisterSound(id);
    events.push_back(std::move(e));
  };

  // Life below the threshold. Not on the disk's first record (no previous
  // life) and not while the status is unknown.
  if (disk.Life != -1 && previous.Life != -1 && disk.DiskStatus != DISK_STATUS_UNKNOWN &&
      static_cast<uint32_t>(disk.Life) < static_cast<uint32_t>(disk.AlarmHealthStatus) &&
      disk.AlarmHealthStatus > 0) {
    emit(AlarmKind::HEALTH, ALARM_ID_HEALTH,
         Format("%s: [%s %d%%] -> [%s %d%%]", Text("Dialog", "HEALTH_STATUS").c_str(),
                previousWord.c_str(), previous.Life, currentWord.c_str(), disk.Life));
    events.back().Value = disk.Life;
    events.back().Limit = disk.AlarmHealthStatus;
    events.back().PreviousValue = previous.Life;
  }

  // The health status got worse since the latest record (good -> caution,
  // caution -> bad, good -> bad). An unknown status on either side says
  // nothing.
  const bool wasRated =
      previous.HealthStatus == DISK_STATUS_GOOD || previous.HealthStatus == DISK_STATUS_CAUTION;
  const bool isWorse =
      (disk.DiskStatus == DISK_STATUS_CAUTION || disk.DiskStatus == DISK_STATUS_BAD) &&
      disk.DiskStatus > previous.HealthStatus;
  if (disk.AlarmStatus != 0 && wasRated && isWorse) {
    emit(AlarmKind::STATUS, ALARM_ID_STATUS,
         Format("%s: [%s] -> [%s]", Text("Dialog", "HEALTH_STATUS").c_str(), previousWord.c_str(),
                currentWord.c_str()));
    events.back().Value = disk.DiskStatus;
    events.back().PreviousValue = previous.HealthStatus;
  }

  // Temperature, at most once per period. A latest alarm stamped in the
  // future (the clock was set back) counts as long past.
  if (IsTemperatureOutOfLimits(disk)) {
    auto last = m_TemperatureAlarmTime.find(disk.ModelSerial);
    const bool due = last == m_TemperatureAlarmTime.end() || now < last->second ||
                     now - last->second > m_Settings.AlarmTemperaturePeriod;
    if (due) {
      emit(AlarmKind::TEMPERATURE, ALARM_ID_TEMPERATURE,
           Format("%s: %d %s", Text("Alarm", "ALARM_TEMPERATURE").c_str(),
                  ShownTemperature(disk.Temperature), UnitLetter()));
      AlarmEvent& e = events.back();
      e.Value = disk.Temperature;
      e.Below = !IsAboveLimit(disk);
      e.Limit = e.Below ? LimitByte(disk.AlarmTemperatureBelow) : LimitByte(disk.AlarmTemperature);
      m_TemperatureAlarmTime[disk.ModelSerial] = now;
    }
  }

  if (!events.empty()) {
    AlarmEvent& last = events.back();
    last.ShowBalloon = true;
    last.BalloonLevel = BALLOON_WARNING;
    last.BalloonTitle = Text("Alarm", "ALARM_HEALTH_STATUS");
    last.BalloonText = Format("(%d) %s\n", index + 1, model.c_str()) + lines;
  }
  return events;
}

std::optional<AlarmEvent> CAlarmCheck::AlarmOverheat(const CDiskArray& disks) const {
  std::string text;
  for (int32_t i = 0; i < disks.GetCount(); ++i) {
    const ATA_SMART_INFO& disk = disks[i];
    if (!IsTemperatureOutOfLimits(disk)) continue;
    text += Format("(%d) %s [%s] %d %s\r\n", i + 1, OneLine(disk.Model).c_str(),
                   StatusWord(disk.DiskStatus).c_str(), ShownTemperature(disk.Temperature),
                   UnitLetter());
  }
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) return std::nullopt;
  AlarmEvent e;
  e.Kind = AlarmKind::OVERVIEW;
  e.Line = OneLine(text);
  e.ShowBalloon = true;
  e.BalloonLevel = BALLOON_WARNING;
  e.BalloonTitle = Text("Alarm", "ALARM_TEMPERATURE");
  e.BalloonText = text;
  return e;
}

}  // namespace monitor
