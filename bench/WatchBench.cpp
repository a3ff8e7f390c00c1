// What `stavrion watch` costs with 48 simulated disks:
//   rss     resident memory of the real program (peak, from the kernel) after
//           discovery and its first cycles, with metrics served
//   cycle   CPU per refresh cycle of all disks (read, history record,
//           publication), the time inside the simulated devices taken out;
//           files go through the Linux file layer as in `watch`, the status
//           tree on a tmpfs (/dev/shm) as under /run when there is one
//   scrape  one scrape of 48 disks: formatting alone, and a whole HTTP
//           request over loopback
//
//   WatchBench [PATH-TO-stavrion]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/LanguageFile.h"
#include "app/Settings.h"
#include "monitor/DiskServices.h"
#include "monitor/HistoryLog.h"
#include "monitor/MetricsEndpoint.h"
#include "monitor/Publication.h"
#include "monitor/Watch.h"
#include "os/FileTreeRegistry.h"
#include "os/NativePlatform.h"
#include "os/linux/LinuxFileSystem.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/SectorBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorseningMachine.h"

extern char** environ;

namespace {

double Ms(uint64_t ns) { return static_cast<double>(ns) / 1e6; }

// CPU time spent in the program's own code, the system's left out.
uint64_t UserNanoseconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<uint64_t>(usage.ru_utime.tv_sec) * 1000000000ull +
         static_cast<uint64_t>(usage.ru_utime.tv_usec) * 1000ull;
}

uint64_t Nanoseconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

// 48 SATA disks in a machine folder, each with its own sectors.
void WriteMachine48(const std::string& folder) {
  std::ofstream manifest(folder + "/machine.ini");
  manifest << "[machine]\nversion = 2\n";
  for (int i = 0; i < MAX_DISK; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "d%02d", i);
    const std::string dir = folder + "/" + name;
    std::filesystem::create_directories(dir);
    char model[32];
    char serial[16];
    std::snprintf(model, sizeof model, "BENCH DISK %02d", i);
    std::snprintf(serial, sizeof serial, "BS%06d", i);
    testutil::WriteSector(
        dir + "/identify.bin",
        testutil::IdentifyBuilder().Model(model).Serial(serial).Checksum().Build());
    testutil::SmartDataBuilder data;
    testutil::ThresholdBuilder thresholds;
    static const uint8_t kIds[] = {0x01, 0x03, 0x04, 0x05, 0x07, 0x09, 0x0A,
                                   0x0C, 0xC2, 0xC4, 0xC5, 0xC6, 0xC7};
    for (uint8_t id : kIds) {
      data.Add({id, 100, 100, static_cast<uint64_t>(i) * 7 + id + (id == 0xC2 ? 30u : 0u)});
      thresholds.Add(id, static_cast<uint8_t>(id < 0x10 ? 10 : 0));
    }
    testutil::WriteSector(dir + "/smart_data.bin", data.Build());
    testutil::WriteSector(dir + "/smart_thresholds.bin", thresholds.Build());
    manifest << "\n[disk " << name << "]\nphysical_drive = " << i << "\n";
  }
}

// Peak RSS in kB of `stavrion watch` on the machine, stopped after `seconds`.
long MeasureRss(const std::string& program, const std::string& folder, bool once, int seconds) {
  std::vector<std::string> args = {program, "watch",    "--machine",
                                   folder,  "--config", folder + "/cfg/stavrion.ini"};
  if (once) {
    args.push_back("--once");
  } else {
    args.push_back("--metrics");
    args.push_back("127.0.0.1:0");
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) return -1;
  posix_spawn_file_actions_destroy(&actions);
  if (!once) {
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    kill(pid, SIGTERM);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  std::string program = argc > 1 ? argv[1] : "";
  if (program.empty()) {
    program = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "stavrion";
  }
  testutil::CTempDir dir;
  const std::string folder = dir.Path().string();
  WriteMachine48(folder);

  // ---- resident memory of the real program ----
  const long onceKb = MeasureRss(program, folder, true, 0);
  const long runKb = MeasureRss(program, folder, false, 3);
  std::printf("rss: watch --once %ld kB peak; watch with metrics, 3 s %ld kB peak (48 disks)\n",
              onceKb, runKb);

  // ---- CPU per cycle ----
  os::sim::LoadResult loaded = os::sim::LoadMachineFolder(folder);
  if (!loaded.Machine) {
    std::fprintf(stderr, "%s\n", loaded.Error.c_str());
    return 1;
  }
  os::CLinuxFileSystem files;
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), files);
  const os::Platform platform = sim.Get();
  std::filesystem::create_directories(folder + "/state");
  app::CSettings settings(platform.Profile, platform.Clock, folder + "/state/stavrion.ini");
  settings.Set(app::Setting::GADGET, 1);
  // The status tree lives under the runtime folder, a tmpfs.
  std::error_code shmError;
  const bool shm = std::filesystem::is_directory("/dev/shm", shmError);
  const std::string treeRoot =
      shm ? "/dev/shm/stavrion-bench-" + std::to_string(getpid()) : folder + "/state/registry";
  struct CRemove {
    ~CRemove() {
      std::error_code ec;
      std::filesystem::remove_all(Path, ec);
    }
    std::string Path;
  } removeTree{treeRoot};
  os::CFileTreeRegistry registry(treeRoot);
  monitor::CPublisher publisher(&registry, platform.Files, platform.Clock,
                                folder + "/state/Exchange.ini", "\n");
  publisher.SetGadget(true);
  struct CExchange : monitor::IPublisher {
    explicit CExchange(monitor::CPublisher& p) : Publisher(p) {}
    void Publish(const CDiskArray& disks) override {
      Publisher.UpdateShareInfo(disks);
      Publisher.WriteExchangeFile(disks);
    }
    monitor::CPublisher& Publisher;
  } exchange(publisher);
  // The history log and alarm check as watch runs them, with the English
  // texts.
  app::CLanguageText language;
  language.English().Load(platform.Files, std::string(STAVRION_SOURCE_DIR) +
                                              "/resources/TslResource/language/English.lang");
  settings.Set(app::Setting::SMART_LOG, 1);
  monitor::CDiskServices services(platform.Files, platform.Clock, settings, &language,
                                  folder + "/state/history/", "BENCH", "\n");
  services.AddPublisher(&exchange);
  monitor::CMetricsState state("bench", [&language](const std::string& s, const std::string& k) {
    return language.Get(s, k, true);
  });
  services.AddSink(&state);
  monitor::CWatch watch(platform, settings, &services);
  watch.Start();
  state.Update(watch.Monitor());
  const int64_t period = settings.Get(app::Setting::SAVE_SMART_PERIOD);
  constexpr int CYCLES = 50;
  uint64_t refreshNs = 0;
  uint64_t recordNs = 0;
  uint64_t recordUserNs = 0;
  uint64_t publishNs = 0;
  uint64_t copyNs = 0;
  for (int i = 0; i < CYCLES; ++i) {
    // Past the history rate limit: every cycle writes a record of every
    // disk (the dearest case).
    sim.Clock().Advance(static_cast<uint64_t>(period + 1) * 1000);
    const uint64_t a = Nanoseconds(CLOCK_PROCESS_CPUTIME_ID);
    for (int32_t d = 0; d < watch.Monitor().DiskCount(); ++d)
      watch.Monitor().Ata().UpdateSmartInfo(d);
    const uint64_t b = Nanoseconds(CLOCK_PROCESS_CPUTIME_ID);
    const uint64_t bUser = UserNanoseconds();
    for (int32_t d = 0; d < watch.Monitor().DiskCount(); ++d) {
      services.SaveSmartInfo(watch.Monitor().Disks()[d], d);
    }
    const uint64_t c = Nanoseconds(CLOCK_PROCESS_CPUTIME_ID);
    recordUserNs += UserNanoseconds() - bUser;
    services.Publish(watch.Monitor().Disks());
    const uint64_t e = Nanoseconds(CLOCK_PROCESS_CPUTIME_ID);
    state.Update(watch.Monitor());
    const uint64_t f = Nanoseconds(CLOCK_PROCESS_CPUTIME_ID);
    refreshNs += b - a;
    recordNs += c - b;
    publishNs += e - c;
    copyNs += f - e;
  }
  std::printf(
      "cycle (%d disks, mean of %d): read %.3f ms CPU (the simulated devices' decoding "
      "included), history record + alarm check %.3f ms CPU, publication (status tree, "
      "Exchange.ini) %.3f ms CPU, copy for the metrics %.3f ms CPU\n",
      watch.Monitor().DiskCount(), CYCLES, Ms(refreshNs) / CYCLES, Ms(recordNs) / CYCLES,
      Ms(publishNs) / CYCLES, Ms(copyNs) / CYCLES);
  std::printf(
      "history record of %d disks: %.3f ms CPU of which %.3f ms in the program (the rest "
      "is the system's file work: %d files appended to and one replaced per disk)\n",
      watch.Monitor().DiskCount(), Ms(recordNs) / CYCLES, Ms(recordUserNs) / CYCLES,
      static_cast<int>(monitor::CHistoryLog::Items(watch.Monitor().Disks()[0]).size()));

  // Publication alone as it runs minutes after the last one: the loop above
  // publishes back to back, where the status tree's folders are too fresh
  // for their times to be relied on and are listed each time. Here their
  // times are first moved back by an hour, as real time would age them.
  {
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(treeRoot, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (!it->is_directory()) continue;
      const auto t = std::filesystem::last_write_time(it->path(), ec);
      std::filesystem::last_write_time(it->path(), t - std::chrono::hours(1), ec);
    }
  }
  uint64_t spacedNs = 0;
  for (int i = 0; i < CYCLES; ++i) {
    sim.Clock().Advance(static_cast<uint64_t>(period + 1) * 1000);
    const uint64_t a = Nanoseconds(CLOCK_PROCESS_CPUTIME_ID);
    services.Publish(watch.Monitor().Disks());
    spacedNs += Nanoseconds(CLOCK_PROCESS_CPUTIME_ID) - a;
  }
  std::printf(
      "publication minutes after the last (status tree folders aged an hour, as between real "
      "cycles): %.3f ms CPU\n",
      Ms(spacedNs) / CYCLES);

  // The cycle as the automatic refresh timer runs it, a minute apart:
  // reading, the history rate limit, publication only when a status
  // changed, the copy for the metrics. First with no record due (a period
  // longer than the run), then with a record of every disk due each time
  // (a refresh period longer than "SAVE_SMART_PERIOD", as with the default
  // period and any refresh of 3 minutes or more).
  const auto timerCycles = [&](int64_t advanceMs) {
    uint64_t ns = 0;
    for (int i = 0; i < CYCLES; ++i) {
      sim.Clock().Advance(static_cast<uint64_t>(advanceMs));
      const uint64_t a = Nanoseconds(CLOCK_PROCESS_CPUTIME_ID);
      watch.Monitor().Refresh(false);
      state.Update(watch.Monitor());
      ns += Nanoseconds(CLOCK_PROCESS_CPUTIME_ID) - a;
    }
    return Ms(ns) / CYCLES;
  };
  settings.Set(app::Setting::SAVE_SMART_PERIOD, 24 * 3600);
  services.ApplySettings();
  const double noRecord = timerCycles(60 * 1000);
  settings.Set(app::Setting::SAVE_SMART_PERIOD, static_cast<int32_t>(period));
  services.ApplySettings();
  const double withRecord = timerCycles((period + 1) * 1000);
  std::printf(
      "timer cycle (%d disks, mean of %d): no history record due %.3f ms CPU; a record of "
      "every disk due %.3f ms CPU\n",
      watch.Monitor().DiskCount(), CYCLES, noRecord, withRecord);
  std::printf("status tree on %s\n", shm ? "tmpfs (/dev/shm)" : "the temporary folder");

  // ---- scrape ----
  // Formatting: the first scrape after an update formats the disks'
  // readings, the scrapes after it until the next update reuse them.
  constexpr int SCRAPES = 200;
  size_t bytes = 0;
  uint64_t firstNs = 0;
  for (int i = 0; i < SCRAPES; ++i) {
    state.Update(watch.Monitor());
    const uint64_t a = Nanoseconds(CLOCK_MONOTONIC);
    bytes = state.Format(1767225600 + i).size();
    firstNs += Nanoseconds(CLOCK_MONOTONIC) - a;
  }
  const uint64_t f0 = Nanoseconds(CLOCK_MONOTONIC);
  for (int i = 0; i < SCRAPES; ++i) bytes = state.Format(1767225600 + i).size();
  const uint64_t keptNs = Nanoseconds(CLOCK_MONOTONIC) - f0;
  os::NativePlatform native;
  monitor::CMetricsServer server(*native.Get().Net, state, [] { return int64_t{1767225600}; });
  std::string error;
  if (!server.Start("127.0.0.1", 0, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  // Whole requests; every fourth comes first after an update (a scrape
  // every 15 s, a refresh every minute).
  std::vector<uint64_t> times;
  for (int i = 0; i < SCRAPES; ++i) {
    if (i % 4 == 0) state.Update(watch.Monitor());
    const uint64_t s = Nanoseconds(CLOCK_MONOTONIC);
    std::unique_ptr<os::ISocket> c =
        native.Get().Net->Connect("127.0.0.1", server.Port(), 1000, &error);
    if (!c || c->Send("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n", 1000) != os::NetStatus::Ok)
      return 1;
    char buffer[65536];
    size_t got = 0;
    size_t answer = 0;
    while (c->Receive(buffer, sizeof buffer, &got, 1000) == os::NetStatus::Ok) answer += got;
    if (answer < bytes) {
      std::fprintf(stderr, "scrape %d: %zu bytes, short of the %zu of the exposition\n", i, answer,
                   bytes);
      return 1;
    }
    times.push_back(Nanoseconds(CLOCK_MONOTONIC) - s);
  }
  server.Stop();
  uint64_t total = 0;
  for (uint64_t t : times) total += t;
  std::sort(times.begin(), times.end());
  std::printf(
      "scrape: formatting %.3f ms first after an update, %.3f ms after that (%zu bytes); "
      "HTTP GET over loopback %.3f ms mean, %.3f ms median, %.3f ms 99th percentile, %.3f ms "
      "worst (48 disks, %d scrapes)\n",
      Ms(firstNs) / SCRAPES, Ms(keptNs) / SCRAPES, bytes, Ms(total) / SCRAPES,
      Ms(times[times.size() / 2]), Ms(times[times.size() * 99 / 100]), Ms(times.back()), SCRAPES);
  return 0;
}
