// The exposition and the shipped alert rules as Prometheus's own checker
// (promtool, from Debian's prometheus package) reads them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "monitor/DiskReport.h"
#include "monitor/MetricsExposition.h"
#include "os/sim/DemoMachine.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/StdFileSystem.h"
#include "tests/support/TempDir.h"

namespace {

bool HavePromtool() { return std::system("command -v promtool >/dev/null 2>&1") == 0; }

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

TEST(PrometheusTools, PromtoolAcceptsTheExpositionOfTheDemoMachine) {
  if (!HavePromtool()) GTEST_SKIP() << "promtool is not installed (Debian package prometheus)";
  os::sim::LoadResult loaded = os::sim::LoadDemoMachine();
  ASSERT_TRUE(loaded.Machine) << loaded.Error;
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), files);
  CAtaSmart ata(sim.Get());
  monitor::DiscoverDisks(ata);
  monitor::MetricsInput in;
  in.Now = 100;
  in.Version = "0.1.0";
  for (const ATA_SMART_INFO& a : ata.vars) {
    in.Disks.push_back({&a, 90, false, {}, 5120000000ull, 0});
  }
  in.System = {37, 4096ull << 20, 16384ull << 20};
  // A disk with hostile texts as well.
  ATA_SMART_INFO odd = ata.vars[0];
  odd.Model = "a\"b\\c\nd \xFF";
  odd.SerialNumber = "}{=,";
  in.Disks.push_back({&odd, 0, true, {}, std::nullopt, std::nullopt});

  testutil::CTempDir dir;
  const std::string path = dir.File("metrics.prom");
  std::ofstream(path, std::ios::binary) << monitor::FormatMetrics(in);
  std::string output;
  // `check metrics` also lints names (units, _total, HELP). The one finding
  // allowed is the name the smartctl exporter chose and dashboards use.
  const int status = RunCommand("promtool check metrics < '" + path + "'", &output);
  const std::string allowed =
      "smartctl_device_power_cycle_count non-histogram and non-summary metrics should not have "
      "\"_count\" suffix\n";
  EXPECT_TRUE(status == 0 || output == allowed) << status;
  EXPECT_EQ(output, allowed);
}

TEST(PrometheusTools, PromtoolAcceptsTheShippedAlertRules) {
  if (!HavePromtool()) GTEST_SKIP() << "promtool is not installed (Debian package prometheus)";
  std::string output;
  EXPECT_EQ(RunCommand(std::string("promtool check rules '") + STAVRION_SOURCE_DIR +
                           "/packaging/prometheus/stavrion-alerts.yml'",
                       &output),
            0)
      << output;
}

}  // namespace
