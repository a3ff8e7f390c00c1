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
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/LanguageFile.h"
#include "app/Settings.h"
#include "monitor/FrontEndServices.h"
#include "monitor/Monitor.h"
#include "monitor/StatusService.h"
#include "monitor/Tray.h"
#include "monitor/win32/AlertSoundPlayer.h"
#include "monitor/win32/DeliveryLog.h"
#include "monitor/win32/GraphDlg.h"
#include "monitor/win32/TrayShell.h"
#include "monitor/win32/TslInfoDlg.h"
#include "monitor/win32/Win32TimerHost.h"
#include "os/Registry.h"
#include "os/win32/Win32Clock.h"
#include "os/win32/Win32Shell.h"
#include "os/win32/Win32TaskScheduler.h"
#include "tools/PerformanceSampler.h"
#include "tools/StartupRegistration.h"
#include "tools/SystemInfo.h"
#include "tools/UpdateCheck.h"
#include "tools/win32/AboutDlg.h"
#include "tools/win32/AdvancedSettings.h"
#include "tools/win32/BenchmarkDlg.h"
#include "tools/win32/MemoryDlg.h"
#include "tools/win32/PerformanceDlg.h"
#include "tools/win32/SettingDlg.h"
#include "tools/win32/SystemInfoDlg.h"
#include "ui/win32/DialogCx.h"
#include "ui/win32/SkinControl.h"
#include "ui/win32/SplashScreenEx.h"

namespace monitor {

// What the main window is given at start.
struct MainDialogSetup {
  os::Platform* Platform = nullptr;  // the machine whose disks are shown
  // The system the program runs on (start-up registration, updater, web
  // links), whatever machine's disks are shown.
  os::Platform* System = nullptr;
  std::string ExeFolder;      // with trailing backslash
  std::string UpdaterFolder;  // with trailing backslash
  // Where the banner text is downloaded from (a test points it at a local
  // server).
  std::string BannerUrl;
  // When set, links are written to this file, one a line, instead of being
  // opened (tests).
  std::wstring LinkLog;
  // When set, each balloon, event-log record and alert sound is also
  // written to this file (tests; see DeliveryLog.h).
  std::wstring DeliveryLog;
  app::CSettings* Settings = nullptr;
  std::wstring LanguageFolder;       // with trailing backslash
  std::wstring CustomizationFolder;  // with trailing backslash
  std::string SmartFolder;           // the history root's folder, without the adapter part
  std::wstring OpusDecoderPath;      // the alert sound's decoder beside the program
  // Called before each piece of timed or commanded work (a simulated
  // machine's clock follows the real one); may be empty.
  std::function<void()> BeforeWork;
  std::wstring Screenshot;         // when set: draw once into this PNG file and end
  bool ScreenshotDetails = false;  // the screenshot shows the detail pane
  bool ScreenshotSystem = false;   // the screenshot shows the system-information pane
  int ScreenshotView = 0;  // the screenshot shows this view (2 memory, 3 settings, 7 about, 8
                           // performance)
  bool ScreenshotBenchmark = false;  // the screenshot shows the benchmark pane
  // The graph pane is shown at start with this item code (-1: not shown),
  // interval and disk.
  int32_t ScreenshotGraphCode = -1;
  int32_t ScreenshotGraphInterval = 0;
  int32_t ScreenshotGraphDisk = -1;  // -1: the selected disk
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
  void CheckResident() override;
  void OnRescan(bool begins) override;

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
  // Ends the dialog: the tray icons and the status tree go first; a dialog
  // of ours still open (a pane's message box) is dismissed.
  void Leave(INT_PTR result);
  void CloseOwnedDialogs();
  // The panes made so far.
  std::vector<ui::CDialogCx*> Panes() const;
  void TakeScreenshot();
  void RunBench();
  std::string GetText(const std::string& section, const std::string& key) const;
  std::unique_ptr<CFrontEndServices> MakeServices();
  // The history root chosen at start (ends with a separator).
  const std::string& HistoryRoot() const { return m_HistoryRoot; }
  void CreateTray();
  void ApplyWindowAction(WindowAction action);
  void ShowTrayMenu();
  bool OnTrayMessage(UINT msg, WPARAM wp, LPARAM lp);
  // The performance sampler: (re)opened for the disks of the list, and one
  // 500 ms tick with the read-outs of the selected disk it updates.
  void StartSampler();
  // WM_SIZE: the first restore after a minimized start begins the sampling.
  void OnSize(WPARAM kind);
  void SamplePerformance();
  void ShowReadouts();
  void ShowReadouts(const DiskReadouts& r);
  // A web link the user asked for, checked before it reaches the shell.
  void OpenLink(const std::string& link);
  void ClickProductPicture();
  tools::AboutTexts CurrentAboutTexts();

  MainDialogSetup m_Setup;
  CDeliveryLog m_DeliveryLog;
  // Set while the services are made (before them in this order).
  std::string m_HistoryRoot;
  CWin32TimerHost m_Timers;
  app::CLanguageText m_Language;
  std::unique_ptr<CFrontEndServices> m_Services;
  CMonitor m_Monitor;
  // The status service on the window's one-second timer.
  CStatusServiceTimer m_StatusService;
  CAlertSoundPlayer m_Sound;
  // The notification area (created with the window).
  UINT m_MainIconMessage = 0;
  UINT m_MainIconId = 0;
  UINT m_TaskbarCreated = 0;
  // Automation's probe: see OnMessage.
  UINT m_IdleProbe = 0;
  std::array<UINT, MAX_DISK> m_DiskIconMessages{};
  HICON m_TrayIcon = nullptr;
  std::unique_ptr<CWin32TrayShell> m_TrayShell;
  // The waits between the tray's attempts pass in real time, whatever
  // machine is shown.
  os::CWin32Clock m_RealClock;
  std::unique_ptr<CTray> m_Tray;
  // While false, the window is not shown (resident start, hidden).
  bool m_ShowAllowed = false;
  // The window is minimized; it has been restored from minimized once.
  bool m_Minimized = false;
  bool m_RestoredOnce = false;
  // The close request comes from the window's own Close (not log-off).
  bool m_SystemClose = false;
  std::string m_CurrentLanguage = "English";
  // The language list the settings pane offers ("Display, [Name]").
  std::vector<std::string> m_LanguageList;
  // Set while the settings pane is asked for its About page (F1).
  bool m_AboutAsked = false;
  HICON m_IconLarge = nullptr;
  HICON m_IconSmall = nullptr;
  int m_View = 1;
  bool m_UiReady = false;
  int m_BusyDepth = 0;
  HCURSOR m_SavedCursor = nullptr;
  // Start-up figures for the benchmark (milliseconds).
  double m_MonitorMs = 0;
  double m_InitAtaMs = 0;
  double m_FirstPaintMs = 0;

  ui::CButtonCx m_Refresh, m_Rescan, m_SmartView, m_GraphView, m_PerformanceView, m_AboutButton,
      m_SettingsView, m_Previous, m_Next;
  std::array<ui::CButtonCx, 8> m_DiskButtons;
  ui::CStaticCx m_Version, m_Title, m_Status, m_StatusImage, m_Life, m_Temperature, m_Remaining,
      m_FormFactor, m_StatusLabel, m_TemperatureLabel, m_LifespanLabel;
  struct Field {
    const char* Key;  // label key of section "Dialog"
    ui::CStaticCx Label;
    ui::CStaticCx Value;
  };
  std::vector<std::unique_ptr<Field>> m_Fields;

  // The selected disk's transfer rates (read, write, total) and gauges.
  ui::CStaticCx m_ReadLabel, m_WriteLabel, m_ReadRate, m_WriteRate, m_TotalRate, m_ReadPercent,
      m_WritePercent, m_ReadGauge, m_WriteGauge, m_LoadImage;
  CPerformanceSampler m_Sampler;

  ui::CSplashScreenEx m_Splash;
  // The detail and graph panes: created on first use, owned here alone.
  std::unique_ptr<CTslInfoDlg> m_TslInfo;
  std::unique_ptr<CGraphDlg> m_Graph;
  // The system information, collected once at start, and its pane (view 4,
  // created on first use).
  SystemInfo m_SystemInfo;
  double m_SystemInfoMs = 0;
  std::unique_ptr<tools::CSystemInfoDlg> m_SystemInfoPane;
  // The memory pane (view 2, created on first use).
  std::unique_ptr<tools::CMemoryDlg> m_MemoryPane;
  // The system-performance pane (view 8, created on first use).
  std::unique_ptr<tools::CPerformanceDlg> m_PerformancePane;
  std::unique_ptr<tools::CBenchmarkDlg> m_Benchmark;
  // The about pane (view 7, created on first use).
  std::unique_ptr<tools::CAboutDlg> m_AboutPane;
  // The advanced settings dialog (WM_USER + 103), one at a time.
  std::unique_ptr<tools::CAdvancedSettings> m_Advanced;
  // Start at log-on and the updater, on the real system.
  os::CWin32Shell m_Shell;
  os::CWin32TaskScheduler m_TaskScheduler;
  std::unique_ptr<os::IRegistry> m_Registry;
  std::unique_ptr<tools::CStartupRegistration> m_Startup;
  std::unique_ptr<tools::CUpdateCheck> m_Update;
  // The settings pane (view 3, created on first use).
  std::unique_ptr<tools::CSettingDlg> m_SettingsPane;
  void CreateSettingsPane();
};

}  // namespace monitor
