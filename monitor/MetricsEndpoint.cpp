#include "monitor/MetricsEndpoint.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <system_error>

#include "monitor/Monitor.h"

namespace monitor {
namespace {

bool ParsePort(const std::string& text, uint16_t* port) {
  if (text.empty() || text.size() > 5) return false;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value > 65535) return false;
  *port = static_cast<uint16_t>(value);
  return true;
}

bool IsTokenChar(char c) { return c >= 'A' && c <= 'Z'; }

bool IsTargetChar(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u > 0x20 && u < 0x7F;
}

std::string Response(const char* status, const char* contentType, const std::string& body,
                     bool withBody) {
  std::string r = std::string("HTTP/1.1 ") + status + "\r\nContent-Type: " + contentType +
                  "\r\nContent-Length: " + std::to_string(body.size()) +
                  "\r\nConnection: close\r\n\r\n";
  if (withBody) r += body;
  return r;
}

}  // namespace

bool ParseMetricsAddress(const std::string& text, std::string* host, uint16_t* port,
                         std::string* error) {
  std::string h;
  std::string p;
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      *error = "metrics address '" + text + "' is not [IPv6]:PORT";
      return false;
    }
    h = text.substr(1, close - 1);
    p = text.substr(close + 2);
  } else {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
      h = METRICS_DEFAULT_HOST;
      p = text;
    } else {
      h = text.substr(0, colon);
      p = text.substr(colon + 1);
      if (h.find(':') != std::string::npos) {
        *error = "metrics address '" + text + "': put an IPv6 address in brackets";
        return false;
      }
    }
  }
  if (!ParsePort(p, port)) {
    *error = "metrics address '" + text + "' has no port from 0 to 65535";
    return false;
  }
  if (!h.empty() && !os::IsAcceptableHostText(h)) {
    *error = "metrics address '" + text + "' has no usable host";
    return false;
  }
  *host = h;
  return true;
}

HttpParse ParseHttpRequestHead(std::string_view bytes, HttpRequestHead* head) {
  // The head ends at the first empty line.
  size_t end = std::string_view::npos;
  size_t lineStart = 0;
  for (size_t i = 0; i < bytes.size() && i < HTTP_MAX_HEAD; ++i) {
    if (bytes[i] != '\n') continue;
    const size_t length = i - lineStart - (i > lineStart && bytes[i - 1] == '\r' ? 1 : 0);
    if (length == 0 && lineStart > 0) {
      end = i + 1;
      break;
    }
    if (length == 0 && lineStart == 0) return HttpParse::BAD;  // no request line
    lineStart = i + 1;
  }
  if (end == std::string_view::npos) {
    return bytes.size() >= HTTP_MAX_HEAD ? HttpParse::BAD : HttpParse::INCOMPLETE;
  }
  // Request line: METHOD SP TARGET SP HTTP/1.x
  size_t eol = bytes.find('\n');
  std::string_view line = bytes.substr(0, eol);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const size_t sp1 = line.find(' ');
  if (sp1 == std::string_view::npos || sp1 == 0 || sp1 > 16) return HttpParse::BAD;
  const size_t sp2 = line.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || sp2 == sp1 + 1) return HttpParse::BAD;
  const std::string_view method = line.substr(0, sp1);
  const std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  const std::string_view version = line.substr(sp2 + 1);
  for (char c : method) {
    if (!IsTokenChar(c)) return HttpParse::BAD;
  }
  for (char c : target) {
    if (!IsTargetChar(c)) return HttpParse::BAD;
  }
  if (version != "HTTP/1.1" && version != "HTTP/1.0") return HttpParse::BAD;
  head->Method = std::string(method);
  head->Target = std::string(target);
  return HttpParse::OK;
}

std::string HttpResponse(HttpParse parse, const HttpRequestHead& head,
                         const std::function<std::string()>& body) {
  constexpr const char* TEXT = "text/plain; charset=utf-8";
  if (parse != HttpParse::OK) {
    return Response("400 Bad Request", TEXT, "bad request: only GET /metrics is served\n", true);
  }
  // A HEAD request gets the head of the answer GET would get, no body.
  const bool withBody = head.Method != "HEAD";
  if (head.Method != "GET") {
    std::string r = Response("405 Method Not Allowed", TEXT,
                             "method not allowed: only GET /metrics is served\n", withBody);
    r.insert(r.find("\r\n") + 2, "Allow: GET\r\n");
    return r;
  }
  const std::string path = head.Target.substr(0, head.Target.find('?'));
  if (path == "/metrics") return Response("200 OK", METRICS_CONTENT_TYPE, body(), true);
  return Response("404 Not Found", TEXT, "not found: only GET /metrics is served\n", true);
}

// ---- state ------------------------------------------------------------------

MetricsAlarms FigureAlarms(const ATA_SMART_INFO& d) {
  MetricsAlarms a;
  const int32_t t = d.Temperature;
  if (t > TEMPERATURE_UNKNOWN) {
    // The limits are compared by their low byte, as the alarm check does.
    const int32_t above = static_cast<int8_t>(d.AlarmTemperature & 0xFF);
    const int32_t below = static_cast<int8_t>(d.AlarmTemperatureBelow & 0xFF);
    a.Temperature =
        (d.AlarmTemperature > 0 && t >= above) || (d.AlarmTemperatureBelow != 0 && t <= below);
  }
  a.Health =
      d.Life >= 0 && d.AlarmHealthStatus > 0 && d.DiskStatus != 0 && d.Life < d.AlarmHealthStatus;
  return a;
}

CMetricsState::CMetricsState(
    std::string version, std::function<std::string(const std::string&, const std::string&)> text)
    : m_Version(std::move(version)), m_Text(std::move(text)) {}

void CMetricsState::Update(const CMonitor& monitor) {
  // Status alarms raised since the last update name the disk by its index
  // in the monitor's list as it is now; from here on the disk is known by
  // its ModelSerial, which a rescan does not change.
  for (const auto& [index, status] : m_PendingStatusAlarms) {
    if (index < 0 || index >= monitor.DiskCount()) continue;
    const std::string& key = monitor.Disks()[index].ModelSerial;
    bool found = false;
    for (auto& [serial, alarmed] : m_StatusAlarms) {
      if (serial == key) {
        alarmed = status;
        found = true;
      }
    }
    if (!found) m_StatusAlarms.emplace_back(key, status);
  }
  m_PendingStatusAlarms.clear();

  std::vector<Disk> disks;
  disks.reserve(static_cast<size_t>(monitor.DiskCount()));
  for (int32_t i = 0; i < monitor.DiskCount(); ++i) {
    Disk d;
    d.Record = monitor.Disks()[i];
    d.LastReadTime = monitor.LastReadTime(i);
    d.Stale = monitor.LastReadFailed(i);
    d.Alarms = FigureAlarms(d.Record);
    for (auto it = m_StatusAlarms.begin(); it != m_StatusAlarms.end(); ++it) {
      if (it->first != d.Record.ModelSerial) continue;
      // Bad is 3, caution 2, good 1: a lower number is better.
      if (d.Record.DiskStatus != 0 && d.Record.DiskStatus < it->second) {
        m_StatusAlarms.erase(it);
      } else {
        d.Alarms.Status = true;
      }
      break;
    }
    disks.push_back(std::move(d));
  }
  std::lock_guard<std::mutex> lock(m_Lock);
  m_Disks.swap(disks);
  m_ReadingsValid = false;
}

void CMetricsState::UpdatePerformance(const MetricsSystem& system,
                                      const std::vector<std::optional<uint64_t>>& readRates,
                                      const std::vector<std::optional<uint64_t>>& writeRates) {
  std::lock_guard<std::mutex> lock(m_Lock);
  m_System = system;
  m_ReadRates = readRates;
  m_WriteRates = writeRates;
}

void CMetricsState::OnAlarm(const AlarmEvent& event) {
  if (event.Kind != AlarmKind::STATUS || event.DiskIndex < 0) return;
  m_PendingStatusAlarms.emplace_back(event.DiskIndex, event.Value);
}

std::string CMetricsState::Format(int64_t now) const {
  std::lock_guard<std::mutex> lock(m_Lock);
  MetricsInput in;
  in.Now = now;
  in.Version = m_Version;
  in.Text = m_Text;
  in.Disks.reserve(m_Disks.size());
  in.System = m_System;
  for (size_t i = 0; i < m_Disks.size(); ++i) {
    const Disk& d = m_Disks[i];
    MetricsDisk disk{&d.Record, d.LastReadTime, d.Stale, d.Alarms, std::nullopt, std::nullopt};
    if (i < m_ReadRates.size()) disk.ReadBytesPerSecond = m_ReadRates[i];
    if (i < m_WriteRates.size()) disk.WriteBytesPerSecond = m_WriteRates[i];
    in.Disks.push_back(disk);
  }
  if (!m_ReadingsValid) {
    m_Readings = FormatMetrics(in, MetricsPart::READINGS);
    m_ReadingsValid = true;
  }
  std::string text;
  std::string moment = FormatMetrics(in, MetricsPart::MOMENT);
  text.reserve(m_Readings.size() + moment.size());
  text += m_Readings;
  text += moment;
  return text;
}

// ---- server -----------------------------------------------------------------

CMetricsServer::CMetricsServer(os::INet& net, const CMetricsState& state,
                               std::function<int64_t()> now)
    : m_Net(net), m_State(state), m_Now(std::move(now)) {}

CMetricsServer::~CMetricsServer() { Stop(); }

bool CMetricsServer::Start(const std::string& host, uint16_t port, std::string* error) {
  if (m_Thread.joinable()) return true;
  m_Listener = m_Net.Listen(host, port, error);
  if (!m_Listener) return false;
  m_Port = m_Listener->Port();
  m_Stop = false;
  m_Thread = std::thread([this] { Serve(); });
  return true;
}

void CMetricsServer::Stop() {
  m_Stop = true;
  if (m_Thread.joinable()) m_Thread.join();
  m_Listener.reset();
}

namespace {
// Waits are cut into pieces this long, so that Stop is seen soon.
constexpr uint32_t SERVE_WAIT_MS = 200;
}  // namespace

void CMetricsServer::Serve() {
  while (!m_Stop) {
    Reap(false);
    if (m_Workers.size() >= HTTP_MAX_CONNECTIONS) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    std::unique_ptr<os::ISocket> connection;
    const os::NetStatus status = m_Listener->Accept(&connection, SERVE_WAIT_MS);
    if (status == os::NetStatus::Ok && connection) {
      auto worker = std::make_unique<Worker>();
      Worker* w = worker.get();
      std::shared_ptr<os::ISocket> socket(std::move(connection));
      try {
        w->Thread = std::thread([this, w, socket] {
          Answer(*socket);
          w->Done = true;
        });
        m_Workers.push_back(std::move(worker));
      } catch (const std::system_error&) {
        // No thread to be had: answer here, as one connection at a time.
        Answer(*socket);
      }
    } else if (status == os::NetStatus::Failed) {
      // A failing listener (out of descriptors): do not spin.
      std::this_thread::sleep_for(std::chrono::milliseconds(SERVE_WAIT_MS));
    }
  }
  Reap(true);
}

void CMetricsServer::Reap(bool all) {
  for (auto it = m_Workers.begin(); it != m_Workers.end();) {
    if (all || (*it)->Done) {
      (*it)->Thread.join();
      it = m_Workers.erase(it);
    } else {
      ++it;
    }
  }
}

void CMetricsServer::Answer(os::ISocket& connection) {
  std::string request;
  HttpRequestHead head;
  HttpParse parse = HttpParse::INCOMPLETE;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(m_RequestTimeoutMs);
  char buffer[2048];
  while (parse == HttpParse::INCOMPLETE) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || m_Stop) return;  // a client that says nothing is dropped
    size_t got = 0;
    const os::NetStatus status =
        connection.Receive(buffer, sizeof buffer, &got,
                           static_cast<uint32_t>(std::min<int64_t>(left.count(), SERVE_WAIT_MS)));
    if (status == os::NetStatus::TimedOut) continue;
    if (status != os::NetStatus::Ok) return;
    request.append(buffer, got);
    parse = ParseHttpRequestHead(request, &head);
  }
  const std::string response =
      HttpResponse(parse, head, [this] { return m_State.Format(m_Now()); });
  if (connection.Send(response, m_SendTimeoutMs) == os::NetStatus::Ok) {
    // Counted before the client can see the end of the answer, so a client
    // that has its answer also sees it counted.
    ++m_Served;
    connection.ShutdownSend();
  }
}

}  // namespace monitor
