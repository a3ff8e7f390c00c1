#include "os/SystemLog.h"

#include <syslog.h>

namespace os {
namespace {

class CSyslog : public ISystemLog {
 public:
  explicit CSyslog(std::string source) : m_Source(std::move(source)) {
    // openlog keeps the pointer: the string lives as long as this object.
    openlog(m_Source.c_str(), LOG_PID, LOG_DAEMON);
  }
  ~CSyslog() override { closelog(); }
  CSyslog(const CSyslog&) = delete;
  CSyslog& operator=(const CSyslog&) = delete;

  void Write(LogLevel level, int32_t eventId, const std::string& text) override {
    // One line per record: line ends become "; ". The text is an argument,
    // never the format.
    std::string line;
    for (char c : text) {
      if (c == '\r') continue;
      if (c == '\n') {
        if (!line.empty()) line += "; ";
      } else {
        line.push_back(static_cast<unsigned char>(c) < 0x20 ? ' ' : c);
      }
    }
    while (line.size() >= 2 && line.compare(line.size() - 2, 2, "; ") == 0)
      line.resize(line.size() - 2);
    const int priority = level == LogLevel::FAILURE   ? LOG_ERR
                         : level == LogLevel::WARNING ? LOG_WARNING
                                                      : LOG_INFO;
    syslog(priority, "[%d] %s", static_cast<int>(eventId), line.c_str());
  }

 private:
  std::string m_Source;
};

}  // namespace

std::unique_ptr<ISystemLog> CreateSystemLog(const std::string& source) {
  return std::make_unique<CSyslog>(source);
}

}  // namespace os
