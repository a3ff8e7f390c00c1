// Alarm mails: the mail channel of the alarms. Each alarm whose disk asks
// for mail is composed from the mail settings and queued; the queue's worker
// sends it, so the monitor's thread never waits for a server.
#pragma once

#include <string>

#include "app/Settings.h"
#include "monitor/AlarmEvent.h"
#include "monitor/MailQueue.h"
#include "os/Clock.h"

namespace monitor {

class CMailAlarmSink : public IAlarmSink {
 public:
  // `computerName` goes into subject and body; `done` gets each mail's
  // result on the queue's thread (may be empty).
  CMailAlarmSink(app::CSettings& settings, os::IClock& clock, CMailQueue& queue,
                 std::string computerName, CMailQueue::Done done = {})
      : m_Settings(settings),
        m_Clock(clock),
        m_Queue(queue),
        m_ComputerName(std::move(computerName)),
        m_Done(std::move(done)) {}

  void OnAlarm(const AlarmEvent& event) override;

  // Alarms not queued because the queue was full.
  int Dropped() const { return m_Dropped; }

 private:
  app::CSettings& m_Settings;
  os::IClock& m_Clock;
  CMailQueue& m_Queue;
  std::string m_ComputerName;
  CMailQueue::Done m_Done;
  int m_Dropped = 0;
};

}  // namespace monitor
