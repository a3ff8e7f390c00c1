// The metrics endpoint's address and request parsing, its answers, and the
// alarm states it publishes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/Settings.h"
#include "monitor/AlarmEvent.h"
#include "monitor/MetricsEndpoint.h"
#include "monitor/MonitorServices.h"
#include "monitor/Watch.h"
#include "os/NativePlatform.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/HttpClient.h"
#include "tests/support/StdFileSystem.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorseningMachine.h"

namespace {

using monitor::HttpParse;

TEST(MetricsEndpoint, AddressesAreHostAndPort) {
  struct Case {
    const char* Text;
    bool Ok;
    const char* Host;
    uint16_t Port;
  };
  const Case cases[] = {
      {"127.0.0.1:9720", true, "127.0.0.1", 9720},
      {"9720", true, "127.0.0.1", 9720},  // a bare port stays on loopback
      {":9720", true, "", 9720},          // every local address, said out loud
      {"[::1]:80", true, "::1", 80},
      {"localhost:65535", true, "localhost", 65535},
      {"host:0", true, "host", 0},
      {"host:65536", false, "", 0},
      {"host:", false, "", 0},
      {"host:12a", false, "", 0},
      {"::1:80", false, "", 0},
      {"[::1]80", false, "", 0},
      {"[::1", false, "", 0},
      {"bad host:80", false, "", 0},
      {"", false, "", 0},
  };
  for (const Case& c : cases) {
    std::string host = "?";
    uint16_t port = 0;
    std::string error;
    EXPECT_EQ(monitor::ParseMetricsAddress(c.Text, &host, &port, &error), c.Ok) << c.Text;
    if (c.Ok) {
      EXPECT_EQ(host, c.Host) << c.Text;
      EXPECT_EQ(port, c.Port) << c.Text;
    } else {
      EXPECT_FALSE(error.empty()) << c.Text;
    }
  }
  EXPECT_NE(monitor::METRICS_DEFAULT_PORT, 9633);  // the smartctl exporter's
}

TEST(MetricsEndpoint, RequestHeadsAreReadOnlyWhenWholeAndSound) {
  struct Case {
    std::string Bytes;
    HttpParse Expected;
    const char* Target;
  };
  const std::vector<Case> cases = {
      {"GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n", HttpParse::OK, "/metrics"},
      {"GET /metrics HTTP/1.0\n\n", HttpParse::OK, "/metrics"},
      {"HEAD /?x=1 HTTP/1.1\r\n\r\nbody", HttpParse::OK, "/?x=1"},
      {"GET /metrics HTTP/1.1\r\nHost: a\r\n", HttpParse::INCOMPLETE, ""},
      {"GET /metr", HttpParse::INCOMPLETE, ""},
      {"", HttpParse::INCOMPLETE, ""},
      {"\r\n\r\n", HttpParse::BAD, ""},
      {"GET /metrics HTTP/2.0\r\n\r\n", HttpParse::BAD, ""},
      {"GET  /metrics HTTP/1.1\r\n\r\n", HttpParse::BAD, ""},
      {"get /metrics HTTP/1.1\r\n\r\n", HttpParse::BAD, ""},
      {"GET /me\x01trics HTTP/1.1\r\n\r\n", HttpParse::BAD, ""},
      {"GET /metrics\r\n\r\n", HttpParse::BAD, ""},
      {"GET /" + std::string(monitor::HTTP_MAX_HEAD, 'a'), HttpParse::BAD, ""},
  };
  for (const Case& c : cases) {
    monitor::HttpRequestHead head;
    EXPECT_EQ(monitor::ParseHttpRequestHead(c.Bytes, &head), c.Expected) << c.Bytes;
    if (c.Expected == HttpParse::OK) {
      EXPECT_EQ(head.Target, c.Target);
    }
  }
}

TEST(MetricsEndpoint, AnswersScrapesAndNothingElseWithTheExposition) {
  struct Case {
    HttpParse Parse;
    const char* Method;
    const char* Target;
    const char* StatusLine;
    bool Body;
    bool Scrape;
  };
  const Case cases[] = {
      {HttpParse::OK, "GET", "/metrics", "HTTP/1.1 200 OK", true, true},
      {HttpParse::OK, "GET", "/metrics?name[]=x", "HTTP/1.1 200 OK", true, true},
      {HttpParse::OK, "HEAD", "/metrics", "HTTP/1.1 405 Method Not Allowed", false, false},
      {HttpParse::OK, "GET", "/", "HTTP/1.1 404 Not Found", true, false},
      {HttpParse::OK, "GET", "/metrics/../x", "HTTP/1.1 404 Not Found", true, false},
      {HttpParse::OK, "GET", "/metricsx", "HTTP/1.1 404 Not Found", true, false},
      {HttpParse::OK, "POST", "/metrics", "HTTP/1.1 405 Method Not Allowed", true, false},
      {HttpParse::OK, "DELETE", "/metrics", "HTTP/1.1 405 Method Not Allowed", true, false},
      {HttpParse::BAD, "", "", "HTTP/1.1 400 Bad Request", true, false},
  };
  for (const Case& c : cases) {
    bool scraped = false;
    const std::string r = monitor::HttpResponse(c.Parse, {c.Method, c.Target}, [&] {
      scraped = true;
      return std::string("m 1\n");
    });
    EXPECT_EQ(r.substr(0, r.find("\r\n")), c.StatusLine) << c.Method << " " << c.Target;
    const std::string body = r.substr(r.find("\r\n\r\n") + 4);
    EXPECT_EQ(!body.empty(), c.Body) << c.Method << " " << c.Target;
    EXPECT_EQ(scraped, c.Scrape) << c.Method << " " << c.Target;
    if (c.Scrape) {
      EXPECT_NE(r.find("Content-Type: text/plain; version=0.0.4"), std::string::npos);
      EXPECT_NE(r.find("Content-Length: 4\r\n"), std::string::npos);
    } else if (c.Parse == HttpParse::OK && std::string(c.Method) != "GET") {
      EXPECT_NE(r.find("\r\nAllow: GET\r\n"), std::string::npos) << c.Method;
    }
    // Every answer tells its length and closes: a client never waits for more.
    EXPECT_NE(r.find("\r\nConnection: close\r\n"), std::string::npos);
  }
}

TEST(MetricsEndpoint, AlarmStatesFollowTheFiguresAndLimits) {
  struct Case {
    int8_t Temperature;
    int32_t Above;
    int32_t Below;
    int32_t Life;
    int32_t HealthLimit;
    bool TemperatureAlarm;
    bool HealthAlarm;
  };
  const Case cases[] = {
      {55, 55, 0, 90, 10, true, false},   {54, 55, 0, 90, 10, false, false},
      {5, 0, 5, 9, 10, true, true},       {-127, 50, -20, 9, 0, false, false},
      {-127, 0, 5, -1, 10, false, false}, {40, 0, 0, 10, 10, false, false},
  };
  for (const Case& c : cases) {
    ATA_SMART_INFO d;
    d.Temperature = c.Temperature;
    d.AlarmTemperature = c.Above;
    d.AlarmTemperatureBelow = c.Below;
    d.Life = c.Life;
    d.AlarmHealthStatus = c.HealthLimit;
    d.DiskStatus = DISK_STATUS_CAUTION;
    const monitor::MetricsAlarms a = monitor::FigureAlarms(d);
    EXPECT_EQ(a.Temperature, c.TemperatureAlarm) << int(c.Temperature);
    EXPECT_EQ(a.Health, c.HealthAlarm) << c.Life;
    EXPECT_FALSE(a.Status);
  }
}

// The worsening machine read once by a watch, its records copied into a
// metrics state, served over loopback.
class MetricsServerTest : public testing::Test {
 protected:
  void SetUp() override {
    if (m_Native.Get().Net == nullptr) GTEST_SKIP() << "this platform has no sockets";
    const std::string folder = testutil::WriteWorseningMachine(m_Dir.Path().string());
    os::sim::LoadResult loaded = os::sim::LoadMachineFolder(folder);
    ASSERT_TRUE(loaded.Machine) << loaded.Error;
    m_Sim = std::make_unique<os::sim::CSimPlatform>(std::move(*loaded.Machine), m_Files);
    m_Settings =
        std::make_unique<app::CSettings>(m_Sim->Get().Profile, m_Sim->Clock(), m_Dir.File("s.ini"));
    m_Watch = std::make_unique<monitor::CWatch>(m_Sim->Get(), *m_Settings, &m_Services);
    m_Watch->Start();
    ASSERT_EQ(m_Watch->Monitor().DiskCount(), 1);
    m_State.Update(m_Watch->Monitor());
    m_Server = std::make_unique<monitor::CMetricsServer>(Net(), m_State,
                                                         [] { return int64_t{1767225600}; });
    m_Server->SetTimeouts(300, 2000);
    std::string error;
    ASSERT_TRUE(m_Server->Start("127.0.0.1", 0, &error)) << error;
    ASSERT_NE(m_Server->Port(), 0);
  }
  os::INet& Net() { return *m_Native.Get().Net; }
  std::string Exchange(const std::string& request) {
    return testutil::HttpExchange(Net(), m_Server->Port(), request);
  }

  os::NativePlatform m_Native;
  testutil::CTempDir m_Dir;
  testutil::CStdFileSystem m_Files;
  std::unique_ptr<os::sim::CSimPlatform> m_Sim;
  std::unique_ptr<app::CSettings> m_Settings;
  monitor::CNotYetServices m_Services;
  std::unique_ptr<monitor::CWatch> m_Watch;
  monitor::CMetricsState m_State{"9.8.7"};
  std::unique_ptr<monitor::CMetricsServer> m_Server;
};

TEST_F(MetricsServerTest, AnswersEachRequestOverLoopback) {
  struct Case {
    std::string Request;
    const char* StatusLine;
    const char* InBody;
  };
  // The temperature of the latest read: discovery reads the disk more than
  // once.
  const int step = static_cast<int>(m_Sim->Machine().Disks[0].SmartReads) - 1;
  const std::string temperature =
      "smartctl_device_temperature{device=\"PhysicalDrive0\",temperature_type=\"current\"} " +
      std::to_string(testutil::WorseningTemperature(step)) + "\n";
  const std::vector<Case> cases = {
      {"GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 200 OK", temperature.c_str()},
      {"GET /metrics?x=1 HTTP/1.0\n\n", "HTTP/1.1 200 OK",
       "stavrion_build_info{version=\"9.8.7\"} 1"},
      {"GET /metrics HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", "serial=\"WTD0001\""},
      {"POST /metrics HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", "HTTP/1.1 405 Method Not Allowed",
       "only GET /metrics"},
      {"GET /debug HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found", "only GET /metrics"},
      {"GARBAGE\r\n\r\n", "HTTP/1.1 400 Bad Request", "only GET /metrics"},
      // A head that never ends is refused once it is too long, without
      // waiting for the rest.
      {"GET /metrics HTTP/1.1\r\nX: " + std::string(monitor::HTTP_MAX_HEAD, 'a'),
       "HTTP/1.1 400 Bad Request", "bad request"},
  };
  for (const Case& c : cases) {
    const std::string answer = Exchange(c.Request);
    EXPECT_EQ(answer.substr(0, answer.find("\r\n")), c.StatusLine) << c.Request.substr(0, 40);
    EXPECT_NE(testutil::HttpBody(answer).find(c.InBody), std::string::npos) << answer;
  }
  EXPECT_EQ(m_Server->Served(), cases.size());
}

TEST_F(MetricsServerTest, ARequestInPiecesIsReadWholeAndASilentClientIsDropped) {
  std::string error;
  // The request line arrives in two pieces.
  std::unique_ptr<os::ISocket> split = Net().Connect("127.0.0.1", m_Server->Port(), 2000, &error);
  ASSERT_NE(split, nullptr) << error;
  ASSERT_EQ(split->Send("GET /met", 2000), os::NetStatus::Ok);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(split->Send("rics HTTP/1.1\r\n\r\n", 2000), os::NetStatus::Ok);
  std::string answer;
  char buffer[8192];
  size_t got = 0;
  while (split->Receive(buffer, sizeof buffer, &got, 2000) == os::NetStatus::Ok) {
    answer.append(buffer, got);
  }
  EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;

  // A client that connects and says nothing is closed on after the
  // request time-out, unanswered; the next scrape is served.
  std::unique_ptr<os::ISocket> silent = Net().Connect("127.0.0.1", m_Server->Port(), 2000, &error);
  ASSERT_NE(silent, nullptr) << error;
  const os::NetStatus end = silent->Receive(buffer, sizeof buffer, &got, 10000);
  EXPECT_TRUE(end == os::NetStatus::Closed || end == os::NetStatus::Failed)
      << os::NetStatusName(end);
  const std::string next = Exchange("GET /metrics HTTP/1.1\r\n\r\n");
  EXPECT_EQ(next.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << next;
}

TEST_F(MetricsServerTest, ClientsThatStallHoldUpNoScrapeAndStopDoesNotWaitForThem) {
  // A server that would wait 20 s for each silent client's request.
  monitor::CMetricsServer server(Net(), m_State, [] { return int64_t{1767225600}; });
  server.SetTimeouts(20000, 2000);
  std::string error;
  ASSERT_TRUE(server.Start("127.0.0.1", 0, &error)) << error;
  std::vector<std::unique_ptr<os::ISocket>> silent;
  for (size_t i = 0; i + 1 < monitor::HTTP_MAX_CONNECTIONS; ++i) {
    silent.push_back(Net().Connect("127.0.0.1", server.Port(), 2000, &error));
    ASSERT_NE(silent.back(), nullptr) << error;
    ASSERT_EQ(silent.back()->Send("GET /met", 2000), os::NetStatus::Ok);
  }
  // Scrapes are answered while they stall (the client gives up after 5 s).
  for (int i = 0; i < 3; ++i) {
    const std::string answer =
        testutil::HttpExchange(Net(), server.Port(), "GET /metrics HTTP/1.1\r\n\r\n", 5000);
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << i << ": " << answer;
  }
  EXPECT_EQ(server.Served(), 3u);
  // The stalled clients are still connected, unanswered...
  char buffer[64];
  size_t got = 0;
  EXPECT_EQ(silent.front()->Receive(buffer, sizeof buffer, &got, 50), os::NetStatus::TimedOut);
  // ...and stopping drops them instead of waiting out their 20 s.
  server.Stop();
  const os::NetStatus end = silent.front()->Receive(buffer, sizeof buffer, &got, 10000);
  EXPECT_TRUE(end == os::NetStatus::Closed || end == os::NetStatus::Failed)
      << os::NetStatusName(end);
}

TEST_F(MetricsServerTest, AStatusAlarmShowsUntilTheStatusIsBetterAgain) {
  const std::string key = "stavrion_disk_alarm{device=\"PhysicalDrive0\",alarm=\"status\"} ";
  auto alarmed = [&] {
    const std::string text = m_State.Format(1767225600);
    const size_t at = text.find(key);
    return at == std::string::npos ? std::string("?") : text.substr(at + key.size(), 1);
  };
  EXPECT_EQ(alarmed(), "0");
  monitor::AlarmEvent e;
  e.Kind = monitor::AlarmKind::STATUS;
  e.Id = monitor::ALARM_ID_STATUS;
  e.DiskIndex = 0;
  // Alarmed at a status worse than the disk's own now: it stays until the
  // disk's status is better than that one.
  e.Value = DISK_STATUS_BAD;
  m_State.OnAlarm(e);
  m_State.Update(m_Watch->Monitor());
  EXPECT_EQ(alarmed(), m_Watch->Monitor().Disks()[0].DiskStatus != 0 ? "0" : "1");
  // Alarmed at the status the disk has: it shows, and again after the next
  // update with the same status.
  e.Value = m_Watch->Monitor().Disks()[0].DiskStatus;
  m_State.OnAlarm(e);
  m_State.Update(m_Watch->Monitor());
  EXPECT_EQ(alarmed(), "1");
  m_State.Update(m_Watch->Monitor());
  EXPECT_EQ(alarmed(), "1");
  // An alarm naming no disk of the list is ignored.
  e.DiskIndex = 5;
  m_State.OnAlarm(e);
  m_State.Update(m_Watch->Monitor());
}

// The readings part of a scrape is kept from one update to the next: what
// is served must be what formatting the same state afresh gives, after
// every kind of change, and a scrape while the monitor updates sees one
// update's state whole.
TEST_F(MetricsServerTest, KeptExpositionFollowsEveryChangeAndIsNeverTorn) {
  const auto fresh = [&](int64_t now, bool withRates) {
    monitor::CMetricsState state("9.8.7");
    state.Update(m_Watch->Monitor());
    if (withRates) state.UpdatePerformance({}, {uint64_t{4096}}, {uint64_t{512}});
    return state.Format(now);
  };
  const int64_t t = 1767225600;
  // The time of the scrape: only the ages change.
  EXPECT_EQ(m_State.Format(t), fresh(t, false));
  EXPECT_EQ(m_State.Format(t + 100), fresh(t + 100, false));
  EXPECT_NE(m_State.Format(t + 100), m_State.Format(t));
  // New performance figures.
  m_State.UpdatePerformance({}, {uint64_t{4096}}, {uint64_t{512}});
  EXPECT_NE(m_State.Format(t).find("stavrion_disk_read_bytes_per_second{device=\"PhysicalDrive0\"} "
                                   "4096\n"),
            std::string::npos);
  EXPECT_EQ(m_State.Format(t), fresh(t, true));
  // A new read of the disk: its new temperature is served.
  const std::string before = m_State.Format(t);
  m_Watch->Monitor().Refresh(true);
  m_State.Update(m_Watch->Monitor());
  const std::string after = m_State.Format(t);
  EXPECT_NE(after, before);
  EXPECT_EQ(after, fresh(t, true));

  // Scrapes on another thread while the disk is read and copied again and
  // again: each is the whole exposition of one of the states copied.
  constexpr int UPDATES = 12;
  std::vector<std::string> states = {after};
  std::vector<std::string> scraped;
  std::atomic<bool> done{false};
  std::thread scraper([&] {
    while (!done) scraped.push_back(m_State.Format(t));
  });
  for (int i = 0; i < UPDATES; ++i) {
    m_Watch->Monitor().Refresh(true);
    m_State.Update(m_Watch->Monitor());
    states.push_back(fresh(t, true));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  done = true;
  scraper.join();
  ASSERT_FALSE(scraped.empty());
  EXPECT_NE(states.front(), states.back());  // the disk did change meanwhile
  for (const std::string& text : scraped) {
    EXPECT_NE(std::find(states.begin(), states.end(), text), states.end())
        << "a scrape that is no state's exposition:\n"
        << text;
  }
}

}  // namespace
