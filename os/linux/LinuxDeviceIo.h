// Disk devices on Linux. The factory is the only thing the rest of the
// backend knows; the class behind it can be replaced wholesale.
#pragma once

#include <memory>

#include "os/DeviceIo.h"

namespace os {

std::unique_ptr<IDeviceIo> CreateLinuxDeviceIo();

}  // namespace os
