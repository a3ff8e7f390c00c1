// Drive letters: what kind of drive each root is. The volumes themselves
// ("\\.\C:") are opened through IDeviceIo like any other device.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace os {

// GetDriveType values.
enum class DriveType : uint32_t {
  Unknown = 0,
  NoRootDir = 1,
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6,
};

// A mounted volume: its label and its free and total bytes.
struct VolumeInfo {
  std::string Label;  // UTF-8; may be empty
  uint64_t FreeBytes = 0;
  uint64_t TotalBytes = 0;
};

class IVolumes {
 public:
  virtual ~IVolumes() = default;
  // GetDriveType: kind of the drive whose root is "<letter>:\"; `letter` is 'A' to 'Z'.
  virtual DriveType DriveTypeOf(char letter) = 0;
  // The volume whose root is "<letter>:\"; nullopt when there is none or it
  // does not answer (an empty card reader).
  virtual std::optional<VolumeInfo> InfoOf(char letter) = 0;
};

// The real system's drive letters (os/win32, os/linux). Systems without
// drive letters answer NoRootDir for every letter.
std::unique_ptr<IVolumes> CreateNativeVolumes();

}  // namespace os
