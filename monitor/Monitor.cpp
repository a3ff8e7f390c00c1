#include "monitor/Monitor.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <limits>

#include "base/DebugLog.h"

namespace monitor {

using app::DiskSetting;
using app::Setting;
using base::DebugLog;
using base::DebugLogF;

namespace {

// Runs one step; an engine failure ends the step and goes to the log
// instead of reaching the window.
template <typename Step>
bool Guarded(const char* what, Step step) {
  try {
    step();
    return true;
  } catch (const std::exception& e) {
    DebugLogF("%s stopped: %s", what, e.what());
  } catch (...) {
    DebugLogF("%s stopped", what);
  }
  return false;
}

uint16_t ToThreshold(int32_t value) { return static_cast<uint16_t>(std::clamp(value, 0, 0xFFFF)); }

}  // namespace

// Marks an operation as running: the owner shows its wait cursor, and ticks
// that arrive meanwhile wait for the end.
class CMonitor::CBusy {
 public:
  explicit CBusy(CMonitor& m) : m_M(m) {
    if (m_M.m_BusyDepth++ == 0 && m_M.m_Listener) m_M.m_Listener->OnBusy(true);
  }
  ~CBusy() {
    if (--m_M.m_BusyDepth == 0 && m_M.m_Listener) m_M.m_Listener->OnBusy(false);
  }
  CBusy(const CBusy&) = delete;
  CBusy& operator=(const CBusy&) = delete;

 private:
  CMonitor& m_M;
};

CMonitor::CMonitor(const os::Platform& platform, app::CSettings& settings, ITimerHost& timers,
                   IMonitorListener* listener, IMonitorServices* services)
    : m_Platform(platform),
      m_Settings(settings),
      m_Timers(timers),
      m_Listener(listener),
      m_Services(services != nullptr ? services : &m_NotYet),
      m_Ata(platform) {
  m_TemperatureUnit = m_Settings.Get(Setting::TEMPERATURE) == 1 ? 1 : 0;
}

bool CMonitor::IsAutoRefreshTarget(int32_t index) const {
  return index >= 0 && index < DiskCount() && m_AutoRefreshTarget[static_cast<size_t>(index)];
}

void CMonitor::SetAutoRefreshTarget(int32_t index, bool on) {
  if (index < 0 || index >= DiskCount()) return;
  m_AutoRefreshTarget[static_cast<size_t>(index)] = on;
  m_Settings.SetDisk(DiskSetting::AUTO_REFRESH_TARGET, m_Ata.vars[index].ModelSerial, on ? 1 : 0);
}

void CMonitor::SetAlarmTemperature(int32_t index, int32_t celsius) {
  if (index < 0 || index >= DiskCount()) return;
  m_Ata.vars[index].AlarmTemperature = celsius;
  m_Settings.SetDisk(DiskSetting::ALARM_TEMPERATURE, m_Ata.vars[index].ModelSerial, celsius);
}

void CMonitor::SetAlarmHealthStatus(int32_t index, int32_t percent) {
  if (index < 0 || index >= DiskCount()) return;
  m_Ata.vars[index].AlarmHealthStatus = percent;
  m_Settings.SetDisk(DiskSetting::ALARM_HEALTH_STATUS, m_Ata.vars[index].ModelSerial, percent);
}

void CMonitor::Notify(uint32_t changes) {
  if (m_Listener != nullptr && changes != 0) m_Listener->OnMonitorChanged(changes);
}

void CMonitor::SaveSmartInfo(int32_t index) {
  if (index < 0 || index >= DiskCount()) return;
  m_Services->SaveSmartInfo(m_Ata.vars[index], index);
}

int32_t CMonitor::ReadDisk(int32_t index) {
  int32_t r = -1;
  bool read = false;
  Guarded("UpdateSmartInfo", [&] { r = m_Ata.UpdateSmartInfo(index, &read); });
  const size_t k = static_cast<size_t>(index);
  if (k >= static_cast<size_t>(MAX_DISK)) return r;
  m_LastReadFailed[k] = !read;
  if (read) m_LastReadTime[k] = m_Platform.Clock.Now();
  if (r >= SMART_STATUS_NO_CHANGE && r <= SMART_STATUS_CHANGED) {
    r = std::max(r, m_OutsideChange[k]);
    m_OutsideChange[k] = SMART_STATUS_NO_CHANGE;
  }
  return r;
}

int64_t CMonitor::LastReadTime(int32_t index) const {
  if (index < 0 || index >= DiskCount()) return 0;
  return m_LastReadTime[static_cast<size_t>(index)];
}

bool CMonitor::LastReadFailed(int32_t index) const {
  return index >= 0 && index < DiskCount() && m_LastReadFailed[static_cast<size_t>(index)];
}

void CMonitor::NoteOutsideRead(int32_t index, int32_t result) {
  if (index < 0 || index >= DiskCount()) return;
  if (result < SMART_STATUS_NO_CHANGE || result > SMART_STATUS_CHANGED) return;
  int32_t& kept = m_OutsideChange[static_cast<size_t>(index)];
  kept = std::max(kept, result);
}

// ---- timers ---------------------------------------------------------------

uint32_t CMonitor::AutoRefreshPeriodMs(int32_t value) {
  return static_cast<uint32_t>(app::AutoRefreshMinutes(value)) * 60000u;
}

uint32_t CMonitor::LogIntervalPeriodMs(int32_t minutes) {
  if (minutes < 1) minutes = 60;
  const int64_t ms = static_cast<int64_t>(minutes) * 60000;
  return static_cast<uint32_t>(std::min<int64_t>(ms, TIMER_MAXIMUM_MS));
}

void CMonitor::SetAutoRefresh(int32_t value) {
  m_Settings.Set(Setting::AUTO_REFRESH, value);
  m_Timers.KillTimer(TIMER_AUTO_REFRESH);
  m_PendingTimers.erase(TIMER_AUTO_REFRESH);
  const uint32_t period = AutoRefreshPeriodMs(value);
  if (period != 0) m_Timers.SetTimer(TIMER_AUTO_REFRESH, period);
}

void CMonitor::RestartLogTimer() {
  m_Timers.KillTimer(TIMER_LOG);
  m_PendingTimers.erase(TIMER_LOG);
  if (m_Settings.Get(Setting::SMART_LOG) != 0) {
    m_Timers.SetTimer(TIMER_LOG, LogIntervalPeriodMs(m_Settings.Get(Setting::LOG_INTERVAL)));
  }
}

void CMonitor::OnTimer(uint32_t id) {
  if (m_BusyDepth > 0) {
    // A message box inside the running operation let this tick in: run it
    // when the operation is over, not in the middle of it.
    m_PendingTimers.insert(id);
    return;
  }
  RunTimer(id);
  RunPendingTimers();
}

void CMonitor::RunTimer(uint32_t id) {
  CBusy busy(*this);
  switch (id) {
    case TIMER_SET_POWER_ON_UNIT:
      Guarded("Power-on unit measurement", [this] { MeasurePowerOnUnit(); });
      break;
    case TIMER_AUTO_REFRESH:
      Guarded("Automatic refresh", [this] { RefreshLocked(false); });
      break;
    case TIMER_LOG:
      Guarded("Log pass", [this] { LogPass(); });
      break;
    default:
      break;
  }
}

void CMonitor::RunPendingTimers() {
  while (!m_PendingTimers.empty() && m_BusyDepth == 0) {
    const uint32_t id = *m_PendingTimers.begin();
    m_PendingTimers.erase(m_PendingTimers.begin());
    RunTimer(id);
  }
}

void CMonitor::MeasurePowerOnUnit() {
  m_Timers.KillTimer(TIMER_SET_POWER_ON_UNIT);
  const int32_t count = DiskCount();
  std::vector<int32_t> before(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i)
    before[static_cast<size_t>(i)] = m_Ata.vars[i].MeasuredTimeUnitType;
  std::vector<bool> measured;
  bool done = false;
  Guarded("MeasurePowerOnTimeUnit", [&] { done = m_Ata.MeasurePowerOnTimeUnit(&measured); });
  if (done) {
    for (int32_t i = 0; i < count && i < DiskCount(); ++i) {
      ATA_SMART_INFO& asi = m_Ata.vars[i];
      const size_t k = static_cast<size_t>(i);
      if (k < measured.size() && measured[k]) {
        // Only a unit measured from a count that answered is kept for
        // later starts; a disk with no count (0) is never measured.
        if (asi.PowerOnRawValue > 0) {
          m_Settings.SetDisk(DiskSetting::POWER_ON_UNIT, asi.ModelSerial, asi.MeasuredTimeUnitType);
          m_NeedsPowerOnUnit[k] = false;
        }
      } else {
        // Not read in the window: what it had stays, and the next start
        // measures it again.
        asi.MeasuredTimeUnitType = before[k];
      }
      if (asi.PowerOnRawValue >= 0) {
        asi.MeasuredPowerOnHours =
            static_cast<int32_t>(m_Ata.GetPowerOnHoursEx(i, asi.MeasuredTimeUnitType));
      }
      SaveSmartInfo(i);
    }
  } else {
    DebugLog("MeasurePowerOnTimeUnit: outside its window, measured at the next start");
  }
  m_Services->PlayPendingSound();
  // Done, whatever came of it: the panel no longer says it is measuring.
  m_MeasuringPowerOnUnit = false;
  Notify(CHANGE_POWER_ON_TEXT | CHANGE_PANEL | CHANGE_DISK_DATA);
}

void CMonitor::LogPass() {
  for (int32_t i = 0; i < DiskCount(); ++i) {
    ReadDisk(i);
    DebugLogF("After m_Ata.UpdateSmartInfo(%d)", i);
    SaveSmartInfo(i);
    DebugLogF("After SaveSmartInfo(%d)", i);
  }
  m_LogPassDone = true;
  Notify(CHANGE_DISK_DATA);
}

bool CMonitor::TakeLogPassDone() {
  const bool done = m_LogPassDone;
  m_LogPassDone = false;
  return done;
}

// ---- disk initialisation --------------------------------------------------

bool CMonitor::InitAta() {
  if (m_BusyDepth > 0) return false;
  bool changed = false;
  {
    CBusy busy(*this);
    Guarded("InitAta", [&] { changed = InitAtaLocked(m_Settings.Get(Setting::USE_WMI) != 0); });
  }
  RunPendingTimers();
  return changed;
}

void CMonitor::ApplyDiskSettings(int32_t index) {
  ATA_SMART_INFO& asi = m_Ata.vars[index];
  const size_t k = static_cast<size_t>(index);
  const std::string& key = asi.ModelSerial;

  int32_t unit = m_Settings.GetDisk(DiskSetting::POWER_ON_UNIT, key);
  m_NeedsPowerOnUnit[k] = false;
  if (unit < TIME_UNIT_UNKNOWN || unit > TIME_UNIT_HOURS_OFFSET) {
    // Not stored (or not a unit at all): measure it if the disk counts.
    m_NeedsPowerOnUnit[k] = asi.PowerOnRawValue > 0;
  } else {
    if (asi.DetectedTimeUnitType == TIME_UNIT_10_MINUTES ||
        asi.DetectedTimeUnitType == TIME_UNIT_HOURS_OFFSET) {
      unit = asi.DetectedTimeUnitType;
    }
    asi.MeasuredTimeUnitType = unit;
    // Without a count (-1) there is nothing to convert.
    if (asi.PowerOnRawValue >= 0) {
      asi.MeasuredPowerOnHours = static_cast<int32_t>(m_Ata.GetPowerOnHoursEx(index, unit));
    }
  }

  m_AutoRefreshTarget[k] = m_Settings.GetDisk(DiskSetting::AUTO_REFRESH_TARGET, key) != 0;
  // The settings table turns limits outside -40..85 into 0 (off).
  asi.AlarmTemperature = m_Settings.GetDisk(DiskSetting::ALARM_TEMPERATURE, key);
  asi.AlarmTemperatureBelow = m_Settings.GetDisk(DiskSetting::ALARM_TEMPERATURE_BELOW, key);
  asi.AlarmHealthStatus = m_Settings.GetDisk(DiskSetting::ALARM_HEALTH_STATUS, key);
  asi.AlarmEventLog = m_Settings.GetDisk(DiskSetting::ALARM_EVENT_LOG, key);
  asi.AlarmEmail = m_Settings.GetDisk(DiskSetting::ALARM_EMAIL, key);
  asi.AlarmStatus = m_Settings.GetDisk(DiskSetting::ALARM_STATUS, key);
  asi.Threshold05 = ToThreshold(m_Settings.GetDisk(DiskSetting::THREASHOLD_OF_CAUTION_05, key));
  asi.ThresholdC5 = ToThreshold(m_Settings.GetDisk(DiskSetting::THREASHOLD_OF_CAUTION_C5, key));
  asi.ThresholdC6 = ToThreshold(m_Settings.GetDisk(DiskSetting::THREASHOLD_OF_CAUTION_C6, key));
  asi.ThresholdFF = ToThreshold(m_Settings.GetDisk(DiskSetting::THREASHOLD_OF_CAUTION_FF, key));
}

bool CMonitor::InitAtaLocked(bool useWmi) {
  m_MeasuringPowerOnUnit = false;
  int32_t flagChangeDisk = 0;
  m_Ata.SetUsbSupport(m_Settings.Get(Setting::SUPPORT_USB) != 0);
  m_Ata.m_FlagEvaluateAllDisks = m_Settings.Get(Setting::EVALUATE_ALL_DISKS) != 0;
  m_Ata.Init(useWmi, m_Settings.Get(Setting::ADVANCED_DISK_SEARCH) != 0, &flagChangeDisk,
             m_Settings.Get(Setting::HD204UI) != 0,
             m_Settings.Get(Setting::HIDE_NO_SMART_DISK) != 0);

  if (m_FirstInit) {
    m_FirstInit = false;
    DebugLog("CheckResident()");
    if (m_Listener != nullptr) m_Listener->CheckResident();
  }

  m_AutoRefreshTarget.fill(false);
  m_NeedsPowerOnUnit.fill(false);
  // Discovery read every disk it lists.
  m_LastReadTime.fill(0);
  m_LastReadFailed.fill(false);
  m_OutsideChange.fill(SMART_STATUS_NO_CHANGE);
  for (int32_t i = 0; i < DiskCount() && i < MAX_DISK; ++i) {
    m_LastReadTime[static_cast<size_t>(i)] = m_Platform.Clock.Now();
  }
  bool measure = false;
  for (int32_t i = 0; i < DiskCount(); ++i) {
    Guarded("Disk settings", [&] {
      ApplyDiskSettings(i);
      m_Ata.vars[i].DiskStatus = m_Ata.CheckDiskStatus(i);
    });
    measure = measure || m_NeedsPowerOnUnit[static_cast<size_t>(i)];
    DebugLogF("SaveSmartInfo(%d)", i);
    SaveSmartInfo(i);
    const int32_t level = m_Ata.vars[i].SupportLevel;
    if (level >= 1 && level <= 3) m_SelectedDisk = i;
  }
  m_DrivePage = m_SelectedDisk / DRIVES_PER_PAGE;

  if (measure) {
    DebugLog("SetTimer(TIMER_SET_POWER_ON_UNIT, 130000, 0)");
    m_Timers.SetTimer(TIMER_SET_POWER_ON_UNIT, POWER_ON_UNIT_DELAY_MS);
    m_MeasuringPowerOnUnit = true;
  } else {
    m_Timers.KillTimer(TIMER_SET_POWER_ON_UNIT);
    m_PendingTimers.erase(TIMER_SET_POWER_ON_UNIT);
  }

  DebugLog("AutoAamApmAdaption()");
  AutoAamApmAdaption();
  DebugLog("UpdateShareInfo()");
  m_Services->Publish(m_Ata.vars);
  return flagChangeDisk != 0;
}

// ---- AAM / APM ------------------------------------------------------------

bool CMonitor::IsValidAamLevel(int32_t level) { return level >= 0x80 && level <= 0xFE; }

bool CMonitor::IsValidApmLevel(int32_t level) { return level >= 0x01 && level <= 0xFE; }

void CMonitor::AutoAamApmAdaption() {
  if (m_Settings.Get(Setting::AUTO_AAM_APM) == 0) return;
  DebugLog("AutoAamApmAdaption");
  struct Feature {
    DiskSetting Status;
    DiskSetting Value;
    int32_t ATA_SMART_INFO::*Supported;
    bool (*Valid)(int32_t);
    bool (CAtaSmart::*Enable)(int32_t, uint8_t);
    bool (CAtaSmart::*Disable)(int32_t);
    const char* EnableLog;
    const char* DisableLog;
  };
  static const Feature kFeatures[] = {
      {DiskSetting::AAM_STATUS, DiskSetting::AAM_VALUE, &ATA_SMART_INFO::IsAamSupported,
       &IsValidAamLevel, &CAtaSmart::EnableAam, &CAtaSmart::DisableAam, "m_Ata.EnableAam",
       "m_Ata.DisableAam"},
      {DiskSetting::APM_STATUS, DiskSetting::APM_VALUE, &ATA_SMART_INFO::IsApmSupported,
       &IsValidApmLevel, &CAtaSmart::EnableApm, &CAtaSmart::DisableApm, "m_Ata.EnableApm",
       "m_Ata.DisableApm"},
  };
  for (const Feature& f : kFeatures) {
    for (int32_t i = 0; i < DiskCount(); ++i) {
      if (m_Ata.vars[i].*f.Supported == 0) continue;
      const std::string key = m_Ata.vars[i].ModelSerial;
      const int32_t status = m_Settings.GetDisk(f.Status, key);
      const int32_t value = m_Settings.GetDisk(f.Value, key);
      Guarded(f.EnableLog, [&] {
        if (status == 1 && value != -1) {
          // A level the disk does not define (out of byte range, or the
          // reserved 0 and 0xFF) is not sent.
          if (!f.Valid(value)) {
            DebugLogF("%s: level %d refused", f.EnableLog, value);
            return;
          }
          (m_Ata.*f.Enable)(i, static_cast<uint8_t>(value));
          DebugLog(f.EnableLog);
        } else if (status == 0) {
          (m_Ata.*f.Disable)(i);
          DebugLog(f.DisableLog);
        }
      });
    }
  }
}

// ---- refresh and selection ------------------------------------------------

void CMonitor::Start() {
  if (m_BusyDepth > 0) return;
  {
    CBusy busy(*this);
    Guarded("Start", [this] {
      SetAutoRefresh(m_Settings.Get(Setting::AUTO_REFRESH));
      if (m_SelectedDisk >= 0 && m_SelectedDisk < DiskCount()) SelectDriveLocked(m_SelectedDisk);
      RestartLogTimer();
    });
  }
  RunPendingTimers();
}

bool CMonitor::Refresh(bool allDisks) {
  if (m_BusyDepth > 0) return false;
  {
    CBusy busy(*this);
    Guarded("Refresh", [&] { RefreshLocked(allDisks); });
  }
  RunPendingTimers();
  return true;
}

void CMonitor::RefreshLocked(bool allDisks) {
  bool statusChanged = false;
  int32_t selectedResult = -1;
  for (int32_t i = 0; i < DiskCount(); ++i) {
    if (!allDisks && !m_AutoRefreshTarget[static_cast<size_t>(i)]) continue;
    const int32_t r = ReadDisk(i);
    if (r < SMART_STATUS_NO_CHANGE || r > SMART_STATUS_CHANGED) continue;
    SaveSmartInfo(i);
    if (r == SMART_STATUS_CHANGED) statusChanged = true;
    if (i == m_SelectedDisk) selectedResult = r;
  }
  m_Services->PlayPendingSound();
  uint32_t changes = CHANGE_DISK_DATA | CHANGE_GRAPH;
  if (allDisks || selectedResult == SMART_STATUS_CHANGED) changes |= CHANGE_PANEL;
  if (allDisks || statusChanged) {
    changes |= CHANGE_DRIVE_BUTTONS | CHANGE_TRAY;
    if (m_ResidentMode) m_Services->AlarmOverheat(m_Ata.vars);
    m_Services->Publish(m_Ata.vars);
  }
  Notify(changes);
}

bool CMonitor::SelectDrive(int32_t index) {
  if (m_BusyDepth > 0) return false;
  if (index < 0 || index >= DiskCount()) return false;
  {
    CBusy busy(*this);
    Guarded("SelectDrive", [&] { SelectDriveLocked(index); });
  }
  RunPendingTimers();
  return true;
}

bool CMonitor::SelectDriveButton(int32_t position) {
  if (position < 0 || position >= DRIVES_PER_PAGE) return false;
  return SelectDrive(m_DrivePage * DRIVES_PER_PAGE + position);
}

void CMonitor::SelectDriveLocked(int32_t index) {
  if (index < 0 || index >= DiskCount()) return;
  DebugLog("SelectDrive");
  const int32_t r = ReadDisk(index);
  if (r == SMART_STATUS_MINOR_CHANGE || r == SMART_STATUS_CHANGED) {
    DebugLog("Before SaveSmartInfo");
    SaveSmartInfo(index);
    m_Services->PlayPendingSound();
    DebugLog("Before UpdateShareInfo");
    m_Services->Publish(m_Ata.vars);
  }
  m_SelectedDisk = index;
  m_DrivePage = index / DRIVES_PER_PAGE;
  DebugLog("Before ChangeDisk");
  Notify(CHANGE_SELECTION | CHANGE_PANEL | CHANGE_DISK_DATA);
  m_Platform.Clock.Sleep(500);
  DebugLog("Before InitDriveList");
  Notify(CHANGE_DRIVE_BUTTONS | CHANGE_TRAY);
}

// ---- rescan ---------------------------------------------------------------

bool CMonitor::Rescan() {
  if (m_BusyDepth > 0) return false;
  {
    CBusy busy(*this);
    Guarded("Rescan", [this] {
      const int32_t previous = m_SelectedDisk;
      const std::string previousKey =
          previous >= 0 && previous < DiskCount() ? m_Ata.vars[previous].ModelSerial : "";
      if (m_Listener) m_Listener->OnRescan(true);
      m_Platform.Clock.Sleep(500);
      const bool changed = InitAtaLocked(true);
      m_Platform.Clock.Sleep(1500);
      if (changed && DiskCount() > 0) {
        SelectAfterRescan(previousKey);
        Notify(CHANGE_DISK_LIST);
        SetAutoRefresh(m_Settings.Get(Setting::AUTO_REFRESH));
        SelectDriveLocked(m_SelectedDisk);
        RestartLogTimer();
      } else {
        // The same disks (or none): the user's choice stays, not the
        // start-up choice of the maker's disk.
        m_SelectedDisk = previous;
        m_DrivePage = m_SelectedDisk / DRIVES_PER_PAGE;
        if (changed) Notify(CHANGE_DISK_LIST);
        RefreshLocked(true);
      }
    });
    if (m_Listener) m_Listener->OnRescan(false);
  }
  RunPendingTimers();
  return true;
}

void CMonitor::SelectAfterRescan(const std::string& previousKey) {
  m_SelectedDisk = 0;
  if (!previousKey.empty()) {
    for (int32_t i = 0; i < DiskCount(); ++i) {
      if (m_Ata.vars[i].ModelSerial == previousKey) {
        m_SelectedDisk = i;
        break;
      }
    }
  }
  m_DrivePage = m_SelectedDisk / DRIVES_PER_PAGE;
}

// ---- settings and exit ----------------------------------------------------

void CMonitor::ApplySettings() {
  if (m_BusyDepth > 0) return;
  {
    CBusy busy(*this);
    Guarded("ApplySettings", [this] {
      m_TemperatureUnit = m_Settings.Get(Setting::TEMPERATURE) == 1 ? 1 : 0;
      // Judging every disk takes effect with the next read of each disk.
      m_Ata.m_FlagEvaluateAllDisks = m_Settings.Get(Setting::EVALUATE_ALL_DISKS) != 0;
      m_Services->ApplySettings();
      if (m_SelectedDisk >= 0 && m_SelectedDisk < DiskCount()) SelectDriveLocked(m_SelectedDisk);
      SetAutoRefresh(m_Settings.Get(Setting::AUTO_REFRESH));
      m_Services->AlarmOverheat(m_Ata.vars);
      RestartLogTimer();
    });
  }
  RunPendingTimers();
}

void CMonitor::ReloadAlarms() {
  for (int32_t i = 0; i < DiskCount(); ++i) {
    ATA_SMART_INFO& asi = m_Ata.vars[i];
    const std::string& key = asi.ModelSerial;
    asi.AlarmTemperature = m_Settings.GetDisk(DiskSetting::ALARM_TEMPERATURE, key);
    asi.AlarmTemperatureBelow = m_Settings.GetDisk(DiskSetting::ALARM_TEMPERATURE_BELOW, key);
    asi.AlarmHealthStatus = m_Settings.GetDisk(DiskSetting::ALARM_HEALTH_STATUS, key);
    asi.AlarmEventLog = m_Settings.GetDisk(DiskSetting::ALARM_EVENT_LOG, key);
    asi.AlarmEmail = m_Settings.GetDisk(DiskSetting::ALARM_EMAIL, key);
  }
}

void CMonitor::AlarmOverheat() {
  Guarded("AlarmOverheat", [this] { m_Services->AlarmOverheat(m_Ata.vars); });
}

ExitRefusal CMonitor::CanExit() {
  if (m_BenchmarkRunning) return ExitRefusal::BENCHMARK;
  if (m_PerformanceRunning) return ExitRefusal::PERFORMANCE;
  for (uint32_t id : {TIMER_SET_POWER_ON_UNIT, TIMER_AUTO_REFRESH, TIMER_LOG}) {
    m_Timers.KillTimer(id);
  }
  m_PendingTimers.clear();
  return ExitRefusal::NONE;
}

}  // namespace monitor
