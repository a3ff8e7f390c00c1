#include "os/StopSignal.h"

#include <windows.h>

#include <atomic>

namespace os {
namespace {

// The console control handler runs on a thread of its own; it only sets
// the event the program waits on.
std::atomic<HANDLE> g_StopEvent{nullptr};
std::atomic<HANDLE> g_DoneEvent{nullptr};

BOOL WINAPI OnConsoleControl(DWORD type) {
  HANDLE stop = g_StopEvent.load();
  if (stop == nullptr) return FALSE;
  SetEvent(stop);
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
    // The system ends the process when this handler returns: give the
    // program the time to finish what it is writing.
    HANDLE done = g_DoneEvent.load();
    if (done != nullptr) WaitForSingleObject(done, 5000);
  }
  return TRUE;
}

class CWin32StopSignal : public IStopSignal {
 public:
  CWin32StopSignal() {
    m_Stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_Done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_StopEvent.store(m_Stop);
    g_DoneEvent.store(m_Done);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  }
  ~CWin32StopSignal() override {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    if (m_Done != nullptr) SetEvent(m_Done);
    g_StopEvent.store(nullptr);
    g_DoneEvent.store(nullptr);
    if (m_Stop != nullptr) CloseHandle(m_Stop);
    if (m_Done != nullptr) CloseHandle(m_Done);
  }
  CWin32StopSignal(const CWin32StopSignal&) = delete;
  CWin32StopSignal& operator=(const CWin32StopSignal&) = delete;

  bool WaitForStop(uint32_t milliseconds) override {
    if (m_Stop == nullptr) {
      Sleep(milliseconds);
      return false;
    }
    return WaitForSingleObject(m_Stop, milliseconds) == WAIT_OBJECT_0;
  }

 private:
  HANDLE m_Stop = nullptr;
  HANDLE m_Done = nullptr;
};

}  // namespace

std::unique_ptr<IStopSignal> CreateStopSignal() { return std::make_unique<CWin32StopSignal>(); }

}  // namespace os
