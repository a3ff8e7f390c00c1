// The monitor's timers as window timers of one window: each due timer
// arrives as WM_TIMER with its id, and the window hands it to the monitor.
#pragma once

#include <windows.h>

#include "monitor/TimerHost.h"

namespace monitor {

class CWin32TimerHost : public ITimerHost {
 public:
  void SetWindow(HWND hwnd) { m_Hwnd = hwnd; }
  void SetTimer(uint32_t id, uint32_t periodMs) override {
    if (m_Hwnd != nullptr) ::SetTimer(m_Hwnd, id, periodMs, nullptr);
  }
  void KillTimer(uint32_t id) override {
    if (m_Hwnd != nullptr) ::KillTimer(m_Hwnd, id);
  }

 private:
  HWND m_Hwnd = nullptr;
};

}  // namespace monitor
