// The alarm decisions: which alarms a disk's new record raises (too hot or
// too cold, life below the threshold, health status worse than in the
// latest record), the temperature overview of all disks, and which alert
// sound is due. Produces AlarmEvent values with every text built; it
// delivers nothing itself.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/LanguageFile.h"
#include "engine/AtaSmart.h"
#include "monitor/AlarmEvent.h"
#include "monitor/HistoryLog.h"

namespace monitor {

struct AlarmSettings {
  int32_t AlarmTemperaturePeriod = 3600;  // seconds between temperature alarms of a disk
  bool Fahrenheit = false;                // "Temperature" = 1
};

class CAlarmCheck {
 public:
  // `language` gives the texts; it may be null (English texts are used).
  // It must outlive the check.
  explicit CAlarmCheck(const app::CLanguageText* language);

  void SetSettings(const AlarmSettings& settings) { m_Settings = settings; }

  // The alarms of disk `index` (0-based) whose new record is being
  // written, `previous` being its latest record before this one, at `now`
  // (seconds). The events come in the order health, status, temperature;
  // the last one carries the balloon. Each event also makes its sound
  // pending (RegisterSound).
  std::vector<AlarmEvent> CheckDiskAlarms(const ATA_SMART_INFO& disk, int32_t index,
                                          const PreviousRecord& previous, int64_t now);
  // The temperature overview: one balloon listing every disk outside its
  // limits; nullopt when none is.
  std::optional<AlarmEvent> AlarmOverheat(const CDiskArray& disks) const;

  // A new alarm's sound replaces the pending one when none is pending or
  // its identifier is smaller; 0 clears it.
  void RegisterSound(int32_t id);
  int32_t PendingSound() const { return m_PendingSound; }
  // The pending sound's identifier (0 when none), now cleared.
  int32_t TakePendingSound();

  // Forgets the time of each disk's latest temperature alarm.
  void ResetTemperatureTimes() { m_TemperatureAlarmTime.clear(); }

  // Whether the disk's temperature is known and at or above its upper
  // limit, or at or below its lower limit.
  static bool IsTemperatureOutOfLimits(const ATA_SMART_INFO& disk);

 private:
  std::string Text(const char* section, const char* key) const;
  std::string StatusWord(int32_t status) const;
  int32_t ShownTemperature(int32_t celsius) const;
  const char* UnitLetter() const { return m_Settings.Fahrenheit ? "F" : "C"; }

  const app::CLanguageText* m_Language;
  AlarmSettings m_Settings;
  // Time of each disk's latest temperature alarm, by ModelSerial.
  std::map<std::string, int64_t> m_TemperatureAlarmTime;
  int32_t m_PendingSound = 0;
};

}  // namespace monitor
