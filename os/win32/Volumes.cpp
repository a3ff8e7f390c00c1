// Drive letters of the running system.
#include "os/Volumes.h"

#include <windows.h>

namespace os {
namespace {

class CWin32Volumes final : public IVolumes {
 public:
  DriveType DriveTypeOf(char letter) override {
    if (letter < 'A' || letter > 'Z') return DriveType::NoRootDir;
    wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
    UINT type = GetDriveTypeW(root);
    return type <= DRIVE_RAMDISK ? static_cast<DriveType>(type) : DriveType::Unknown;
  }
};

}  // namespace

std::unique_ptr<IVolumes> CreateNativeVolumes() { return std::make_unique<CWin32Volumes>(); }

}  // namespace os
