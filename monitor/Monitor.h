// CMonitor: the refresh cycle of the program, without a window. It owns the
// disk engine and the state the main window shows (the disk list, the
// selected disk, the per-disk refresh targets, the power-on unit
// measurement) and runs the timed work: automatic refresh, the history log
// pass and the one-shot power-on unit measurement. The window program draws
// what it says changed; `stavrion watch` runs it headless.
//
// Threading: one thread. Every public operation may be called from a timer
// tick or a command; a call that arrives while another is running (a message
// box inside a tick pumps messages) is not run inside it: timer ticks are
// run once the running operation ends, commands are refused (they return
// false). No exception of the engine leaves this object.
#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "engine/AtaSmart.h"
#include "monitor/MonitorServices.h"
#include "monitor/TimerHost.h"
#include "monitor/Tray.h"
#include "os/Platform.h"

namespace monitor {

// Window-timer ids of the monitor's timers.
constexpr uint32_t TIMER_SET_POWER_ON_UNIT = 0x2001;
constexpr uint32_t TIMER_AUTO_REFRESH = 0x2002;
constexpr uint32_t TIMER_LOG = 0x2006;

// The power-on unit is measured this long after discovery.
constexpr uint32_t POWER_ON_UNIT_DELAY_MS = 130000;
// The longest period a window timer takes (USER_TIMER_MAXIMUM, about 24.8
// days); longer periods are cut to it.
constexpr uint32_t TIMER_MAXIMUM_MS = 0x7FFFFFFF;
// Disk-selector buttons per page.
constexpr int32_t DRIVES_PER_PAGE = 8;

// What an operation changed, for the owner to redraw or log. Several at once.
enum MONITOR_CHANGE : uint32_t {
  CHANGE_DISK_LIST = 1u << 0,      // the set of disks changed (rescan): rebuild every
                                   // per-disk view, refill disk selectors, re-apply texts
  CHANGE_SELECTION = 1u << 1,      // another disk is selected (or its page changed)
  CHANGE_PANEL = 1u << 2,          // redraw the panel of the selected disk
  CHANGE_POWER_ON_TEXT = 1u << 3,  // the power-on time texts changed (measurement done)
  CHANGE_DRIVE_BUTTONS = 1u << 4,  // rebuild the disk buttons (statuses may have changed)
  CHANGE_TRAY = 1u << 5,           // tray tooltips and temperature icons
  CHANGE_GRAPH = 1u << 6,          // the graph pane, if open, redraws
  CHANGE_DISK_DATA = 1u << 7,      // figures of some disk were read again
};

// The owner of the monitor: the window or `stavrion watch`.
class IMonitorListener {
 public:
  virtual ~IMonitorListener() = default;
  // `changes` is a set of MONITOR_CHANGE bits. Called at the end of each
  // step of an operation (a selection first redraws the panel, then the
  // buttons).
  virtual void OnMonitorChanged(uint32_t changes) = 0;
  // Long work starts (true) and ends (false): the window shows its wait
  // cursor. Calls nest like the operations.
  virtual void OnBusy(bool /*busy*/) {}
  // Once, on the first disk initialisation of the process: the resident
  // check of the tray (icons appear or not).
  virtual void CheckResident() {}
  // A rescan begins (true: before its pause and the search; the window
  // stops its performance sampling and clears the rate read-outs) and has
  // ended (false: whatever it found, even after a failure; the sampling
  // starts again over the disks as they are now).
  virtual void OnRescan(bool /*begins*/) {}
};

// Why CanExit refused.
enum class ExitRefusal : uint8_t {
  NONE,         // exit allowed
  BENCHMARK,    // a benchmark runs: refused, nothing else changes
  PERFORMANCE,  // a performance measurement runs: tell the user to stop it first
};

class CMonitor : public ITrayDisks {
 public:
  // `platform`, `settings`, `timers`, `listener` and `services` must outlive
  // the monitor. `listener` and `services` may be null (nothing is told;
  // the history, alarms and publication are not run).
  CMonitor(const os::Platform& platform, app::CSettings& settings, ITimerHost& timers,
           IMonitorListener* listener = nullptr, IMonitorServices* services = nullptr);
  CMonitor(const CMonitor&) = delete;
  CMonitor& operator=(const CMonitor&) = delete;

  // ---- the disks ----
  CAtaSmart& Ata() { return m_Ata; }
  const CAtaSmart& Ata() const { return m_Ata; }
  const CDiskArray& Disks() const override { return m_Ata.vars; }
  int32_t DiskCount() const { return m_Ata.vars.GetCount(); }
  // The selected disk's index; it may lie beyond the list when a rescan
  // found no disk (check DiskCount).
  int32_t SelectedDisk() const { return m_SelectedDisk; }
  // Page of the disk buttons that holds the selected disk.
  int32_t DrivePage() const { return m_DrivePage; }
  bool IsAutoRefreshTarget(int32_t index) const override;
  // The tray menu's per-disk settings: each is applied and written to the
  // disk's section of the settings file.
  void SetAutoRefreshTarget(int32_t index, bool on) override;
  void SetAlarmTemperature(int32_t index, int32_t celsius) override;
  void SetAlarmHealthStatus(int32_t index, int32_t percent) override;
  // True while the power-on unit measurement is pending (the panel adds a
  // line saying so).
  bool IsMeasuringPowerOnUnit() const { return m_MeasuringPowerOnUnit; }
  // "Temperature" as applied: 0 Celsius, 1 Fahrenheit.
  int32_t TemperatureUnit() const override { return m_TemperatureUnit; }
  bool IsResident() const { return m_ResidentMode; }
  void SetResident(bool resident) { m_ResidentMode = resident; }

  // ---- operations ----
  // Discovers the disks (through WMI when "UseWMI" is on) and applies each disk's settings,
  // evaluates its status, records its history, selects the last of the maker's disks, arms the
  // power-on unit measurement for disks without a stored unit, applies the stored AAM/APM levels
  // and publishes. Returns whether the set of disks changed; false also when refused (busy) or when
  // discovery failed.
  bool InitAta();
  // The portable part of the end of the window's initialisation and of each
  // language change: re-arms the automatic refresh from "AutoRefresh",
  // selects the selected disk again and re-arms the log timer.
  void Start();
  // Reads the disks again: every disk (`allDisks`, the Refresh command) or
  // only the automatic refresh targets. False when refused (busy).
  bool Refresh(bool allDisks);
  // Makes disk `index` (absolute, 0 .. DiskCount-1) the selected one after
  // reading it again. False, changing nothing, for an index outside the list.
  bool SelectDrive(int32_t index);
  // A disk button at `position` (0-7) of the current page was pressed.
  bool SelectDriveButton(int32_t position);
  bool SelectNext() { return SelectDrive(m_SelectedDisk + 1); }
  bool SelectPrevious() { return SelectDrive(m_SelectedDisk - 1); }
  // Discovers the disks again. The selected disk stays selected when it is
  // still there (found by model and serial number), else the first disk.
  // False when refused (busy).
  bool Rescan();
  // Stores "AutoRefresh" (an index of the settings dialog's list: 0 off,
  // 1-11 for 1 to 1440 minutes) and re-arms the automatic refresh.
  void SetAutoRefresh(int32_t value);
  // Kills the log timer and, when "SmartLog" is on, arms it with
  // "LogInterval" minutes.
  void RestartLogTimer();
  // Sends the stored AAM and APM levels ("AutoAamApm" on) to the disks.
  void AutoAamApmAdaption();
  // The settings dialog wrote the file: re-reads the temperature unit,
  // "EvaluateAllDisks", "AutoRefresh" and "SmartLog", re-arms the timers and
  // selects the selected disk again.
  void ApplySettings();
  // The settings pane saved the alarms: every disk's five alarm values are
  // read again from its section of the settings file (by its ModelSerial).
  void ReloadAlarms();
  // The temperature overview alarm (in resident mode, after start-up).
  void AlarmOverheat();

  // A timer of the host is due.
  void OnTimer(uint32_t id);
  // Whether the program may close now. A refusal changes nothing. When
  // allowed, the monitor's timers are killed.
  ExitRefusal CanExit();
  // True while an operation of the monitor runs (a message box inside it
  // may let other work in).
  bool IsBusy() const { return m_BusyDepth > 0; }
  // Tools whose run blocks the exit (the benchmark and the performance pane
  // say when they start and stop).
  void SetBenchmarkRunning(bool running) { m_BenchmarkRunning = running; }
  void SetPerformanceRunning(bool running) { m_PerformanceRunning = running; }

  // Set after each log pass; the performance sampler reads and clears it.
  bool TakeLogPassDone();

  // When disk `index` last answered a read (seconds since the epoch; 0
  // never), and whether the latest attempt failed (its figures are then
  // the older ones).
  int64_t LastReadTime(int32_t index) const;
  bool LastReadFailed(int32_t index) const;
  // Another reader of the disks (the status service) read disk `index`
  // with UpdateSmartInfo and got `result`. The read moved the disk's change
  // baseline, so the next refresh of the disk would see no change: the
  // change is kept and counted by that refresh.
  void NoteOutsideRead(int32_t index, int32_t result);

  // Period in milliseconds of the automatic refresh for an "AutoRefresh"
  // value; 0 when it is off.
  static uint32_t AutoRefreshPeriodMs(int32_t value);
  // Period in milliseconds of the log pass for a "LogInterval" in minutes
  // (below 1: 60 minutes), at most TIMER_MAXIMUM_MS.
  static uint32_t LogIntervalPeriodMs(int32_t minutes);
  // Whether a level may go to the disk with SET FEATURES: AAM 0x80-0xFE,
  // APM 0x01-0xFE (0 and 0xFF are reserved).
  static bool IsValidAamLevel(int32_t level);
  static bool IsValidApmLevel(int32_t level);

 private:
  class CBusy;
  void Notify(uint32_t changes);
  bool InitAtaLocked(bool useWmi);
  void ApplyDiskSettings(int32_t index);
  void RefreshLocked(bool allDisks);
  void SelectDriveLocked(int32_t index);
  void MeasurePowerOnUnit();
  void LogPass();
  void RunTimer(uint32_t id);
  void RunPendingTimers();
  void SaveSmartInfo(int32_t index);
  // UpdateSmartInfo of disk `index`, noting when it answered, with a change
  // an outside read kept for it.
  int32_t ReadDisk(int32_t index);
  void SelectAfterRescan(const std::string& previousKey);

  os::Platform m_Platform;
  app::CSettings& m_Settings;
  ITimerHost& m_Timers;
  IMonitorListener* m_Listener;
  CNotYetServices m_NotYet;
  IMonitorServices* m_Services;
  CAtaSmart m_Ata;

  int32_t m_SelectedDisk = 0;
  int32_t m_DrivePage = 0;
  std::array<bool, MAX_DISK> m_AutoRefreshTarget{};
  // Disks that had no stored power-on unit at the last initialisation.
  std::array<bool, MAX_DISK> m_NeedsPowerOnUnit{};
  bool m_MeasuringPowerOnUnit = false;
  bool m_ResidentMode = false;
  int32_t m_TemperatureUnit = 0;
  bool m_LogPassDone = false;
  bool m_FirstInit = true;
  bool m_BenchmarkRunning = false;
  bool m_PerformanceRunning = false;

  std::array<int64_t, MAX_DISK> m_LastReadTime{};
  std::array<bool, MAX_DISK> m_LastReadFailed{};
  // The greatest change outside reads saw since the disk's last refresh.
  std::array<int32_t, MAX_DISK> m_OutsideChange{};

  int32_t m_BusyDepth = 0;
  std::set<uint32_t> m_PendingTimers;
};

}  // namespace monitor
