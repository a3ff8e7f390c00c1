// Small helpers shared by the NVMe, USB bridge and CSMI paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "os/DeviceIo.h"
#include "os/wire/DeviceNames.h"

namespace paths {

using winio::PhysicalDriveName;
using winio::ScsiPortName;

// Opens a device for commands (read/write, shared read/write). Null when it
// does not exist or refuses.
inline std::unique_ptr<os::IDeviceHandle> OpenForCommands(os::IDeviceIo& devices,
                                                          const std::string& name) {
  uint32_t error = 0;
  return devices.Open(name, os::Access::ReadWrite, &error);
}

// Sum of the bytes, as the paths use it to tell an answer from silence.
inline uint32_t ByteSum(const uint8_t* data, size_t size) {
  uint32_t sum = 0;
  for (size_t i = 0; i < size; ++i) sum += data[i];
  return sum;
}

}  // namespace paths
