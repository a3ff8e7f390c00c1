// os::IDeviceIo on Windows: CreateFileW, DeviceIoControl, ReadFile.
#pragma once

#include "os/DeviceIo.h"

namespace os {

class CWin32DeviceIo : public IDeviceIo {
 public:
  // CreateFileW(name, access, sharing, OPEN_EXISTING). Read: GENERIC_READ
  // with read sharing; ReadWrite: GENERIC_READ | GENERIC_WRITE with read and
  // write sharing; None: no data access with read and write sharing. A name
  // holding a NUL is refused with ERR_INVALID_PARAMETER.
  std::unique_ptr<IDeviceHandle> Open(const std::string& name, Access access,
                                      uint32_t* error) override;
  // DefineDosDeviceW(DDD_RAW_TARGET_PATH, name, target).
  bool DefineRawDosDevice(const std::string& name, const std::string& target) override;
};

}  // namespace os
