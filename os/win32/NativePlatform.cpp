#include "os/NativePlatform.h"

#include "os/win32/SchannelTls.h"
#include "os/win32/Win32Clock.h"
#include "os/win32/Win32DeviceIo.h"
#include "os/win32/Win32FileSystem.h"
#include "os/win32/Win32Net.h"
#include "os/win32/Win32Performance.h"
#include "os/win32/Win32Profile.h"
#include "os/win32/Win32Secrets.h"
#include "os/win32/Win32System.h"
#include "os/win32/Win32Wmi.h"

namespace os {

struct NativePlatform::Impl {
  CWin32DeviceIo Devices;
  CWin32Wmi Wmi;
  CWin32Clock Clock;
  CWin32FileSystem Files;
  CWin32Profile Profile;
  CWin32System System;
  std::unique_ptr<IServiceControl> Services = CreateNativeServiceControl();
  std::unique_ptr<IVolumes> Volumes = CreateNativeVolumes();
  CWin32Net Net;
  CWin32PerformanceCounters Performance;
  CSchannelTls Tls;
  CWin32SecretProtector Secrets;
};

NativePlatform::NativePlatform() : m_Impl(std::make_unique<Impl>()) {}

NativePlatform::~NativePlatform() = default;

Platform NativePlatform::Get() {
  Platform p{m_Impl->Devices, m_Impl->Wmi,    m_Impl->Clock,          m_Impl->Files,
             m_Impl->Profile, m_Impl->System, m_Impl->Services.get(), m_Impl->Volumes.get()};
  p.Net = &m_Impl->Net;
  p.Tls = &m_Impl->Tls;
  p.Performance = &m_Impl->Performance;
  p.Secrets = &m_Impl->Secrets;
  return p;
}

}  // namespace os
