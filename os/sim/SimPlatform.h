// A whole os::Platform for a simulated machine: devices, WMI and the OS
// version from the machine, a virtual clock, and the caller's files and
// private-profile engine (the real ones, or a test's temporary folder).
#pragma once

#include <memory>

#include "os/Platform.h"
#include "os/sim/SimDeviceIo.h"
#include "os/sim/SimMachine.h"
#include "os/sim/SimServiceControl.h"
#include "os/sim/SimSystem.h"
#include "os/sim/SimVolumes.h"
#include "os/sim/SimWmi.h"
#include "os/sim/VirtualClock.h"

namespace os::sim {

class CSimPlatform {
 public:
  CSimPlatform(SimMachine machine, IFileSystem& files, IProfile& profile);
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

 private:
  std::unique_ptr<SimMachine> m_Machine;
  CSimDeviceIo m_Devices;
  CSimWmi m_Wmi;
  CVirtualClock m_Clock;
  CSimSystem m_System;
  CSimServiceControl m_Services;
  CSimVolumes m_Volumes;
  IFileSystem& m_Files;
  IProfile& m_Profile;
};

}  // namespace os::sim
