#include "monitor/MailAlarmSink.h"

#include "monitor/AlarmMail.h"

namespace monitor {

void CMailAlarmSink::OnAlarm(const AlarmEvent& event) {
  if (!event.Email || event.Kind == AlarmKind::OVERVIEW) return;
  // Settings are read at each alarm: a change in the settings dialog counts
  // from the next alarm on.
  std::optional<AlarmMail> mail =
      ComposeAlarmMail(ReadMailSettings(m_Settings), ProgramWord(m_Settings.Path()), m_ComputerName,
                       event.Id, event.MailTitle, event.MailText, m_Clock.Now());
  if (!mail) return;
  if (!m_Queue.Post(std::move(mail->Server), std::move(mail->Message), m_Done)) ++m_Dropped;
}

}  // namespace monitor
