#include "os/sim/SimPlatform.h"

namespace os::sim {

CSimPlatform::CSimPlatform(SimMachine machine, IFileSystem& files)
    : m_Machine(std::make_unique<SimMachine>(std::move(machine))),
      m_Devices(*m_Machine),
      m_Wmi(*m_Machine),
      m_Volumes(*m_Machine),
      m_DeviceSetup(*m_Machine),
      m_System(m_Machine->Os),
      m_Files(files),
      m_Profile(files) {
  m_System.SetMachineFacts(m_Machine->Architecture, m_Machine->CpuBrand, m_Machine->MemoryBytes);
  m_System.SetNetworkAdapters(NetworkAdaptersOf(*m_Machine));
  for (const auto& [path, values] : m_Machine->Counters) m_Performance.SetScript(path, values);
}

Platform CSimPlatform::Get() {
  Platform p{m_Devices, m_Wmi,       m_Clock,    m_Files,       m_Profile,
             m_System,  &m_Services, &m_Volumes, &m_DeviceSetup};
  p.Performance = &m_Performance;
  return p;
}

}  // namespace os::sim
