// os::IClock on POSIX: CLOCK_MONOTONIC for the tick count, the C library's
// local-time conversions, nanosleep.
#pragma once

#include "os/Clock.h"

namespace os {

class CLinuxClock : public IClock {
 public:
  uint64_t TickCount() override;
  int64_t Now() override;
  std::tm LocalTime(int64_t t) override;
  int64_t MakeLocalTime(const std::tm& local) override;
  void Sleep(uint32_t milliseconds) override;
};

}  // namespace os
