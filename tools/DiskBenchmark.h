// The disk benchmark without its window: the worker that prepares a test
// file, runs the load generator for each test of the chosen type, keeps the
// best figure of each and cleans up. It reaches the system only through
// IBenchHost and reports only through IBenchCallback, so the window pane,
// `stavrion bench` and the tests drive the same code.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace tools {

// Result slots, in the order of the report lines.
enum BenchSlot {
  BENCH_SEQUENTIAL_READ = 0,
  BENCH_SEQUENTIAL_WRITE,
  BENCH_RANDOM_READ_1,
  BENCH_RANDOM_WRITE_1,
  BENCH_RANDOM_READ_2,
  BENCH_RANDOM_WRITE_2,
  BENCH_RANDOM_READ_3,
  BENCH_RANDOM_WRITE_3,
  BENCH_SLOT_COUNT
};

struct CBenchSettings {
  int SequentialQueues = 32;
  int SequentialThreads = 1;
  std::array<int, 3> RandomQueues = {8, 32, 1};
  std::array<int, 3> RandomThreads = {8, 1, 1};
};

struct CBenchRequest {
  int TestType = 0;  // 0 "Seq + 4K (Q32 T1)" ... 4 "Random_4K (Q1 T1)"
  uint32_t TestSizeMiB = 1024;
  int LoopCount = 5;  // counted runs per test; one warm-up run comes first
  std::string Root;   // folder the test folder is made in, ending in a separator
  char Separator = '/';
  uint32_t PauseSeconds = 5;  // between the read and the write test of a pair
  CBenchSettings Settings;
};

using CBenchResults = std::array<double, BENCH_SLOT_COUNT>;

// The arguments of one test, before the test file's path.
std::string BenchArguments(int slot, const CBenchSettings& settings);
// The slots a test type runs, in order.
std::vector<int> BenchSlotsOfType(int testType);
// MB/s from the load generator's exit code: (code / 10, truncated) / 1000.
double RateFromExitCode(int32_t code);
// "512.3 MB/s", "9.999 MB/s", "15000 MB/s", "000.0 MB/s"; with a label
// ("C:") in front when it is not empty.
std::string FormatRate(double megabytesPerSecond, const std::string& label = "");

// What the worker needs of the system. The pane's host runs the load
// generator and reads its exit code; the command line's reads its JSON.
class IBenchHost {
 public:
  virtual ~IBenchHost() = default;
  struct LoadRun {
    bool Started = false;  // false: the program could not be started
    double MegabytesPerSecond = 0;
  };
  virtual bool LoadGeneratorExists() = 0;
  // Free bytes of the file system holding `folder`; false when unknown.
  virtual bool FreeBytes(const std::string& folder, uint64_t* bytes) = 0;
  virtual bool CreateFolder(const std::string& path) = 0;
  virtual bool RemoveFolder(const std::string& path) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  // Creates the test file anew, uncached; its writes take whole MiBs.
  class IFile {
   public:
    virtual ~IFile() = default;
    virtual bool Write(std::span<const uint8_t> data) = 0;
  };
  virtual std::unique_ptr<IFile> CreateTestFile(const std::string& path) = 0;
  // Runs the load generator once with `arguments` (blank-separated) and the
  // test file; waits for it to end.
  virtual LoadRun RunLoad(const std::string& arguments, const std::string& testFile) = 0;
  virtual void SleepSeconds(uint32_t seconds) = 0;
  // A number that changes between calls (the millisecond counter), for
  // the test folder and file names.
  virtual uint32_t Ticks() = 0;
};

// What the worker reports. Each call hands over values the receiver owns:
// a posted window message must carry a copy, never a pointer into the
// worker.
class IBenchCallback {
 public:
  virtual ~IBenchCallback() = default;
  virtual void OnStatus(std::string text) = 0;  // empty: clear the status line
  virtual void OnResults(const CBenchResults& results) = 0;
  virtual void OnStep(int lamps) = 0;  // 0-6 progress lamps lit
  // A failure that ends the run before any test: the message key of the
  // "Message" section and its text.
  virtual void OnError(const std::string& key, std::string text) = 0;
  virtual void OnHistory(const CBenchResults& results) = 0;  // a run finished
  virtual void OnDone() = 0;
};

// Language texts by key of the "DiskPerformance" or "Message" section.
using BenchText = std::function<std::string(const std::string& key)>;
// The English texts, for the command line and as fallback.
std::string EnglishBenchText(const std::string& key);

class CBenchmarkWorker {
 public:
  CBenchmarkWorker(IBenchHost& host, IBenchCallback& callback, BenchText text);

  // The whole run, on the calling (worker) thread; returns after cleanup
  // and OnDone. Results of the type's tests start at 0.
  void Run(const CBenchRequest& request);
  // From any thread: the run ends after the current load-generator run,
  // 1 MiB write or pause second.
  void RequestStop() { m_Running.store(false); }
  bool Running() const { return m_Running.load(); }
  CBenchResults Results() const;

 private:
  bool Prepare(const CBenchRequest& request, const std::string& folder, const std::string& file);
  void RunTest(const CBenchRequest& request, int slot, const std::string& file);
  void Pause(const CBenchRequest& request);
  void SetResult(int slot, double value);
  std::string TestName(int slot) const;

  IBenchHost& m_Host;
  IBenchCallback& m_Callback;
  BenchText m_Text;
  std::atomic<bool> m_Running{false};
  mutable std::mutex m_ResultsLock;
  CBenchResults m_Results{};
};

}  // namespace tools
