#include "os/linux/LinuxDeviceIo.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "base/DebugLog.h"
#include "os/linux/LinuxDiskSyscalls.h"
#include "os/linux/MountTable.h"
#include "os/wire/DeviceNames.h"

namespace os {

CLinuxDeviceIo::CLinuxDeviceIo(LinuxRoots roots, IDiskSyscalls& syscalls)
    : m_Disks(std::move(roots)), m_Syscalls(syscalls) {
  m_State.HasRawIo = HasRawIoCapability(m_Disks.Roots().Status);
}

CLinuxDeviceIo::CLinuxDeviceIo()
    : m_Disks(LinuxRoots{}),
      m_OwnSyscalls(std::make_unique<CLinuxDiskSyscalls>()),
      m_Syscalls(*m_OwnSyscalls) {
  m_State.HasRawIo = HasRawIoCapability(m_Disks.Roots().Status);
}

std::optional<LinuxDisk> CLinuxDeviceIo::DiskOf(int32_t physicalDriveId) const {
  if (physicalDriveId < 0) return std::nullopt;
  auto names = m_Disks.ListNames();
  if (static_cast<size_t>(physicalDriveId) >= names.size()) return std::nullopt;
  return m_Disks.Describe(names[static_cast<size_t>(physicalDriveId)]);
}

std::unique_ptr<IDeviceHandle> CLinuxDeviceIo::Open(const std::string& name, Access,
                                                    uint32_t* error) {
  auto fail = [error](uint32_t code) -> std::unique_ptr<IDeviceHandle> {
    if (error) *error = code;
    return nullptr;
  };
  int32_t drive = winio::PhysicalDriveNumber(name);
  if (drive >= 0) {
    auto disk = DiskOf(drive);
    if (!disk) return fail(ERR_FILE_NOT_FOUND);
    std::error_code ec;
    if (!std::filesystem::exists(disk->NodePath, ec)) {
      base::DebugLogF("linux: %s has no device node %s", name.c_str(), disk->NodePath.c_str());
      return fail(ERR_FILE_NOT_FOUND);
    }
    if (error) *error = ERR_SUCCESS;
    return std::make_unique<CLinuxDiskHandle>(std::move(*disk), m_Disks.Roots().Dev, m_Syscalls,
                                              m_State);
  }
  int32_t port = winio::ScsiPortNumber(name);
  if (port >= 0) {
    std::error_code ec;
    if (!std::filesystem::exists(
            m_Disks.Roots().Sys + "/class/scsi_host/host" + std::to_string(port), ec)) {
      return fail(ERR_FILE_NOT_FOUND);
    }
    if (error) *error = ERR_SUCCESS;
    return std::make_unique<CLinuxScsiPortHandle>();
  }
  return fail(ERR_FILE_NOT_FOUND);
}

bool CLinuxDeviceIo::DefineRawDosDevice(const std::string&, const std::string&) { return false; }

std::string CLinuxDeviceIo::DevicePath(int32_t physicalDriveId) {
  auto disk = DiskOf(physicalDriveId);
  return disk ? disk->DevicePath : std::string();
}

std::vector<std::string> CLinuxDeviceIo::MountPoints(int32_t physicalDriveId) {
  if (physicalDriveId < 0) return {};
  auto names = m_Disks.ListNames();
  if (static_cast<size_t>(physicalDriveId) >= names.size()) return {};
  auto byDisk = MountPointsByDisk(m_Disks);
  auto it = byDisk.find(names[static_cast<size_t>(physicalDriveId)]);
  return it == byDisk.end() ? std::vector<std::string>{} : it->second;
}

std::unique_ptr<IDeviceIo> CreateLinuxDeviceIo() { return std::make_unique<CLinuxDeviceIo>(); }

}  // namespace os
