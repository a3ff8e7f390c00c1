#include "monitor/AlarmCommand.h"

#include <utility>

namespace monitor {
namespace {

const char* KindName(AlarmKind kind) {
  switch (kind) {
    case AlarmKind::TEMPERATURE:
      return "temperature";
    case AlarmKind::HEALTH:
      return "health";
    case AlarmKind::STATUS:
      return "status";
    case AlarmKind::OVERVIEW:
      return "overview";
  }
  return "unknown";
}

// One line of printable text: control bytes (and DEL) become blanks.
std::string OneLine(const std::string& text) {
  std::string line = text;
  for (char& c : line) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
  return line;
}

}  // namespace

os::EnvironmentList AlarmEnvironment(const AlarmEvent& event) {
  const std::string device = !event.DevicePath.empty() ? event.DevicePath : event.DriveMap;
  return {
      {"STAVRION_ALARM_KIND", KindName(event.Kind)},
      {"STAVRION_ALARM_ID", std::to_string(event.Id)},
      {"STAVRION_DEVICE", OneLine(device)},
      {"STAVRION_DISK_INDEX", std::to_string(event.DiskIndex)},
      {"STAVRION_MODEL", OneLine(event.Model)},
      {"STAVRION_SERIAL", OneLine(event.SerialNumber)},
      {"STAVRION_FIGURE", std::to_string(event.Value)},
      {"STAVRION_LIMIT", std::to_string(event.Limit)},
      {"STAVRION_PREVIOUS", std::to_string(event.PreviousValue)},
      {"STAVRION_MESSAGE", OneLine(event.Line)},
  };
}

CAlarmCommandSink::CAlarmCommandSink(std::string program,
                                     std::function<void(const std::string&)> report,
                                     Starter starter)
    : m_Program(std::move(program)),
      m_Report(std::move(report)),
      m_Starter(starter ? std::move(starter) : Starter(os::StartDetached)),
      m_Running(std::make_shared<std::atomic<int32_t>>(0)) {}

void CAlarmCommandSink::OnAlarm(const AlarmEvent& event) {
  if (event.Kind == AlarmKind::OVERVIEW || m_Program.empty()) return;
  if (m_Running->load() >= ALARM_COMMAND_MAX_RUNNING) {
    if (m_Report) {
      m_Report("alarm command not started: " + std::to_string(ALARM_COMMAND_MAX_RUNNING) +
               " earlier ones are still running (" + OneLine(event.Line) + ")");
    }
    return;
  }
  std::shared_ptr<std::atomic<int32_t>> running = m_Running;
  running->fetch_add(1);
  std::string error;
  if (!m_Starter(m_Program, {}, AlarmEnvironment(event), &error,
                 [running](int /*status*/) { running->fetch_sub(1); })) {
    running->fetch_sub(1);
    if (m_Report) m_Report("alarm command not started: " + error);
  }
}

void CSystemLogSink::OnAlarm(const AlarmEvent& event) {
  if (event.Kind == AlarmKind::OVERVIEW) return;
  if (!m_EveryAlarm && !event.EventLog) return;
  const std::string text = !event.EventLogText.empty() ? event.EventLogText : event.Line;
  m_Log.Write(os::LogLevel::WARNING, event.Id, text);
}

}  // namespace monitor
