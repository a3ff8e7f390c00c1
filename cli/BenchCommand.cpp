// `stavrion bench PATH [--json] [--type N] [--size MIB] [--loops N]`: the
// disk benchmark of the window program against a test file in the folder
// PATH, with a progress line on stderr and the results on stdout. Ctrl+C
// stops it after the running load-generator pass and removes the file.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/JsonWriter.h"
#include "cli/Commands.h"
#include "monitor/WatchPaths.h"
#include "os/BenchFiles.h"
#include "os/NativePlatform.h"
#include "tools/BenchHost.h"
#include "tools/BenchmarkPane.h"
#include "tools/DiskBenchmark.h"

namespace cli {
namespace {

constexpr int EXIT_BENCH_FAILED = 1;

const char* kUsage =
    "usage: stavrion bench PATH [--json] [--type 0-4] [--size MIB] [--loops 1-8]\n"
    "                           [--config FILE]\n"
    "  Measures the file system holding the folder PATH with a test file of\n"
    "  MIB mebibytes (default 1024), each test run LOOPS times after a warm-up\n"
    "  run (default 5), keeping the best. Types: 0 sequential 128 KiB Q32 T1 and\n"
    "  random 4 KiB Q32 T1 (default), 1 sequential only, 2 random Q8 T8,\n"
    "  3 random Q32 T1, 4 random Q1 T1. MB = 10^6 bytes. The queue and thread\n"
    "  counts come from the settings file (--config FILE, else watch's file when\n"
    "  it exists: see stavrion watch --help), keys SequentialMultiQueues1,\n"
    "  SequentialMultiThreads1, RandomMultiQueues1..3, RandomMultiThreads1..3\n"
    "  of section [Settings]; the counts above are their defaults.\n";

std::atomic<tools::CBenchmarkWorker*> g_Worker{nullptr};

extern "C" void OnInterrupt(int) {
  if (tools::CBenchmarkWorker* worker = g_Worker.load()) worker->RequestStop();
}

class CConsoleCallback : public tools::IBenchCallback {
 public:
  void OnStatus(std::string text) override {
    if (text.empty()) {
      if (m_Shown) std::fprintf(stderr, "\r%-70s\r", "");
    } else {
      std::fprintf(stderr, "\r%-70.70s", text.c_str());
      m_Shown = true;
    }
    std::fflush(stderr);
  }
  void OnResults(const tools::CBenchResults&) override {}
  void OnStep(int) override {}
  void OnError(const std::string&, std::string text) override { m_Error = std::move(text); }
  void OnHistory(const tools::CBenchResults&) override { m_Finished = true; }
  void OnDone() override {}
  std::string m_Error;
  bool m_Finished = false;
  bool m_Shown = false;
};

bool ParseInt(const std::string& text, int min, int max, int* value) {
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < min || v > max) return false;
  *value = static_cast<int>(v);
  return true;
}

struct CSlotInfo {
  const char* Key;
  const char* Label;
};
const CSlotInfo kSlots[tools::BENCH_SLOT_COUNT] = {
    {"sequential_read", "Sequential Read"}, {"sequential_write", "Sequential Write"},
    {"random_read", "Random Read"},         {"random_write", "Random Write"},
    {"random_read", "Random Read"},         {"random_write", "Random Write"},
    {"random_read", "Random Read"},         {"random_write", "Random Write"},
};

void QueuesAndThreads(int slot, const tools::CBenchSettings& s, int* q, int* t) {
  if (slot <= tools::BENCH_SEQUENTIAL_WRITE) {
    *q = s.SequentialQueues;
    *t = s.SequentialThreads;
  } else {
    const size_t set = static_cast<size_t>(slot - tools::BENCH_RANDOM_READ_1) / 2;
    *q = s.RandomQueues[set];
    *t = s.RandomThreads[set];
  }
}

}  // namespace

tools::CBenchSettings BenchSettingsFrom(app::CSettings& settings) {
  return tools::BenchSettingsFrom(settings);
}

int RunBench(const std::vector<std::string>& args) {
  std::string path;
  std::string config;
  bool json = false;
  int type = 0, size = 1024, loops = 5;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--json") {
      json = true;
    } else if (a == "--type" && hasValue && ParseInt(args[i + 1], 0, 4, &type)) {
      ++i;
    } else if (a == "--size" && hasValue && ParseInt(args[i + 1], 1, 32768, &size)) {
      ++i;
    } else if (a == "--loops" && hasValue && ParseInt(args[i + 1], 1, 8, &loops)) {
      ++i;
    } else if (a == "--config" && hasValue && !args[i + 1].empty() && config.empty()) {
      config = args[++i];
    } else if (!a.empty() && a[0] != '-' && path.empty()) {
      path = a;
    } else {
      std::fprintf(stderr, "stavrion bench: bad argument '%s'\n%s", a.c_str(), kUsage);
      return EXIT_USAGE;
    }
  }
  std::error_code ec;
  if (path.empty() || !std::filesystem::is_directory(path, ec)) {
    std::fprintf(
        stderr, "stavrion bench: %s\n%s",
        path.empty() ? "the folder to test is missing" : ("'" + path + "' is not a folder").c_str(),
        kUsage);
    return EXIT_USAGE;
  }
  // The queue and thread counts the window program would use.
  os::NativePlatform native;
  const os::Platform& platform = native.Get();
  if (config.empty()) {
    const monitor::WatchEnvironment env = monitor::ProcessWatchEnvironment(platform);
    monitor::WatchPaths paths;
    std::string ignored;
    if (monitor::ResolveWatchPaths(env, "", &paths, &ignored) &&
        platform.Files.Exists(paths.Settings)) {
      config = paths.Settings;
    }
  } else if (!platform.Files.Exists(config)) {
    std::fprintf(stderr, "stavrion bench: no settings file %s\n", config.c_str());
    return EXIT_USAGE;
  }
  tools::CBenchSettings settings;
  if (!config.empty()) {
    app::CSettings file(platform.Profile, platform.Clock, config);
    settings = BenchSettingsFrom(file);
  }

  // The figure comes from the generator's JSON line: on Linux the exit
  // status cannot carry it.
  tools::CSystemBenchHost host(platform.Files, os::LoadGeneratorPath(),
                               tools::ELoadFigure::JsonLine);
  CConsoleCallback console;
  tools::CBenchmarkWorker worker(host, console, tools::EnglishBenchText);
  tools::CBenchRequest request;
  request.TestType = type;
  request.TestSizeMiB = static_cast<uint32_t>(size);
  request.LoopCount = loops;
  request.Root = path;
  request.Settings = settings;
  if (request.Root.back() != '/' && request.Root.back() != '\\') request.Root += '/';

  g_Worker.store(&worker);
  auto previous = std::signal(SIGINT, OnInterrupt);
  worker.Run(request);
  std::signal(SIGINT, previous);
  g_Worker.store(nullptr);

  if (!console.m_Error.empty()) {
    std::fprintf(stderr, "stavrion bench: %s\n", console.m_Error.c_str());
    return EXIT_BENCH_FAILED;
  }
  if (!console.m_Finished) {
    std::fprintf(stderr, "stavrion bench: stopped\n");
    return EXIT_BENCH_FAILED;
  }
  const tools::CBenchResults results = worker.Results();
  const std::vector<int> slots = tools::BenchSlotsOfType(type);
  if (json) {
    std::string out = "{\"path\":" + app::CJsonWriter::Quote(path) +
                      ",\"test_size_mib\":" + std::to_string(size) +
                      ",\"loops\":" + std::to_string(loops) + ",\"results\":[";
    for (size_t i = 0; i < slots.size(); ++i) {
      int q = 0, t = 0;
      QueuesAndThreads(slots[i], request.Settings, &q, &t);
      char item[160];
      std::snprintf(
          item, sizeof item, "%s{\"test\":\"%s\",\"queues\":%d,\"threads\":%d,\"mb_per_s\":%.3f}",
          i ? "," : "", kSlots[slots[i]].Key, q, t, results[static_cast<size_t>(slots[i])]);
      out += item;
    }
    std::printf("%s]}\n", out.c_str());
  } else {
    std::printf("%s: test file %d MiB, best of %d runs, MB = 10^6 bytes\n", path.c_str(), size,
                loops);
    for (int slot : slots) {
      int q = 0, t = 0;
      QueuesAndThreads(slot, request.Settings, &q, &t);
      std::printf("%17s (Q%3d T%2d) : %s\n", kSlots[slot].Label, q, t,
                  tools::FormatRate(results[static_cast<size_t>(slot)]).c_str());
    }
  }
  return EXIT_OK;
}

}  // namespace cli
