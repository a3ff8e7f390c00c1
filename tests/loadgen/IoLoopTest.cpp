// The load generator's I/O loop against a scripted queue: the order in
// which it takes completions and hands refills to the system, its counting
// and how it ends.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <deque>
#include <string>
#include <vector>

#include "loadgen/IoLoop.h"

namespace {

using loadgen::CCompletion;
using loadgen::CIo;
using loadgen::ELoopEnd;
using loadgen::EWait;

// A disk that answers in bursts. Each Wait completes the next `Bursts`
// entry of I/Os the system holds (0, or past the script's end: the wait
// times out);
// with `CompleteOnSubmit` a submitted I/O completes at once and is ready
// after the Submit or Wait call (a fast disk whose completions the
// submission collects). Every call is written to the log: Q<slot>, S, W, T<slot>.
class CScriptedQueue : public loadgen::IIoQueue {
 public:
  void Queue(uint32_t slot, const CIo& io) override {
    Log += "Q" + std::to_string(slot) + " ";
    Offsets.push_back(io.Offset);
    m_Queued.push_back(slot);
  }
  bool Submit(int* error) override {
    Log += "S ";
    if (SubmitError != 0) {
      *error = SubmitError;
      return false;
    }
    HandOver();
    if (CompleteOnSubmit && Taken < 100000) {
      while (!m_AtDisk.empty()) Finish();
    }
    return true;
  }
  uint32_t Ready() override { return static_cast<uint32_t>(m_Done.size()); }
  CCompletion Take() override {
    const CCompletion done = m_Done.front();
    m_Done.pop_front();
    Log += "T" + std::to_string(done.Slot) + " ";
    ++Taken;
    return done;
  }
  EWait Wait(uint32_t, int* error) override {
    Log += "W ";
    HandOver();
    if (WaitError != 0) {
      *error = WaitError;
      return EWait::Failed;
    }
    size_t burst = m_Wait < Bursts.size() ? Bursts[m_Wait++] : 0;
    if (CompleteOnSubmit) burst = m_AtDisk.size();
    if (burst == 0 || m_AtDisk.empty()) return EWait::TimedOut;
    for (size_t i = 0; i < burst && !m_AtDisk.empty(); ++i) Finish();
    return EWait::Ready;
  }

  std::vector<size_t> Bursts;
  bool CompleteOnSubmit = false;
  std::vector<int64_t> Results;  // by completion, in order; the block size when past the end
  int SubmitError = 0;
  int WaitError = 0;
  std::string Log;
  std::vector<uint64_t> Offsets;
  size_t Taken = 0;

 private:
  void HandOver() {
    m_AtDisk.insert(m_AtDisk.end(), m_Queued.begin(), m_Queued.end());
    m_Queued.clear();
  }
  void Finish() {
    const size_t n = m_Finished++;
    m_Done.push_back({m_AtDisk.front(), n < Results.size() ? Results[n] : 4096});
    m_AtDisk.pop_front();
  }
  std::deque<uint32_t> m_Queued, m_AtDisk;
  std::deque<CCompletion> m_Done;
  size_t m_Wait = 0;
  size_t m_Finished = 0;
};

struct CLoopRun {
  ELoopEnd End;
  loadgen::CThreadTally Tally;
  uint32_t Pending = 0;
  int ClockReads = 0;
};

// Runs the loop over a file of 64 blocks of 4 KiB with a clock that moves
// `tick` seconds at every reading.
CLoopRun RunLoop(CScriptedQueue& queue, uint32_t depth, double seconds, double tick,
                 std::atomic<bool>* failed) {
  const loadgen::CThreadPlan plan{0, 64 * 4096, 7};
  loadgen::COffsetSource source(plan, 4096, true, 0);
  CLoopRun run{};
  loadgen::CIoLoopSetup setup;
  setup.Depth = depth;
  setup.BlockSize = 4096;
  setup.Window = loadgen::CRunWindow(0, seconds);
  setup.StallSeconds = 5;
  setup.Now = [&run, tick] { return tick * run.ClockReads++; };
  setup.Failed = failed;
  run.End = loadgen::RunIoLoop(queue, source, setup, &run.Tally, &run.Pending);
  return run;
}

// The last refill of a pass goes with the wait that follows, in the same
// call.
TEST(IoLoop, EachRefillGoesToTheSystemBeforeTheNextCompletionIsTaken) {
  CScriptedQueue queue;
  queue.Bursts = {4, 0};  // one burst of the whole queue, then the disk says nothing
  std::atomic<bool> failed{false};
  // The window never ends: the stall limit (5 s) ends the run.
  const CLoopRun run = RunLoop(queue, 4, 1e9, 0.5, &failed);
  EXPECT_EQ(queue.Log.substr(0, 46), "Q0 Q1 Q2 Q3 W T0 Q0 S T1 Q1 S T2 Q2 S T3 Q3 W ");
  EXPECT_EQ(run.Tally.Ios, 4u);
  EXPECT_EQ(run.Tally.Bytes, 4u * 4096);
  // Nothing completed after the burst: the run ends as stalled with the
  // refills in flight, and says so.
  EXPECT_EQ(run.End, ELoopEnd::Stalled);
  EXPECT_EQ(run.Pending, 4u);
  EXPECT_NE(run.Tally.Error.find("4 in flight"), std::string::npos) << run.Tally.Error;
  EXPECT_TRUE(failed);
  for (uint64_t offset : queue.Offsets) EXPECT_EQ(offset % 4096, 0u);
}

TEST(IoLoop, APassTakesOnlyWhatWasReadyAtItsStartAndTheRunEnds) {
  // Every refill completes at once and is ready after its submission: a
  // pass that kept taking those would never read the clock again.
  CScriptedQueue queue;
  queue.CompleteOnSubmit = true;
  queue.Bursts = {8};  // the first wait brings the first queue's worth
  std::atomic<bool> failed{false};
  const CLoopRun run = RunLoop(queue, 8, 0.1, 0.001, &failed);
  EXPECT_EQ(run.End, ELoopEnd::Finished);
  EXPECT_EQ(run.Pending, 0u);
  EXPECT_TRUE(run.Tally.Error.empty()) << run.Tally.Error;
  EXPECT_LT(queue.Taken, 2000u) << "the run did not see its end";
  // Each pass takes the queue's worth that was ready and reads the clock
  // once: about 100 passes of 8 fit in 0.1 s of 1 ms readings.
  EXPECT_GT(run.Tally.Ios, 400u);
  EXPECT_EQ(run.Tally.Bytes, run.Tally.Ios * 4096);
  EXPECT_FALSE(failed);
}

TEST(IoLoop, FailuresEndTheRunWithWhatFailed) {
  struct Case {
    const char* Name;
    std::vector<int64_t> Results;
    int SubmitError, WaitError;
    bool OthersFailed;
    ELoopEnd End;
    std::string Error;  // a part of the error, empty for none
    size_t Started;     // I/Os started: the first two, then one per refill
  };
  const Case cases[] = {
      {"read error", {4096, -EIO}, 0, 0, false, ELoopEnd::Finished, "4096 bytes at offset ", 3},
      {"read error text", {-EIO}, 0, 0, false, ELoopEnd::Finished, "failed: Input/output error", 2},
      {"short read", {4096, 4096, 512}, 0, 0, false, ELoopEnd::Finished, "moved only 512", 4},
      {"refused refill", {}, EINVAL, 0, false, ELoopEnd::Broken, "refused an I/O: Invalid", 3},
      {"wait fails", {}, 0, EBADF, false, ELoopEnd::Broken, "waiting for I/O failed: Bad file", 2},
      {"another thread failed", {}, 0, 0, true, ELoopEnd::Finished, "", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    CScriptedQueue queue;
    queue.Bursts = {2, 1, 1, 1, 1, 1, 1, 1};  // both at first: the first refill is submitted
    queue.Results = c.Results;
    queue.SubmitError = c.SubmitError;
    queue.WaitError = c.WaitError;
    std::atomic<bool> failed{c.OthersFailed};
    const CLoopRun run = RunLoop(queue, 2, 1e9, 0.01, &failed);
    EXPECT_EQ(run.End, c.End);
    EXPECT_TRUE(failed);
    if (c.Error.empty()) {
      EXPECT_TRUE(run.Tally.Error.empty()) << run.Tally.Error;
    } else {
      EXPECT_NE(run.Tally.Error.find(c.Error), std::string::npos) << run.Tally.Error;
    }
    // No refill after the failure; what was in flight drains.
    EXPECT_EQ(queue.Offsets.size(), c.Started);
    if (c.End == ELoopEnd::Finished) {
      EXPECT_EQ(run.Pending, 0u);
    }
  }
}

TEST(IoLoop, OnlyCompletionsInsideTheWindowCountAndNothingStartsAfterIt) {
  CScriptedQueue queue;
  queue.Bursts = std::vector<size_t>(100, 1);
  std::atomic<bool> failed{false};
  // Readings 0, 0.1, 0.2, ...: a window of a second sees a few passes.
  const CLoopRun run = RunLoop(queue, 2, 1.0, 0.1, &failed);
  EXPECT_EQ(run.End, ELoopEnd::Finished);
  EXPECT_GT(run.Tally.Ios, 0u);
  // Two slots started at first, one refill per counted completion, and
  // none once the window was over.
  EXPECT_EQ(queue.Offsets.size(), 2 + run.Tally.Ios);
  EXPECT_LT(queue.Taken, 20u);
  EXPECT_FALSE(failed);
}

}  // namespace
