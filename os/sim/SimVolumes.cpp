#include "os/sim/SimVolumes.h"

#include <cctype>

namespace os::sim {

DriveType CSimVolumes::DriveTypeOf(char letter) {
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  for (const SimDisk& disk : m_Machine.Disks) {
    for (char c : disk.DriveLetters) {
      if (std::toupper(static_cast<unsigned char>(c)) == upper) {
        return disk.MediaType == 11 ? DriveType::Removable : DriveType::Fixed;
      }
    }
  }
  return DriveType::NoRootDir;
}

}  // namespace os::sim
