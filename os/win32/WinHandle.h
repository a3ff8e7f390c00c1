// Owners of Windows kernel handles.
#pragma once

#include <windows.h>

#include <utility>

namespace os {

// A kernel handle (file, device, mutex, process, thread) closed with
// CloseHandle when the owner goes. Both null and INVALID_HANDLE_VALUE mean
// "no handle", so the result of CreateFileW and of CreateMutexW can be taken
// as they come.
class CWinHandle {
 public:
  CWinHandle() = default;
  explicit CWinHandle(HANDLE handle) : m_Handle(handle) {}
  ~CWinHandle() { Reset(); }
  CWinHandle(CWinHandle&& other) noexcept : m_Handle(std::exchange(other.m_Handle, nullptr)) {}
  CWinHandle& operator=(CWinHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      m_Handle = std::exchange(other.m_Handle, nullptr);
    }
    return *this;
  }
  CWinHandle(const CWinHandle&) = delete;
  CWinHandle& operator=(const CWinHandle&) = delete;

  bool Valid() const { return m_Handle != nullptr && m_Handle != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return Valid(); }
  HANDLE Get() const { return m_Handle; }
  // Closes the handle now (errors ignored: nothing useful can be done).
  void Reset() {
    if (Valid()) CloseHandle(m_Handle);
    m_Handle = nullptr;
  }

 private:
  HANDLE m_Handle = nullptr;
};

}  // namespace os
