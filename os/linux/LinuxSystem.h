// os::ISystem on Linux.
#pragma once

#include <string>

#include "os/System.h"
#include "os/linux/SysfsDisks.h"

namespace os {

class CLinuxSystem : public ISystem {
 public:
  // The machine facts are read under `roots` (/proc, /sys).
  explicit CLinuxSystem(LinuxRoots roots = {}) : m_Roots(std::move(roots)) {}

  // The engine chooses its request forms from the Windows version: the ATA
  // pass-through and the NVMe storage query are offered from Windows 10 on.
  // Our Linux device layer answers both forms, so the version reads as
  // 10.0; the kernel release ("6.1.0-18-amd64") is carried in CSDVersion
  // for display and logs, and BuildNumber holds kernel major * 10000 +
  // minor * 100 + patch (capped at 99 each).
  OsVersion GetOsVersion() override;
  // A lock file named after the mutex in $XDG_RUNTIME_DIR (else /tmp, with
  // the user id in the name), held with flock for the life of the returned
  // object. *alreadyExisted is true when another holder has the lock, in
  // this process or another, just as a second CreateMutex of a Windows name
  // reports ERROR_ALREADY_EXISTS. The lock goes with the process, so a
  // crashed instance never blocks the next.
  std::unique_ptr<INamedMutex> CreateNamedMutex(const std::string& name,
                                                bool* alreadyExisted) override;
  // posix_spawn of `path` with argv = path, args...; no shell. The child is
  // reaped in the background.
  bool StartProcess(const std::string& path, const std::vector<std::string>& args) override;
  // One line on stderr: "caption: text".
  void ShowMessage(const std::string& text, const std::string& caption) override;

  // uname's machine.
  uint16_t NativeArchitecture() override;
  // The first processor's "model name" in cpuinfo (the brand string on x86).
  std::string CpuBrandString() override;
  // MemTotal of meminfo (what the kernel manages, a little under what is
  // installed, as on Windows).
  uint64_t TotalPhysicalMemory() override;
  // The interfaces of class/net but the loopback: those of a device first,
  // then the virtual ones, each by interface index.
  bool GetNetworkAdapters(std::vector<NetworkAdapter>* adapters) override;

  // The lock-file path CreateNamedMutex uses for `name` (for tests).
  static std::string MutexLockPath(const std::string& name);

 private:
  LinuxRoots m_Roots;
};

}  // namespace os
