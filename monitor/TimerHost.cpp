#include "monitor/TimerHost.h"

#include <algorithm>
#include <cstdint>

namespace monitor {

void CTimerQueue::SetTimer(uint32_t id, uint32_t periodMs) {
  // A period of 0 would fire without end at one instant; the window's timers
  // take the shortest period instead.
  const uint32_t period = periodMs == 0 ? 1 : periodMs;
  m_Timers[id] = Timer{period, m_Clock.TickCount() + period};
}

void CTimerQueue::KillTimer(uint32_t id) { m_Timers.erase(id); }

uint32_t CTimerQueue::Period(uint32_t id) const {
  auto it = m_Timers.find(id);
  return it == m_Timers.end() ? 0 : it->second.Period;
}

bool CTimerQueue::NextDue(uint64_t* tick) const {
  bool any = false;
  for (const auto& [id, timer] : m_Timers) {
    if (!any || timer.Due < *tick) *tick = timer.Due;
    any = true;
  }
  return any;
}

size_t CTimerQueue::RunFor(uint64_t milliseconds, const std::function<void(uint32_t id)>& fire) {
  const uint64_t end = m_Clock.TickCount() + milliseconds;
  size_t fired = 0;
  for (;;) {
    // The earliest due timer; the lower id first when two are due together.
    uint32_t id = 0;
    uint64_t due = 0;
    bool any = false;
    for (const auto& [timerId, timer] : m_Timers) {
      if (!any || timer.Due < due) {
        id = timerId;
        due = timer.Due;
        any = true;
      }
    }
    const uint64_t now = m_Clock.TickCount();
    if (!any || due > end) {
      if (end > now)
        m_Clock.Sleep(static_cast<uint32_t>(std::min<uint64_t>(end - now, UINT32_MAX)));
      if (m_Clock.TickCount() >= end) return fired;
      continue;
    }
    if (due > now) {
      m_Clock.Sleep(static_cast<uint32_t>(std::min<uint64_t>(due - now, UINT32_MAX)));
      if (m_Clock.TickCount() < due) continue;  // woke early: wait again
    }
    Timer& timer = m_Timers[id];
    // The next period counts from this tick, as window timers do; a tick
    // that ran long does not make the next ones catch up.
    timer.Due = m_Clock.TickCount() + timer.Period;
    ++fired;
    fire(id);
  }
}

}  // namespace monitor
