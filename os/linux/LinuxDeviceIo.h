// Disk devices on Linux behind the engine's Windows device names.
//
// "\\.\PhysicalDriveN" is the N-th whole-disk block device in the order of
// CSysfsDisks::ListNames (sd* by letter, then nvme* by number, then the
// rest; see docs/linux-devices.md). "\\.\ScsiN:" is SCSI host N, which
// answers nothing (no miniport interface on Linux). Volume names ("\\.\C:")
// do not exist: Linux has mount points instead of drive letters.
//
// Open only checks that the device exists; each request then opens the
// device node for itself and closes it before returning. So geometry and
// the device descriptor, which come from sysfs, work without root, while
// commands to the disk need root (CAP_SYS_RAWIO) and fail with
// ERR_ACCESS_DENIED otherwise.
#pragma once

#include <memory>

#include "os/DeviceIo.h"
#include "os/linux/DiskSyscalls.h"
#include "os/linux/LinuxDiskHandle.h"
#include "os/linux/SysfsDisks.h"

namespace os {

class CLinuxDeviceIo : public IDeviceIo {
 public:
  // `syscalls` outlives this object.
  CLinuxDeviceIo(LinuxRoots roots, IDiskSyscalls& syscalls);
  // The live system: the real roots and system calls.
  CLinuxDeviceIo();

  std::unique_ptr<IDeviceHandle> Open(const std::string& name, Access access,
                                      uint32_t* error) override;
  bool DefineRawDosDevice(const std::string& name, const std::string& target) override;
  std::string DevicePath(int32_t physicalDriveId) override;
  std::vector<std::string> MountPoints(int32_t physicalDriveId) override;
  AccessDenial DeviceAccessDenial() override { return m_State.Denial; }

 private:
  std::optional<LinuxDisk> DiskOf(int32_t physicalDriveId) const;

  CSysfsDisks m_Disks;
  std::unique_ptr<IDiskSyscalls> m_OwnSyscalls;
  IDiskSyscalls& m_Syscalls;
  LinuxAccessState m_State;
};

// The live system.
std::unique_ptr<IDeviceIo> CreateLinuxDeviceIo();

}  // namespace os
