// Process facilities of a simulated machine: the OS version its manifest
// names, named mutexes within this process, and recorded (never started)
// programs and messages.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "os/System.h"

namespace os::sim {

struct SimProcessStart {
  std::string Path;
  std::vector<std::string> Args;
};

class CSimSystem : public ISystem {
 public:
  explicit CSimSystem(OsVersion version) : m_Version(std::move(version)) {}

  OsVersion GetOsVersion() override { return m_Version; }
  std::unique_ptr<INamedMutex> CreateNamedMutex(const std::string& name,
                                                bool* alreadyExisted) override;
  bool StartProcess(const std::string& path, const std::vector<std::string>& args) override;
  void ShowMessage(const std::string& text, const std::string& caption) override;

  // The machine's facts; the adapters are those of the machine's
  // Win32_NetworkAdapterConfiguration rows with IPEnabled true, in row
  // order (the adapters the system lists with their IPv4 setup), each with
  // its "Description" and "MACAddress" ("00:1A:2B:3C:4D:5E").
  uint16_t NativeArchitecture() override { return m_Architecture; }
  std::string CpuBrandString() override { return m_CpuBrand; }
  uint64_t TotalPhysicalMemory() override { return m_MemoryBytes; }
  bool GetNetworkAdapters(std::vector<NetworkAdapter>* adapters) override;

  void SetOsVersion(const OsVersion& v) { m_Version = v; }
  void SetMachineFacts(uint16_t architecture, std::string cpuBrand, uint64_t memoryBytes) {
    m_Architecture = architecture;
    m_CpuBrand = std::move(cpuBrand);
    m_MemoryBytes = memoryBytes;
  }
  void SetNetworkAdapters(std::vector<NetworkAdapter> adapters) {
    m_Adapters = std::move(adapters);
  }
  // Makes GetNetworkAdapters fail (the system cannot list its adapters).
  void SetNetworkAdaptersFail(bool fail) { m_AdaptersFail = fail; }
  // What StartProcess answers (true unless set otherwise).
  void SetStartProcessResult(bool ok) { m_StartResult = ok; }
  const std::vector<SimProcessStart>& Started() const { return m_Started; }
  const std::vector<std::string>& Messages() const { return m_Messages; }

 private:
  OsVersion m_Version;
  uint16_t m_Architecture = PROCESSOR_ARCH_X64;
  std::string m_CpuBrand;
  uint64_t m_MemoryBytes = 0;
  std::vector<NetworkAdapter> m_Adapters;
  bool m_AdaptersFail = false;
  bool m_StartResult = true;
  std::shared_ptr<std::set<std::string>> m_Mutexes = std::make_shared<std::set<std::string>>();
  std::vector<SimProcessStart> m_Started;
  std::vector<std::string> m_Messages;
};

}  // namespace os::sim
