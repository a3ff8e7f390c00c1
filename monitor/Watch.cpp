#include "monitor/Watch.h"

#include <algorithm>

namespace monitor {

CWatch::CWatch(const os::Platform& platform, app::CSettings& settings, IMonitorServices* services)
    : m_Clock(platform.Clock),
      m_Timers(platform.Clock),
      m_Monitor(platform, settings, m_Timers, this, services) {}

void CWatch::Start() {
  m_Monitor.InitAta();
  m_Monitor.Start();
}

void CWatch::SetOwnTimer(uint32_t id, uint32_t periodMs, std::function<void()> tick) {
  if (periodMs == 0 || !tick) {
    m_OwnTimers.erase(id);
    m_Timers.KillTimer(id);
    return;
  }
  m_OwnTimers[id] = std::move(tick);
  m_Timers.SetTimer(id, periodMs);
}

void CWatch::SetOwnTimerHandler(uint32_t id, std::function<void()> tick) {
  if (tick) {
    m_OwnTimers[id] = std::move(tick);
  } else {
    m_OwnTimers.erase(id);
  }
}

size_t CWatch::RunDueTimers() {
  const size_t ran = m_Timers.RunFor(0, [this](uint32_t id) {
    auto own = m_OwnTimers.find(id);
    if (own != m_OwnTimers.end()) {
      // Copied: the tick may remove its own timer.
      const std::function<void()> tick = own->second;
      tick();
    } else {
      m_Monitor.OnTimer(id);
    }
  });
  m_TimersRun += ran;
  return ran;
}

uint32_t CWatch::MillisecondsToNextTimer() const {
  uint64_t due = 0;
  if (!m_Timers.NextDue(&due)) return WATCH_MAX_WAIT_MS;
  const uint64_t now = m_Clock.TickCount();
  if (due <= now) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(due - now, WATCH_MAX_WAIT_MS));
}

void CWatch::Run(const std::function<bool(uint32_t ms)>& wait) {
  for (;;) {
    const uint32_t ms = MillisecondsToNextTimer();
    if (ms > 0 && wait(ms)) return;
    RunDueTimers();
    if (ms == 0 && wait(0)) return;
  }
}

void CWatch::Stop() {
  m_Monitor.CanExit();
  for (const auto& [id, tick] : m_OwnTimers) m_Timers.KillTimer(id);
  m_OwnTimers.clear();
}

void CWatch::OnMonitorChanged(uint32_t changes) {
  if ((changes & (CHANGE_DISK_DATA | CHANGE_DISK_LIST)) != 0 && m_OnDiskData) m_OnDiskData();
}

}  // namespace monitor
