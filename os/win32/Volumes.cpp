// Drive letters of the running system.
#include "os/Volumes.h"

#include <windows.h>

#include "os/win32/WinText.h"

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

  std::optional<VolumeInfo> InfoOf(char letter) override {
    if (letter < 'A' || letter > 'Z') return std::nullopt;
    wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
    // Network and optical drives are not on the disks this program watches;
    // asking them may wait for a server or spin a disc up.
    const UINT type = GetDriveTypeW(root);
    if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE && type != DRIVE_RAMDISK) {
      return std::nullopt;
    }
    // An empty card reader answers with an error, not a dialog.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    ULARGE_INTEGER available{}, total{}, totalFree{};
    const bool space = GetDiskFreeSpaceExW(root, &available, &total, &totalFree) != FALSE;
    wchar_t label[MAX_PATH + 1] = {};
    const bool named = GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr,
                                             nullptr, 0) != FALSE;
    SetErrorMode(oldMode);
    if (!space) return std::nullopt;
    VolumeInfo info;
    if (named) info.Label = WideToUtf8(label);
    info.FreeBytes = totalFree.QuadPart;
    info.TotalBytes = total.QuadPart;
    return info;
  }
};

}  // namespace

std::unique_ptr<IVolumes> CreateNativeVolumes() { return std::make_unique<CWin32Volumes>(); }

}  // namespace os
