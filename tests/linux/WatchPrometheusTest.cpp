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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/WatchCommand.h"
#include "os/NativePlatform.h"
#include "os/Net.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/HttpClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorseningMachine.h"

extern char** environ;

namespace {

constexpr const char* PROMETHEUS = "/usr/bin/prometheus";

// A free loopback port (the listener is closed again before use).
uint16_t FreePort(os::INet& net) {
  std::string error;
  std::unique_ptr<os::IListener> l = net.Listen("127.0.0.1", 0, &error);
  return l ? l->Port() : 0;
}

// Runs a shell command line built only from our own paths; its output.
int RunCommand(const std::string& command, std::string* output) {
  std::FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return -1;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) output->append(buffer, n);
  const int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class CPrometheus {
 public:
  CPrometheus(const std::string& folder, uint16_t webPort, uint16_t targetPort) {
    std::filesystem::create_directories(folder);
    const std::string config = folder + "/prometheus.yml";
    std::ofstream(config) << "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                          << "scrape_configs:\n  - job_name: stavrion\n    static_configs:\n"
                          << "      - targets: ['127.0.0.1:" << targetPort << "']\n";
    std::vector<std::string> args = {
        PROMETHEUS, "--config.file=" + config, "--storage.tsdb.path=" + folder + "/data",
        "--web.listen-address=127.0.0.1:" + std::to_string(webPort), "--log.level=error"};
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
  // False once the server has ended (a bad configuration, a taken port).
  bool Running() {
    if (m_Pid <= 0) return false;
    int status = 0;
    if (waitpid(m_Pid, &status, WNOHANG) != m_Pid) return true;
    m_Pid = 0;
    return false;
  }

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
  std::string up;
  std::string scrape;
  bool scraped = false;
  size_t reads = 0;
  cli::WatchHooks hooks;
  uint16_t metricsPort = 0;
  hooks.OnMetricsListening = [&](uint16_t port) {
    metricsPort = port;
    prometheus = std::make_unique<CPrometheus>(dir.File("prom"), webPort, port);
  };
  hooks.Wait = [&](os::sim::CSimPlatform* sim, uint32_t) {
    if (!prometheus || !prometheus->Started() || sim == nullptr) return true;
    reads = sim->Machine().Disks[0].SmartReads;
    // Our own scrape, for promtool.
    scrape = testutil::HttpGet(net, metricsPort, "/metrics");
    // Up to 60 s for the server to start and scrape (it scrapes every second).
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < end && prometheus->Running()) {
      temperature = testutil::HttpGet(net, webPort,
                                      "/api/v1/query?query=smartctl_device_temperature%7B"
                                      "temperature_type%3D%22current%22%7D");
      if (temperature.find("\"value\":[") != std::string::npos) {
        scraped = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    info = testutil::HttpGet(net, webPort, "/api/v1/query?query=stavrion_disk_info");
    up = testutil::HttpGet(net, webPort, "/api/v1/query?query=up%7Bjob%3D%22stavrion%22%7D");
    return true;
  };
  ASSERT_EQ(cli::RunWatchWith({"--machine", folder, "--config", folder + "/stavrion.ini",
                               "--metrics", "127.0.0.1:0"},
                              hooks),
            0);
  ASSERT_NE(prometheus, nullptr) << "watch never said it listens";
  const bool stillRunning = prometheus->Running();
  prometheus.reset();
  ASSERT_TRUE(stillRunning) << "prometheus ended early; see its log above";
  ASSERT_TRUE(scraped) << temperature;
  EXPECT_NE(temperature.find("\"device\":\"PhysicalDrive0\""), std::string::npos) << temperature;
  // The temperature of the latest read (discovery reads the disk more than
  // once); the scrapes themselves never read it.
  ASSERT_GT(reads, 0u);
  EXPECT_NE(temperature.find(
                "\"" + std::to_string(testutil::WorseningTemperature(static_cast<int>(reads) - 1)) +
                "\"]"),
            std::string::npos)
      << temperature;
  EXPECT_NE(info.find("WTD0001"), std::string::npos) << info;
  // The scrape target is healthy: no scrape failed.
  EXPECT_NE(up.find("\"1\"]"), std::string::npos) << up;

  // What Prometheus scraped, as its checker reads it.
  ASSERT_EQ(scrape.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << scrape;
  EXPECT_NE(scrape.find("Content-Type: text/plain; version=0.0.4"), std::string::npos);
  const std::string path = dir.File("scrape.prom");
  std::ofstream(path, std::ios::binary) << testutil::HttpBody(scrape);
  std::string output;
  const int status = RunCommand("promtool check metrics < '" + path + "'", &output);
  // The one finding allowed is the smartctl exporter's own name.
  const std::string allowed =
      "smartctl_device_power_cycle_count non-histogram and non-summary metrics should not have "
      "\"_count\" suffix\n";
  EXPECT_TRUE(status == 0 || output == allowed) << status << output;
  EXPECT_TRUE(output.empty() || output == allowed) << output;
}

}  // namespace
