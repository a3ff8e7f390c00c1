#include "os/win32/Win32DeviceIo.h"

#include <windows.h>

#include "os/win32/WinHandle.h"
#include "os/win32/WinText.h"

namespace os {
namespace {

// One open device; the handle is closed when the object goes.
class CWin32DeviceHandle final : public IDeviceHandle {
 public:
  explicit CWin32DeviceHandle(CWinHandle handle) : m_Handle(std::move(handle)) {}

  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned, uint32_t* error) override {
    DWORD count = 0;
    // DeviceIoControl takes a non-const input pointer but never writes it.
    BOOL ok = DeviceIoControl(m_Handle.Get(), code, const_cast<void*>(in), inSize, out, outSize,
                              &count, nullptr);
    DWORD lastError = ok ? ERROR_SUCCESS : GetLastError();
    if (returned) *returned = ok ? count : 0;
    if (error) *error = lastError;
    return ok != FALSE;
  }

  bool Read(void* buffer, uint32_t size, uint32_t* read) override {
    DWORD count = 0;
    BOOL ok = ::ReadFile(m_Handle.Get(), buffer, size, &count, nullptr);
    if (read) *read = ok ? count : 0;
    return ok != FALSE;
  }

 private:
  CWinHandle m_Handle;
};

}  // namespace

std::unique_ptr<IDeviceHandle> CWin32DeviceIo::Open(const std::string& name, Access access,
                                                    uint32_t* error) {
  if (name.empty() || HasNul(name)) {
    if (error) *error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  DWORD desired = 0;
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  switch (access) {
    case Access::Read:
      desired = GENERIC_READ;
      share = FILE_SHARE_READ;
      break;
    case Access::ReadWrite:
      desired = GENERIC_READ | GENERIC_WRITE;
      break;
    case Access::None:
      break;
  }
  std::wstring wide = Utf8ToWide(name);
  CWinHandle handle(CreateFileW(wide.c_str(), desired, share, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!handle) {
    if (error) *error = GetLastError();
    return nullptr;
  }
  if (error) *error = ERROR_SUCCESS;
  return std::make_unique<CWin32DeviceHandle>(std::move(handle));
}

bool CWin32DeviceIo::DefineRawDosDevice(const std::string& name, const std::string& target) {
  if (name.empty() || HasNul(name) || HasNul(target)) return false;
  std::wstring wideName = Utf8ToWide(name);
  std::wstring wideTarget = Utf8ToWide(target);
  return DefineDosDeviceW(DDD_RAW_TARGET_PATH, wideName.c_str(), wideTarget.c_str()) != FALSE;
}

}  // namespace os
