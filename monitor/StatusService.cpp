#include "monitor/StatusService.h"

#include "monitor/Monitor.h"

namespace monitor {

CStatusService::CStatusService(os::INet& net, os::IClock& clock,
                               std::function<StatusFigures()> figures, uint16_t port)
    : m_Net(net), m_Clock(clock), m_Figures(std::move(figures)), m_Port(port) {}

bool CStatusService::Connect(std::string* error) {
  m_Socket = m_Net.Connect("127.0.0.1", m_Port, STATUS_CONNECT_TIMEOUT_MS, error);
  return m_Socket != nullptr;
}

bool CStatusService::SendDiskStatus(CMonitor& monitor) {
  if (!m_Socket) return false;
  const StatusFigures figures = m_Figures ? m_Figures() : StatusFigures{};
  for (int32_t i = 0; i < monitor.DiskCount(); ++i) {
    if (monitor.Disks()[i].SupportLevel == 0) continue;
    int32_t result = -1;
    try {
      result = monitor.Ata().UpdateSmartInfo(i);
    } catch (...) {
      result = -1;
    }
    monitor.NoteOutsideRead(i, result);
    m_Clock.Sleep(100);
    const std::string line = StatusLine(monitor.Disks()[i], i, figures);
    if (m_Socket->Send(line, STATUS_SEND_TIMEOUT_MS) != os::NetStatus::Ok) {
      m_Socket.reset();
      return false;
    }
    char reply[STATUS_REPLY_MAX];
    size_t got = 0;
    const os::NetStatus status =
        m_Socket->Receive(reply, sizeof reply, &got, STATUS_REPLY_TIMEOUT_MS);
    if (status == os::NetStatus::Closed || status == os::NetStatus::Failed) {
      // The service went away: the next send would fail anyway.
      m_Socket.reset();
      return false;
    }
    m_Clock.Sleep(100);
  }
  m_Socket->Send("END", STATUS_SEND_TIMEOUT_MS);
  return true;
}

}  // namespace monitor
