// CDiskServices: what the refresh cycle hands its disks to, put together —
// the history log, the alarm check, the sinks that deliver alarms and the
// publishers. CMonitor calls it through IMonitorServices.
//
// Wiring a front end (the window program, `stavrion watch`):
//
//   app::CLanguageText language;                  // loaded by the front end
//   std::string root = monitor::CHistoryLog::HistoryRoot(
//       app.SmartFolder(), adapterAddress, files.Separator());
//   monitor::CDiskServices services(platform.Files, platform.Clock, settings, &language,
//                                   root, computerName, "\r\n" /* "\n" on Linux */);
//   services.AddSink(&balloons);   // each an IAlarmSink: tray balloon, event log or
//   services.AddSink(&mail);       // syslog, mail, alert sound, alarm command
//   services.AddPublisher(&exchange);              // IPublisher: "Exchange.ini", metrics
//   monitor::CMonitor monitor(platform, settings, timers, &listener, &services);
//
// Everything handed in must outlive the services; sinks and publishers are
// called in the order they were added, on the monitor's thread. After the
// settings dialog wrote the file, CMonitor::ApplySettings makes the
// services read their settings again. The settings dialog's "clear logs"
// command calls ClearLogs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/LanguageFile.h"
#include "app/Settings.h"
#include "monitor/AlarmCheck.h"
#include "monitor/AlarmEvent.h"
#include "monitor/HistoryLog.h"
#include "monitor/MonitorServices.h"
#include "monitor/Publisher.h"
#include "os/Clock.h"
#include "os/FileSystem.h"

namespace monitor {

class CDiskServices : public IMonitorServices {
 public:
  // `historyRoot` is where the disk folders go (CHistoryLog::HistoryRoot);
  // `computerName` is written to each "Smart.ini"; `newline` ends the lines
  // of the history files. Reads the settings it keeps copies of.
  CDiskServices(os::IFileSystem& files, os::IClock& clock, app::CSettings& settings,
                const app::CLanguageText* language, std::string historyRoot,
                std::string computerName, std::string newline);

  void AddSink(IAlarmSink* sink);
  void AddPublisher(IPublisher* publisher);

  CHistoryLog& History() { return m_History; }
  CAlarmCheck& Alarms() { return m_Alarms; }

  // Deletes a disk's history folder (the settings dialog asked the user
  // first). False when something could not be deleted.
  bool ClearLogs(const std::string& modelSerial) { return m_History.ClearLogs(modelSerial); }

  // ---- IMonitorServices ----
  // Writes the disk's record when one is due, after the alarm check has
  // read the latest record; the alarms go to the sinks once the record is
  // written.
  void SaveSmartInfo(const ATA_SMART_INFO& disk, int32_t index) override;
  // With "AlertSound" on, the sinks hear which alarm's sound is due.
  void PlayPendingSound() override;
  void AlarmOverheat(const CDiskArray& disks) override;
  void Publish(const CDiskArray& disks) override;
  void ApplySettings() override;

 private:
  void Deliver(const AlarmEvent& event);

  os::IClock& m_Clock;
  app::CSettings& m_Settings;
  CHistoryLog m_History;
  CAlarmCheck m_Alarms;
  bool m_AlertSound = false;
  std::vector<IAlarmSink*> m_Sinks;
  std::vector<IPublisher*> m_Publishers;
};

}  // namespace monitor
