// Process-level facilities: operating-system version, the single-instance
// mutex, starting programs, and the message box of last resort.
#pragma once

#include <cstdint>
#include <memory>
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
};

}  // namespace os
