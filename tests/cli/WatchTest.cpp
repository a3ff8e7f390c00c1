// `stavrion watch`: where its files go, its command line, one cycle and a
// few cycles on a simulated machine that gets worse over time.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/WatchCommand.h"
#include "monitor/HistoryLog.h"
#include "monitor/Watch.h"
#include "monitor/WatchPaths.h"
#include "os/NativePlatform.h"
#include "os/Net.h"
#include "os/Process.h"
#include "os/sim/DemoMachine.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/HttpClient.h"
#include "tests/support/NullPlatform.h"
#include "tests/support/StdFileSystem.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorseningMachine.h"

namespace {

using monitor::ResolveWatchPaths;
using monitor::WatchEnvironment;
using monitor::WatchPaths;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(WatchPaths, FollowTheUserRootWindowsAndConfigRules) {
  struct Case {
    const char* Name;
    std::map<std::string, std::string> Env;
    bool Root;
    bool Windows;
    std::string Config;
    WatchPaths Expected;
  };
  const std::string exe = "C:\\Tools\\stavrion.exe";
  const std::vector<Case> cases = {
      {"user with XDG",
       {{"XDG_CONFIG_HOME", "/c"},
        {"XDG_STATE_HOME", "/s"},
        {"XDG_RUNTIME_DIR", "/run/user/1"},
        {"HOME", "/home/u"}},
       false,
       false,
       "",
       {"/c/stavrion/stavrion.ini", "/s/stavrion", "/s/stavrion/Exchange.ini",
        "/run/user/1/stavrion/registry"}},
      {"user with HOME only",
       {{"HOME", "/home/u"}},
       false,
       false,
       "",
       {"/home/u/.config/stavrion/stavrion.ini", "/home/u/.local/state/stavrion",
        "/home/u/.local/state/stavrion/Exchange.ini",
        "/home/u/.local/state/stavrion/run/registry"}},
      {"relative XDG values are ignored",
       {{"XDG_CONFIG_HOME", "rel"}, {"XDG_STATE_HOME", "rel"}, {"HOME", "/h"}},
       false,
       false,
       "",
       {"/h/.config/stavrion/stavrion.ini", "/h/.local/state/stavrion",
        "/h/.local/state/stavrion/Exchange.ini", "/h/.local/state/stavrion/run/registry"}},
      {"root",
       {{"HOME", "/root"}, {"XDG_CONFIG_HOME", "/x"}},
       true,
       false,
       "",
       {"/etc/stavrion/stavrion.ini", "/var/lib/stavrion", "/var/lib/stavrion/Exchange.ini",
        "/run/stavrion/registry"}},
      {"config file",
       {},
       true,
       false,
       "/tmp/w/my.ini",
       {"/tmp/w/my.ini", "/tmp/w", "/tmp/w/Exchange.ini", "/tmp/w/registry"}},
      {"config file without folder",
       {},
       false,
       false,
       "my.ini",
       {"my.ini", ".", "./Exchange.ini", "./registry"}},
      {"windows",
       {},
       false,
       true,
       "",
       // No machine known: the window program's root without an address.
       {"C:\\Tools\\stavrion.ini", "C:\\Tools\\Smart-", "C:\\Tools\\Smart-\\Exchange.ini", ""}},
      {"windows config",
       {},
       false,
       true,
       "D:\\mon\\s.ini",
       {"D:\\mon\\s.ini", "D:\\mon", "D:\\mon\\Exchange.ini", "D:\\mon\\registry"}},
  };
  for (const Case& c : cases) {
    WatchEnvironment env;
    env.Getenv = [&c](const std::string& name) {
      auto it = c.Env.find(name);
      return it == c.Env.end() ? std::string() : it->second;
    };
    env.Root = c.Root;
    env.Windows = c.Windows;
    env.ExecutablePath = exe;
    WatchPaths p;
    std::string error;
    ASSERT_TRUE(ResolveWatchPaths(env, c.Config, &p, &error)) << c.Name << ": " << error;
    EXPECT_EQ(p.Settings, c.Expected.Settings) << c.Name;
    EXPECT_EQ(p.HistoryRoot, c.Expected.HistoryRoot) << c.Name;
    EXPECT_EQ(p.Exchange, c.Expected.Exchange) << c.Name;
    EXPECT_EQ(p.StatusTree, c.Expected.StatusTree) << c.Name;
  }
  // A user without HOME and XDG variables gets a clear error.
  WatchEnvironment bare;
  bare.Getenv = [](const std::string&) { return std::string(); };
  WatchPaths p;
  std::string error;
  EXPECT_FALSE(ResolveWatchPaths(bare, "", &p, &error));
  EXPECT_NE(error.find("--config"), std::string::npos) << error;
}

// A system that lists the adapters it is given (false: the list fails).
class CAdapterSystem : public testutil::NullSystem {
 public:
  CAdapterSystem(bool listed, std::vector<os::NetworkAdapter> adapters)
      : m_Listed(listed), m_Adapters(std::move(adapters)) {}
  bool GetNetworkAdapters(std::vector<os::NetworkAdapter>* adapters) override {
    *adapters = m_Listed ? m_Adapters : std::vector<os::NetworkAdapter>{};
    return m_Listed;
  }

 private:
  bool m_Listed;
  std::vector<os::NetworkAdapter> m_Adapters;
};

// On Windows `watch` and the window program keep one history: the root
// beside the program is named after the watched machine's first adapter
// with a hardware address, and an address that cannot be read this time
// keeps the one root already named by an address.
TEST(WatchPaths, OnWindowsTheHistoryRootIsTheWindowProgramsOne) {
  const os::NetworkAdapter tunnel{"Tunnel", {}};
  const os::NetworkAdapter card{"Card", {0x02, 0x00, 0x5E, 0x10, 0x00, 0x01}};
  const struct {
    const char* Name;
    bool Listed;
    std::vector<os::NetworkAdapter> Adapters;
    std::vector<std::string> Folders;  // beside the program before the start
    std::string Root;
    // The folder beside the program is looked at: Windows paths only
    // (the Windows build under Wine).
    bool Looks;
  } cases[] = {
      {"first adapter with an address",
       true,
       {tunnel, card},
       {"Smart-00-1A-2B-3C-4D-5E"},
       "Smart-02-00-5E-10-00-01",
       false},
      {"no adapter", true, {}, {}, "Smart-", true},
      {"list fails, one root",
       false,
       {},
       {"Smart-00-1A-2B-3C-4D-5E"},
       "Smart-00-1A-2B-3C-4D-5E",
       true},
      {"list fails, no root", false, {}, {"Smart"}, "Smart-", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.Looks && !os::IsWindowsBuild()) continue;
    testutil::CTempDir dir;
    for (const std::string& f : c.Folders) std::filesystem::create_directory(dir.File(f));
    testutil::CStdFileSystem files;
    CAdapterSystem system(c.Listed, c.Adapters);
    WatchEnvironment env;
    env.Getenv = [](const std::string&) { return std::string(); };
    env.Windows = true;
    env.ExecutablePath = dir.File("stavrion.exe");
    env.Files = &files;
    env.System = &system;
    WatchPaths p;
    std::string error;
    ASSERT_TRUE(ResolveWatchPaths(env, "", &p, &error)) << error;
    const std::string root = dir.Path().string() + "\\" + c.Root;
    EXPECT_EQ(p.HistoryRoot, root);
    EXPECT_EQ(p.Exchange, root + "\\Exchange.ini");
    if (os::IsWindowsBuild()) {
      // The window program's choice beside a program in the same folder.
      EXPECT_EQ(p.HistoryRoot + files.Separator(),
                monitor::CHistoryLog::ChooseHistoryRoot(files, system, dir.File("Smart")));
    }
    // --config still puts everything beside the settings file.
    ASSERT_TRUE(ResolveWatchPaths(env, dir.File("w.ini"), &p, &error)) << error;
    EXPECT_EQ(p.HistoryRoot, dir.Path().string());
  }
}

// The process's environment names the machine watched: a simulated
// machine's adapter names the root, not the computer's own.
TEST(WatchPaths, TheEnvironmentOfAMachineCarriesItsAdapters) {
  os::sim::LoadResult loaded = os::sim::LoadDemoMachine();
  ASSERT_TRUE(loaded.Machine) << loaded.Error;
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), files);
  WatchEnvironment env = monitor::ProcessWatchEnvironment(sim.Get());
  EXPECT_EQ(env.System, &sim.Get().System);
  EXPECT_EQ(env.Files, &sim.Get().Files);
  std::vector<os::NetworkAdapter> adapters;
  ASSERT_TRUE(sim.Get().System.GetNetworkAdapters(&adapters));
  const auto address = os::FirstHardwareAddress(adapters);
  ASSERT_TRUE(address);
  testutil::CTempDir dir;
  env.Windows = true;
  env.ExecutablePath = dir.File("stavrion.exe");
  WatchPaths p;
  std::string error;
  ASSERT_TRUE(ResolveWatchPaths(env, "", &p, &error)) << error;
  EXPECT_EQ(p.HistoryRoot + '\\',
            monitor::CHistoryLog::HistoryRoot(dir.Path().string() + "\\Smart", address, '\\'));
}

TEST(WatchCommand, RefusesBadCommandLinesAndHelpsWithExitZero) {
  testutil::CTempDir dir;
  const std::string config = dir.File("s.ini");
  struct Case {
    std::vector<std::string> Args;
    int Status;
  };
  const std::vector<Case> cases = {
      {{"--help"}, 0},
      {{"--once", "-h"}, 0},
      {{"--bogus"}, 2},
      {{"--config"}, 2},
      {{"--config="}, 2},
      {{"--machine"}, 2},
      {{"--machine", "demo", "--machine", "demo"}, 2},
      {{"--machine", dir.File("no-such-machine"), "--once", "--config", config}, 2},
      {{"--metrics"}, 2},
      {{"--metrics", "no-port", "--config", config}, 2},
      {{"--metrics", "127.0.0.1:99999", "--config", config}, 2},
      {{"--alarm-command="}, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cli::RunWatch(c.Args), c.Status) << testing::PrintToString(c.Args);
  }
  // None of them touched the settings file.
  EXPECT_FALSE(std::filesystem::exists(config));
}

TEST(WatchCommand, OnceReadsTheDemoMachineAndStartsANewSettingsFileForUnattendedUse) {
  testutil::CTempDir dir;
  const std::string config = dir.File("sub/stavrion.ini");
  ASSERT_EQ(cli::RunWatch({"--once", "--machine", "demo", "--config", config}), 0);
  const std::string text = ReadText(config);
  EXPECT_NE(text.find("SmartLog=1"), std::string::npos) << text;
  EXPECT_NE(text.find("AutoRefresh=4"), std::string::npos) << text;

  // An existing file is the user's: its choices stay.
  std::ofstream(config) << "[Setting]\nSmartLog=0\nAutoRefresh=0\n";
  ASSERT_EQ(cli::RunWatch({"--once", "--machine", "demo", "--config", config}), 0);
  const std::string again = ReadText(config);
  EXPECT_NE(again.find("SmartLog=0"), std::string::npos) << again;
  EXPECT_NE(again.find("AutoRefresh=0"), std::string::npos) << again;
}

// Runs watch on the worsening machine with a 1-minute automatic refresh
// for `minutes` of simulated time.
struct WatchRun {
  int Status = -1;
  size_t SmartReads = 0;
  uint64_t Waited = 0;
};

WatchRun RunWorsening(const std::string& folder, int minutes,
                      const std::vector<std::string>& extra = {},
                      const std::function<void()>& eachWait = {}) {
  std::ofstream(folder + "/stavrion.ini") << "[Setting]\nAutoRefresh=1\nSmartLog=1\nGadget=1\n";
  WatchRun run;
  cli::WatchHooks hooks;
  os::sim::CSimPlatform* seen = nullptr;
  hooks.OnSimulatedMachine = [&](os::sim::CSimPlatform& sim) { seen = &sim; };
  hooks.Wait = [&](os::sim::CSimPlatform* sim, uint32_t ms) {
    if (sim == nullptr) return true;
    sim->Clock().Advance(ms);
    run.Waited += ms;
    run.SmartReads = sim->Machine().Disks[0].SmartReads;
    if (eachWait) eachWait();
    return run.Waited >= static_cast<uint64_t>(minutes) * 60000;
  };
  std::vector<std::string> args = {"--machine", folder, "--config", folder + "/stavrion.ini"};
  args.insert(args.end(), extra.begin(), extra.end());
  run.Status = cli::RunWatchWith(args, hooks);
  EXPECT_NE(seen, nullptr);
  return run;
}

TEST(WatchCommand, ReadsTheDisksOnTheAutomaticRefreshTimerUntilStopped) {
  testutil::CTempDir dir;
  const std::string folder = testutil::WriteWorseningMachine(dir.Path().string());
  const WatchRun three = RunWorsening(folder, 3);
  ASSERT_EQ(three.Status, 0);
  const WatchRun six = RunWorsening(folder, 6);
  ASSERT_EQ(six.Status, 0);
  // Each minute of the timer reads the disk once more.
  EXPECT_GE(three.SmartReads, 3u);
  EXPECT_EQ(six.SmartReads, three.SmartReads + 3);
}

TEST(WatchCommand, AllDisksJudgesAnUnratedDiskForTheRunOnlyAndItsWorseStatusRaisesTheAlarm) {
  // The worsening disk is of no rated maker or family: Unknown by default,
  // so its growing reallocated count warns nobody unless every disk is
  // judged.
  for (const bool allDisks : {false, true}) {
    SCOPED_TRACE(allDisks ? "--all-disks" : "default");
    testutil::CTempDir dir;
    const std::string folder = testutil::WriteWorseningMachine(dir.Path().string());
    testing::internal::CaptureStdout();
    const WatchRun run = RunWorsening(
        folder, 8, allDisks ? std::vector<std::string>{"--all-disks"} : std::vector<std::string>{});
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(run.Status, 0);
    const bool statusAlarm = out.find("stavrion watch: alarm 608: ") != std::string::npos;
    const bool named =
        out.find("1 disk(s) of no rated maker or family judged only this way") != std::string::npos;
    EXPECT_EQ(statusAlarm, allDisks) << out;
    EXPECT_EQ(named, allDisks) << out;
    // The flag holds for the run: the settings file does not learn it.
    EXPECT_EQ(ReadText(folder + "/stavrion.ini").find("EvaluateAllDisks"), std::string::npos);
  }
}

TEST(WatchCommand, PublishesTheDisksWhileItRunsAndRemovesTheStatusTreeAtTheEnd) {
  testutil::CTempDir dir;
  const std::string folder = testutil::WriteWorseningMachine(dir.Path().string());
  const std::string tree = folder + "/registry/software/Tessaly/Vardex";
  std::vector<std::string> seen;
  const WatchRun run = RunWorsening(folder, 2, {}, [&] {
    seen.push_back(ReadText(tree + "/DiskCount") + ReadText(tree + "/Disk0"));
  });
  ASSERT_EQ(run.Status, 0);
  if (!os::IsWindowsBuild()) {
    // On Windows the tree is the registry itself.
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), "1\nWATCH TEST DISKWTD0001\n");
    EXPECT_FALSE(std::filesystem::exists(tree));
  }
  const std::string exchange = ReadText(folder + "/Exchange.ini");
  EXPECT_NE(exchange.find("DetectedDisk=1"), std::string::npos) << exchange;
  EXPECT_NE(exchange.find("0=WATCH TEST DISK"), std::string::npos) << exchange;
  EXPECT_NE(exchange.find("0=WTD0001"), std::string::npos) << exchange;
}

TEST(WatchCommand, ServesMetricsFromWhatTheLastRefreshRead) {
  os::NativePlatform native;
  if (native.Get().Net == nullptr) GTEST_SKIP() << "this platform has no sockets";
  testutil::CTempDir dir;
  const std::string folder = testutil::WriteWorseningMachine(dir.Path().string());
  uint16_t port = 0;
  std::vector<std::string> scrapes;
  std::vector<size_t> reads;
  std::string refused;
  cli::WatchHooks hooks;
  hooks.OnMetricsListening = [&](uint16_t p) { port = p; };
  uint64_t waited = 0;
  hooks.Wait = [&](os::sim::CSimPlatform* sim, uint32_t ms) {
    if (port == 0 || sim == nullptr) return true;
    scrapes.push_back(testutil::HttpBody(testutil::HttpGet(*native.Get().Net, port, "/metrics")));
    reads.push_back(sim->Machine().Disks[0].SmartReads);
    if (refused.empty()) refused = testutil::HttpGet(*native.Get().Net, port, "/other");
    sim->Clock().Advance(ms);
    waited += ms;
    return waited >= 3 * 60000;
  };
  std::ofstream(folder + "/stavrion.ini") << "[Setting]\nAutoRefresh=1\nSmartLog=1\n";
  ASSERT_EQ(cli::RunWatchWith({"--machine", folder, "--config", folder + "/stavrion.ini",
                               "--metrics", "127.0.0.1:0"},
                              hooks),
            0);
  ASSERT_NE(port, 0);
  ASSERT_GE(scrapes.size(), 3u);
  // Each scrape shows the temperature of the latest read: the disk warms up
  // by one step per read, and a scrape never reads the disk itself.
  const std::string key =
      "smartctl_device_temperature{device=\"PhysicalDrive0\",temperature_type=\"current\"} ";
  for (size_t i = 0; i < scrapes.size(); ++i) {
    const std::string& s = scrapes[i];
    const size_t at = s.find(key);
    ASSERT_NE(at, std::string::npos) << s;
    const int step = std::min(static_cast<int>(reads[i]), testutil::WORSENING_STEPS) - 1;
    EXPECT_EQ(s.substr(at + key.size(), s.find('\n', at) - at - key.size()),
              std::to_string(testutil::WorseningTemperature(step)))
        << "scrape " << i;
  }
  EXPECT_GT(reads.back(), reads.front());
  // Attributes carry their English names.
  EXPECT_NE(scrapes.back().find("attribute_id=\"5\",attribute_name=\""), std::string::npos);
  EXPECT_EQ(scrapes.back().find("attribute_name=\"Vendor_Specific\""), std::string::npos)
      << scrapes.back();
  EXPECT_EQ(refused.rfind("HTTP/1.1 404", 0), 0u) << refused;
  // After the stop nothing listens there any more.
  EXPECT_TRUE(testutil::HttpGet(*native.Get().Net, port, "/metrics").empty());
}

TEST(WatchCommand, RefusesAMetricsAddressItCannotHave) {
  os::NativePlatform native;
  if (native.Get().Net == nullptr) GTEST_SKIP() << "this platform has no sockets";
  std::string error;
  std::unique_ptr<os::IListener> taken = native.Get().Net->Listen("127.0.0.1", 0, &error);
  ASSERT_NE(taken, nullptr) << error;
  testutil::CTempDir dir;
  const std::string folder = testutil::WriteWorseningMachine(dir.Path().string());
  cli::WatchHooks hooks;
  hooks.Wait = [](os::sim::CSimPlatform*, uint32_t) { return true; };
  EXPECT_EQ(cli::RunWatchWith({"--machine", folder, "--config", folder + "/stavrion.ini",
                               "--metrics", "127.0.0.1:" + std::to_string(taken->Port())},
                              hooks),
            2);
}

TEST(WatchCommand, TheSettingsFileChoosesTheMetricsAddressOrNone) {
  os::NativePlatform native;
  if (native.Get().Net == nullptr) GTEST_SKIP() << "this platform has no sockets";
  struct Case {
    const char* Setting;
    bool Listens;
    const char* Said;  // on standard error
  };
  const Case cases[] = {
      {"127.0.0.1:0", true, ""},
      {"off", false, ""},
      // A bad address in the file does not stop an unattended monitor.
      {"no-port-here", false, "MetricsAddress"},
  };
  for (const Case& c : cases) {
    testutil::CTempDir dir;
    const std::string folder = testutil::WriteWorseningMachine(dir.Path().string());
    std::ofstream(folder + "/stavrion.ini")
        << "[Setting]\nAutoRefresh=1\nSmartLog=1\nMetricsAddress=" << c.Setting << "\n";
    bool listened = false;
    cli::WatchHooks hooks;
    hooks.OnMetricsListening = [&](uint16_t) { listened = true; };
    hooks.Wait = [](os::sim::CSimPlatform*, uint32_t) { return true; };
    testing::internal::CaptureStderr();
    const int status =
        cli::RunWatchWith({"--machine", folder, "--config", folder + "/stavrion.ini"}, hooks);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 0) << c.Setting;
    EXPECT_EQ(listened, c.Listens) << c.Setting;
    EXPECT_NE(err.find(c.Said), std::string::npos) << c.Setting << ": " << err;
  }
}

// Counts publications.
struct CPublishCounter : monitor::CNotYetServices {
  void Publish(const CDiskArray&) override { ++Published; }
  int32_t Published = 0;
};

TEST(WatchMonitor, AChangeSeenByAnotherReaderIsStillPublishedByTheNextRefresh) {
  testutil::CTempDir dir;
  const std::string folder = testutil::WriteWorseningMachine(dir.Path().string());
  os::sim::LoadResult loaded = os::sim::LoadMachineFolder(folder);
  ASSERT_TRUE(loaded.Machine) << loaded.Error;
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), files);
  app::CSettings settings(sim.Get().Profile, sim.Clock(), folder + "/stavrion.ini");
  CPublishCounter services;
  monitor::CWatch watch(sim.Get(), settings, &services);
  watch.Start();
  ASSERT_EQ(watch.Monitor().DiskCount(), 1);
  const int32_t before = services.Published;

  // The status service reads the disk between two refreshes, through the
  // rest of its worsening (reallocated sectors appear: the status changes),
  // and hands each result on.
  bool changed = false;
  while (sim.Machine().Disks[0].SmartReads <= static_cast<size_t>(testutil::WORSENING_STEPS)) {
    const int32_t result = watch.Monitor().Ata().UpdateSmartInfo(0);
    changed = changed || result == SMART_STATUS_CHANGED;
    watch.Monitor().NoteOutsideRead(0, result);
  }
  ASSERT_TRUE(changed);

  // The refresh itself sees no new change, but publishes the kept one, once.
  ASSERT_TRUE(watch.Monitor().Refresh(false));
  EXPECT_EQ(services.Published, before + 1);
  ASSERT_TRUE(watch.Monitor().Refresh(false));
  EXPECT_EQ(services.Published, before + 1);
  EXPECT_GT(watch.Monitor().LastReadTime(0), 0);
  EXPECT_FALSE(watch.Monitor().LastReadFailed(0));
}

}  // namespace
