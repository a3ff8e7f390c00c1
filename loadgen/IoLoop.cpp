#include "loadgen/IoLoop.h"

#include <cstring>
#include <string>
#include <vector>

namespace loadgen {
namespace {

std::string SystemError(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

}  // namespace

ELoopEnd RunIoLoop(IIoQueue& queue, COffsetSource& source, const CIoLoopSetup& setup,
                   CThreadTally* tally, uint32_t* pendingLeft) {
  std::vector<CIo> inFlight(setup.Depth);
  auto start = [&](uint32_t slot) {
    inFlight[slot] = source.Next();
    queue.Queue(slot, inFlight[slot]);
  };
  auto fail = [&](const std::string& error) {
    if (tally->Error.empty()) tally->Error = error;
    *setup.Failed = true;
  };
  for (uint32_t s = 0; s < setup.Depth; ++s) start(s);
  uint32_t pending = setup.Depth;
  *pendingLeft = pending;
  bool stopping = false;
  CStallWatch stall(setup.StallSeconds);
  stall.Progress(setup.Now());
  while (pending > 0) {
    if (queue.Ready() == 0) {
      int error = 0;
      const EWait wait = queue.Wait(stall.WaitMs(setup.Now()), &error);
      if (wait == EWait::Failed) {
        fail(SystemError("waiting for I/O failed", error));
        *pendingLeft = pending;
        return ELoopEnd::Broken;
      }
      if (wait != EWait::Ready && !stall.Expired(setup.Now())) continue;
      if (wait == EWait::TimedOut) {
        fail(stall.Error(pending));
        *pendingLeft = pending;
        return ELoopEnd::Stalled;
      }
    }
    const double t = setup.Now();
    if (*setup.Failed) stopping = true;
    // Only what is ready now: the refills below bring more completions in,
    // and those belong to the next pass with a fresh time (a pass fed for
    // ever would never see the end of the run).
    const uint32_t batch = queue.Ready();
    for (uint32_t i = 0; i < batch; ++i) {
      const CCompletion done = queue.Take();
      --pending;
      if (done.Result != setup.BlockSize) {
        const CIo& io = inFlight[done.Slot];
        const std::string what = std::string(io.Write ? "write" : "read") + " of " +
                                 std::to_string(setup.BlockSize) + " bytes at offset " +
                                 std::to_string(io.Offset);
        fail(done.Result < 0 ? SystemError(what + " failed", static_cast<int>(-done.Result))
                             : what + " moved only " + std::to_string(done.Result));
        stopping = true;
        continue;
      }
      if (!Complete(setup.Window, t, setup.BlockSize, tally) || stopping) {
        stopping = true;
        continue;
      }
      start(done.Slot);
      ++pending;
      // The last refill of the pass goes with the next wait, in the same
      // system call.
      if (i + 1 == batch) continue;
      int error = 0;
      if (!queue.Submit(&error)) {
        fail(SystemError("the system refused an I/O", error));
        *pendingLeft = pending;
        return ELoopEnd::Broken;
      }
    }
    if (batch > 0) stall.Progress(t);
  }
  *pendingLeft = 0;
  return ELoopEnd::Finished;
}

}  // namespace loadgen
