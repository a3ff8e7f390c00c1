#include "app/DebugLogSink.h"

namespace app {

CDebugLogSink::CDebugLogSink(const os::Platform& platform)
    : CDebugLogSink(platform, [&platform]() {
        std::string exe = platform.Files.ExecutablePath();
        return exe.empty() ? std::string() : base::DebugLogPathFor(exe);
      }()) {}

CDebugLogSink::CDebugLogSink(const os::Platform& platform, std::string logPath)
    : m_Clock(platform.Clock),
      m_Files(platform.Files),
      m_System(platform.System),
      m_LogPath(std::move(logPath)) {}

uint64_t CDebugLogSink::TickCount() { return m_Clock.TickCount(); }

void CDebugLogSink::RemoveLog() {
  if (!m_LogPath.empty()) m_Files.Remove(m_LogPath);  // a missing log is the usual case
}

void CDebugLogSink::AppendLine(const std::string& line) {
  if (!m_LogPath.empty()) m_Files.AppendFile(m_LogPath, line);  // a lost line is not reported
}

void CDebugLogSink::Show(const std::string& line) { m_System.ShowMessage(line, ""); }

}  // namespace app
