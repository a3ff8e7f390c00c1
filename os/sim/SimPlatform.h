// A whole os::Platform for a simulated machine: devices, WMI, drive letters
// and the OS version from the machine, a virtual clock, and the caller's
// files with the portable private-profile engine over them (the real files,
// or a test's temporary folder). The WMI service runs unless a test stops
// it (Services()).
#pragma once

#include <memory>

#include "os/IniProfile.h"
#include "os/Platform.h"
#include "os/sim/SimDeviceIo.h"
#include "os/sim/SimMachine.h"
#include "os/sim/SimNvme.h"
#include "os/sim/SimPerformance.h"
#include "os/sim/SimServiceControl.h"
#include "os/sim/SimSystem.h"
#include "os/sim/SimVolumes.h"
#include "os/sim/SimWmi.h"
#include "os/sim/VirtualClock.h"

namespace os::sim {

class CSimPlatform {
 public:
  // `files` must outlive this object.
  CSimPlatform(SimMachine machine, IFileSystem& files);
  CSimPlatform(const CSimPlatform&) = delete;
  CSimPlatform& operator=(const CSimPlatform&) = delete;

  // References stay valid for the life of this object.
  Platform Get();

  SimMachine& Machine() { return *m_Machine; }
  CSimDeviceIo& Devices() { return m_Devices; }
  CSimWmi& Wmi() { return m_Wmi; }
  CVirtualClock& Clock() { return m_Clock; }
  CSimSystem& System() { return m_System; }
  CSimServiceControl& Services() { return m_Services; }
  CSimPerformanceCounters& Performance() { return m_Performance; }

 private:
  std::unique_ptr<SimMachine> m_Machine;
  CSimDeviceIo m_Devices;
  CSimWmi m_Wmi;
  CSimVolumes m_Volumes;
  CSimDeviceSetup m_DeviceSetup;
  CVirtualClock m_Clock;
  CSimSystem m_System;
  CSimServiceControl m_Services;
  CSimPerformanceCounters m_Performance;
  IFileSystem& m_Files;
  CIniProfile m_Profile;
};

}  // namespace os::sim
