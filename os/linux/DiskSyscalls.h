// The few system calls the Linux disk backend makes, as plain data: one SCSI
// command through SG_IO, one NVMe admin command, one read. The real ones are
// in LinuxDiskSyscalls.cpp; tests script them. Nothing here includes a Linux
// header, so the translation code above it is ordinary portable C++.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace os {

enum class DataDirection : uint8_t { None, In, Out };

// One SCSI command. The caller fills the first block; the system call fills
// the second. `Data` is the caller's buffer of `DataLength` bytes.
struct ScsiRequest {
  std::array<uint8_t, 16> Cdb{};
  uint8_t CdbLength = 0;
  DataDirection Direction = DataDirection::None;
  uint8_t* Data = nullptr;
  uint32_t DataLength = 0;
  uint32_t TimeoutMs = 2000;

  std::array<uint8_t, 64> Sense{};
  uint8_t SenseLength = 0;    // bytes of Sense the device wrote
  uint8_t ScsiStatus = 0;     // 0 GOOD, 2 CHECK CONDITION, ...
  uint16_t HostStatus = 0;    // transport: 0 OK, 3 time-out, ...
  uint16_t DriverStatus = 0;  // low nibble: 0 OK, 6 time-out, 8 sense present
  int32_t Residual = 0;       // bytes of DataLength not transferred
};

// One NVMe admin command (the fields of the submission queue entry the
// program uses) and its completion.
struct NvmeAdminRequest {
  uint8_t Opcode = 0;
  uint32_t Nsid = 0;
  uint32_t Cdw10 = 0;
  uint32_t Cdw11 = 0;
  uint32_t Cdw12 = 0;
  uint32_t Cdw13 = 0;
  uint32_t Cdw14 = 0;
  uint32_t Cdw15 = 0;
  uint8_t* Data = nullptr;  // device to host
  uint32_t DataLength = 0;
  uint32_t TimeoutMs = 5000;

  uint32_t Status = 0;  // NVMe status field of the completion; 0 is success
  uint32_t Result = 0;  // completion dword 0
};

class IDiskSyscalls {
 public:
  virtual ~IDiskSyscalls() = default;

  // Opens `node`, sends the command, closes. Returns 0 when the command
  // reached the device (its outcome is in the status fields) or the errno
  // of the open or the ioctl.
  virtual int Scsi(const std::string& node, ScsiRequest& request) = 0;

  // The same for an NVMe admin command on a controller or namespace node.
  virtual int NvmeAdmin(const std::string& node, NvmeAdminRequest& request) = 0;

  // Opens `node` read-only, reads up to `length` bytes at `offset`, closes.
  // Returns 0 and sets *got, or the errno.
  virtual int Read(const std::string& node, uint64_t offset, void* data, uint32_t length,
                   uint32_t* got) = 0;
};

}  // namespace os
