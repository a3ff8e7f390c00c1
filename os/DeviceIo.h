// Device requests: the seam between the disk engine and the operating system.
//
// The engine speaks the Windows device contract on every platform: it opens
// device names such as "\\.\PhysicalDrive0" or "\\.\Scsi2:" and sends control
// codes with Windows-layout buffers (see os/wire/WinIoctl.h). Each backend
// answers those requests: the win32 backend hands them to DeviceIoControl,
// the simulated machine parses them and answers as a driver would, and the
// Linux backend translates them to SG_IO and the NVMe admin ioctl.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace os {

// System error codes carried back from a failed request. Values are the
// Windows ones so the engine can compare against them on every platform.
enum : uint32_t {
  ERR_SUCCESS = 0,
  ERR_INVALID_FUNCTION = 1,
  ERR_FILE_NOT_FOUND = 2,
  ERR_ACCESS_DENIED = 5,
  ERR_INVALID_HANDLE = 6,
  ERR_NOT_READY = 21,
  ERR_CRC = 23,
  ERR_GEN_FAILURE = 31,
  ERR_NOT_SUPPORTED = 50,
  ERR_DEV_NOT_EXIST = 55,
  ERR_INVALID_PARAMETER = 87,
  ERR_INSUFFICIENT_BUFFER = 122,
  ERR_MORE_DATA = 234,
  ERR_SEM_TIMEOUT = 121,
  ERR_IO_DEVICE = 1117,
};

enum class Access : uint8_t {
  Read,       // GENERIC_READ, FILE_SHARE_READ
  ReadWrite,  // GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE
  None,       // no data access (queries such as geometry on some drivers)
};

// Why the system refused device requests.
enum class AccessDenial : uint8_t {
  None,
  // The program lacks the privilege (on Linux: not root, no CAP_SYS_RAWIO).
  // Running it as root (as administrator) helps.
  NotPrivileged,
  // Refused although the program has the privilege: a container, a virtual
  // machine or a security policy keeps raw disks away. Root does not help.
  RefusedToPrivileged,
};

// One open device. Closed when the object is destroyed; the engine keeps a
// handle only for the duration of one operation.
class IDeviceHandle {
 public:
  virtual ~IDeviceHandle() = default;

  // DeviceIoControl. `in` and `out` may point at the same buffer (the engine
  // often sends one buffer both ways); a backend must read all of `in` before
  // writing `out`. On success returns true and sets *returned to the number
  // of bytes written to `out`. On failure returns false, sets *error to the
  // system error code and leaves `out` in an unspecified state only for the
  // bytes the driver was allowed to touch (callers never trust it).
  virtual bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                       uint32_t* returned, uint32_t* error) = 0;

  // ReadFile at the current position (offset 0 after open).
  virtual bool Read(void* buffer, uint32_t size, uint32_t* read) = 0;
};

class IDeviceIo {
 public:
  virtual ~IDeviceIo() = default;

  // CreateFile on a device name ("\\.\PhysicalDrive3", "\\.\Scsi1:",
  // "\\.\C:"). Returns null and sets *error when the device does not exist
  // or cannot be opened.
  virtual std::unique_ptr<IDeviceHandle> Open(const std::string& name, Access access,
                                              uint32_t* error) = 0;

  // DefineDosDevice(DDD_RAW_TARGET_PATH, name, target). Returns false when
  // the platform has no such namespace.
  virtual bool DefineRawDosDevice(const std::string& name, const std::string& target) = 0;

  // ---- what platforms without drive letters add (Linux) ----

  // The platform's own name of physical drive N ("/dev/sda"), for display.
  // Empty where the platform has none besides "\\.\PhysicalDriveN".
  virtual std::string DevicePath(int32_t physicalDriveId) {
    (void)physicalDriveId;
    return {};
  }

  // Mount points of the file systems on physical drive N ("/", "/home"), in
  // the system's mount order. Empty on platforms with drive letters, which
  // map them through volume extents instead.
  virtual std::vector<std::string> MountPoints(int32_t physicalDriveId) {
    (void)physicalDriveId;
    return {};
  }

  // Whether the system has refused any request since this object was made
  // (the request itself failed with ERR_ACCESS_DENIED), and why.
  virtual AccessDenial DeviceAccessDenial() { return AccessDenial::None; }
};

}  // namespace os
