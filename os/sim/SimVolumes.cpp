#include "os/sim/SimVolumes.h"

#include "os/wire/WinIoctl.h"

namespace os::sim {

DriveType CSimVolumes::DriveTypeOf(char letter) {
  for (const SimDisk& d : m_Machine.Disks) {
    if (d.DriveLetters.find(letter) == std::string::npos) continue;
    return d.MediaType == winio::MEDIA_TYPE_REMOVABLE ? DriveType::Removable : DriveType::Fixed;
  }
  return DriveType::NoRootDir;
}

std::optional<VolumeInfo> CSimVolumes::InfoOf(char letter) {
  for (const SimDisk& d : m_Machine.Disks) {
    if (d.DriveLetters.find(letter) == std::string::npos) continue;
    auto found = d.Volumes.find(letter);
    if (found != d.Volumes.end()) return found->second;
  }
  return std::nullopt;
}

}  // namespace os::sim
