// What one run of the load generator does, worked out before any I/O: the
// part of the file each thread covers, the offsets it visits, whether each
// I/O reads or writes, and the bytes writes carry. The backends only move
// bytes to and from the offsets this hands them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "loadgen/LoadOptions.h"
#include "loadgen/LoadResult.h"

namespace loadgen {

// The part of the file one thread works on. Sequential runs give each
// thread its own slice, so several threads do not read the same blocks
// (which a cache below us could serve twice); random runs give every thread
// the whole file.
struct CThreadPlan {
  uint64_t RegionStart = 0;
  uint64_t RegionSize = 0;  // a multiple of the block size, at least one block
  uint64_t Seed = 0;
};

// One thread plan per -t, over a file of `fileSize` bytes. False with
// *error when the file is too small for one block per thread.
bool PlanThreads(const CLoadOptions& options, uint64_t fileSize, uint64_t seed,
                 std::vector<CThreadPlan>* plans, std::string* error);

// A small fast generator (SplitMix64): good spread, fully reproducible from
// its seed, cheap enough to call once per I/O.
class CSplitMix {
 public:
  explicit CSplitMix(uint64_t seed) : m_State(seed) {}
  uint64_t Next() {
    uint64_t z = (m_State += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

 private:
  uint64_t m_State;
};

struct CIo {
  uint64_t Offset = 0;
  bool Write = false;
};

// The sequence of I/Os of one thread: sequential offsets walk the region
// and start over at its end; random ones are block-aligned anywhere in it.
class COffsetSource {
 public:
  COffsetSource(const CThreadPlan& plan, uint32_t blockSize, bool random, uint32_t writePercent);
  CIo Next();

 private:
  CThreadPlan m_Plan;
  uint64_t m_BlockSize;
  uint64_t m_Blocks;
  bool m_Random;
  uint32_t m_WritePercent;
  uint64_t m_Position = 0;
  CSplitMix m_Rng;
};

// Fills a write buffer. With random data every byte comes from the
// generator (a compressing or deduplicating disk gains nothing); otherwise
// the bytes repeat 0, 1, ... 255.
void FillWriteData(std::span<uint8_t> buffer, bool random, uint64_t seed);

// The clock of one run: warm-up from 0 to WarmupEnd, counting until End.
// Completions during warm-up are done but not counted; once End has passed
// no new I/O is started and what completes is not counted.
class CRunWindow {
 public:
  CRunWindow(double warmupSeconds, double seconds)
      : m_WarmupEnd(warmupSeconds), m_End(warmupSeconds + seconds) {}
  bool Over(double now) const { return now >= m_End; }
  bool Counts(double now) const { return now >= m_WarmupEnd && now < m_End; }
  double CountedSeconds() const { return m_End - m_WarmupEnd; }

 private:
  double m_WarmupEnd;
  double m_End;
};

// How long a thread waits for its next completion. An I/O the system never
// completes (a completion lost under load, a device that stopped
// answering) must end the run with an error that says so, not leave the
// program, and the benchmark pane waiting on it, hanging for ever. Each
// completion starts the time again.
class CStallWatch {
 public:
  explicit CStallWatch(double limitSeconds) : m_Limit(limitSeconds) {}
  void Progress(double now) { m_Last = now; }
  // (A limit that is not a number has passed at once.)
  bool Expired(double now) const { return !(now - m_Last < m_Limit); }
  // Milliseconds the next wait may last: what is left of the limit, at
  // least 1 (a wait of 0 would spin).
  uint32_t WaitMs(double now) const;
  // The run's error once the limit has passed with `pending` I/Os in flight.
  std::string Error(uint32_t pending) const;

 private:
  double m_Limit;
  double m_Last = 0;
};

// One thread's tally, kept by its own thread; the totals are summed after
// the threads have been joined.
struct CThreadTally {
  uint64_t Bytes = 0;
  uint64_t Ios = 0;
  std::string Error;  // empty when every I/O succeeded
};

// The run's result from its threads' tallies once they are joined. False
// with the first failed thread's error, when one failed: what the others
// counted is then no figure.
bool SumTallies(const std::vector<CThreadTally>& tallies, const CRunWindow& window,
                CLoadResult* result, std::string* error);

// The bookkeeping of a completion: counts it when inside the window.
// Returns whether the slot should start another I/O.
inline bool Complete(const CRunWindow& window, double now, uint64_t bytes, CThreadTally* tally) {
  if (window.Counts(now)) {
    tally->Bytes += bytes;
    ++tally->Ios;
  }
  return !window.Over(now);
}

}  // namespace loadgen
