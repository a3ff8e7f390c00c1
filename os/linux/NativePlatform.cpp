#include "os/NativePlatform.h"

#include "os/IniProfile.h"
#include "os/linux/LinuxClock.h"
#include "os/linux/LinuxDeviceIo.h"
#include "os/linux/LinuxFileSystem.h"
#include "os/linux/LinuxNet.h"
#include "os/linux/LinuxPerformance.h"
#include "os/linux/LinuxSystem.h"
#include "os/linux/LinuxWmi.h"
#include "os/linux/OpenSslTls.h"

namespace os {

struct NativePlatform::Impl {
  std::unique_ptr<IDeviceIo> Devices = CreateLinuxDeviceIo();
  std::unique_ptr<IWmi> Wmi = CreateLinuxWmi();
  CLinuxClock Clock;
  CLinuxFileSystem Files;
  // Files we create get Unix line ends; files we find keep theirs.
  CIniProfile Profile{Files, "\n"};
  CLinuxSystem System;
  std::unique_ptr<IServiceControl> Services = CreateNativeServiceControl();
  std::unique_ptr<IVolumes> Volumes = CreateNativeVolumes();
  std::unique_ptr<IDeviceSetup> DeviceSetup = CreateNativeDeviceSetup();
  CLinuxNet Net;
  CLinuxPerformanceCounters Performance;
  COpenSslTls Tls;
};

NativePlatform::NativePlatform() : m_Impl(std::make_unique<Impl>()) {}

NativePlatform::~NativePlatform() = default;

Platform NativePlatform::Get() {
  Platform p{*m_Impl->Devices, *m_Impl->Wmi,    m_Impl->Clock,
             m_Impl->Files,    m_Impl->Profile, m_Impl->System};
  p.Services = m_Impl->Services.get();
  p.Volumes = m_Impl->Volumes.get();
  p.DeviceSetup = m_Impl->DeviceSetup.get();
  p.Net = &m_Impl->Net;
  p.Tls = &m_Impl->Tls;
  p.Performance = &m_Impl->Performance;
  return p;
}

}  // namespace os
