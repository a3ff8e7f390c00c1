// The metrics endpoint: Prometheus scrapes GET /metrics over HTTP and gets
// the exposition of the disks from the state the monitor already holds. A
// scrape never touches a disk, so it never wakes a sleeping disk and never
// waits on a bad one; it only takes a lock the monitor holds while it copies
// its records after a refresh.
//
// The default address is loopback, port 9720: the smartctl exporter owns
// 9633, and a host that runs both (while dashboards move over) must not see
// them fight for one port.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/AtaSmart.h"
#include "monitor/AlarmEvent.h"
#include "monitor/MetricsExposition.h"
#include "os/Net.h"

namespace monitor {

class CMonitor;

inline constexpr const char* METRICS_DEFAULT_HOST = "127.0.0.1";
inline constexpr uint16_t METRICS_DEFAULT_PORT = 9720;

// "HOST:PORT", "[V6]:PORT", ":PORT" (every local address) or "PORT"
// (loopback); port 0 lets the system choose. False, with a one-line
// *error, for anything else.
bool ParseMetricsAddress(const std::string& text, std::string* host, uint16_t* port,
                         std::string* error);

// ---- HTTP, as little of it as a scrape needs ---------------------------------

// The longest request head read (request line and header lines).
constexpr size_t HTTP_MAX_HEAD = 8192;

struct HttpRequestHead {
  std::string Method;  // "GET"
  std::string Target;  // "/metrics?x=1"
};

enum class HttpParse : uint8_t {
  INCOMPLETE,  // no empty line yet: read more
  OK,
  BAD,  // not a request we can answer (malformed, too long, not HTTP/1.x)
};

// Parses the request head at the start of `bytes` (lines end in CRLF or LF).
HttpParse ParseHttpRequestHead(std::string_view bytes, HttpRequestHead* head);

// The whole response to a request (`parse` OK or BAD); `body` is called
// only for a scrape. Only GET /metrics (with or without a query) is served:
// a malformed request gets 400, another method 405, another path 404, each
// with a one-line reason.
std::string HttpResponse(HttpParse parse, const HttpRequestHead& head,
                         const std::function<std::string()>& body);

// ---- the state a scrape reads ---------------------------------------------

// The disks as the last refresh left them. The monitor's thread updates it;
// the endpoint's thread formats it. Both may run at once.
class CMetricsState : public IAlarmSink {
 public:
  // `version` for stavrion_build_info; `text` names attributes (may be
  // empty).
  CMetricsState(std::string version,
                std::function<std::string(const std::string&, const std::string&)> text = {});

  // Copies the monitor's disks, their read times and alarm states. Called
  // on the monitor's thread after each operation that read disks.
  void Update(const CMonitor& monitor);
  // The performance sampler's figures: the machine's, and the byte rates
  // by disk index (shorter lists leave the other disks without). Called on
  // the monitor's thread after each sampler tick.
  void UpdatePerformance(const MetricsSystem& system,
                         const std::vector<std::optional<uint64_t>>& readRates,
                         const std::vector<std::optional<uint64_t>>& writeRates);
  // The exposition at `now` (seconds since the epoch). The part made of
  // the disks' readings is formatted at the first scrape after an Update
  // and kept for the scrapes until the next one; every scrape sees the
  // state of one Update whole.
  std::string Format(int64_t now) const;

  // A status alarm stays in the alarm state until the disk's status is
  // better than the one it alarmed at. It shows from the next Update on
  // (the check raises it while the monitor reads, before the monitor says
  // it has new data). Called on the monitor's thread.
  void OnAlarm(const AlarmEvent& event) override;

 private:
  struct Disk {
    ATA_SMART_INFO Record;
    int64_t LastReadTime = 0;
    bool Stale = false;
    MetricsAlarms Alarms;
  };
  std::string m_Version;
  std::function<std::string(const std::string&, const std::string&)> m_Text;
  mutable std::mutex m_Lock;
  std::vector<Disk> m_Disks;
  // The readings part of the exposition of m_Disks, once formatted.
  mutable std::string m_Readings;
  mutable bool m_ReadingsValid = false;
  MetricsSystem m_System;
  std::vector<std::optional<uint64_t>> m_ReadRates, m_WriteRates;
  // Monitor thread only: status alarms by ModelSerial with the status
  // alarmed at, and those raised since the last Update by disk index.
  std::vector<std::pair<std::string, int32_t>> m_StatusAlarms;
  std::vector<std::pair<int32_t, int32_t>> m_PendingStatusAlarms;
};

// The alarm states of a disk from its figures and limits: temperature at or
// past a limit (a disk without a temperature is in none), life below the
// health threshold. The status alarm is not a figure and stays false.
MetricsAlarms FigureAlarms(const ATA_SMART_INFO& disk);

// ---- the server -------------------------------------------------------------

// Time-outs of one connection: a client that does not send its request or
// read the answer in this time is dropped.
constexpr uint32_t HTTP_REQUEST_TIMEOUT_MS = 3000;
constexpr uint32_t HTTP_SEND_TIMEOUT_MS = 5000;
// Connections answered at once, each on a thread of its own, so a client
// that stalls holds up nobody else. Beyond this many the next connection
// waits (in the system's queue) for one of them to end, at most the
// time-outs above.
constexpr size_t HTTP_MAX_CONNECTIONS = 4;

class CMetricsServer {
 public:
  // `now` gives seconds since the epoch on the server's thread.
  CMetricsServer(os::INet& net, const CMetricsState& state, std::function<int64_t()> now);
  ~CMetricsServer();
  CMetricsServer(const CMetricsServer&) = delete;
  CMetricsServer& operator=(const CMetricsServer&) = delete;

  // The time-outs of one connection (tests make them short); before Start.
  void SetTimeouts(uint32_t requestMs, uint32_t sendMs) {
    m_RequestTimeoutMs = requestMs;
    m_SendTimeoutMs = sendMs;
  }
  // Listens and serves on a thread of its own. False with *error when the
  // address cannot be had.
  bool Start(const std::string& host, uint16_t port, std::string* error);
  // Stops serving: no new connection is taken; one still sending its
  // request is dropped within a fraction of a second, an answer under way
  // is finished (at most its send time-out).
  void Stop();
  // The port listened on (the chosen one when Start had 0).
  uint16_t Port() const { return m_Port; }
  // Requests answered so far.
  uint64_t Served() const { return m_Served.load(); }

 private:
  struct Worker {
    std::thread Thread;
    std::atomic<bool> Done{false};
  };
  void Serve();
  void Answer(os::ISocket& connection);
  // Joins the workers that have ended; with `all`, every worker.
  void Reap(bool all);

  os::INet& m_Net;
  const CMetricsState& m_State;
  std::function<int64_t()> m_Now;
  std::unique_ptr<os::IListener> m_Listener;
  std::thread m_Thread;
  std::vector<std::unique_ptr<Worker>> m_Workers;  // the serving thread's
  std::atomic<bool> m_Stop{false};
  std::atomic<uint64_t> m_Served{0};
  uint16_t m_Port = 0;
  uint32_t m_RequestTimeoutMs = HTTP_REQUEST_TIMEOUT_MS;
  uint32_t m_SendTimeoutMs = HTTP_SEND_TIMEOUT_MS;
};

}  // namespace monitor
