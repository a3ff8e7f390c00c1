// `stavrion watch` end to end on the demo machine with a settings folder of
// its own: history files, and an alarm that reaches the alarm command with
// its facts in the environment.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "cli/WatchCommand.h"
#include "tests/support/TempDir.h"

namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// "NAME=value" lines as a map.
std::map<std::string, std::string> ParseEnvironment(const std::string& text) {
  std::map<std::string, std::string> env;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) env[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return env;
}

// Waits up to `seconds` for `path` to hold a complete record (its last
// line "END").
std::string WaitForRecord(const std::string& path, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::string text;
  while (std::chrono::steady_clock::now() < end) {
    text = ReadText(path);
    if (text.find("\nEND\n") != std::string::npos) return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return text;
}

constexpr const char* HOT_DISK = "SAMSUNG HD501LJS0MUJ1NQ110060";  // 47 C on the demo machine

TEST(WatchAlarms, OnceOnTheDemoMachineWritesHistoryAndRunsTheAlarmCommand) {
  testutil::CTempDir dir;
  const std::string folder = dir.Path().string();
  const std::string record = folder + "/alarm-environment.txt";
  // The alarm command: a script run directly (no shell in between) that
  // writes what it got. A blank and a quote in its path must not matter.
  const std::string script = folder + "/my \"alarm\".sh";
  std::ofstream(script) << "#!/bin/sh\nenv | grep '^STAVRION_' | sort > '" << record
                        << ".part'\necho END >> '" << record << ".part'\nmv '" << record
                        << ".part' '" << record << "'\n";
  ASSERT_EQ(chmod(script.c_str(), 0755), 0);
  // One disk of the demo machine has an upper temperature limit it is past.
  std::ofstream(folder + "/stavrion.ini")
      << "[Setting]\nSmartLog=1\nAutoRefresh=4\n\n[AlarmTemperature]\n"
      << HOT_DISK << "=45\n";

  testing::internal::CaptureStdout();
  const int status = cli::RunWatch({"--once", "--machine", "demo", "--config",
                                    folder + "/stavrion.ini", "--alarm-command", script});
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(status, 0);
  // The alarm's line on standard output (the journal under systemd).
  EXPECT_NE(out.find("stavrion watch: alarm 606: "), std::string::npos) << out;

  // History: the hot disk's folder with its records.
  const std::string disk = folder + "/" + HOT_DISK + "/";
  const std::string temperature = ReadText(disk + "Temperature.csv");
  EXPECT_NE(temperature.find(",47\n"), std::string::npos) << temperature;
  const std::string smartIni = ReadText(disk + "Smart.ini");
  EXPECT_NE(smartIni.find("Temperature=47"), std::string::npos) << smartIni;
  EXPECT_TRUE(std::filesystem::exists(folder + "/Exchange.ini"));

  // The alarm command ran once for the one alarm, without being waited for.
  const std::string text = WaitForRecord(record, 20);
  ASSERT_NE(text.find("\nEND\n"), std::string::npos) << "the alarm command never ran: " << text;
  std::map<std::string, std::string> env = ParseEnvironment(text);
  EXPECT_EQ(env["STAVRION_ALARM_KIND"], "temperature");
  EXPECT_EQ(env["STAVRION_ALARM_ID"], "606");
  EXPECT_EQ(env["STAVRION_MODEL"], "SAMSUNG HD501LJ");
  EXPECT_EQ(env["STAVRION_SERIAL"], "S0MUJ1NQ110060");
  EXPECT_EQ(env["STAVRION_FIGURE"], "47");
  EXPECT_EQ(env["STAVRION_LIMIT"], "45");
  EXPECT_NE(env["STAVRION_MESSAGE"].find("47"), std::string::npos) << env["STAVRION_MESSAGE"];
  EXPECT_FALSE(env["STAVRION_DISK_INDEX"].empty());
}

TEST(WatchAlarms, AnAlarmCommandThatCannotStartIsReportedAndWatchGoesOn) {
  testutil::CTempDir dir;
  const std::string folder = dir.Path().string();
  std::ofstream(folder + "/stavrion.ini") << "[Setting]\nSmartLog=1\n\n[AlarmTemperature]\n"
                                          << HOT_DISK << "=45\n";
  testing::internal::CaptureStderr();
  const int status =
      cli::RunWatch({"--once", "--machine", "demo", "--config", folder + "/stavrion.ini",
                     "--alarm-command", folder + "/no-such-program"});
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, 0);
  EXPECT_NE(err.find("no-such-program"), std::string::npos) << err;
  EXPECT_TRUE(std::filesystem::exists(folder + "/" + HOT_DISK + "/Smart.ini"));
}

}  // namespace
