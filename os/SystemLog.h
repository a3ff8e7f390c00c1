// The system's own log for a program's events: syslog (and so the journal)
// on Linux, the Application event log on Windows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace os {

enum class LogLevel : uint8_t { INFORMATION, WARNING, FAILURE };

class ISystemLog {
 public:
  virtual ~ISystemLog() = default;
  // One record. `eventId` is the event identifier on Windows (the syslog
  // record carries it as "[id]"). `text` is UTF-8 and may hold line ends.
  virtual void Write(LogLevel level, int32_t eventId, const std::string& text) = 0;
};

// The system's log under the source name `source`. Implemented per system.
std::unique_ptr<ISystemLog> CreateSystemLog(const std::string& source);

}  // namespace os
