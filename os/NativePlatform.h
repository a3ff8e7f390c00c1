// The real operating system as an os::Platform. Implemented once per system
// (os/win32/NativePlatform.cpp, os/linux/NativePlatform.cpp).
#pragma once

#include <memory>

#include "os/Platform.h"

namespace os {

class NativePlatform {
 public:
  NativePlatform();
  ~NativePlatform();
  NativePlatform(const NativePlatform&) = delete;
  NativePlatform& operator=(const NativePlatform&) = delete;

  // References stay valid for the life of this object.
  Platform Get();

  struct Impl;

 private:
  std::unique_ptr<Impl> m_Impl;
};

}  // namespace os
