// Small helpers shared by the NVMe, USB bridge and CSMI paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "os/DeviceIo.h"

namespace paths {

inline std::string PhysicalDriveName(int32_t physicalDriveId) {
  char name[40];
  std::snprintf(name, sizeof(name), "\\\\.\\PhysicalDrive%d", physicalDriveId);
  return name;
}

inline std::string ScsiPortName(int32_t scsiPort) {
  char name[40];
  std::snprintf(name, sizeof(name), "\\\\.\\Scsi%d:", scsiPort);
  return name;
}

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

// Code-page text of a fixed field: up to the first NUL, at most `size`
// bytes. Bytes above 0x7F are read as Latin-1 so the result is valid UTF-8.
std::string CodePageText(const uint8_t* field, size_t size);

// Removes trailing blanks, tabs, carriage returns and line feeds.
std::string TrimRight(std::string text);

}  // namespace paths
