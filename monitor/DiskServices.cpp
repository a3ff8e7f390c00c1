#include "monitor/DiskServices.h"

#include <exception>

#include "app/DebugLog.h"

namespace monitor {

using app::Setting;

CDiskServices::CDiskServices(os::IFileSystem& files, os::IClock& clock, app::CSettings& settings,
                             const app::CLanguageText* language, std::string historyRoot,
                             std::string computerName, std::string newline)
    : m_Clock(clock),
      m_Settings(settings),
      m_History(files, std::move(historyRoot), std::move(computerName), std::move(newline),
                language),
      m_Alarms(language) {
  ApplySettings();
}

void CDiskServices::AddSink(IAlarmSink* sink) {
  if (sink != nullptr) m_Sinks.push_back(sink);
}

void CDiskServices::AddPublisher(IPublisher* publisher) {
  if (publisher != nullptr) m_Publishers.push_back(publisher);
}

void CDiskServices::ApplySettings() {
  HistorySettings h;
  h.SmartLog = m_Settings.Get(Setting::SMART_LOG) != 0;
  h.SaveSmartPeriod = m_Settings.Get(Setting::SAVE_SMART_PERIOD);
  h.CrMode = m_Settings.Get(Setting::CR_MODE) != 0;
  h.SmartEnglish = m_Settings.Get(Setting::SMART_ENGLISH) != 0;
  m_History.SetSettings(h);
  AlarmSettings a;
  a.AlarmTemperaturePeriod = m_Settings.Get(Setting::ALARM_TEMPERATURE_PERIOD);
  a.Fahrenheit = m_Settings.Get(Setting::TEMPERATURE) == 1;
  m_Alarms.SetSettings(a);
  m_AlertSound = m_Settings.Get(Setting::ALERT_SOUND) != 0;
}

void CDiskServices::Deliver(const AlarmEvent& event) {
  for (IAlarmSink* sink : m_Sinks) {
    try {
      sink->OnAlarm(event);
    } catch (const std::exception& e) {
      app::DebugLogF("Alarm %d not delivered: %s", event.Id, e.what());
    }
  }
}

void CDiskServices::SaveSmartInfo(const ATA_SMART_INFO& disk, int32_t index) {
  const int64_t now = m_Clock.Now();
  std::optional<PreviousRecord> previous = m_History.BeginRecord(disk, now);
  if (!previous) return;
  std::vector<AlarmEvent> events = m_Alarms.CheckDiskAlarms(disk, index, *previous, now);
  m_History.WriteRecord(disk, m_Clock.LocalTime(now));
  for (const AlarmEvent& e : events) Deliver(e);
}

void CDiskServices::PlayPendingSound() {
  // With the sound off nothing stays pending: turning it on later must not
  // play an alarm long past.
  const int32_t id = m_Alarms.TakePendingSound();
  if (!m_AlertSound || id == 0) return;
  for (IAlarmSink* sink : m_Sinks) {
    try {
      sink->OnAlertSound(id);
    } catch (const std::exception& e) {
      app::DebugLogF("Alert sound %d not played: %s", id, e.what());
    }
  }
}

void CDiskServices::AlarmOverheat(const CDiskArray& disks) {
  if (std::optional<AlarmEvent> e = m_Alarms.AlarmOverheat(disks)) Deliver(*e);
}

void CDiskServices::Publish(const CDiskArray& disks) {
  for (IPublisher* p : m_Publishers) {
    try {
      p->Publish(disks);
    } catch (const std::exception& e) {
      app::DebugLogF("Publish failed: %s", e.what());
    }
  }
}

}  // namespace monitor
