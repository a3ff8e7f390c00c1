// os::ISystem on Windows.
#pragma once

#include "os/System.h"

namespace os {

class CWin32System : public ISystem {
 public:
  // RtlGetVersion (the true version, whatever the program's manifest says);
  // else GetVersionExW with the extended record; else the plain record, with
  // Extended false.
  OsVersion GetOsVersion() override;
  // CreateMutexW, not initially owned. The mutex lives as long as the
  // returned object. *alreadyExisted is GetLastError() == ERROR_ALREADY_EXISTS.
  std::unique_ptr<INamedMutex> CreateNamedMutex(const std::string& name,
                                                bool* alreadyExisted) override;
  // CreateProcessW with `path` as the application name (never searched for)
  // and a command line quoted so the child sees `args` unchanged. The
  // child's handles are closed at once; it is not waited for.
  bool StartProcess(const std::string& path, const std::vector<std::string>& args) override;
  // MessageBoxW with an OK button; returns when the user closes it.
  void ShowMessage(const std::string& text, const std::string& caption) override;
  // GetNativeSystemInfo's processor architecture.
  uint16_t NativeArchitecture() override;
  // CPUID leaves 0x80000002-4 (x86 and x64); empty elsewhere.
  std::string CpuBrandString() override;
  // GlobalMemoryStatusEx's total physical bytes.
  uint64_t TotalPhysicalMemory() override;
  // GetAdaptersInfo into a buffer of the size the call reports (asked again
  // while the list grows between the calls); descriptions from the ANSI
  // code page.
  bool GetNetworkAdapters(std::vector<NetworkAdapter>* adapters) override;
};

}  // namespace os
