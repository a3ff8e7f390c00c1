// CWatch: the monitor without a window, as `stavrion watch` runs it. It owns
// the timer queue and the monitor, runs the first cycle (discovery, history
// records, publication) and then the monitor's timers (automatic refresh,
// history log pass, power-on unit measurement) until it is told to stop.
// Stopping happens only between two pieces of work, so nothing is left half
// written.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "app/Settings.h"
#include "monitor/Monitor.h"
#include "monitor/MonitorServices.h"
#include "monitor/TimerHost.h"
#include "os/Platform.h"

namespace monitor {

// The longest single wait of Run: a wait never spans more than this, so a
// stop request through `wait` is looked at at least this often.
constexpr uint32_t WATCH_MAX_WAIT_MS = 60000;

class CWatch : public IMonitorListener {
 public:
  // `platform`, `settings` and `services` (may be null) must outlive this.
  CWatch(const os::Platform& platform, app::CSettings& settings, IMonitorServices* services);

  CMonitor& Monitor() { return m_Monitor; }
  CTimerQueue& Timers() { return m_Timers; }

  // Called after every operation of the monitor that read disks again
  // (on the monitor's thread).
  void SetOnDiskData(std::function<void()> onDiskData) { m_OnDiskData = std::move(onDiskData); }

  // A timer of the front end's own (the performance sampler) on the same
  // queue: `tick` runs every `periodMs` between the monitor's operations. A
  // period of 0 removes it.
  void SetOwnTimer(uint32_t id, uint32_t periodMs, std::function<void()> tick);
  // The handler of a timer of the front end's own that something else arms
  // and kills on Timers() (the status service): when `id` is due, `tick`
  // runs instead of the monitor's.
  void SetOwnTimerHandler(uint32_t id, std::function<void()> tick);

  // The first cycle: finds the disks, records and publishes them, arms the
  // timers of the settings.
  void Start();
  // Runs the timers that are due now; the number run.
  size_t RunDueTimers();
  // Milliseconds until the next timer is due, at most WATCH_MAX_WAIT_MS.
  uint32_t MillisecondsToNextTimer() const;
  // Runs timers until `wait(ms)` returns true. `wait` waits up to `ms`
  // milliseconds and tells whether to stop; it is called before each timer
  // with the time until it is due.
  void Run(const std::function<bool(uint32_t ms)>& wait);
  // The clean end: the monitor's timers are killed.
  void Stop();

  // Timer ticks run so far (automatic refresh, log pass, measurement).
  uint64_t TimersRun() const { return m_TimersRun; }

  void OnMonitorChanged(uint32_t changes) override;

 private:
  os::IClock& m_Clock;
  CTimerQueue m_Timers;
  CMonitor m_Monitor;
  std::function<void()> m_OnDiskData;
  std::map<uint32_t, std::function<void()>> m_OwnTimers;
  uint64_t m_TimersRun = 0;
};

}  // namespace monitor
