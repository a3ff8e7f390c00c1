// CFrontEndServices: the monitoring services every front end runs, wired
// once — the history log with the alarm check (CDiskServices), the status
// tree and "Exchange.ini" (CPublisher), and the alarm channels that do not
// depend on a window: the system log (the event log on Windows), mail
// through the mail queue, and the user's alarm command. `stavrion watch`
// and the window program each build one and add what is theirs alone
// (standard output, metrics, the tray balloon, the alert sound).
//
//   monitor::FrontEndServicesSetup setup;   // paths, registry, log, texts
//   monitor::CFrontEndServices services(std::move(setup));
//   services.AddSink(&balloons);            // the front end's own channels
//   monitor::CMonitor monitor(platform, settings, timers, &listener, &services);
//   ...
//   services.Close();                       // at exit: the status tree goes
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/LanguageFile.h"
#include "app/Settings.h"
#include "monitor/AlarmCommand.h"
#include "monitor/DiskServices.h"
#include "monitor/MailAlarmSink.h"
#include "monitor/MailQueue.h"
#include "monitor/Publication.h"
#include "os/Platform.h"
#include "os/Registry.h"
#include "os/SystemLog.h"

namespace monitor {

struct FrontEndServicesSetup {
  // Must outlive the services.
  const os::Platform* Platform = nullptr;
  app::CSettings* Settings = nullptr;
  const app::CLanguageText* Language = nullptr;  // may be null: built-in English words

  std::string HistoryRoot;   // with its trailing separator (CHistoryLog::HistoryRoot)
  std::string ExchangePath;  // "Exchange.ini" in the history root
  std::string ComputerName;  // into "Smart.ini" and alarm mails
  std::string Newline = "\r\n";

  // The status tree; null: none on this system.
  std::unique_ptr<os::IRegistry> Registry;
  // The system's log; null: alarms do not go there.
  std::unique_ptr<os::ISystemLog> SystemLog;
  // true: every alarm of a disk goes to the system log (a monitor without a
  // window, whose log is where alarms are seen); false: only the alarms of
  // disks whose "AlarmEventLog" is on (the window program).
  bool SystemLogEveryAlarm = true;
  // true: "Exchange.ini" follows the disks at each publication (headless,
  // there is no graph pane to open); false: only WriteExchangeFile writes it.
  bool ExchangeOnPublish = true;

  // The user's alarm command; empty: none. `AlarmCommandReport` gets a line
  // for each command that could not be started.
  std::string AlarmCommand;
  std::function<void(const std::string&)> AlarmCommandReport;
  // Each alarm mail's result, on the mail queue's thread (may be empty).
  CMailQueue::Done MailDone;
};

class CFrontEndServices : public IMonitorServices {
 public:
  explicit CFrontEndServices(FrontEndServicesSetup setup);
  ~CFrontEndServices() override;
  CFrontEndServices(const CFrontEndServices&) = delete;
  CFrontEndServices& operator=(const CFrontEndServices&) = delete;

  CDiskServices& Disk() { return *m_Disk; }
  CPublisher& Publisher() { return *m_Publisher; }
  // Null when the platform has no network (no mail).
  CMailQueue* MailQueue() { return m_MailQueue.get(); }
  CMailAlarmSink* MailSink() { return m_MailSink.get(); }

  // The front end's own channels, after the shared ones, in the order added.
  void AddSink(IAlarmSink* sink) { m_Disk->AddSink(sink); }
  void AddPublisher(IPublisher* publisher) { m_Disk->AddPublisher(publisher); }

  // ---- IMonitorServices: handed to the monitor ----
  void SaveSmartInfo(const ATA_SMART_INFO& disk, int32_t index) override {
    m_Disk->SaveSmartInfo(disk, index);
  }
  void PlayPendingSound() override { m_Disk->PlayPendingSound(); }
  void AlarmOverheat(const CDiskArray& disks) override { m_Disk->AlarmOverheat(disks); }
  void Publish(const CDiskArray& disks) override { m_Disk->Publish(disks); }
  // The settings file changed: the temperature unit of the status tree and
  // what CDiskServices keeps are read again.
  void ApplySettings() override;
  // "Exchange.ini" now (the graph pane opens).
  bool WriteExchangeFile(const CDiskArray& disks) { return m_Publisher->WriteExchangeFile(disks); }
  // The end of the program: the status tree is deleted, whatever "Gadget"
  // says. Mails still queued are sent when the services are destroyed.
  void Close();

 private:
  class CTreeAndExchange;

  FrontEndServicesSetup m_Setup;
  std::unique_ptr<CPublisher> m_Publisher;
  std::unique_ptr<CTreeAndExchange> m_TreeAndExchange;
  std::unique_ptr<CDiskServices> m_Disk;
  std::unique_ptr<CSystemLogSink> m_LogSink;
  std::unique_ptr<CMailQueue> m_MailQueue;
  std::unique_ptr<CMailAlarmSink> m_MailSink;
  std::unique_ptr<CAlarmCommandSink> m_CommandSink;
};

}  // namespace monitor
