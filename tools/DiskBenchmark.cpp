#include "tools/DiskBenchmark.h"

#include <cstdio>
#include <vector>

namespace tools {
namespace {

constexpr uint32_t PREPARE_CHUNK = 1u << 20;
constexpr uint32_t PREPARE_PROGRESS_MIB = 64;

bool IsWrite(int slot) { return slot % 2 == 1; }

std::string Printf(const char* format, auto... values) {
  char buf[512];
  std::snprintf(buf, sizeof buf, format, values...);
  return buf;
}

}  // namespace

std::string BenchArguments(int slot, const CBenchSettings& settings) {
  if (slot == BENCH_SEQUENTIAL_READ || slot == BENCH_SEQUENTIAL_WRITE) {
    return Printf("-b128k -d5 -o%d -t%d -W0 -S -w%s", settings.SequentialQueues,
                  settings.SequentialThreads, IsWrite(slot) ? "100 -Z128K" : "0");
  }
  const size_t set = static_cast<size_t>(slot - BENCH_RANDOM_READ_1) / 2;
  return Printf("-b4K -d5 -o%d -t%d -W0 -r -S -w%s", settings.RandomQueues[set],
                settings.RandomThreads[set], IsWrite(slot) ? "100 -Z4K" : "0");
}

std::vector<int> BenchSlotsOfType(int testType) {
  switch (testType) {
    case 0:
      return {BENCH_SEQUENTIAL_READ, BENCH_SEQUENTIAL_WRITE, BENCH_RANDOM_READ_2,
              BENCH_RANDOM_WRITE_2};
    case 1:
      return {BENCH_SEQUENTIAL_READ, BENCH_SEQUENTIAL_WRITE};
    case 2:
      return {BENCH_RANDOM_READ_1, BENCH_RANDOM_WRITE_1};
    case 3:
      return {BENCH_RANDOM_READ_2, BENCH_RANDOM_WRITE_2};
    case 4:
      return {BENCH_RANDOM_READ_3, BENCH_RANDOM_WRITE_3};
    default:
      return {};
  }
}

double RateFromExitCode(int32_t code) { return static_cast<double>(code / 10) / 1000.0; }

std::string FormatRate(double v, const std::string& label) {
  const std::string prefix = label.empty() ? std::string() : label + " ";
  if (v == 0) return prefix + "000.0 MB/s";
  if (v >= 1000000) return prefix + "99999 MB/s";
  if (v >= 10000) return prefix + Printf("%d MB/s", static_cast<int>(v));
  if (v < 10) return prefix + Printf("%.3f MB/s", v);
  if (v < 100) return prefix + Printf("%.2f MB/s", v);
  return prefix + Printf("%.1f MB/s", v);
}

std::string EnglishBenchText(const std::string& key) {
  static const struct {
    const char* Key;
    const char* Text;
  } kTexts[] = {
      {"SEQUENTIAL_READ", "Sequential Read"},
      {"SEQUENTIAL_WRITE", "Sequential Write"},
      {"RANDOM_READ", "Random Read 4KB"},
      {"RANDOM_WRITE", "Random Write 4KB"},
      {"PAUSE", "Pause"},
      {"SECOND", "sec"},
      {"PROCESS_PREPARE", "Preparing..."},
      {"PROCESS_STOP", "Stopping..."},
      {"DISK_SPD_NOT_FOUND", "The load generator was not found."},
      {"DISK_CAPACITY_ERROR", "There is not enough free space for the test file."},
      {"DISK_CREATE_FILE_ERROR", "The test file could not be created."},
      {"DISK_WRITE_FILE_ERROR",
       "The test file could not be written (disk full, or larger than the file system allows)."},
      {"UNABLE_TO_LOCATE_MEMORY", "Memory could not be allocated."},
  };
  for (const auto& t : kTexts) {
    if (key == t.Key) return t.Text;
  }
  return key;
}

CBenchmarkWorker::CBenchmarkWorker(IBenchHost& host, IBenchCallback& callback, BenchText text)
    : m_Host(host), m_Callback(callback), m_Text(std::move(text)) {}

CBenchResults CBenchmarkWorker::Results() const {
  std::lock_guard<std::mutex> lock(m_ResultsLock);
  return m_Results;
}

void CBenchmarkWorker::SetResult(int slot, double value) {
  std::lock_guard<std::mutex> lock(m_ResultsLock);
  m_Results[static_cast<size_t>(slot)] = value;
}

std::string CBenchmarkWorker::TestName(int slot) const {
  switch (slot) {
    case BENCH_SEQUENTIAL_READ:
      return m_Text("SEQUENTIAL_READ");
    case BENCH_SEQUENTIAL_WRITE:
      return m_Text("SEQUENTIAL_WRITE");
    default:
      return Printf("%s-%d", m_Text(IsWrite(slot) ? "RANDOM_WRITE" : "RANDOM_READ").c_str(),
                    (slot - BENCH_RANDOM_READ_1) / 2 + 1);
  }
}

void CBenchmarkWorker::Run(const CBenchRequest& request) {
  m_Running.store(true);
  const std::vector<int> slots = BenchSlotsOfType(request.TestType);
  for (int slot : slots) SetResult(slot, 0);
  m_Callback.OnResults(Results());

  const std::string folder = request.Root + Printf("TslBenchmark%08X", m_Host.Ticks());
  const std::string file =
      folder + request.Separator + Printf("TslBenchmark%08X.tmp", m_Host.Ticks());
  if (!slots.empty() && Prepare(request, folder, file)) {
    for (size_t i = 0; i < slots.size(); i += 2) {
      if (i > 0) {
        m_Callback.OnStep(6);
        Pause(request);
        m_Callback.OnStep(0);
      }
      if (!m_Running.load()) break;
      RunTest(request, slots[i], file);
      m_Callback.OnStep(3);
      Pause(request);
      if (!m_Running.load()) break;
      RunTest(request, slots[i + 1], file);
    }
    if (m_Running.load()) {
      m_Callback.OnStep(6);
      m_Callback.OnHistory(Results());
    }
  }
  m_Host.RemoveFile(file);
  m_Host.RemoveFolder(folder);
  m_Callback.OnStatus(std::string());
  m_Running.store(false);
  m_Callback.OnDone();
}

bool CBenchmarkWorker::Prepare(const CBenchRequest& request, const std::string& folder,
                               const std::string& file) {
  auto fail = [this](const char* key) {
    m_Callback.OnError(key, m_Text(key));
    return false;
  };
  if (!m_Host.LoadGeneratorExists()) return fail("DISK_SPD_NOT_FOUND");
  uint64_t freeBytes = 0;
  if (!m_Host.FreeBytes(request.Root, &freeBytes) || (freeBytes >> 20) < request.TestSizeMiB) {
    return fail("DISK_CAPACITY_ERROR");
  }
  if (!m_Host.CreateFolder(folder)) return fail("DISK_CREATE_FILE_ERROR");
  std::unique_ptr<IBenchHost::IFile> out = m_Host.CreateTestFile(file);
  if (!out) return fail("DISK_CREATE_FILE_ERROR");
  std::vector<uint8_t> chunk;
  try {
    chunk.resize(PREPARE_CHUNK);
  } catch (const std::bad_alloc&) {
    return fail("UNABLE_TO_LOCATE_MEMORY");
  }
  // Incompressible content, so a compressing disk cannot shortcut the reads.
  uint64_t state = 0x9E3779B97F4A7C15ull ^ m_Host.Ticks();
  for (uint8_t& b : chunk) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    b = static_cast<uint8_t>(state >> 24);
  }
  for (uint32_t mib = 0; mib < request.TestSizeMiB; ++mib) {
    if (!m_Running.load()) return false;
    if (mib % PREPARE_PROGRESS_MIB == 0 && mib > 0) {
      m_Callback.OnStatus(
          Printf("%s [%u/%u MiB]", m_Text("PROCESS_PREPARE").c_str(), mib, request.TestSizeMiB));
    }
    // A short file would be measured as if it were whole: a failed write
    // ends the run (the file is removed by the cleanup).
    if (!out->Write(chunk)) return fail("DISK_WRITE_FILE_ERROR");
  }
  return true;
}

void CBenchmarkWorker::RunTest(const CBenchRequest& request, int slot, const std::string& file) {
  const int step = IsWrite(slot) ? 4 : 1;
  m_Callback.OnStep(step);
  SetResult(slot, 0);
  const std::string name = TestName(slot);
  const std::string arguments = BenchArguments(slot, request.Settings);
  for (int i = 0; i <= request.LoopCount; ++i) {
    if (i == 0) {
      m_Callback.OnStatus(m_Text("PROCESS_PREPARE") + " " + name);
    } else {
      m_Callback.OnStatus(Printf("%s [%d/%d]", name.c_str(), i, request.LoopCount));
      m_Callback.OnStep(step + 1);
    }
    const IBenchHost::LoadRun run = m_Host.RunLoad(arguments, file);
    const double value = run.Started ? run.MegabytesPerSecond : 0;
    // Run 0 warms the disk up; its figure is dropped.
    if (i >= 1 && value > Results()[static_cast<size_t>(slot)]) {
      SetResult(slot, value);
      m_Callback.OnResults(Results());
    }
    if (!m_Running.load()) break;
  }
  m_Callback.OnResults(Results());
}

void CBenchmarkWorker::Pause(const CBenchRequest& request) {
  for (uint32_t i = 0; i < request.PauseSeconds; ++i) {
    if (!m_Running.load()) return;
    m_Callback.OnStatus(Printf("%s [%u / %u] %s", m_Text("PAUSE").c_str(), i, request.PauseSeconds,
                               m_Text("SECOND").c_str()));
    m_Host.SleepSeconds(1);
  }
}

}  // namespace tools
