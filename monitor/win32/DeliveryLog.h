// What the window program handed to the system for an alarm, for tests that
// watch the real program under Wine, where the shell shows no balloon title,
// the event log is not kept and no sound device exists. Off unless the
// program is started with "--delivery-log FILE". One line per call, fields
// separated by tabs, in the file's order of calls:
//   balloon ICON-ID INFO-FLAGS TITLE TEXT RESULT   (Shell_NotifyIconW NIM_MODIFY)
//   event TYPE EVENT-ID TEXT                       (ReportEventW)
//   sound ALARM-ID PLAN RESULT                     (PlaySoundW / MCI)
//   mail RESULT DETAIL                             (an alarm mail's end)
// Texts are the UTF-8 of what the call was given, with "\\", tab, CR and LF
// written as "\\\\", "\\t", "\\r" and "\\n". RESULT is 1 when the call
// succeeded. Each line is one open-append-close, so a line is whole even
// when the program ends at once, and lines of the mail queue's thread do not
// mix with the window's.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>

#include "os/SystemLog.h"

namespace monitor {

class CDeliveryLog {
 public:
  explicit CDeliveryLog(std::wstring path = {}) : m_Path(std::move(path)) {}
  bool On() const { return !m_Path.empty(); }
  // One line of these fields (each escaped); nothing when off.
  void Write(std::initializer_list<std::string> fields) const;

 private:
  std::wstring m_Path;
};

// The system log, with each record written to `log` first.
std::unique_ptr<os::ISystemLog> LoggedSystemLog(std::unique_ptr<os::ISystemLog> inner,
                                                const CDeliveryLog& log);

}  // namespace monitor
