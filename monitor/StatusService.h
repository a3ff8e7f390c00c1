// The status service: a local program that listens on 127.0.0.1 port 8888
// and receives, every second, one line per maker disk (see StatusLine) and
// then "END" (bit 0x8000 of "TslOpt"). The connection is made once; a send
// that fails stops the service for the rest of the run.
//
// Each line is followed by the service's reply (at most 800 bytes, thrown
// away). The wait for it is bounded: a service that does not answer costs
// each line STATUS_REPLY_TIMEOUT_MS and no more, so it can never freeze the
// program; the next line goes out all the same.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "monitor/Publication.h"
#include "monitor/TimerHost.h"
#include "os/Clock.h"
#include "os/Net.h"

namespace monitor {

class CMonitor;

constexpr uint32_t TIMER_STATUS_SERVICE = 0x2008;
constexpr uint32_t STATUS_SERVICE_PERIOD_MS = 1000;
constexpr uint16_t STATUS_SERVICE_PORT = 8888;
constexpr uint32_t STATUS_CONNECT_TIMEOUT_MS = 2000;
constexpr uint32_t STATUS_SEND_TIMEOUT_MS = 2000;
constexpr uint32_t STATUS_REPLY_TIMEOUT_MS = 250;
constexpr size_t STATUS_REPLY_MAX = 800;
// "TslOpt" bit of the service.
constexpr int32_t TSL_OPT_STATUS_SERVICE = 0x8000;

class CStatusService {
 public:
  // `net` and `clock` must outlive the service; `figures` is asked once per
  // cycle.
  CStatusService(os::INet& net, os::IClock& clock, std::function<StatusFigures()> figures,
                 uint16_t port = STATUS_SERVICE_PORT);

  // Connects to 127.0.0.1. False, with a one-line *error, when it cannot.
  bool Connect(std::string* error);
  bool IsConnected() const { return m_Socket != nullptr; }
  // One cycle over the monitor's disks. Each maker disk (SupportLevel not
  // 0) is read again first; the monitor keeps any change that read saw for
  // its next refresh. False when a send failed: the connection is closed
  // and the service stays stopped.
  bool SendDiskStatus(CMonitor& monitor);
  void Close() { m_Socket.reset(); }

 private:
  os::INet& m_Net;
  os::IClock& m_Clock;
  std::function<StatusFigures()> m_Figures;
  uint16_t m_Port;
  std::unique_ptr<os::ISocket> m_Socket;
};

// The figures of a status line from the performance sampler's means (none
// yet: 0) and the installed memory, each kept within a line's int range.
StatusFigures MakeStatusFigures(std::optional<int32_t> cpuUsage, std::optional<int64_t> availableMb,
                                uint64_t ramSizeMb);

// The status service as a front end runs it: Start, at the end of the
// start-up, connects when "TslOpt" has the service's bit and then arms
// TIMER_STATUS_SERVICE on the front end's timers; each tick of that timer
// goes to OnTimer, which runs one cycle. After a failed send the timer is
// killed and the service stays stopped for the rest of the run (no
// reconnection), with the line STATUS_SERVICE_STOPPED to `report`.
//
//   CStatusServiceTimer status(platform.Net, platform.Clock, timers, figures, log);
//   status.Start(settings.Get(app::Setting::TSL_OPT));
//   ... on each timer: if (!status.OnTimer(id, monitor)) monitor.OnTimer(id);
//   status.Stop();                                   // at exit
inline constexpr const char* STATUS_SERVICE_STOPPED = "Send disk status failed, stop service...";

class CStatusServiceTimer {
 public:
  // `net` may be null (no network: the service never starts). `net`,
  // `clock` and `timers` must outlive this; `report` (may be empty) takes
  // the diagnostic lines.
  CStatusServiceTimer(os::INet* net, os::IClock& clock, ITimerHost& timers,
                      std::function<StatusFigures()> figures,
                      std::function<void(const std::string&)> report,
                      uint16_t port = STATUS_SERVICE_PORT);
  CStatusServiceTimer(const CStatusServiceTimer&) = delete;
  CStatusServiceTimer& operator=(const CStatusServiceTimer&) = delete;

  // Connects and arms the timer when `tslOpt` has TSL_OPT_STATUS_SERVICE.
  // True when the service runs. Only the first call acts: the connection
  // is made once per run.
  bool Start(int32_t tslOpt);
  bool IsRunning() const { return m_Running; }
  // Timer `id` is due. When it is TIMER_STATUS_SERVICE: one cycle over the
  // monitor's disks, and true. A tick that comes while the monitor is in
  // the middle of an operation (a message box inside it let the tick in) is
  // left out: the disk list may be rebuilt under it, and the next tick
  // comes a second later. False for any other timer.
  bool OnTimer(uint32_t id, CMonitor& monitor);
  // Cycles run so far (tests).
  uint64_t Cycles() const { return m_Cycles; }
  // The end of the run: the timer is killed and the connection closed.
  void Stop();

 private:
  ITimerHost& m_Timers;
  std::function<void(const std::string&)> m_Report;
  std::unique_ptr<CStatusService> m_Service;
  bool m_Started = false;
  bool m_Running = false;
  uint64_t m_Cycles = 0;
};

}  // namespace monitor
