#include "os/linux/LinuxDeviceIo.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "app/DebugLog.h"
#include "os/linux/LinuxDiskSyscalls.h"
#include "os/linux/MountTable.h"

namespace os {
namespace {

bool EqualsNoCase(const std::string& a, size_t from, const char* b) {
  size_t n = std::char_traits<char>::length(b);
  if (a.size() < from + n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[from + i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The digits at `from` up to `end`, at most three of them; -1 otherwise.
int32_t SmallNumber(const std::string& s, size_t from, size_t end) {
  if (from >= end || end - from > 3) return -1;
  int32_t n = 0;
  for (size_t i = from; i < end; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return -1;
    n = n * 10 + (s[i] - '0');
  }
  return n;
}

// "\\.\ScsiN:" -> N; -1 otherwise.
int32_t ScsiPortNumber(const std::string& name) {
  if (!EqualsNoCase(name, 0, "\\\\.\\scsi") || name.empty() || name.back() != ':') return -1;
  return SmallNumber(name, 8, name.size() - 1);
}

}  // namespace

int32_t PhysicalDriveNumber(const std::string& name) {
  if (!EqualsNoCase(name, 0, "\\\\.\\physicaldrive")) return -1;
  return SmallNumber(name, 17, name.size());
}

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
  int32_t drive = PhysicalDriveNumber(name);
  if (drive >= 0) {
    auto disk = DiskOf(drive);
    if (!disk) return fail(ERR_FILE_NOT_FOUND);
    std::error_code ec;
    if (!std::filesystem::exists(disk->NodePath, ec)) {
      app::DebugLogF("linux: %s has no device node %s", name.c_str(), disk->NodePath.c_str());
      return fail(ERR_FILE_NOT_FOUND);
    }
    if (error) *error = ERR_SUCCESS;
    return std::make_unique<CLinuxDiskHandle>(std::move(*disk), m_Disks.Roots().Dev, m_Syscalls,
                                              m_State);
  }
  int32_t port = ScsiPortNumber(name);
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
