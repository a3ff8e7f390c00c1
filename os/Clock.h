// Time: wall clock, millisecond tick count and sleeping. Tests move time
// instead of waiting for it.
#pragma once

#include <cstdint>
#include <ctime>

namespace os {

class IClock {
 public:
  virtual ~IClock() = default;
  // Milliseconds since an arbitrary start (GetTickCount64).
  virtual uint64_t TickCount() = 0;
  // Seconds since 1970-01-01 UTC.
  virtual int64_t Now() = 0;
  // Local broken-down time for `t` (seconds since the epoch).
  virtual std::tm LocalTime(int64_t t) = 0;
  // Seconds since the epoch for a local broken-down time (mktime).
  virtual int64_t MakeLocalTime(const std::tm& local) = 0;
  // Blocks the calling thread; a virtual clock just advances.
  virtual void Sleep(uint32_t milliseconds) = 0;
};

}  // namespace os
