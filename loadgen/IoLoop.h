// One thread's I/O loop, apart from the system calls that move the bytes:
// keeps `depth` I/Os in flight, counts what completes inside the run's
// window, ends the run on the first failure or when no I/O completes for
// too long. The backend hands it its system's queue.
//
// The order matters for speed. A disk that answers a whole queue at once
// (a virtual disk does) leaves the thread a burst of completions, and the
// disk idles until the first refill reaches it. So each refill goes to the
// system as soon as its completion is taken, not after the rest of the
// burst: holding them for one submission left a single thread at queue
// depth 32 about a tenth below what the disk gives. (The last refill of a
// pass goes with the wait that follows, in the same call: at depth 1 that
// is one call per I/O.)
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "loadgen/LoadPlan.h"

namespace loadgen {

struct CCompletion {
  uint32_t Slot = 0;
  int64_t Result = 0;  // bytes moved, or minus the system's error number
};

enum class EWait { Ready, TimedOut, Interrupted, Failed };

// What the loop needs of a system's queue of I/Os.
class IIoQueue {
 public:
  virtual ~IIoQueue() = default;
  // Puts an I/O on the slot's buffer in the queue; the system sees it at
  // the next Submit or Wait.
  virtual void Queue(uint32_t slot, const CIo& io) = 0;
  // Hands what is queued to the system now. False with the system's error
  // number when it refuses for good (a busy system is not a failure: what
  // it did not take goes with the next call).
  virtual bool Submit(int* error) = 0;
  // Completions that can be taken without waiting.
  virtual uint32_t Ready() = 0;
  // Takes one of them; only called while Ready() is above 0.
  virtual CCompletion Take() = 0;
  // Submits what is queued and waits up to `ms` for a completion
  // (*error is set with Failed).
  virtual EWait Wait(uint32_t ms, int* error) = 0;
};

struct CIoLoopSetup {
  uint32_t Depth = 1;
  uint32_t BlockSize = 4096;
  CRunWindow Window{0, 1};
  double StallSeconds = 60;
  std::function<double()> Now;          // seconds since the run's start
  std::atomic<bool>* Failed = nullptr;  // shared by the run's threads
};

enum class ELoopEnd {
  Finished,  // nothing left in flight
  Stalled,   // no completion within the limit: I/Os are still in flight
  Broken,    // the system refused to queue or wait: I/Os may be in flight
};

// Runs the loop until every I/O has completed or the run breaks off. On a
// failure tally->Error says what failed and *failed is set for the other
// threads; *pendingLeft is what is still in flight when the loop returns.
ELoopEnd RunIoLoop(IIoQueue& queue, COffsetSource& source, const CIoLoopSetup& setup,
                   CThreadTally* tally, uint32_t* pendingLeft);

}  // namespace loadgen
