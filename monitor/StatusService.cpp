#include "monitor/StatusService.h"

#include <algorithm>

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

StatusFigures MakeStatusFigures(std::optional<int32_t> cpuUsage, std::optional<int64_t> availableMb,
                                uint64_t ramSizeMb) {
  StatusFigures f;
  f.CpuUsage = std::clamp<int32_t>(cpuUsage.value_or(0), 0, 100);
  f.AvailableMb = static_cast<int32_t>(std::clamp<int64_t>(availableMb.value_or(0), 0, INT32_MAX));
  f.RamSizeMb = static_cast<int32_t>(std::min<uint64_t>(ramSizeMb, INT32_MAX));
  return f;
}

CStatusServiceTimer::CStatusServiceTimer(os::INet* net, os::IClock& clock, ITimerHost& timers,
                                         std::function<StatusFigures()> figures,
                                         std::function<void(const std::string&)> report,
                                         uint16_t port)
    : m_Timers(timers), m_Report(std::move(report)) {
  if (net != nullptr) {
    m_Service = std::make_unique<CStatusService>(*net, clock, std::move(figures), port);
  }
}

bool CStatusServiceTimer::Start(int32_t tslOpt) {
  if (m_Started) return m_Running;
  m_Started = true;
  if ((tslOpt & TSL_OPT_STATUS_SERVICE) == 0 || !m_Service) return false;
  std::string error;
  if (!m_Service->Connect(&error)) {
    // Nothing for the user to see: the service is simply not there.
    if (m_Report) m_Report("Status service not connected: " + error);
    return false;
  }
  m_Running = true;
  m_Timers.SetTimer(TIMER_STATUS_SERVICE, STATUS_SERVICE_PERIOD_MS);
  return true;
}

bool CStatusServiceTimer::OnTimer(uint32_t id, CMonitor& monitor) {
  if (id != TIMER_STATUS_SERVICE) return false;
  if (!m_Running || monitor.IsBusy()) return true;
  ++m_Cycles;
  if (m_Service->SendDiskStatus(monitor)) return true;
  if (m_Report) m_Report(STATUS_SERVICE_STOPPED);
  m_Running = false;
  m_Timers.KillTimer(TIMER_STATUS_SERVICE);
  return true;
}

void CStatusServiceTimer::Stop() {
  if (m_Running) m_Timers.KillTimer(TIMER_STATUS_SERVICE);
  m_Running = false;
  if (m_Service) m_Service->Close();
}

}  // namespace monitor
