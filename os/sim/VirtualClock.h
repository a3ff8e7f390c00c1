// A clock that moves only when told to. Local time is UTC plus a fixed
// offset, so tests give the same answers in every time zone.
#pragma once

#include <cstdint>

#include "os/Clock.h"

namespace os::sim {

class CVirtualClock : public IClock {
 public:
  // Starts at `now` (seconds since 1970, UTC; default 2026-01-01 00:00:00)
  // with the tick count at `tick` milliseconds.
  explicit CVirtualClock(int64_t now = 1767225600, uint64_t tick = 1000000,
                         int32_t utcOffsetSeconds = 0);

  uint64_t TickCount() override { return m_Tick; }
  int64_t Now() override { return m_Now; }
  std::tm LocalTime(int64_t t) override;
  int64_t MakeLocalTime(const std::tm& local) override;
  void Sleep(uint32_t milliseconds) override { Advance(milliseconds); }

  // Moves the tick count and the wall clock forward together.
  void Advance(uint64_t milliseconds);
  // Sets the wall clock alone (the tick count is not a calendar).
  void SetNow(int64_t now) { m_Now = now; }

 private:
  int64_t m_Now;
  uint64_t m_Tick;
  uint64_t m_SubSecondMs = 0;
  int32_t m_Offset;
};

}  // namespace os::sim
