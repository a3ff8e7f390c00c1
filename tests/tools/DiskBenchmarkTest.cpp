#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/Commands.h"
#include "os/NativePlatform.h"
#include "tests/support/TempDir.h"
#include "tools/BenchmarkPane.h"
#include "tools/DiskBenchmark.h"

namespace {

using tools::CBenchmarkWorker;
using tools::CBenchRequest;
using tools::CBenchResults;

// A host that answers from a script and writes down what the worker asked.
class CScriptedHost : public tools::IBenchHost {
 public:
  bool LoadGeneratorExists() override { return m_Exists; }
  bool FreeBytes(const std::string& folder, uint64_t* bytes) override {
    m_Log.push_back("df " + folder);
    *bytes = m_FreeBytes;
    return true;
  }
  bool CreateFolder(const std::string& path) override {
    m_Log.push_back("mkdir " + path);
    return m_CanMakeFolder;
  }
  bool RemoveFolder(const std::string& path) override {
    m_Log.push_back("rmdir " + path);
    return true;
  }
  bool RemoveFile(const std::string& path) override {
    m_Log.push_back("rm " + path);
    return true;
  }
  class CFile : public IFile {
   public:
    explicit CFile(CScriptedHost* host) : m_Host(host) {}
    bool Write(std::span<const uint8_t> data) override {
      if (m_Host->m_FailWriteAt == m_Host->m_MiBWritten) return false;
      ++m_Host->m_MiBWritten;
      m_Host->m_LastChunk.assign(data.begin(), data.end());
      return true;
    }
    CScriptedHost* m_Host;
  };
  std::unique_ptr<IFile> CreateTestFile(const std::string& path) override {
    m_Log.push_back("create " + path);
    if (!m_CanCreate) return nullptr;
    return std::make_unique<CFile>(this);
  }
  LoadRun RunLoad(const std::string& arguments, const std::string& file) override {
    m_Log.push_back("load " + arguments + " " + file);
    if (m_OnRun) m_OnRun(m_Runs);
    LoadRun run;
    if (m_Runs < m_Rates.size()) {
      run.Started = m_Rates[m_Runs] >= 0;
      run.MegabytesPerSecond = run.Started ? m_Rates[m_Runs] : 0;
    }
    ++m_Runs;
    return run;
  }
  void SleepSeconds(uint32_t seconds) override {
    m_Log.push_back("sleep " + std::to_string(seconds));
    if (m_OnSleep) m_OnSleep();
  }
  uint32_t Ticks() override { return m_Ticks++; }

  bool m_Exists = true;
  bool m_CanMakeFolder = true;
  bool m_CanCreate = true;
  uint64_t m_FreeBytes = 1ull << 40;
  uint32_t m_FailWriteAt = ~0u;
  uint32_t m_MiBWritten = 0;
  std::vector<uint8_t> m_LastChunk;
  std::vector<double> m_Rates;  // per run in order; negative: cannot be started
  size_t m_Runs = 0;
  std::function<void(size_t)> m_OnRun;
  std::function<void()> m_OnSleep;
  uint32_t m_Ticks = 0xAB;
  std::vector<std::string> m_Log;
};

class CRecorder : public tools::IBenchCallback {
 public:
  void OnStatus(std::string text) override { m_Statuses.push_back(std::move(text)); }
  void OnResults(const CBenchResults& results) override { m_Last = results; }
  void OnStep(int lamps) override { m_Steps.push_back(lamps); }
  void OnError(const std::string& key, std::string) override { m_Errors.push_back(key); }
  void OnHistory(const CBenchResults&) override { ++m_Histories; }
  void OnDone() override { ++m_Done; }
  std::vector<std::string> m_Statuses, m_Errors;
  std::vector<int> m_Steps;
  CBenchResults m_Last{};
  int m_Histories = 0, m_Done = 0;
};

CBenchRequest Request(int type, uint32_t sizeMiB, int loops) {
  CBenchRequest r;
  r.TestType = type;
  r.TestSizeMiB = sizeMiB;
  r.LoopCount = loops;
  r.Root = "/mnt/";
  r.Separator = '/';
  return r;
}

const char* kFolder = "/mnt/TslBenchmark000000AB";
const char* kFile = "/mnt/TslBenchmark000000AB/TslBenchmark000000AC.tmp";

size_t CountPrefix(const std::vector<std::string>& log, const std::string& prefix) {
  size_t n = 0;
  for (const std::string& s : log) n += s.rfind(prefix, 0) == 0;
  return n;
}

TEST(DiskBenchmark, SequentialPairKeepsTheBestCountedRun) {
  CScriptedHost host;
  // Loop count 1: a warm-up and one counted run per test.
  host.m_Rates = {999, 500, 999, 300};
  CRecorder recorder;
  CBenchmarkWorker worker(host, recorder, tools::EnglishBenchText);
  worker.Run(Request(1, 3, 1));
  const std::string file = kFile;
  const std::vector<std::string> expected = {
      "df /mnt/",
      "mkdir " + std::string(kFolder),
      "create " + file,
      "load -b128k -d5 -o32 -t1 -W0 -S -w0 " + file,
      "load -b128k -d5 -o32 -t1 -W0 -S -w0 " + file,
      "sleep 1",
      "sleep 1",
      "sleep 1",
      "sleep 1",
      "sleep 1",
      "load -b128k -d5 -o32 -t1 -W0 -S -w100 -Z128K " + file,
      "load -b128k -d5 -o32 -t1 -W0 -S -w100 -Z128K " + file,
      "rm " + file,
      "rmdir " + std::string(kFolder),
  };
  EXPECT_EQ(host.m_Log, expected);
  EXPECT_EQ(host.m_MiBWritten, 3u);
  EXPECT_EQ(recorder.m_Last[tools::BENCH_SEQUENTIAL_READ], 500);  // warm-up's 999 dropped
  EXPECT_EQ(recorder.m_Last[tools::BENCH_SEQUENTIAL_WRITE], 300);
  EXPECT_EQ(recorder.m_Steps, (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(recorder.m_Histories, 1);
  EXPECT_EQ(recorder.m_Done, 1);
  EXPECT_EQ(recorder.m_Statuses.front(), "Preparing... Sequential Read");
  EXPECT_EQ(recorder.m_Statuses.back(), "");
  EXPECT_FALSE(worker.Running());
}

TEST(DiskBenchmark, CommandLinesOfEveryType) {
  const struct {
    int Type;
    std::vector<std::string> Arguments;
  } cases[] = {
      {0,
       {"-b128k -d5 -o32 -t1 -W0 -S -w0", "-b128k -d5 -o32 -t1 -W0 -S -w100 -Z128K",
        "-b4K -d5 -o32 -t1 -W0 -r -S -w0", "-b4K -d5 -o32 -t1 -W0 -r -S -w100 -Z4K"}},
      {2, {"-b4K -d5 -o8 -t8 -W0 -r -S -w0", "-b4K -d5 -o8 -t8 -W0 -r -S -w100 -Z4K"}},
      {4, {"-b4K -d5 -o1 -t1 -W0 -r -S -w0", "-b4K -d5 -o1 -t1 -W0 -r -S -w100 -Z4K"}},
  };
  for (const auto& c : cases) {
    CScriptedHost host;
    CRecorder recorder;
    CBenchmarkWorker worker(host, recorder, tools::EnglishBenchText);
    CBenchRequest request = Request(c.Type, 1, 1);
    request.PauseSeconds = 0;
    worker.Run(request);
    std::vector<std::string> seen;
    for (const std::string& s : host.m_Log) {
      if (s.rfind("load ", 0) == 0) {
        std::string args = s.substr(5, s.size() - 5 - std::string(kFile).size() - 1);
        if (seen.empty() || seen.back() != args) seen.push_back(args);
      }
    }
    EXPECT_EQ(seen, c.Arguments) << c.Type;
  }
}

TEST(DiskBenchmark, StopInTheMiddleEndsAfterTheCurrentRunAndCleansUp) {
  CScriptedHost host;
  host.m_Rates = {100, 200, 300, 400, 500, 600};
  CRecorder recorder;
  CBenchmarkWorker worker(host, recorder, tools::EnglishBenchText);
  host.m_OnRun = [&worker](size_t run) {
    if (run == 2) worker.RequestStop();  // during the second counted read run
  };
  worker.Run(Request(1, 2, 5));
  EXPECT_EQ(host.m_Runs, 3u);  // the running one finished, nothing after it
  EXPECT_EQ(CountPrefix(host.m_Log, "sleep"), 0u);
  EXPECT_EQ(host.m_Log.back(), "rmdir " + std::string(kFolder));
  EXPECT_EQ(CountPrefix(host.m_Log, "rm /"), 1u);
  EXPECT_EQ(recorder.m_Last[tools::BENCH_SEQUENTIAL_READ], 300);
  EXPECT_EQ(recorder.m_Histories, 0);
  EXPECT_EQ(recorder.m_Done, 1);
}

TEST(DiskBenchmark, StopDuringAPauseEndsIt) {
  CScriptedHost host;
  CRecorder recorder;
  CBenchmarkWorker worker(host, recorder, tools::EnglishBenchText);
  host.m_OnSleep = [&worker] { worker.RequestStop(); };
  worker.Run(Request(1, 1, 1));
  EXPECT_EQ(CountPrefix(host.m_Log, "sleep"), 1u);
  EXPECT_EQ(host.m_Runs, 2u);  // the read test only
  EXPECT_EQ(recorder.m_Done, 1);
}

TEST(DiskBenchmark, FailedOrZeroRunsCountAsZeroAndNeverReplaceABetterOne) {
  CScriptedHost host;
  // Read: warm-up, 250, cannot start, exit code 0. Write: all cannot start.
  host.m_Rates = {10, 250, -1, 0, -1, -1, -1, -1};
  CRecorder recorder;
  CBenchmarkWorker worker(host, recorder, tools::EnglishBenchText);
  CBenchRequest request = Request(1, 1, 3);
  request.PauseSeconds = 0;
  worker.Run(request);
  EXPECT_EQ(host.m_Runs, 8u);
  EXPECT_EQ(recorder.m_Last[tools::BENCH_SEQUENTIAL_READ], 250);
  EXPECT_EQ(recorder.m_Last[tools::BENCH_SEQUENTIAL_WRITE], 0);
  EXPECT_EQ(recorder.m_Done, 1);
}

TEST(DiskBenchmark, PreparationFailuresRunNoTestAndLeaveNothingBehind) {
  const struct {
    const char* Name;
    std::function<void(CScriptedHost&)> Setup;
    const char* Error;
    uint32_t MiBWritten;
  } cases[] = {
      {"no generator", [](CScriptedHost& h) { h.m_Exists = false; }, "DISK_SPD_NOT_FOUND", 0},
      {"900 MiB free for 1 GiB", [](CScriptedHost& h) { h.m_FreeBytes = 900ull << 20; },
       "DISK_CAPACITY_ERROR", 0},
      {"folder not creatable", [](CScriptedHost& h) { h.m_CanMakeFolder = false; },
       "DISK_CREATE_FILE_ERROR", 0},
      {"file not creatable", [](CScriptedHost& h) { h.m_CanCreate = false; },
       "DISK_CREATE_FILE_ERROR", 0},
      // A full disk or the file system's size limit part-way: the run must
      // not go on to measure a short file.
      {"write fails", [](CScriptedHost& h) { h.m_FailWriteAt = 700; }, "DISK_WRITE_FILE_ERROR",
       700},
  };
  for (const auto& c : cases) {
    CScriptedHost host;
    c.Setup(host);
    CRecorder recorder;
    CBenchmarkWorker worker(host, recorder, tools::EnglishBenchText);
    worker.Run(Request(0, 1024, 1));
    EXPECT_EQ(recorder.m_Errors, std::vector<std::string>{c.Error}) << c.Name;
    EXPECT_EQ(host.m_Runs, 0u) << c.Name;
    EXPECT_EQ(host.m_MiBWritten, c.MiBWritten) << c.Name;
    EXPECT_EQ(host.m_Log.back(), "rmdir " + std::string(kFolder)) << c.Name;
    EXPECT_EQ(CountPrefix(host.m_Log, "rm /"), 1u) << c.Name;
    EXPECT_EQ(recorder.m_Histories, 0) << c.Name;
    EXPECT_EQ(recorder.m_Done, 1) << c.Name;
  }
}

TEST(DiskBenchmark, TestFileContentDoesNotRepeatBytes) {
  CScriptedHost host;
  CRecorder recorder;
  CBenchmarkWorker worker(host, recorder, tools::EnglishBenchText);
  worker.Run(Request(4, 1, 1));
  ASSERT_EQ(host.m_LastChunk.size(), 1u << 20);
  std::map<uint8_t, size_t> counts;
  for (uint8_t b : host.m_LastChunk) ++counts[b];
  EXPECT_EQ(counts.size(), 256u);
  for (auto [b, n] : counts) EXPECT_LT(n, 4096u + 600u) << int(b);  // 1 MiB / 256 = 4096
}

// The stop request comes from the window's thread while the worker runs.
TEST(DiskBenchmark, StopFromAnotherThread) {
  CScriptedHost host;
  std::mutex lock;
  std::condition_variable changed;
  bool inRun = false, released = false;
  host.m_OnRun = [&](size_t) {
    std::unique_lock<std::mutex> l(lock);
    inRun = true;
    changed.notify_all();
    changed.wait(l, [&] { return released; });
  };
  CRecorder recorder;
  CBenchmarkWorker worker(host, recorder, tools::EnglishBenchText);
  std::thread thread([&] { worker.Run(Request(1, 1, 8)); });
  {
    std::unique_lock<std::mutex> l(lock);
    changed.wait(l, [&] { return inRun; });
    worker.RequestStop();
    released = true;
    changed.notify_all();
  }
  thread.join();
  EXPECT_EQ(host.m_Runs, 1u);
  EXPECT_EQ(recorder.m_Done, 1);
}

TEST(DiskBenchmark, RatesFromExitCodesAndTheirTexts) {
  const struct {
    int32_t Code;
    const char* Text;
  } cases[] = {
      {5123456, "512.3 MB/s"}, {99999, "9.999 MB/s"},  {150000000, "15000 MB/s"},
      {0, "000.0 MB/s"},       {250000, "25.00 MB/s"}, {2147483647, "214748 MB/s"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tools::FormatRate(tools::RateFromExitCode(c.Code)), c.Text) << c.Code;
  }
  EXPECT_EQ(tools::FormatRate(2e6, "C:"), "C: 99999 MB/s");
  EXPECT_EQ(tools::FormatRate(0, "D:"), "D: 000.0 MB/s");
}

// `stavrion bench` takes the queue and thread counts the window program
// keeps; a count out of its range is the default, not passed on.
TEST(BenchCommand, QueuesAndThreadsComeFromTheSettingsFile) {
  testutil::CTempDir dir;
  const std::string path = dir.File("s.ini");
  std::ofstream(path) << "[Settings]\nSequentialMultiQueues1=64\nSequentialMultiThreads1=2\n"
                         "RandomMultiQueues1=0\nRandomMultiThreads1=65\nRandomMultiQueues2=512\n"
                         "RandomMultiThreads2=4\nRandomMultiQueues3=x\n";
  os::NativePlatform native;
  app::CSettings settings(native.Get().Profile, native.Get().Clock, path);
  const tools::CBenchSettings s = tools::BenchSettingsFrom(settings);
  EXPECT_EQ(s.SequentialQueues, 64);
  EXPECT_EQ(s.SequentialThreads, 2);
  EXPECT_EQ(s.RandomQueues, (std::array<int, 3>{8, 512, 1}));
  EXPECT_EQ(s.RandomThreads, (std::array<int, 3>{8, 4, 1}));
  EXPECT_EQ(tools::BenchArguments(tools::BENCH_RANDOM_READ_2, s),
            "-b4K -d5 -o512 -t4 -W0 -r -S -w0");
  // A settings file that does not exist is a usage error, before any file
  // is written in the folder to test.
  EXPECT_EQ(cli::RunBench({dir.Path().string(), "--config", dir.File("none.ini")}),
            cli::EXIT_USAGE);
  EXPECT_EQ(cli::RunBench({dir.Path().string(), "--config"}), cli::EXIT_USAGE);
}

}  // namespace
