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
#include <string>

#include "monitor/Publication.h"
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

}  // namespace monitor
