// CMainDialog: the program's main window. It wires the monitor (which owns
// the disks, the refresh cycle and the timers) to the skinned controls of
// the disk panel, the disk buttons, the S.M.A.R.T. detail pane and the
// system-information pane, and
// routes commands and keys. It holds no disk logic: what the panel shows
// comes from monitor/PanelText, what the list shows from
// monitor/AttributeList.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/LanguageFile.h"
#include "app/Settings.h"
#include "monitor/Monitor.h"
#include "monitor/win32/TslInfoDlg.h"
#include "monitor/win32/Win32TimerHost.h"
#include "tools/SystemInfo.h"
#include "tools/win32/SystemInfoDlg.h"
#include "ui/win32/DialogCx.h"
#include "ui/win32/SkinControl.h"
#include "ui/win32/SplashScreenEx.h"

namespace monitor {

// What the main window is given at start.
struct MainDialogSetup {
  os::Platform* Platform = nullptr;  // the machine whose disks are shown
  app::CSettings* Settings = nullptr;
  std::wstring LanguageFolder;       // with trailing backslash
  std::wstring CustomizationFolder;  // with trailing backslash
  std::wstring Screenshot;           // when set: draw once into this PNG file and end
  bool ScreenshotDetails = false;    // the screenshot shows the detail pane
  bool ScreenshotSystem = false;     // the screenshot shows the system-information pane
  std::wstring Bench;                // when set: measure, write the figures there and end
  int64_t ProcessStart = 0;          // QueryPerformanceCounter at the start of WinMain
};

class CMainDialog : public ui::CDialogCx, public IMonitorListener {
 public:
  explicit CMainDialog(const MainDialogSetup& setup);
  ~CMainDialog() override;

  // Number of disks found at the end of the initialisation.
  int32_t DiskCount() const { return m_Monitor.DiskCount(); }

  // IMonitorListener
  void OnMonitorChanged(uint32_t changes) override;
  void OnBusy(bool busy) override;

 protected:
  BOOL OnInitDialog() override;
  void OnCommand(int id, int code, HWND control) override;
  void OnCancel() override;
  void OnOK() override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) override;
  void RelayoutDialog() override;

 private:
  void InitLanguage();
  void ChangeLang();
  void CreateControls();
  void RenderPanel();
  void RenderButtons();
  void ShowView(int view);
  void TryExit();
  void TakeScreenshot();
  void RunBench();
  std::string GetText(const std::string& section, const std::string& key) const;

  MainDialogSetup m_Setup;
  CWin32TimerHost m_Timers;
  CMonitor m_Monitor;
  app::CLanguageText m_Language;
  std::string m_CurrentLanguage = "English";
  HICON m_IconLarge = nullptr;
  HICON m_IconSmall = nullptr;
  int m_View = 1;
  bool m_UiReady = false;
  int m_BusyDepth = 0;
  HCURSOR m_SavedCursor = nullptr;
  // Start-up figures for the benchmark (milliseconds).
  double m_MonitorMs = 0;
  double m_FirstPaintMs = 0;

  ui::CButtonCx m_Refresh, m_Rescan, m_SmartView, m_GraphView, m_Previous, m_Next;
  std::array<ui::CButtonCx, 8> m_DiskButtons;
  ui::CStaticCx m_Version, m_NotYet, m_Title, m_Status, m_StatusImage, m_Life, m_Temperature,
      m_Remaining, m_FormFactor, m_StatusLabel, m_TemperatureLabel, m_LifespanLabel;
  struct Field {
    const char* Key;  // label key of section "Dialog"
    ui::CStaticCx Label;
    ui::CStaticCx Value;
  };
  std::vector<std::unique_ptr<Field>> m_Fields;

  ui::CSplashScreenEx m_Splash;
  // The detail pane: created on first use, owned here alone.
  std::unique_ptr<CTslInfoDlg> m_TslInfo;
  // The system information, collected once at start, and its pane (view 4,
  // created on first use).
  SystemInfo m_SystemInfo;
  double m_SystemInfoMs = 0;
  std::unique_ptr<tools::CSystemInfoDlg> m_SystemInfoPane;
};

}  // namespace monitor
