// Whole-chain golden reports: each simulated machine under fixtures/ goes
// through discovery, admission, S.M.A.R.T. reading, family classification
// and status, and its JSON report must equal the reviewed file under
// fixtures/golden/ byte for byte. fixtures/golden/README.md says why each
// derived figure of the real disks is what it is. After a reviewed change,
// scripts/regen-golden.sh rewrites the files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/AtaSmart.h"
#include "monitor/DiskReport.h"
#include "os/IniProfile.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/StdFileSystem.h"

namespace {

const std::filesystem::path kFixtures = std::filesystem::path(STAVRION_SOURCE_DIR) / "fixtures";

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The JSON report of the machine in fixtures/<name>, as `stavrion report
// --json --machine` prints it.
std::string ReportOf(const std::string& name, std::string* error) {
  os::sim::LoadResult loaded = os::sim::LoadMachineFolder((kFixtures / name).string());
  if (!loaded.Machine) {
    *error = loaded.Error;
    return {};
  }
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), files);
  os::Platform platform = sim.Get();
  CAtaSmart ata(platform);
  monitor::DiscoverDisks(ata);
  return monitor::DiskReportJson(
      ata.vars, monitor::FindUnreadDisks(ata.vars, platform.Wmi, platform.Devices));
}

// Reports the first line that differs, which is where a reviewer looks.
void ExpectSameReport(const std::string& expected, const std::string& actual) {
  if (expected == actual) return;
  std::istringstream e(expected), a(actual);
  std::string le, la;
  for (int line = 1;; ++line) {
    bool he = static_cast<bool>(std::getline(e, le));
    bool ha = static_cast<bool>(std::getline(a, la));
    if (!he && !ha) break;
    if (le != la || he != ha) {
      ADD_FAILURE() << "first difference at line " << line << "\n  expected: " << le
                    << "\n  actual:   " << la;
      return;
    }
  }
  ADD_FAILURE() << "reports differ";
}

class GoldenReport : public testing::TestWithParam<const char*> {};

TEST_P(GoldenReport, MatchesTheReviewedFile) {
  const std::string name = GetParam();
  if (!std::filesystem::is_directory(kFixtures / name)) {
    GTEST_SKIP() << "fixtures/" << name << " is not there";
  }
  const auto golden = kFixtures / "golden" / (name + ".json");
  ASSERT_TRUE(std::filesystem::is_regular_file(golden))
      << golden << " is missing: run scripts/regen-golden.sh and review it";
  std::string error;
  std::string report = ReportOf(name, &error);
  ASSERT_TRUE(error.empty()) << error;
  ExpectSameReport(ReadText(golden), report);
}

INSTANTIATE_TEST_SUITE_P(Machines, GoldenReport, testing::Values("real-ata", "families"),
                         [](const testing::TestParamInfo<const char*>& p) {
                           std::string n = p.param;
                           for (char& c : n) c = (c == '-') ? '_' : c;
                           return n;
                         });

TEST(GoldenReport, RealDisksReadAsTheirFoldersSay) {
  // The report lists the six real disks in folder order, each reached on
  // its physical drive: a fixture mix-up shows here before in the details.
  std::string error;
  std::string report = ReportOf("real-ata", &error);
  ASSERT_TRUE(error.empty()) << error;
  size_t at = 0;
  for (const char* model : {"FUJITSU MHY2120BH", "INTEL SSDSA2CW120G3", "MCCOE64GEMPP",
                            "SAMSUNG HD501LJ", "ST9100821AS", "WDC WD5000AAKS-00TMA0"}) {
    at = report.find(std::string("\"Model\": \"") + model + "\"", at);
    ASSERT_NE(at, std::string::npos) << model;
  }
}

}  // namespace
