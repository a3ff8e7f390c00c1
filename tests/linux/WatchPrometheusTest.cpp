// `stavrion watch --metrics` scraped by a real Prometheus server (Debian's
// prometheus package) on loopback: the server is started and stopped by the
// test, scrapes the endpoint once a second, and its HTTP API must then
// answer queries with the disk's figures.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/WatchCommand.h"
#include "os/NativePlatform.h"
#include "os/Net.h"
#include "os/sim/SimPlatform.h"
#include "tests/TempDir.h"
#include "tests/WorseningMachine.h"

extern char** environ;

namespace {

constexpr const char* PROMETHEUS = "/usr/bin/prometheus";

// A free loopback port (the listener is closed again before use).
uint16_t FreePort(os::INet& net) {
  std::string error;
  std::unique_ptr<os::IListener> l = net.Listen("127.0.0.1", 0, &error);
  return l ? l->Port() : 0;
}

// GET over plain HTTP/1.0; the whole answer, empty on failure.
std::string HttpGet(os::INet& net, uint16_t port, const std::string& target) {
  std::string error;
  std::unique_ptr<os::ISocket> s = net.Connect("127.0.0.1", port, 1000, &error);
  if (!s) return {};
  if (s->Send("GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n", 1000) != os::NetStatus::Ok) {
    return {};
  }
  std::string answer;
  char buffer[4096];
  for (;;) {
    size_t got = 0;
    const os::NetStatus st = s->Receive(buffer, sizeof buffer, &got, 2000);
    if (st != os::NetStatus::Ok) break;
    answer.append(buffer, got);
  }
  return answer;
}

class CPrometheus {
 public:
  CPrometheus(const std::string& folder, uint16_t webPort, uint16_t targetPort) {
    const std::string config = folder + "/prometheus.yml";
    std::ofstream(config) << "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                          << "scrape_configs:\n  - job_name: stavrion\n    static_configs:\n"
                          << "      - targets: ['127.0.0.1:" << targetPort << "']\n";
    std::vector<std::string> args = {PROMETHEUS,
                                     "--config.file=" + config,
                                     "--storage.tsdb.path=" + folder + "/data",
                                     "--web.listen-address=127.0.0.1:" + std::to_string(webPort),
                                     "--log.level=error"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    if (posix_spawn(&m_Pid, PROMETHEUS, nullptr, &attr, argv.data(), environ) != 0) m_Pid = 0;
    posix_spawnattr_destroy(&attr);
  }
  ~CPrometheus() {
    if (m_Pid <= 0) return;
    kill(m_Pid, SIGTERM);
    int status = 0;
    waitpid(m_Pid, &status, 0);
  }
  bool Started() const { return m_Pid > 0; }

 private:
  pid_t m_Pid = 0;
};

TEST(WatchPrometheus, ARealPrometheusScrapesWatchAndAnswersQueries) {
  if (access(PROMETHEUS, X_OK) != 0) {
    GTEST_SKIP() << "prometheus is not installed (Debian package prometheus)";
  }
  os::NativePlatform native;
  os::INet& net = *native.Get().Net;
  testutil::CTempDir dir;
  const std::string folder = testutil::WriteWorseningMachine(dir.Path().string());
  std::ofstream(folder + "/stavrion.ini") << "[Setting]\nAutoRefresh=1\nSmartLog=1\n";
  const uint16_t webPort = FreePort(net);
  ASSERT_NE(webPort, 0);

  std::unique_ptr<CPrometheus> prometheus;
  std::string temperature;
  std::string info;
  bool scraped = false;
  cli::WatchHooks hooks;
  hooks.OnMetricsListening = [&](uint16_t port) {
    prometheus = std::make_unique<CPrometheus>(dir.File("prom"), webPort, port);
  };
  hooks.Wait = [&](os::sim::CSimPlatform*, uint32_t) {
    if (!prometheus || !prometheus->Started()) return true;
    // Up to 30 s for the server to start and scrape twice.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
      temperature = HttpGet(net, webPort,
                            "/api/v1/query?query=smartctl_device_temperature%7Btemperature_type"
                            "%3D%22current%22%7D");
      if (temperature.find("\"value\":[") != std::string::npos) {
        scraped = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    info = HttpGet(net, webPort, "/api/v1/query?query=stavrion_disk_info");
    return true;
  };
  ASSERT_EQ(cli::RunWatchWith({"--machine", folder, "--config", folder + "/stavrion.ini",
                               "--metrics", "127.0.0.1:0"},
                              hooks),
            0);
  prometheus.reset();
  ASSERT_TRUE(scraped) << temperature;
  EXPECT_NE(temperature.find("\"device\":\"PhysicalDrive0\""), std::string::npos) << temperature;
  // The first read of the machine's queue: day 0's temperature.
  EXPECT_NE(temperature.find("\"" + std::to_string(testutil::WorseningTemperature(0)) + "\"]"),
            std::string::npos)
      << temperature;
  EXPECT_NE(info.find("WTD0001"), std::string::npos) << info;
}

}  // namespace
