// The diagnostic log's sink on a real platform: the log file beside the
// executable (its path with everything from the last '.' of the file name
// replaced by ".log"), opened, appended and closed for every line so lines
// survive a crash, and the system's message display for level 2.
#pragma once

#include <string>

#include "base/DebugLog.h"
#include "os/Platform.h"

namespace app {

class CDebugLogSink : public base::IDebugLogSink {
 public:
  // Log path from the platform's executable path.
  explicit CDebugLogSink(const os::Platform& platform);
  // Explicit log path (empty: lines are dropped, nothing is deleted).
  CDebugLogSink(const os::Platform& platform, std::string logPath);

  uint64_t TickCount() override;
  void RemoveLog() override;
  void AppendLine(const std::string& line) override;
  void Show(const std::string& line) override;

  const std::string& LogPath() const { return m_LogPath; }

 private:
  os::IClock& m_Clock;
  os::IFileSystem& m_Files;
  os::ISystem& m_System;
  std::string m_LogPath;
};

}  // namespace app
