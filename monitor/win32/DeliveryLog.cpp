#include "monitor/win32/DeliveryLog.h"

#include <windows.h>

#include <cstdio>

namespace monitor {
namespace {

std::string Escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

class CLoggedSystemLog : public os::ISystemLog {
 public:
  CLoggedSystemLog(std::unique_ptr<os::ISystemLog> inner, const CDeliveryLog& log)
      : m_Inner(std::move(inner)), m_Log(log) {}

  void Write(os::LogLevel level, int32_t eventId, const std::string& text) override {
    const WORD type = level == os::LogLevel::FAILURE   ? EVENTLOG_ERROR_TYPE
                      : level == os::LogLevel::WARNING ? EVENTLOG_WARNING_TYPE
                                                       : EVENTLOG_INFORMATION_TYPE;
    m_Log.Write({"event", std::to_string(type), std::to_string(eventId), text});
    if (m_Inner) m_Inner->Write(level, eventId, text);
  }

 private:
  std::unique_ptr<os::ISystemLog> m_Inner;
  CDeliveryLog m_Log;
};

}  // namespace

void CDeliveryLog::Write(std::initializer_list<std::string> fields) const {
  if (!On()) return;
  std::string line;
  for (const std::string& f : fields) {
    if (!line.empty()) line += '\t';
    line += Escaped(f);
  }
  line += '\n';
  FILE* file = _wfopen(m_Path.c_str(), L"ab");
  if (file == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), file);
  std::fclose(file);
}

std::unique_ptr<os::ISystemLog> LoggedSystemLog(std::unique_ptr<os::ISystemLog> inner,
                                                const CDeliveryLog& log) {
  if (!log.On()) return inner;
  return std::make_unique<CLoggedSystemLog>(std::move(inner), log);
}

}  // namespace monitor
