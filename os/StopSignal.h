// Requests from outside to stop the process: SIGTERM and SIGINT on Linux;
// Ctrl+C, Ctrl+Break, closing the console, log-off and shut-down on
// Windows. A program that must finish its current work before it ends
// waits on this object between pieces of work instead of being cut off in
// the middle of one.
#pragma once

#include <cstdint>
#include <memory>

namespace os {

class IStopSignal {
 public:
  virtual ~IStopSignal() = default;
  // Waits up to `milliseconds` for a stop request. True when one arrived
  // (now or at any earlier time); false when the time ran out.
  virtual bool WaitForStop(uint32_t milliseconds) = 0;
  // Whether a stop request has arrived, without waiting.
  bool StopRequested() { return WaitForStop(0); }
};

// Takes over the stop requests of the process for the life of the returned
// object (one at a time). On Linux it blocks SIGTERM and SIGINT in the
// calling thread, so create it before starting other threads: they inherit
// the mask and the requests wait for WaitForStop. Programs started by the
// process get the default signal handling back. Implemented per system
// (os/linux/StopSignal.cpp, os/win32/StopSignal.cpp).
std::unique_ptr<IStopSignal> CreateStopSignal();

}  // namespace os
