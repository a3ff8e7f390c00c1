// Timers of the monitor. The monitor declares its timers (id and period) to
// a host and is called back through CMonitor::OnTimer(id) when one is due.
// The window maps the host to its window timers; `stavrion watch` and the
// tests use CTimerQueue, which runs due timers on a clock (the real one, or
// a virtual one that moves hours in microseconds).
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "os/Clock.h"

namespace monitor {

class ITimerHost {
 public:
  virtual ~ITimerHost() = default;
  // Arms timer `id` to be due every `periodMs` milliseconds, first
  // `periodMs` from now. Arming an armed timer starts its period again.
  // A timer keeps firing until it is killed.
  virtual void SetTimer(uint32_t id, uint32_t periodMs) = 0;
  // Disarms timer `id`; nothing happens when it is not armed.
  virtual void KillTimer(uint32_t id) = 0;
};

// Timers kept in a table and run on a clock. One thread.
class CTimerQueue : public ITimerHost {
 public:
  explicit CTimerQueue(os::IClock& clock) : m_Clock(clock) {}

  void SetTimer(uint32_t id, uint32_t periodMs) override;
  void KillTimer(uint32_t id) override;

  bool IsArmed(uint32_t id) const { return m_Timers.count(id) != 0; }
  // Period of an armed timer; 0 when it is not armed.
  uint32_t Period(uint32_t id) const;
  // Tick count at which the next timer is due; false when none is armed.
  bool NextDue(uint64_t* tick) const;

  // Lets `milliseconds` pass on the clock: sleeps (IClock::Sleep) up to each
  // due timer in turn and calls `fire` with its id; timers armed, re-armed or
  // killed by `fire` take effect at once. Ends at now + milliseconds.
  // Returns the number of timers fired.
  size_t RunFor(uint64_t milliseconds, const std::function<void(uint32_t id)>& fire);

 private:
  struct Timer {
    uint32_t Period = 0;
    uint64_t Due = 0;
  };
  os::IClock& m_Clock;
  std::map<uint32_t, Timer> m_Timers;
};

}  // namespace monitor
