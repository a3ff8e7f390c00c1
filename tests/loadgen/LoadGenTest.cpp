#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "loadgen/LoadMain.h"
#include "loadgen/LoadOptions.h"
#include "loadgen/LoadPlan.h"
#include "loadgen/LoadResult.h"

namespace {

using loadgen::CLoadOptions;
using Args = std::vector<std::string>;

TEST(LoadOptions, TheBenchmarkCommandLines) {
  struct Case {
    Args Words;
    uint32_t Block, Seconds, Queue, Threads, Writes;
    bool Random;
    uint64_t RandomData;
  };
  const Case cases[] = {
      {{"-b128k", "-d5", "-o32", "-t1", "-W0", "-S", "-w0", "f.tmp"},
       128 << 10,
       5,
       32,
       1,
       0,
       false,
       0},
      {{"-b128k", "-d5", "-o32", "-t1", "-W0", "-S", "-w100", "-Z128K", "f.tmp"},
       128 << 10,
       5,
       32,
       1,
       100,
       false,
       128 << 10},
      {{"-b4K", "-d5", "-o8", "-t8", "-W0", "-r", "-S", "-w0", "f.tmp"}, 4096, 5, 8, 8, 0, true, 0},
      {{"-b4K", "-d5", "-o1", "-t1", "-W0", "-r", "-S", "-w100", "-Z4K", "--json", "f.tmp"},
       4096,
       5,
       1,
       1,
       100,
       true,
       4096},
      {{"-b1M", "-d1", "-o512", "-t2", "-W3", "-S", "-w30", "f.tmp"},
       1 << 20,
       1,
       512,
       2,
       30,
       false,
       0},
  };
  for (const Case& c : cases) {
    CLoadOptions o;
    std::string error;
    ASSERT_TRUE(loadgen::ParseLoadArgs(c.Words, &o, &error)) << c.Words[0] << ": " << error;
    EXPECT_EQ(o.BlockSize, c.Block);
    EXPECT_EQ(o.Seconds, c.Seconds);
    EXPECT_EQ(o.QueueDepth, c.Queue);
    EXPECT_EQ(o.Threads, c.Threads);
    EXPECT_EQ(o.WritePercent, c.Writes);
    EXPECT_EQ(o.Random, c.Random);
    EXPECT_TRUE(o.Unbuffered);
    EXPECT_EQ(o.RandomDataSize, c.RandomData);
    EXPECT_EQ(o.Path, "f.tmp");
  }
}

TEST(LoadOptions, UsageErrorsNameTheWord) {
  const struct {
    Args Words;
    const char* InError;
  } cases[] = {
      {{"-b128k", "-d5"}, "path is missing"},
      {{"f.tmp", "-d5"}, "must come last"},
      {{"-x", "f.tmp"}, "'-x'"},
      {{"-b", "f.tmp"}, "'-b'"},
      {{"-b0", "f.tmp"}, "'-b0'"},
      {{"-b12q", "f.tmp"}, "'-b12q'"},
      {{"-b128M", "f.tmp"}, "'-b128M'"},
      {{"-d0", "f.tmp"}, "'-d0'"},
      {{"-d-1", "f.tmp"}, "'-d-1'"},
      {{"-o0", "f.tmp"}, "'-o0'"},
      {{"-o1025", "f.tmp"}, "'-o1025'"},
      {{"-t257", "f.tmp"}, "'-t257'"},
      {{"-w101", "f.tmp"}, "'-w101'"},
      {{"-r4K", "f.tmp"}, "'-r4K'"},
      {{"-Sh", "f.tmp"}, "'-Sh'"},
      {{"-Z", "f.tmp"}, "'-Z'"},
      {{"-d99999999999999999999", "f.tmp"}, "'-d9999"},
      {{"-S", "-b1000", "f.tmp"}, "multiple of 512"},
      {{"-b64M", "-o1024", "-t256", "f.tmp"}, "buffers"},
  };
  for (const auto& c : cases) {
    CLoadOptions o;
    std::string error;
    EXPECT_FALSE(loadgen::ParseLoadArgs(c.Words, &o, &error)) << c.Words[0];
    EXPECT_NE(error.find(c.InError), std::string::npos) << error;
  }
}

TEST(LoadResult, ExitCodeIsRateTimesTenThousandTruncated) {
  const struct {
    double Rate;
    int32_t Code;
    bool Saturated;
  } cases[] = {
      {0, 0, false},
      {-3, 0, false},
      {512.3456, 5123456, false},
      {9.99999, 99999, false},
      {15000, 150000000, false},
      {0.00009, 0, false},
      {214748.3647, 2147483647, false},
      {214748.3648, 2147483647, true},
      {1e9, 2147483647, true},
  };
  for (const auto& c : cases) {
    bool saturated = !c.Saturated;
    EXPECT_EQ(loadgen::ExitCodeForRate(c.Rate, &saturated), c.Code) << c.Rate;
    EXPECT_EQ(saturated, c.Saturated) << c.Rate;
  }
  // MB is 10^6 bytes.
  EXPECT_DOUBLE_EQ(loadgen::MegabytesPerSecond({5'000'000, 1, 2.0}), 2.5);
  EXPECT_DOUBLE_EQ(loadgen::MegabytesPerSecond({5'000'000, 1, 0.0}), 0.0);
}

TEST(LoadPlan, SequentialThreadsGetTheirOwnSlices) {
  CLoadOptions o;
  o.BlockSize = 4096;
  o.Threads = 3;
  std::vector<loadgen::CThreadPlan> plans;
  std::string error;
  // 10 blocks and a half: three slices of 3 blocks, the rest unused.
  ASSERT_TRUE(loadgen::PlanThreads(o, 10 * 4096 + 2048, 1, &plans, &error)) << error;
  ASSERT_EQ(plans.size(), 3u);
  for (size_t t = 0; t < 3; ++t) {
    EXPECT_EQ(plans[t].RegionStart, t * 3 * 4096);
    EXPECT_EQ(plans[t].RegionSize, 3u * 4096);
  }
  EXPECT_NE(plans[0].Seed, plans[1].Seed);
  // A thread walks its slice and starts over.
  loadgen::COffsetSource walk(plans[1], 4096, false, 0);
  const uint64_t expected[] = {12288, 16384, 20480, 12288};
  for (uint64_t e : expected) EXPECT_EQ(walk.Next().Offset, e);

  o.Threads = 11;
  EXPECT_FALSE(loadgen::PlanThreads(o, 10 * 4096, 1, &plans, &error));
  EXPECT_NE(error.find("too small"), std::string::npos);
}

TEST(LoadPlan, RandomOffsetsAreAlignedAndCoverTheWholeFile) {
  CLoadOptions o;
  o.BlockSize = 4096;
  o.Threads = 2;
  o.Random = true;
  std::vector<loadgen::CThreadPlan> plans;
  std::string error;
  ASSERT_TRUE(loadgen::PlanThreads(o, 64 * 4096 + 100, 7, &plans, &error));
  for (const auto& p : plans) EXPECT_EQ(p.RegionSize, 64u * 4096);
  loadgen::COffsetSource source(plans[0], 4096, true, 25);
  std::set<uint64_t> seen;
  int writes = 0;
  for (int i = 0; i < 4000; ++i) {
    loadgen::CIo io = source.Next();
    ASSERT_EQ(io.Offset % 4096, 0u);
    ASSERT_LT(io.Offset + 4096, 64u * 4096 + 1);
    seen.insert(io.Offset);
    writes += io.Write;
  }
  EXPECT_EQ(seen.size(), 64u);  // every block, first and last included
  EXPECT_NEAR(writes, 1000, 150);
}

TEST(LoadPlan, RandomWriteDataDoesNotCompress) {
  std::vector<uint8_t> data(1 << 16);
  loadgen::FillWriteData(data, true, 42);
  // Order-0 entropy of the bytes: a pattern or zeros come out far below 8 bits.
  int counts[256] = {};
  for (uint8_t b : data) ++counts[b];
  double bits = 0;
  for (int c : counts) {
    if (c == 0) continue;
    const double p = static_cast<double>(c) / static_cast<double>(data.size());
    bits -= p * std::log2(p);
  }
  EXPECT_GT(bits, 7.99);
  std::vector<uint8_t> other(data.size());
  loadgen::FillWriteData(other, true, 43);
  EXPECT_NE(data, other);
  loadgen::FillWriteData(other, false, 43);
  EXPECT_EQ(other[0], 0);
  EXPECT_EQ(other[257], 1);
}

TEST(LoadPlan, OnlyCompletionsInsideTheWindowCount) {
  loadgen::CRunWindow window(1.0, 2.0);
  loadgen::CThreadTally tally;
  EXPECT_TRUE(loadgen::Complete(window, 0.5, 100, &tally));   // warm-up
  EXPECT_TRUE(loadgen::Complete(window, 1.0, 100, &tally));   // counted
  EXPECT_TRUE(loadgen::Complete(window, 2.99, 100, &tally));  // counted
  EXPECT_FALSE(loadgen::Complete(window, 3.0, 100, &tally));  // over
  EXPECT_EQ(tally.Bytes, 200u);
  EXPECT_EQ(tally.Ios, 2u);
  EXPECT_DOUBLE_EQ(window.CountedSeconds(), 2.0);
}

TEST(LoadPlan, ThreadTalliesAddUpUnlessOneFailed) {
  loadgen::CLoadResult result{1, 1, 1};
  std::string error;
  std::vector<loadgen::CThreadTally> tallies = {{4096, 1, ""}, {8192, 2, ""}, {0, 0, ""}};
  ASSERT_TRUE(loadgen::SumTallies(tallies, loadgen::CRunWindow(2, 5), &result, &error));
  EXPECT_EQ(result.Bytes, 12288u);
  EXPECT_EQ(result.Ios, 3u);
  EXPECT_DOUBLE_EQ(result.Seconds, 5.0);
  // The first failure is the run's error, whatever the others counted.
  tallies[1].Error = "read failed";
  tallies[2].Error = "write failed";
  EXPECT_FALSE(loadgen::SumTallies(tallies, loadgen::CRunWindow(0, 5), &result, &error));
  EXPECT_EQ(error, "read failed");
}

TEST(LoadPlan, AThreadWithoutCompletionsGivesUpAfterItsLimit) {
  loadgen::CStallWatch watch(30.0);
  watch.Progress(10.0);
  struct Case {
    double Now;
    bool Expired;
    uint32_t WaitMs;
  };
  const Case cases[] = {
      {10.0, false, 30000}, {25.5, false, 14500}, {39.9995, false, 1},
      {40.0, true, 1},      {100.0, true, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(watch.Expired(c.Now), c.Expired) << c.Now;
    EXPECT_EQ(watch.WaitMs(c.Now), c.WaitMs) << c.Now;
  }
  // A completion starts the time again.
  watch.Progress(39.0);
  EXPECT_FALSE(watch.Expired(40.0));
  EXPECT_EQ(watch.WaitMs(40.0), 29000u);
  EXPECT_NE(watch.Error(3).find("no I/O completed for 30 seconds with 3 in flight"),
            std::string::npos)
      << watch.Error(3);
  // A limit too large for one wait is waited in pieces; no limit at all
  // still waits a little, never for ever.
  EXPECT_EQ(loadgen::CStallWatch(1e9).WaitMs(0), 4000000000u);
  EXPECT_EQ(loadgen::CStallWatch(std::nan("")).WaitMs(0), 1u);
  EXPECT_TRUE(loadgen::CStallWatch(std::nan("")).Expired(0));
}

// A backend that reports a fixed outcome: the program's reporting and exit
// statuses without any I/O.
class CScriptedLoadBackend : public loadgen::ILoadBackend {
 public:
  bool FileSize(const std::string&, uint64_t* size, std::string* error) override {
    if (!m_FileError.empty()) *error = m_FileError;
    *size = 1 << 20;
    return m_FileError.empty();
  }
  bool Run(const CLoadOptions& options, const std::vector<loadgen::CThreadPlan>& plans,
           loadgen::CLoadResult* result, std::string* error) override {
    m_Threads = plans.size();
    m_Seconds = options.Seconds;
    if (!m_RunError.empty()) *error = m_RunError;
    *result = m_Result;
    return m_RunError.empty();
  }
  std::string m_FileError, m_RunError;
  loadgen::CLoadResult m_Result;
  size_t m_Threads = 0;
  uint32_t m_Seconds = 0;
};

struct CCaptured {
  int Status;
  std::string Out, Err;
};

CCaptured RunMain(const Args& args, loadgen::ILoadBackend& backend, loadgen::ExitStyle style) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  CCaptured c{loadgen::LoadMain("load", args, backend, 1, style, out, err), {}, {}};
  for (auto [f, s] : {std::pair{out, &c.Out}, std::pair{err, &c.Err}}) {
    std::rewind(f);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s->append(buf, n);
    std::fclose(f);
  }
  return c;
}

TEST(LoadMain, ReportsTheFigureAndTheStatusOfEachStyle) {
  using loadgen::ExitStyle;
  const Args args = {"-b4K", "-d5", "-o8", "-t8", "-W0", "-r", "-S", "-w0", "--json", "f.tmp"};
  CScriptedLoadBackend backend;
  backend.m_Result = {2'561'728'000, 625'422, 5.0};  // 512.3456 MB/s
  CCaptured c = RunMain(args, backend, ExitStyle::RateInExitCode);
  EXPECT_EQ(c.Status, 5123456);
  EXPECT_EQ(backend.m_Threads, 8u);
  EXPECT_EQ(backend.m_Seconds, 5u);
  EXPECT_NE(c.Out.find("\"bytes\":2561728000,\"seconds\":5.000000,\"mb_per_s\":512.345600"),
            std::string::npos)
      << c.Out;
  EXPECT_EQ(RunMain(args, backend, ExitStyle::Conventional).Status, 0);

  // Too fast for an exit code: saturates and says so.
  backend.m_Result = {2'000'000'000'000, 1, 5.0};
  c = RunMain(args, backend, ExitStyle::RateInExitCode);
  EXPECT_EQ(c.Status, 2147483647);
  EXPECT_NE(c.Err.find("more than an exit code can carry"), std::string::npos);

  // Failures: 0 (= 0 MB/s) for the pane, 1 or 2 on the command line.
  backend.m_RunError = "read failed";
  c = RunMain(args, backend, ExitStyle::RateInExitCode);
  EXPECT_EQ(c.Status, 0);
  EXPECT_EQ(c.Out, "");
  EXPECT_NE(c.Err.find("read failed"), std::string::npos);
  EXPECT_EQ(RunMain(args, backend, ExitStyle::Conventional).Status, 1);
  backend.m_RunError.clear();
  backend.m_FileError = "no such file";
  EXPECT_EQ(RunMain(args, backend, ExitStyle::Conventional).Status, 1);
  c = RunMain({"-q", "f.tmp"}, backend, ExitStyle::Conventional);
  EXPECT_EQ(c.Status, 2);
  EXPECT_NE(c.Err.find("usage:"), std::string::npos);
  EXPECT_EQ(RunMain({"-q", "f.tmp"}, backend, ExitStyle::RateInExitCode).Status, 0);
}

}  // namespace
