// Process-level facilities: operating-system version, the single-instance
// mutex, starting programs, and the message box of last resort.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace os {

// The fields of OSVERSIONINFOEX the program looks at.
struct OsVersion {
  uint32_t MajorVersion = 0;
  uint32_t MinorVersion = 0;
  uint32_t BuildNumber = 0;
  uint32_t PlatformId = 2;  // VER_PLATFORM_WIN32_NT
  std::string CSDVersion;   // "Service Pack 3"
  uint16_t ServicePackMajor = 0;
  uint16_t ServicePackMinor = 0;
  uint8_t ProductType = 1;  // VER_NT_WORKSTATION
  bool Extended = true;     // false when only the plain record could be read
};

// Processor architectures as the system names them
// (SYSTEM_INFO.wProcessorArchitecture).
constexpr uint16_t PROCESSOR_ARCH_X86 = 0;
constexpr uint16_t PROCESSOR_ARCH_IA64 = 6;
constexpr uint16_t PROCESSOR_ARCH_X64 = 9;
constexpr uint16_t PROCESSOR_ARCH_ARM64 = 12;
constexpr uint16_t PROCESSOR_ARCH_UNKNOWN = 0xFFFF;

// One network adapter, in the system's order of adapters.
struct NetworkAdapter {
  std::string Description;       // UTF-8
  std::vector<uint8_t> Address;  // hardware address; empty when it has none
};

// The first hardware address of six bytes among `adapters` (it names the
// history root). Adapters without one (tunnels, PPP links, VPN adapters
// often listed first) are passed over, so adding one of them does not move
// the history to a new root.
inline std::optional<std::array<uint8_t, 6>> FirstHardwareAddress(
    const std::vector<NetworkAdapter>& adapters) {
  for (const NetworkAdapter& adapter : adapters) {
    if (adapter.Address.size() != 6) continue;
    std::array<uint8_t, 6> address{};
    for (size_t i = 0; i < address.size(); ++i) address[i] = adapter.Address[i];
    return address;
  }
  return std::nullopt;
}

class INamedMutex {
 public:
  virtual ~INamedMutex() = default;
};

class ISystem {
 public:
  virtual ~ISystem() = default;

  virtual OsVersion GetOsVersion() = 0;
  // Creates (or opens) a named mutex, not initially owned. *alreadyExisted
  // tells that another process had created it. Null on failure.
  virtual std::unique_ptr<INamedMutex> CreateNamedMutex(const std::string& name,
                                                        bool* alreadyExisted) = 0;
  // Starts a program with arguments; never through a shell, so nothing in
  // `args` is interpreted. Returns false when it could not be started.
  virtual bool StartProcess(const std::string& path, const std::vector<std::string>& args) = 0;
  // Shows a message to the user (a message box on Windows, stderr elsewhere).
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;

  // Facts of the machine the system-information page shows beside what WMI
  // holds. Each answers "not known" where a system cannot tell.
  // The processor architecture of the machine (not of this process).
  virtual uint16_t NativeArchitecture() { return PROCESSOR_ARCH_UNKNOWN; }
  // The processor's brand string ("Intel(R) Core(TM) i7-8650U CPU @
  // 1.90GHz"), as the processor itself names it; empty when unknown.
  virtual std::string CpuBrandString() { return {}; }
  // Installed physical memory in bytes; 0 when unknown.
  virtual uint64_t TotalPhysicalMemory() { return 0; }
  // The network adapters, in the system's order. False when the list could
  // not be had (then `adapters` is empty); true with an empty list on a
  // machine without adapters.
  virtual bool GetNetworkAdapters(std::vector<NetworkAdapter>* adapters) {
    adapters->clear();
    return false;
  }
};

}  // namespace os
