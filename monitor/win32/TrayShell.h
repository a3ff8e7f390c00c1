// The notification area through Shell_NotifyIconW: the icons the tray
// decided on, with their tooltips and balloons, owned by the main window.
// Temperature icons are drawn here at run time: the disk's temperature on
// its status colour. Every call is one attempt; CTray does the retries.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <array>
#include <map>
#include <string>

#include "monitor/Tray.h"
#include "monitor/win32/DeliveryLog.h"

namespace monitor {

class CWin32TrayShell : public ITrayShell {
 public:
  // `mainMessage` is the callback message of the main icon, `diskMessages`
  // those of the temperature icons ("TempIcon0" ...). `mainIcon` is owned by
  // the caller and may be null (the icon is added without an image). Each
  // balloon is also written to `log` (when on).
  CWin32TrayShell(HWND owner, UINT mainMessage, const std::array<UINT, MAX_DISK>& diskMessages,
                  HICON mainIcon, CDeliveryLog log = CDeliveryLog());
  ~CWin32TrayShell() override;
  CWin32TrayShell(const CWin32TrayShell&) = delete;
  CWin32TrayShell& operator=(const CWin32TrayShell&) = delete;

  bool Add(uint32_t id, int32_t disk, const TrayIconLook& look, const std::string& tip) override;
  bool Modify(uint32_t id, const TrayIconLook& look, const std::string& tip) override;
  bool SetTip(uint32_t id, const std::string& tip) override;
  bool Balloon(uint32_t id, int32_t level, const std::string& title,
               const std::string& text) override;
  bool Delete(uint32_t id) override;

  // A temperature icon's image: the figure on the status colour, at the
  // small icon size. The caller destroys it.
  static HICON DrawTemperatureIcon(const TrayIconLook& look, int size);

 private:
  NOTIFYICONDATAW Data(uint32_t id) const;
  HICON ImageFor(uint32_t id, const TrayIconLook& look);
  void Forget(uint32_t id);

  HWND m_Owner;
  UINT m_MainMessage;
  std::array<UINT, MAX_DISK> m_DiskMessages;
  HICON m_MainIcon;
  CDeliveryLog m_Log;
  // The images drawn for each icon, destroyed when it is replaced or goes.
  std::map<uint32_t, HICON> m_Drawn;
};

}  // namespace monitor
