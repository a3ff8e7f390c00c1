// What the refresh cycle hands on after reading disks: the history record
// (which runs the disk's alarm check), the alert sound, the temperature
// overview alarm and the publication of the disks' state to other programs.
// The monitor calls these at fixed points of its cycle; each is implemented
// by its own object and plugged in at construction of the monitor.
#pragma once

#include <cstdint>

#include "engine/AtaSmart.h"

namespace monitor {

class IMonitorServices {
 public:
  virtual ~IMonitorServices() = default;

  // One history record of disk `index` (its own rate limit decides whether
  // anything is written), with the disk's alarm check. Called for each disk
  // at initialisation, after each read of a disk that answered, after the
  // power-on unit measurement and by the log pass.
  virtual void SaveSmartInfo(const ATA_SMART_INFO& disk, int32_t index) = 0;
  // Plays the alert sound an alarm left pending, if any. Called after each
  // refresh, selection and power-on unit measurement.
  virtual void PlayPendingSound() = 0;
  // The temperature overview alarm over every disk (resident mode).
  virtual void AlarmOverheat(const CDiskArray& disks) = 0;
  // Hands the state of every disk to other programs. Called at
  // initialisation and whenever a status may have changed.
  virtual void Publish(const CDiskArray& disks) = 0;
  // The settings file changed (the settings dialog wrote it): settings the
  // services keep copies of are read again.
  virtual void ApplySettings() {}
};

// The services that are not there yet: the history log, the alarms, the
// alert sound and the publication are built separately and plugged in
// through IMonitorServices. Until then the monitor runs with this object,
// which records nothing, raises no alarm and publishes nothing.
class CNotYetServices : public IMonitorServices {
 public:
  void SaveSmartInfo(const ATA_SMART_INFO& /*disk*/, int32_t /*index*/) override {}
  void PlayPendingSound() override {}
  void AlarmOverheat(const CDiskArray& /*disks*/) override {}
  void Publish(const CDiskArray& /*disks*/) override {}
};

}  // namespace monitor
