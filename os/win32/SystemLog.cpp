#include "os/SystemLog.h"

#include <windows.h>

#include "os/win32/WinText.h"

namespace os {
namespace {

class CEventLog : public ISystemLog {
 public:
  explicit CEventLog(const std::string& source)
      : m_Handle(RegisterEventSourceW(nullptr, Utf8ToWide(source).c_str())) {}
  ~CEventLog() override {
    if (m_Handle != nullptr) DeregisterEventSource(m_Handle);
  }
  CEventLog(const CEventLog&) = delete;
  CEventLog& operator=(const CEventLog&) = delete;

  void Write(LogLevel level, int32_t eventId, const std::string& text) override {
    if (m_Handle == nullptr) return;
    const WORD type = level == LogLevel::FAILURE   ? EVENTLOG_ERROR_TYPE
                      : level == LogLevel::WARNING ? EVENTLOG_WARNING_TYPE
                                                   : EVENTLOG_INFORMATION_TYPE;
    const std::wstring wide = Utf8ToWide(text);
    LPCWSTR strings[1] = {wide.c_str()};
    // The program's event identifiers carry the customer bit as they always
    // have: alarms (600-699) with the error severity bits, others with the
    // warning ones.
    const DWORD id = static_cast<DWORD>(eventId) +
                     (eventId >= 600 && eventId <= 699 ? 0x80000000u : 0x40000000u);
    ReportEventW(m_Handle, type, 0, id, nullptr, 1, 0, strings, nullptr);
  }

 private:
  HANDLE m_Handle;
};

}  // namespace

std::unique_ptr<ISystemLog> CreateSystemLog(const std::string& source) {
  return std::make_unique<CEventLog>(source);
}

}  // namespace os
