// `stavrion watch`: runs the refresh cycle of the window program without a
// window, on the real disks or a simulated machine: automatic refresh,
// history log, alarms and publication, driven by the settings file.
#include "cli/WatchCommand.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/LanguageFile.h"
#include "app/Settings.h"
#include "app/Version.h"
#include "cli/Commands.h"
#include "cli/MachineOption.h"
#include "engine/DiskStatus.h"
#include "monitor/AlarmCommand.h"
#include "monitor/FrontEndServices.h"
#include "monitor/MetricsEndpoint.h"
#include "monitor/Publication.h"
#include "monitor/StatusService.h"
#include "monitor/Watch.h"
#include "monitor/WatchPaths.h"
#include "os/Net.h"
#include "os/Process.h"
#include "os/Registry.h"
#include "os/StopSignal.h"
#include "os/SystemLog.h"
#include "tools/PerformanceSampler.h"
#include "tools/SystemInfo.h"

namespace cli {
namespace {

constexpr const char* USAGE =
    "usage: stavrion watch [--once] [--machine demo|DIR] [--config FILE]\n"
    "                      [--metrics HOST:PORT] [--alarm-command PROG] [--all-disks]\n"
    "Reads the disks on the settings' automatic refresh timer, writes their history,\n"
    "raises alarms and publishes their state, until SIGTERM or Ctrl+C.\n"
    "  --once                one cycle (discovery, history, publication), then exit\n"
    "  --machine demo|DIR    a simulated machine instead of this computer's disks\n"
    "  --config FILE         the settings file; the history and Exchange.ini go beside it\n"
    "  --metrics HOST:PORT   serve Prometheus metrics there (default 127.0.0.1:9720;\n"
    "                        \"off\" serves none)\n"
    "  --alarm-command PROG  run PROG (no shell) for each alarm, facts in STAVRION_*\n"
    "  --all-disks           judge every disk by its attributes and thresholds, also\n"
    "                        those the program does not rate (other makers' hard\n"
    "                        disks), which are otherwise Unknown; for this run only\n"
    "                        (the setting \"EvaluateAllDisks\" does it for every run)\n"
    "Without --config: ~/.config/stavrion/stavrion.ini and ~/.local/state/stavrion\n"
    "(XDG_CONFIG_HOME, XDG_STATE_HOME); as root /etc/stavrion/stavrion.ini and\n"
    "/var/lib/stavrion. A settings file that does not exist yet is created with the\n"
    "history on and a refresh every 10 minutes.\n";

// "AutoRefresh" index of 10 minutes, and the history on: what a new
// settings file of a monitor that runs unattended starts with.
constexpr int32_t NEW_FILE_AUTO_REFRESH = 4;

struct WatchOptions {
  bool Once = false;
  bool AllDisks = false;
  MachineOption Machine;
  std::string Config;
  std::string Metrics;
  std::string AlarmCommand;
};

// Takes "--name VALUE" or "--name=VALUE".
bool TakeValue(const std::vector<std::string>& args, size_t* i, const std::string& name,
               std::string* value, bool* matched, std::string* error) {
  const std::string& arg = args[*i];
  *matched = false;
  if (arg == name) {
    *matched = true;
    if (*i + 1 >= args.size()) {
      *error = name + " needs a value";
      return false;
    }
    *value = args[++*i];
  } else if (arg.rfind(name + "=", 0) == 0) {
    *matched = true;
    *value = arg.substr(name.size() + 1);
  } else {
    return true;
  }
  if (value->empty()) {
    *error = name + " needs a value";
    return false;
  }
  return true;
}

bool ParseOptions(std::vector<std::string> args, WatchOptions* options, bool* help,
                  std::string* error) {
  if (!TakeMachineOption(args, &options->Machine, error)) return false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      *help = true;
      return true;
    }
    if (arg == "--once") {
      options->Once = true;
      continue;
    }
    if (arg == "--all-disks") {
      options->AllDisks = true;
      continue;
    }
    bool matched = false;
    for (auto [name, value] : {std::pair<const char*, std::string*>{"--config", &options->Config},
                               {"--metrics", &options->Metrics},
                               {"--alarm-command", &options->AlarmCommand}}) {
      if (!TakeValue(args, &i, name, value, &matched, error)) return false;
      if (matched) break;
    }
    if (!matched) {
      *error = "unknown option '" + arg + "'";
      return false;
    }
  }
  return true;
}

// Each alarm's line on standard output (the journal under systemd).
class CPrintSink : public monitor::IAlarmSink {
 public:
  void OnAlarm(const monitor::AlarmEvent& event) override {
    if (event.Kind == monitor::AlarmKind::OVERVIEW) return;
    std::string line = event.Line;
    for (char& c : line) {
      if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    std::printf("stavrion watch: alarm %d: %s\n", event.Id, line.c_str());
    std::fflush(stdout);
  }
};

// The English texts beside the program (alarm lines, history columns); the
// services fall back to ids and built-in words without them.
std::string EnglishLanguagePath(os::IFileSystem& files) {
  const std::string exe = files.ExecutablePath();
  const char sep = files.Separator();
  const size_t slash = exe.find_last_of(sep);
  const std::string folder = slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
  return folder + sep + "TslResource" + sep + "language" + sep + "English.lang";
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of(os::IsWindowsBuild() ? "\\/" : "/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

int RunWatch(const std::vector<std::string>& args) { return RunWatchWith(args, WatchHooks{}); }

int RunWatchWith(const std::vector<std::string>& args, const WatchHooks& hooks) {
  WatchOptions options;
  bool help = false;
  std::string error;
  if (!ParseOptions(args, &options, &help, &error)) {
    std::fprintf(stderr, "stavrion watch: %s\n%s", error.c_str(), USAGE);
    return EXIT_USAGE;
  }
  if (help) {
    std::fputs(USAGE, stdout);
    return EXIT_OK;
  }
  // A bad address on the command line is refused before anything is read
  // or written.
  if (!options.Metrics.empty() && options.Metrics != "off") {
    std::string host;
    uint16_t port = 0;
    if (!monitor::ParseMetricsAddress(options.Metrics, &host, &port, &error)) {
      std::fprintf(stderr, "stavrion watch: %s\n", error.c_str());
      return EXIT_USAGE;
    }
  }

  std::unique_ptr<CMachine> machine = CMachine::Open(options.Machine, &error);
  if (!machine) {
    std::fprintf(stderr, "stavrion watch: %s\n", error.c_str());
    return EXIT_USAGE;
  }
  os::Platform platform = machine->Get();
  if (machine->Sim() != nullptr) {
    if (hooks.OnSimulatedMachine) {
      hooks.OnSimulatedMachine(*machine->Sim());
    } else {
      machine->Sim()->Clock().SetNow(
          static_cast<int64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count()));
    }
  }

  const monitor::WatchEnvironment env = monitor::ProcessWatchEnvironment(platform);
  monitor::WatchPaths paths;
  if (!monitor::ResolveWatchPaths(env, options.Config, &paths, &error)) {
    std::fprintf(stderr, "stavrion watch: %s\n", error.c_str());
    return EXIT_USAGE;
  }
  for (const std::string& folder : {FolderOf(paths.Settings), paths.HistoryRoot}) {
    if (!platform.Files.Exists(folder) && !platform.Files.CreateDirectories(folder)) {
      std::fprintf(stderr, "stavrion watch: cannot create the folder %s: %s\n", folder.c_str(),
                   platform.Files.LastErrorText().c_str());
      return EXIT_USAGE;
    }
  }

  app::CSettings settings(platform.Profile, platform.Clock, paths.Settings);
  settings.SetSecretProtector(platform.Secrets);
  if (!platform.Files.Exists(paths.Settings)) {
    if (!settings.Set(app::Setting::SMART_LOG, 1) ||
        !settings.Set(app::Setting::AUTO_REFRESH, NEW_FILE_AUTO_REFRESH)) {
      std::fprintf(stderr, "stavrion watch: cannot write the settings file %s\n",
                   paths.Settings.c_str());
      return EXIT_USAGE;
    }
  }

  if (options.AllDisks) settings.OverrideForRun(app::Setting::EVALUATE_ALL_DISKS, 1);

  // The metrics endpoint: the command line, else the setting, else loopback.
  std::string metricsText =
      !options.Metrics.empty() ? options.Metrics : settings.GetText(app::Setting::METRICS_ADDRESS);
  std::string metricsHost = monitor::METRICS_DEFAULT_HOST;
  uint16_t metricsPort = monitor::METRICS_DEFAULT_PORT;
  bool metricsOn = !options.Once && metricsText != "off";
  if (metricsOn && !metricsText.empty() &&
      !monitor::ParseMetricsAddress(metricsText, &metricsHost, &metricsPort, &error)) {
    // The command line's was checked at the start: this is the settings
    // file's, and a monitor that runs unattended goes on without metrics.
    std::fprintf(stderr, "stavrion watch: setting MetricsAddress: %s: metrics not served\n",
                 error.c_str());
    metricsOn = false;
  }
  const std::string alarmCommand = !options.AlarmCommand.empty()
                                       ? options.AlarmCommand
                                       : settings.GetText(app::Setting::ALARM_COMMAND);

  // From here on SIGTERM and Ctrl+C wait for the end of the piece of work
  // under way.
  std::unique_ptr<os::IStopSignal> stop;
  if (!hooks.Wait) stop = os::CreateStopSignal();

  // The history log and the alarm check, with the English texts.
  app::CLanguageText language;
  if (!language.English().Load(platform.Files, EnglishLanguagePath(platform.Files))) {
    std::fprintf(stderr,
                 "stavrion watch: no language file beside the program: alarm and history "
                 "texts use built-in words\n");
  }
  const std::string computerName = platform.Net != nullptr ? platform.Net->LocalHostName() : "";
  const char sep = platform.Files.Separator();
  std::string historyRoot = paths.HistoryRoot;
  if (historyRoot.empty() || historyRoot.back() != sep) historyRoot += sep;

  // The services the window program runs too: history, alarms to the
  // system log, mail and the alarm command, the status tree and
  // "Exchange.ini" (headless there is no graph pane to open, so the file
  // follows the disks at each publication).
  monitor::FrontEndServicesSetup setup;
  setup.Platform = &platform;
  setup.Settings = &settings;
  setup.Language = &language;
  setup.HistoryRoot = historyRoot;
  setup.ExchangePath = paths.Exchange;
  setup.ComputerName = computerName;
  setup.Newline = os::IsWindowsBuild() ? "\r\n" : "\n";
  setup.Registry = os::CreateNativeRegistry(paths.StatusTree);
  setup.SystemLog = os::CreateSystemLog("stavrion");
  setup.SystemLogEveryAlarm = true;
  setup.ExchangeOnPublish = true;
  setup.AlarmCommand = alarmCommand;
  setup.AlarmCommandReport = [](const std::string& line) {
    std::fprintf(stderr, "stavrion watch: %s\n", line.c_str());
  };
  setup.MailDone = [](const monitor::SmtpResult& r) {
    if (r.Ok) {
      std::printf("stavrion watch: alarm mail sent\n");
    } else {
      std::fprintf(stderr, "stavrion watch: alarm mail not sent: %s\n", r.Detail.c_str());
    }
    std::fflush(stdout);
  };
  monitor::CFrontEndServices services(std::move(setup));
  monitor::CPublisher& publisher = services.Publisher();

  // Alarms also go to standard output and the alarm state of the metrics.
  // Attribute names in the metrics are the English ones whatever the
  // language: dashboards and alert rules match on them.
  monitor::CMetricsState metrics(STAVRION_VERSION_TEXT,
                                 [&language](const std::string& section, const std::string& key) {
                                   return language.Get(section, key, true);
                                 });
  CPrintSink print;
  services.AddSink(&print);
  services.AddSink(&metrics);

  monitor::CWatch watch(platform, settings, &services);
  watch.SetOnDiskData([&] { metrics.Update(watch.Monitor()); });
  watch.Start();
  metrics.Update(watch.Monitor());
  const int32_t autoRefresh = settings.Get(app::Setting::AUTO_REFRESH);
  std::printf("stavrion %s watch: %d disk(s) on %s; settings %s; history %s\n",
              STAVRION_VERSION_TEXT, watch.Monitor().DiskCount(), machine->Name().c_str(),
              paths.Settings.c_str(), paths.HistoryRoot.c_str());
  if (settings.Get(app::Setting::EVALUATE_ALL_DISKS) != 0) {
    // The disks whose verdict exists only because of the option, so a
    // reader of the log knows which "Good" is the program's own rating.
    int judged = 0;
    for (const ATA_SMART_INFO& disk : watch.Monitor().Disks()) {
      if (IsJudgedOnlyByOption(disk, true)) ++judged;
    }
    std::printf(
        "stavrion watch: every disk judged by its attributes (EvaluateAllDisks); "
        "%d disk(s) of no rated maker or family judged only this way\n",
        judged);
  }
  if (options.Once) {
    watch.Stop();
    publisher.DeleteShareInfo();
    // A stop request during the cycle is answered by ending now, as asked.
    if (stop) stop->StopRequested();
    std::fflush(stdout);
    return EXIT_OK;
  }
  // The metrics endpoint serves from the copy the monitor keeps up to date.
  std::unique_ptr<monitor::CMetricsServer> server;
  if (metricsOn) {
    if (platform.Net == nullptr) {
      std::fprintf(stderr, "stavrion watch: no network here: metrics not served\n");
    } else {
      server = std::make_unique<monitor::CMetricsServer>(*platform.Net, metrics, [] {
        return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count());
      });
      if (!server->Start(metricsHost, metricsPort, &error)) {
        std::fprintf(stderr, "stavrion watch: metrics on %s: %s\n", metricsText.c_str(),
                     error.c_str());
        if (!options.Metrics.empty()) {
          watch.Stop();
          publisher.DeleteShareInfo();
          return EXIT_USAGE;
        }
        server.reset();
      } else {
        std::printf("stavrion watch: metrics on http://%s:%u/metrics\n",
                    metricsHost.find(':') != std::string::npos ? ("[" + metricsHost + "]").c_str()
                                                               : metricsHost.c_str(),
                    static_cast<unsigned>(server->Port()));
        if (hooks.OnMetricsListening) hooks.OnMetricsListening(server->Port());
      }
    }
  }

  // The performance sampler, on the window program's 500 ms timer: the
  // machine's processor and memory figures for the status service and the
  // metrics, and each disk's byte rates. It starts again when the disk list
  // changes.
  CPerformanceSampler sampler(platform.Performance);
  const uint64_t memoryBytes = platform.System.TotalPhysicalMemory();
  const auto startSampler = [&] {
    std::vector<PerformanceDisk> disks;
    for (const ATA_SMART_INFO& d : watch.Monitor().Disks()) {
      disks.push_back({d.DriveMap, d.PhysicalDriveId, false});
    }
    sampler.Start(disks);
  };
  startSampler();
  const auto samplePerformance = [&] {
    if (static_cast<int32_t>(sampler.Disks().size()) != watch.Monitor().DiskCount()) {
      startSampler();
    }
    if (!sampler.Running() || !sampler.Tick()) return;
    monitor::MetricsSystem system;
    system.CpuUsagePercent = sampler.CpuUsage();
    if (const auto available = sampler.AvailableMb()) {
      system.MemoryAvailableBytes = static_cast<uint64_t>(*available) * 1024 * 1024;
    }
    if (memoryBytes != 0) system.MemoryTotalBytes = memoryBytes;
    std::vector<std::optional<uint64_t>> reads, writes;
    for (const DiskCounterRecord& d : sampler.Disks()) {
      reads.push_back(d.Read == COUNTER_UNAVAILABLE ? std::nullopt
                                                    : std::optional<uint64_t>(d.Read));
      writes.push_back(d.Write == COUNTER_UNAVAILABLE ? std::nullopt
                                                      : std::optional<uint64_t>(d.Write));
    }
    metrics.UpdatePerformance(system, reads, writes);
  };
  samplePerformance();  // the first collection: rates need a second one
  watch.SetOwnTimer(TIMER_UPDATE_PERFORMANCE, PERFORMANCE_PERIOD_MS, samplePerformance);

  // The status service (bit 0x8000 of "TslOpt"), connected once.
  monitor::CStatusServiceTimer status(
      platform.Net, platform.Clock, watch.Timers(),
      [&] {
        return monitor::MakeStatusFigures(sampler.CpuUsage(), sampler.AvailableMb(),
                                          RamSizeMbOf(memoryBytes));
      },
      [](const std::string& line) { std::printf("stavrion watch: %s\n", line.c_str()); });
  watch.SetOwnTimerHandler(monitor::TIMER_STATUS_SERVICE,
                           [&] { status.OnTimer(monitor::TIMER_STATUS_SERVICE, watch.Monitor()); });
  status.Start(settings.Get(app::Setting::TSL_OPT));

  if (monitor::CMonitor::AutoRefreshPeriodMs(autoRefresh) == 0 &&
      settings.Get(app::Setting::SMART_LOG) == 0) {
    std::printf(
        "stavrion watch: AutoRefresh and SmartLog are off in the settings: the disks "
        "are not read again until they are turned on\n");
  }
  std::fflush(stdout);

  os::sim::CSimPlatform* sim = machine->Sim();
  if (hooks.Wait) {
    watch.Run([&](uint32_t ms) { return hooks.Wait(sim, ms); });
  } else {
    watch.Run([&](uint32_t ms) {
      const auto start = std::chrono::steady_clock::now();
      const bool stopping = stop->WaitForStop(ms);
      if (sim != nullptr) {
        // The simulated machine's clock follows the real one.
        sim->Clock().Advance(
            static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - start)
                                      .count()));
      }
      return stopping;
    });
  }
  if (server) server->Stop();
  watch.Stop();
  status.Stop();
  publisher.DeleteShareInfo();
  std::printf("stavrion watch: stopped\n");
  std::fflush(stdout);
  return EXIT_OK;
}

}  // namespace cli
