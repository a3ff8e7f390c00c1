// One physical drive on Linux, answering the engine's Windows-form device
// requests. Each request is parsed from the Windows buffer, carried out as
// SG_IO, an NVMe admin command, a read, or a look at sysfs, and answered in
// the Windows buffer layout with the Windows result codes.
//
// Requests and their Linux forms:
//   IOCTL_ATA_PASS_THROUGH, IOCTL_IDE_PASS_THROUGH,
//   SMART_RCV_DRIVE_DATA, SMART_SEND_DRIVE_COMMAND  -> ATA PASS-THROUGH(16)
//   IOCTL_SCSI_PASS_THROUGH                          -> the request's own CDB
//   IOCTL_STORAGE_QUERY_PROPERTY, NVMe protocol data -> NVME_IOCTL_ADMIN_CMD
//   IOCTL_STORAGE_QUERY_PROPERTY, device descriptor,
//   IOCTL_DISK_GET_DRIVE_GEOMETRY(_EX), IOCTL_DISK_GET_LENGTH_INFO,
//   IOCTL_SCSI_GET_ADDRESS, SMART_GET_VERSION        -> sysfs
//   IOCTL_SCSI_MINIPORT (and so CSMI), IOCTL_STORAGE_PREDICT_FAILURE,
//   IOCTL_SCSI_PASS_THROUGH_DIRECT                    -> ERR_NOT_SUPPORTED
//   anything else                                     -> ERR_INVALID_FUNCTION
#pragma once

#include <cstdint>
#include <string>

#include "os/DeviceIo.h"
#include "os/linux/DiskSyscalls.h"
#include "os/linux/SysfsDisks.h"

namespace os {

// Shared by a device layer and its handles: what the system refused.
struct LinuxAccessState {
  // Whether the process holds CAP_SYS_RAWIO, the capability that raw disk
  // commands need; decides how a refusal is explained.
  bool HasRawIo = false;
  AccessDenial Denial = AccessDenial::None;
  void Denied() {
    if (Denial == AccessDenial::None) {
      Denial = HasRawIo ? AccessDenial::RefusedToPrivileged : AccessDenial::NotPrivileged;
    }
  }
};

class CLinuxDiskHandle : public IDeviceHandle {
 public:
  // `syscalls` and `state` outlive the handle.
  CLinuxDiskHandle(LinuxDisk disk, std::string devRoot, IDiskSyscalls& syscalls,
                   LinuxAccessState& state);

  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned, uint32_t* error) override;
  bool Read(void* buffer, uint32_t size, uint32_t* read) override;

  const LinuxDisk& Disk() const { return m_Disk; }

 private:
  // Each returns an os::ERR_* code; on 0 *returned holds the answer's size.
  uint32_t AtaPassThrough(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                          uint32_t* returned);
  uint32_t IdePassThrough(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                          uint32_t* returned);
  uint32_t SmartReceive(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                        uint32_t* returned);
  uint32_t SmartSend(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                     uint32_t* returned);
  uint32_t SmartVersion(uint8_t* out, uint32_t outSize, uint32_t* returned);
  uint32_t ScsiPassThrough(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                           uint32_t* returned);
  uint32_t QueryProperty(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                         uint32_t* returned);
  uint32_t DeviceDescriptor(uint8_t* out, uint32_t outSize, uint32_t* returned);
  uint32_t NvmeProtocolQuery(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                             uint32_t* returned);
  uint32_t Geometry(bool extended, uint8_t* out, uint32_t outSize, uint32_t* returned);
  uint32_t LengthInfo(uint8_t* out, uint32_t outSize, uint32_t* returned);
  uint32_t ScsiAddress(uint8_t* out, uint32_t outSize, uint32_t* returned);

  LinuxDisk m_Disk;
  std::string m_DevRoot;
  IDiskSyscalls& m_Syscalls;
  LinuxAccessState& m_State;
  uint64_t m_Position = 0;
};

// A SCSI port ("\\.\Scsi0:"): Linux has no miniport interface, so every
// request (SCSI miniport, CSMI) fails as not supported.
class CLinuxScsiPortHandle : public IDeviceHandle {
 public:
  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned, uint32_t* error) override;
  bool Read(void* buffer, uint32_t size, uint32_t* read) override;
};

}  // namespace os
