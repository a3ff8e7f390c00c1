// The metrics endpoint's address and request parsing, its answers, and the
// alarm states it publishes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/MetricsEndpoint.h"

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
    if (c.Expected == HttpParse::OK) EXPECT_EQ(head.Target, c.Target);
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
      {HttpParse::OK, "HEAD", "/metrics", "HTTP/1.1 200 OK", false, true},
      {HttpParse::OK, "GET", "/", "HTTP/1.1 200 OK", true, false},
      {HttpParse::OK, "GET", "/metrics/../x", "HTTP/1.1 404 Not Found", true, false},
      {HttpParse::OK, "POST", "/metrics", "HTTP/1.1 405 Method Not Allowed", true, false},
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
    }
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

}  // namespace
