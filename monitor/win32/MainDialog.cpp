#include "monitor/win32/MainDialog.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "app/LanguageChoice.h"
#include "base/DebugLog.h"
#include "monitor/AttributeList.h"
#include "monitor/HistoryLog.h"
#include "monitor/SettingsModel.h"
#include "monitor/win32/EventSource.h"
#include "os/Net.h"
#include "os/win32/WinText.h"
#include "resources/resource.h"
#include "tools/Banner.h"
#include "ui/win32/Gdiplus.h"

namespace monitor {
namespace {

double MsSince(int64_t start) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - start) * 1000.0 /
         static_cast<double>(frequency.QuadPart);
}

int64_t Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// Client area of the main window in base units.
constexpr int CLIENT_WIDTH = 1022;
constexpr int CLIENT_HEIGHT = 784;

constexpr wchar_t IDLE_PROBE[] = L"StavrionIdleProbe";
constexpr COLORREF BACKGROUND = RGB(255, 255, 255);
constexpr COLORREF LABEL_COLOR = RGB(90, 96, 104);

// The identity and usage fields of the panel, label key and value, in the
// order they stand.
struct FieldRow {
  const char* Key;
  std::string (*Value)(const PanelTexts&);
};
const FieldRow kFieldRows[] = {
    {"MODEL", [](const PanelTexts& p) { return p.ProductName; }},
    {"FIRMWARE", [](const PanelTexts& p) { return p.Firmware; }},
    {"SERIAL_NUMBER", [](const PanelTexts& p) { return p.SerialNumber; }},
    {"INTERFACE", [](const PanelTexts& p) { return p.Interface; }},
    {"TRANSFER_MODE",
     [](const PanelTexts& p) {
       return p.CurrentTransferMode.empty() ? p.MaxTransferMode
                                            : p.CurrentTransferMode + " | " + p.MaxTransferMode;
     }},
    {"DRIVE_LETTER", [](const PanelTexts& p) { return p.DriveMap; }},
    {"STANDARD", [](const PanelTexts& p) { return p.Standard; }},
    {"CAPACITY",
     [](const PanelTexts& p) {
       return p.HasDisk ? p.Capacity + " (" + p.LbaCapacity + ")" : std::string();
     }},
    {"POWER_ON_COUNT", [](const PanelTexts& p) { return p.PowerOnCount; }},
    {"POWER_ON_HOURS", [](const PanelTexts& p) { return p.PowerOnTime; }},
    {"TOTAL_HOST_READS", [](const PanelTexts& p) { return p.HostReads; }},
    {"TOTAL_HOST_WRITES", [](const PanelTexts& p) { return p.HostWrites; }},
    {"TOTAL_NAND_WRITES", [](const PanelTexts& p) { return p.NandWrites; }},
    {"SPARE_BLOCK", [](const PanelTexts& p) { return p.SpareBlocks; }},
    {"AVERAGE_ERASE_COUNT", [](const PanelTexts& p) { return p.EraseCount; }},
    {"WRITE_AMPLIFICATION", [](const PanelTexts& p) { return p.WriteAmplification; }},
    {"HARDWARE_ECC", [](const PanelTexts& p) { return p.HardwareEcc; }},
    {"ULTRA_DMA_CRC", [](const PanelTexts& p) { return p.UltraDmaCrc; }},
};
constexpr int FIELD_TOP = 176;
constexpr int FIELD_ROW = 32;

COLORREF ToColorRef(const Rgb& c) { return RGB(c.R, c.G, c.B); }

// A light tint of a status colour for the status box.
COLORREF Tint(const Rgb& c) {
  return RGB(255 - (255 - c.R) / 6, 255 - (255 - c.G) / 6, 255 - (255 - c.B) / 6);
}

// The built-in status pictures are drawn for these zooms; resource n + 10 x
// the step's index.
int ZoomStep(double zoom) {
  const int percent = static_cast<int>(zoom * 100 + 0.5);
  const int steps[] = {100, 125, 150, 200, 250, 300};
  for (int k = 0; k < 6; ++k) {
    if (steps[k] == percent) return k;
  }
  return 0;
}

int StatusImageOf(const std::string& image) {
  if (image.find("Good") != std::string::npos || image.find("good") != std::string::npos)
    return IDP_STATUS_GOOD;
  if (image.find("Caution") != std::string::npos || image.find("caution") != std::string::npos)
    return IDP_STATUS_CAUTION;
  if (image.find("Bad") != std::string::npos || image.find("bad") != std::string::npos)
    return IDP_STATUS_BAD;
  return IDP_STATUS_UNKNOWN;
}

}  // namespace

// Messages of the window's own.
constexpr UINT WM_MAIL_RESULT = WM_APP + 4;
constexpr UINT WM_FIRST_POSITION = WM_APP + 3;
// The memory table could not be read: said once the window is up.
constexpr UINT WM_NO_MEMORY_TABLE = WM_APP + 5;
// The settings pane wrote the settings file (wParam 1: the language changed).
constexpr UINT WM_APPLY_SETTINGS = WM_USER + 106;
constexpr UINT WM_ADVANCED_SETTINGS = WM_USER + 103;

CMainDialog::CMainDialog(const MainDialogSetup& setup)
    : m_Setup(setup),
      m_DeliveryLog(setup.DeliveryLog),
      m_Services(MakeServices()),
      m_Monitor(*setup.Platform, *setup.Settings, m_Timers, this, m_Services.get()),
      m_StatusService(
          setup.Platform->Net, setup.Platform->Clock, m_Timers,
          [this] {
            return MakeStatusFigures(m_Sampler.CpuUsage(), m_Sampler.AvailableMb(),
                                     m_SystemInfo.Text.RamSizeMb);
          },
          [](const std::string& line) { base::DebugLog(line); }),
      m_Sound(*setup.Settings, setup.OpusDecoderPath, m_DeliveryLog),
      m_Sampler(setup.Platform->Performance) {
  m_Services->AddSink(&m_Sound);
  m_BackgroundColor = BACKGROUND;
  m_SkinFolder = setup.CustomizationFolder;
  SetTextLookup([this](const std::string& s, const std::string& k) { return GetText(s, k); });
}

std::unique_ptr<CFrontEndServices> CMainDialog::MakeServices() {
  const os::Platform& platform = *m_Setup.Platform;
  // The history the window writes and the graph pane reads: named after the
  // first network adapter's address; the root in use stays when the
  // address cannot be read this time.
  m_HistoryRoot =
      CHistoryLog::ChooseHistoryRoot(platform.Files, platform.System, m_Setup.SmartFolder);
  FrontEndServicesSetup s;
  s.Platform = m_Setup.Platform;
  s.Settings = m_Setup.Settings;
  s.Language = &m_Language;
  s.HistoryRoot = m_HistoryRoot;
  s.ExchangePath = s.HistoryRoot + "Exchange.ini";
  std::string root = s.HistoryRoot;
  if (!root.empty()) root.pop_back();
  if (!root.empty() && !platform.Files.Exists(root) && !platform.Files.CreateDirectories(root)) {
    base::DebugLogF("History folder %s: %s", root.c_str(), platform.Files.LastErrorText().c_str());
  }
  s.ComputerName = platform.Net != nullptr ? platform.Net->LocalHostName() : "";
  s.Newline = "\r\n";
  s.Registry = os::CreateNativeRegistry("");
  s.SystemLog = LoggedSystemLog(os::CreateSystemLog("Vardex"), m_DeliveryLog);
  // The event log takes the alarms of the disks that ask for it; the
  // exchange file is written when the graph pane opens.
  s.SystemLogEveryAlarm = false;
  s.ExchangeOnPublish = false;
  // On the mail queue's thread: only a message crosses to the window.
  s.MailDone = [this](const SmtpResult& r) {
    m_DeliveryLog.Write({"mail", r.Ok ? "1" : "0", r.Detail});
    if (m_Hwnd != nullptr) PostMessageW(m_Hwnd, WM_MAIL_RESULT, r.Ok ? 1 : 0, 0);
  };
  return std::make_unique<CFrontEndServices>(std::move(s));
}

CMainDialog::~CMainDialog() {
  m_TslInfo.reset();
  m_SystemInfoPane.reset();
  m_MemoryPane.reset();
  m_PerformancePane.reset();
  m_SettingsPane.reset();
  m_Benchmark.reset();
  m_AboutPane.reset();
  m_Graph.reset();
  // The queue may still report a mail: nothing is posted to a window that
  // is gone.
  m_Hwnd = nullptr;
  m_Tray.reset();
  m_TrayShell.reset();
  if (m_TrayIcon != nullptr) DestroyIcon(m_TrayIcon);
  if (m_IconLarge != nullptr) DestroyIcon(m_IconLarge);
  if (m_IconSmall != nullptr) DestroyIcon(m_IconSmall);
}

std::string CMainDialog::GetText(const std::string& section, const std::string& key) const {
  return m_Language.Get(section, key);
}

void CMainDialog::InitLanguage() {
  app::CSettings& settings = *m_Setup.Settings;
  const std::string setting = settings.GetText(app::Setting::LANGUAGE);
  const std::wstring folder = m_Setup.LanguageFolder;
  std::vector<app::LanguageEntry> files;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*.lang").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      app::CLanguageFile file;
      const std::string path = os::WideToUtf8(folder + found.cFileName);
      file.Load(m_Setup.Platform->Files, path);
      files.push_back({app::LanguageNameOf(os::WideToUtf8(found.cFileName)),
                       file.GetText("Language", "LOCALE_ID"),
                       file.GetText("Language", "LANGUAGE")});
    } while (files.size() < app::MAX_LANGUAGES && FindNextFileW(search, &found));
    FindClose(search);
  }
  const std::wstring settingPath = folder + os::Utf8ToWide(setting) + L".lang";
  const bool opens =
      !setting.empty() && GetFileAttributesW(settingPath.c_str()) != INVALID_FILE_ATTRIBUTES;
  const app::LanguageChoice choice =
      app::ChooseLanguage(setting, opens, GetUserDefaultLCID(), files);
  m_CurrentLanguage = choice.Current;
  m_LanguageList = choice.List;
  m_Language.English().Load(m_Setup.Platform->Files, os::WideToUtf8(folder + L"English.lang"));
  m_Language.Current().Load(m_Setup.Platform->Files,
                            os::WideToUtf8(folder + os::Utf8ToWide(m_CurrentLanguage) + L".lang"));
  m_FontFace = os::Utf8ToWide(app::FontFaceFor(m_CurrentLanguage));
}

BOOL CMainDialog::OnInitDialog() {
  m_IconLarge = static_cast<HICON>(LoadImageW(
      GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 32, 32, 0));
  m_IconSmall = static_cast<HICON>(LoadImageW(
      GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 16, 16, 0));
  SendMessageW(m_Hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_IconLarge));
  SendMessageW(m_Hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_IconSmall));
  m_Accelerators = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_ACCELERATOR));

  InitLanguage();
  // The splash window while the disks are searched.
  if (m_Splash.Create(m_Hwnd) && m_Splash.SetBitmap(IDP_SPLASH)) {
    m_Splash.SetTextFont(m_CurrentLanguage == "English" ? L"Tahoma" : L"Segoe UI", 14);
    m_Splash.SetTextRect({217, 590, 824, 644});
    m_Splash.SetTextColor(RGB(128, 128, 128));
    m_Splash.Show();
    m_Splash.SetText(GetText("Message", "INITIALIZE"));
  }
  m_ZoomChoice = m_Setup.Settings->Get(app::Setting::ZOOM_TYPE);
  // The user's zoom choice from the start ("ZoomType" 0 follows the DPI);
  // it is not left at 100 % until the DPI happens to change.
  ApplyZoomChoice(m_ZoomChoice);

  SetWindowTextW(m_Hwnd, L"Vardex");
  m_Timers.SetWindow(m_Hwnd);
  CreateControls();
  RelayoutDialog();

  // The system information (it also names the adapter address the history
  // root is named after).
  const int64_t systemInfoStart = Now();
  m_SystemInfo = CollectSystemInfo(m_Setup.Platform->Wmi, m_Setup.Platform->System,
                                   GetText("Dialog", "UNKNOWN"));
  m_SystemInfoMs = MsSince(systemInfoStart);
  if (!m_SystemInfo.ModulesFromSmbios) base::DebugLog("Unable to fetch information from OS.");

  RegisterAlarmEventSource(m_Setup.Settings->Get(app::Setting::EVENT_LOG) != 0);
  CreateTray();
  m_Splash.SetText(GetText("Message", "SEARCH_DEVICE"));
  if (m_Setup.BeforeWork) m_Setup.BeforeWork();
  base::DebugLog("InitAta");
  const int64_t monitorStart = Now();
  m_Monitor.InitAta();
  m_MonitorMs = m_InitAtaMs = MsSince(monitorStart);
  m_Splash.SetText(GetText("Message", "LOAD_RESOURCE"));
  if (m_Monitor.DiskCount() == 0) {
    // Nothing to show: the program ends after saying so (no message box
    // when it draws a picture for the documentation).
    const std::string text = GetText("Message", "TERMINATE_PROGRAM");
    if (m_Setup.Screenshot.empty()) {
      MessageBoxW(m_Hwnd, os::Utf8ToWide(text).c_str(),
                  os::Utf8ToWide(GetText("WARNING", "WindowTitle")).c_str(),
                  MB_OK | MB_ICONERROR | MB_SYSTEMMODAL);
    }
    m_Splash.Hide();
    Leave(0);
    return TRUE;
  }
  m_Setup.Settings->SetText(app::Setting::EXEC_FAILED, "1");
  StartSampler();
  const int64_t startStart = Now();
  {
    // Start at log-on and the updater act on the system the program runs
    // on, never on a simulated machine.
    os::Platform& system = m_Setup.System != nullptr ? *m_Setup.System : *m_Setup.Platform;
    m_Registry = os::CreateNativeRegistry("");
    m_Startup = std::make_unique<tools::CStartupRegistration>(
        *m_Setup.Settings, m_Shell, &m_TaskScheduler, *m_Registry, system.Files.ExecutablePath(),
        system.System.GetOsVersion().MajorVersion);
    m_Update = std::make_unique<tools::CUpdateCheck>(*m_Setup.Settings, m_Shell, system.Files,
                                                     system.Clock, m_Setup.UpdaterFolder);
    m_Update->Initialize();
    base::DebugLog("CheckStartup");
    m_Tray->SetStartupFlag(m_Startup->CheckStartup());
  }
  ChangeLang();
  m_MonitorMs += MsSince(startStart);
  m_UiReady = true;
  m_Tray->UpdateTrayTooltip();
  // Resident: the overview of temperatures out of their limits, and the
  // window stays hidden until it is opened from the tray (unless it starts
  // minimized).
  m_ShowAllowed = true;
  if (m_Tray->IsResident()) {
    base::DebugLog("AlarmOverheat()");
    m_Monitor.AlarmOverheat();
    if (StartsHidden(true, m_Tray->ResidentMinimize())) m_ShowAllowed = false;
  }
  m_Setup.Settings->SetText(app::Setting::EXEC_FAILED, "0");
  m_StatusService.Start(m_Setup.Settings->Get(app::Setting::TSL_OPT));

  // Centre on the screen's work area.
  RECT window, work;
  GetWindowRect(m_Hwnd, &window);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int w = window.right - window.left, h = window.bottom - window.top;
  SetWindowPos(m_Hwnd, nullptr, work.left + std::max(0L, (work.right - work.left - w) / 2),
               work.top + std::max(0L, (work.bottom - work.top - h) / 2), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);
  m_Splash.Hide();
  if (m_Setup.ScreenshotDetails) ShowView(5);
  if (m_Setup.ScreenshotSystem) ShowView(4);
  if (m_Setup.ScreenshotView == 2 || m_Setup.ScreenshotView == 3 || m_Setup.ScreenshotView == 7 ||
      m_Setup.ScreenshotView == 8) {
    ShowView(m_Setup.ScreenshotView);
  }
  if (m_Setup.ScreenshotBenchmark) ShowView(9);
  if (m_Setup.ScreenshotGraphCode >= 0) {
    if (m_Setup.ScreenshotGraphDisk >= 0) m_Monitor.SelectDrive(m_Setup.ScreenshotGraphDisk);
    ShowView(6);
    if (m_Graph) m_Graph->Choose(m_Setup.ScreenshotGraphCode, m_Setup.ScreenshotGraphInterval);
  }
  if (!m_Setup.Screenshot.empty()) PostMessageW(m_Hwnd, WM_APP + 1, 0, 0);
  if (!m_Setup.Bench.empty()) PostMessageW(m_Hwnd, WM_APP + 2, 0, 0);
  PostMessageW(m_Hwnd, WM_FIRST_POSITION, 0, 0);
  // The memory modules came from WMI's list instead of the firmware's table:
  // the user is told, over the window rather than before it (not when the
  // program draws a picture for the documentation).
  if (!m_SystemInfo.ModulesFromSmbios && m_Setup.Screenshot.empty()) {
    PostMessageW(m_Hwnd, WM_NO_MEMORY_TABLE, 0, 0);
  }
  return TRUE;
}

void CMainDialog::CreateTray() {
  m_MainIconMessage = RegisterWindowMessageW(L"Stavrion");
  m_MainIconId = RegisterWindowMessageW(L"StavrionIcon");
  m_TaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
  m_IdleProbe = RegisterWindowMessageW(IDLE_PROBE);
  for (size_t i = 0; i < m_DiskIconMessages.size(); ++i) {
    m_DiskIconMessages[i] = RegisterWindowMessageW((L"TempIcon" + std::to_wstring(i)).c_str());
  }
  // The main icon's image: the customization folder's, else our own.
  const int size = GetSystemMetrics(SM_CXSMICON);
  m_TrayIcon = static_cast<HICON>(
      LoadImageW(nullptr, (m_Setup.CustomizationFolder + L"Stavrion16.ico").c_str(), IMAGE_ICON,
                 size, size, LR_LOADFROMFILE));
  if (m_TrayIcon == nullptr) {
    m_TrayIcon = static_cast<HICON>(LoadImageW(
        GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, size, size, 0));
  }
  m_TrayShell = std::make_unique<CWin32TrayShell>(m_Hwnd, m_MainIconMessage, m_DiskIconMessages,
                                                  m_TrayIcon, m_DeliveryLog);
  m_Tray = std::make_unique<CTray>(
      *m_TrayShell, m_Monitor, *m_Setup.Settings, m_RealClock, m_MainIconId,
      [this](const std::string& section, const std::string& key) { return GetText(section, key); },
      [this](const ATA_SMART_INFO& disk, size_t maxLength) {
        // The volumes of the machine shown: label, free and total space.
        return DriveLetterText(disk, VolumesOf(m_Setup.Platform->Volumes), maxLength);
      });
  m_Services->AddSink(m_Tray.get());
}

void CMainDialog::CheckResident() {
  if (!m_Tray) return;
  m_Tray->CheckResident();
  m_Monitor.SetResident(m_Tray->IsResident());
}

void CMainDialog::ApplyWindowAction(WindowAction action) {
  switch (action) {
    case WindowAction::RESTORE:
      m_ShowAllowed = true;
      ShowWindow(m_Hwnd, SW_RESTORE);
      SetForegroundWindow(m_Hwnd);
      break;
    case WindowAction::MINIMIZE:
      m_ShowAllowed = true;
      ShowWindow(m_Hwnd, SW_MINIMIZE);
      break;
    case WindowAction::HIDE:
      ShowWindow(m_Hwnd, SW_HIDE);
      break;
    case WindowAction::EXIT:
      TryExit();
      break;
    case WindowAction::NONE:
      break;
  }
}

void CMainDialog::ShowTrayMenu() {
  HMENU popup = CreatePopupMenu();
  auto append = [](HMENU menu, const TrayMenuItem& item) {
    if (item.Separator) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      return;
    }
    const std::wstring text = os::Utf8ToWide(item.Text);
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING | MIIM_ID;
    info.fType = MFT_STRING | MFT_RADIOCHECK;
    info.fState = (item.Checked ? MFS_CHECKED : 0u) | (item.Grayed ? MFS_GRAYED : 0u);
    info.wID = item.Command;
    info.dwTypeData = const_cast<wchar_t*>(text.c_str());
    InsertMenuItemW(menu, static_cast<UINT>(GetMenuItemCount(menu)), TRUE, &info);
  };
  for (const TrayMenuItem& item : m_Tray->BuildMenu()) {
    if (item.Submenu.empty()) {
      append(popup, item);
      continue;
    }
    HMENU sub = CreatePopupMenu();
    for (const TrayMenuItem& s : item.Submenu) append(sub, s);
    AppendMenuW(popup, MF_POPUP, reinterpret_cast<UINT_PTR>(sub),
                os::Utf8ToWide(item.Text).c_str());
  }
  SetForegroundWindow(m_Hwnd);
  POINT at{};
  GetCursorPos(&at);
  TrackPopupMenu(popup, TPM_RIGHTALIGN | TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, m_Hwnd,
                 nullptr);
  PostMessageW(m_Hwnd, WM_NULL, 0, 0);
  DestroyMenu(popup);
}

bool CMainDialog::OnTrayMessage(UINT msg, WPARAM /*wp*/, LPARAM lp) {
  if (!m_Tray || msg < 0xC000) return false;
  if (msg == m_TaskbarCreated) {
    m_Tray->OnTaskbarCreated();
    return true;
  }
  const UINT mouse = LOWORD(lp);
  if (msg == m_MainIconMessage) {
    if (mouse == WM_LBUTTONDOWN) {
      m_ShowAllowed = true;
      ApplyWindowAction(MainIconClickAction(
          m_Tray->ResidentMinimize(), IsWindowVisible(m_Hwnd) != FALSE, IsIconic(m_Hwnd) != FALSE));
      SetForegroundWindow(m_Hwnd);
    } else if (mouse == WM_RBUTTONDOWN) {
      ShowTrayMenu();
    }
    return true;
  }
  for (size_t j = 0; j < m_DiskIconMessages.size(); ++j) {
    if (msg != m_DiskIconMessages[j]) continue;
    if (mouse == WM_LBUTTONDOWN) {
      m_Monitor.SelectDrive(static_cast<int32_t>(j));
      ApplyWindowAction(WindowAction::RESTORE);
    } else if (mouse == WM_RBUTTONDOWN) {
      ShowTrayMenu();
    }
    return true;
  }
  return false;
}

void CMainDialog::CreateControls() {
  auto button = [this](ui::CButtonCx& b, int id) { CreateSkinButton(b, id, BACKGROUND); };
  auto label = [this](ui::CStaticCx& s, int id) { CreateSkinLabel(s, id, BACKGROUND); };
  button(m_Refresh, IDC_REFRESH);
  button(m_Rescan, IDC_RESCAN);
  button(m_SmartView, IDC_SMART_VIEW);
  button(m_GraphView, IDC_GRAPH_VIEW);
  button(m_PerformanceView, IDC_PERFORMANCE_VIEW);
  button(m_AboutButton, IDC_ABOUT_BUTTON);
  button(m_SettingsView, IDC_SETTINGS_VIEW);
  button(m_Previous, IDC_PREVIOUS);
  button(m_Next, IDC_NEXT);
  for (size_t i = 0; i < m_DiskButtons.size(); ++i) {
    button(m_DiskButtons[i], IDC_DISK_FIRST + static_cast<int>(i));
  }
  label(m_Version, IDC_VERSION);
  label(m_Title, IDC_TITLE);
  label(m_Status, IDC_STATUS);
  label(m_StatusImage, IDC_STATUS_IMAGE);
  label(m_Life, IDC_LIFE);
  label(m_Temperature, IDC_TEMPERATURE);
  label(m_Remaining, IDC_REMAINING);
  label(m_FormFactor, IDC_FORM_FACTOR);
  label(m_StatusLabel, IDC_STATUS_LABEL);
  label(m_TemperatureLabel, IDC_TEMPERATURE_LABEL);
  label(m_LifespanLabel, IDC_LIFESPAN_LABEL);
  label(m_ReadLabel, IDC_READ_LABEL);
  label(m_WriteLabel, IDC_WRITE_LABEL);
  label(m_ReadRate, IDC_READ_RATE);
  label(m_WriteRate, IDC_WRITE_RATE);
  label(m_TotalRate, IDC_TOTAL_RATE);
  label(m_ReadPercent, IDC_READ_PERCENT);
  label(m_WritePercent, IDC_WRITE_PERCENT);
  label(m_ReadGauge, IDC_READ_GAUGE);
  label(m_WriteGauge, IDC_WRITE_GAUGE);
  m_ReadGauge.SetImageScaled(true);
  m_WriteGauge.SetImageScaled(true);
  label(m_LoadImage, IDC_LOAD_IMAGE);
  m_LoadImage.SetImageScaled(true);
  int i = 0;
  for (const FieldRow& row : kFieldRows) {
    auto field = std::make_unique<Field>();
    field->Key = row.Key;
    label(field->Label, IDC_FIELD_LABEL_FIRST + i);
    label(field->Value, IDC_FIELD_VALUE_FIRST + i);
    m_Fields.push_back(std::move(field));
    ++i;
  }
}

void CMainDialog::RelayoutDialog() {
  SetClientSize(CLIENT_WIDTH, CLIENT_HEIGHT);
  const double z = m_Zoom;
  const std::wstring& face = m_FontFace;
  auto place = [&](ui::CSkinControl& c, int x, int y, int w, int h, int size, int weight,
                   COLORREF color, int align) {
    c.Place(x, y, w, h, z);
    c.SetControlFont(face, size, z, weight, color);
    c.SetTextAlign(align);
  };
  place(m_Refresh, 16, 12, 130, 40, 15, 400, RGB(0, 0, 0), 1);
  place(m_Rescan, 152, 12, 130, 40, 15, 400, RGB(0, 0, 0), 1);
  place(m_SmartView, 288, 12, 150, 40, 15, 400, RGB(0, 0, 0), 1);
  place(m_GraphView, 444, 12, 130, 40, 15, 400, RGB(0, 0, 0), 1);
  place(m_PerformanceView, 580, 12, 170, 40, 15, 400, RGB(0, 0, 0), 1);
  place(m_SettingsView, 756, 12, 120, 40, 15, 400, RGB(0, 0, 0), 1);
  place(m_AboutButton, 882, 12, 124, 40, 15, 400, RGB(0, 0, 0), 1);
  place(m_Previous, 16, 62, 40, 54, 18, 700, RGB(0, 0, 0), 1);
  place(m_Next, 966, 62, 40, 54, 18, 700, RGB(0, 0, 0), 1);
  for (size_t i = 0; i < m_DiskButtons.size(); ++i) {
    place(m_DiskButtons[i], 62 + static_cast<int>(i) * 113, 62, 107, 54, 14, 400, RGB(0, 0, 0), 1);
  }
  place(m_Title, 16, 124, 990, 44, 22, 700, RGB(20, 24, 30), 0);
  place(m_StatusLabel, 16, 176, 300, 26, 15, 700, LABEL_COLOR, 0);
  m_StatusImage.Place(16, 204, 80, 96, z);
  place(m_Status, 100, 204, 216, 62, 30, 700, RGB(110, 110, 110), 1);
  place(m_Life, 100, 266, 216, 32, 20, 400, RGB(60, 60, 60), 1);
  place(m_TemperatureLabel, 16, 314, 300, 26, 15, 700, LABEL_COLOR, 0);
  place(m_Temperature, 16, 342, 300, 64, 30, 400, RGB(127, 127, 127), 1);
  place(m_LifespanLabel, 16, 420, 300, 26, 15, 700, LABEL_COLOR, 0);
  place(m_Remaining, 16, 448, 300, 44, 22, 400, RGB(60, 60, 60), 1);
  place(m_FormFactor, 16, 500, 300, 30, 14, 400, LABEL_COLOR, 1);
  place(m_ReadLabel, 16, 540, 146, 24, 14, 700, LABEL_COLOR, 1);
  place(m_WriteLabel, 170, 540, 146, 24, 14, 700, LABEL_COLOR, 1);
  place(m_ReadRate, 16, 566, 146, 30, 16, 400, RGB(60, 60, 60), 1);
  place(m_WriteRate, 170, 566, 146, 30, 16, 400, RGB(60, 60, 60), 1);
  m_ReadGauge.Place(19, 600, 140, 14, z);
  m_WriteGauge.Place(173, 600, 140, 14, z);
  place(m_ReadPercent, 16, 618, 146, 24, 13, 400, RGB(127, 127, 127), 1);
  place(m_WritePercent, 170, 618, 146, 24, 13, 400, RGB(127, 127, 127), 1);
  // The load meter left of the total, which stays centred under the gauges.
  m_LoadImage.Place(16, 648, 56, 56, z);
  place(m_TotalRate, 76, 648, 180, 56, 16, 700, RGB(60, 60, 60), 1);
  for (size_t i = 0; i < m_Fields.size(); ++i) {
    const int y = FIELD_TOP + static_cast<int>(i) * FIELD_ROW;
    place(m_Fields[i]->Label, 336, y, 250, FIELD_ROW - 2, 14, 400, LABEL_COLOR, 2);
    place(m_Fields[i]->Value, 596, y, 410, FIELD_ROW - 2, 14, 700, RGB(20, 24, 30), 0);
  }
  place(m_Version, 806, 756, 200, 24, 12, 400, LABEL_COLOR, 2);
  m_StatusImage.SetBackground(BACKGROUND);
  if (m_TslInfo) {
    m_TslInfo->Destroy();
    m_TslInfo.reset();
    if (m_View == 5) ShowView(5);
  }
  if (m_Graph) {
    m_Graph->Destroy();
    m_Graph.reset();
    if (m_View == 6) ShowView(6);
  }
  if (m_SystemInfoPane) {
    m_SystemInfoPane->Destroy();
    m_SystemInfoPane.reset();
    if (m_View == 4) ShowView(4);
  }
  if (m_MemoryPane) {
    m_MemoryPane->Destroy();
    m_MemoryPane.reset();
    if (m_View == 2) ShowView(2);
  }
  if (m_PerformancePane) {
    m_PerformancePane->Destroy();
    m_PerformancePane.reset();
    if (m_View == 8) ShowView(8);
  }
  if (m_AboutPane) {
    m_AboutPane->Destroy();
    m_AboutPane.reset();
    if (m_View == 7) ShowView(7);
  }
  if (m_SettingsPane) {
    m_SettingsPane->Destroy();
    m_SettingsPane.reset();
    if (m_View == 3) ShowView(3);
  }
  // The benchmark keeps its run and results: laid out again, not made anew.
  if (m_Benchmark) m_Benchmark->SetZoom(m_Zoom);
  if (m_UiReady) {
    RenderPanel();
    RenderButtons();
  }
  InvalidateRect(m_Hwnd, nullptr, TRUE);
}

void CMainDialog::ChangeLang() {
  SetWindowTextW(m_Refresh.Hwnd(), os::Utf8ToWide(GetText("Dialog", "REFRESH")).c_str());
  SetWindowTextW(m_Rescan.Hwnd(), os::Utf8ToWide(GetText("Dialog", "RESCAN")).c_str());
  m_SmartView.SetText(GetText("Dialog", "SMART"));
  m_GraphView.SetText(GetText("Dialog", "GRAPHS"));
  m_PerformanceView.SetText(GetText("WindowTitle", "SYSTEM_PERFORMANCE"));
  m_AboutButton.SetText(GetText("Dialog", "ABOUT"));
  m_AboutButton.SetToolTipText(m_ToolTip, GetText("Dialog", "ABOUT"));
  m_SettingsView.SetText(GetText("Dialog", "SETTINGS"));
  m_SettingsView.SetToolTipText(m_ToolTip, GetText("Tips", "SETTINGS_BUTTON"));
  m_Previous.SetText("<");
  m_Next.SetText(">");
  // The version text: "VERSION" of the customization file; "Blank" shows
  // none, a missing or empty value the built-in text.
  app::CLanguageFile customization;
  customization.Load(m_Setup.Platform->Files,
                     os::WideToUtf8(m_Setup.CustomizationFolder + L"Customization.ini"));
  const std::string version = customization.GetText("Information", "VERSION");
  m_Version.SetText(version == "Blank" ? std::string() : version.empty() ? "ver 4.0.2" : version);
  m_SmartView.SetToolTipText(m_ToolTip, GetText("Tips", "SMART_BUTTON"));
  m_GraphView.SetToolTipText(m_ToolTip, GetText("Tips", "GRAPHS_BUTTON"));
  m_Refresh.SetToolTipText(m_ToolTip, GetText("Dialog", "REFRESH"));
  m_Rescan.SetToolTipText(m_ToolTip, GetText("Dialog", "RESCAN"));
  auto labelWithTip = [this](ui::CStaticCx& s, const char* key) {
    s.SetText(GetText("Dialog", key));
    // The tooltip is the tip text, a line break and as many blanks as it has
    // characters, so a balloon is wide enough for it.
    const std::string tip = GetText("Tips", key);
    if (!tip.empty()) s.SetToolTipText(m_ToolTip, tip + "\n" + std::string(tip.size() + 1, ' '));
  };
  labelWithTip(m_StatusLabel, "HEALTH_STATUS");
  labelWithTip(m_TemperatureLabel, "TEMPERATURE");
  labelWithTip(m_LifespanLabel, "LIFESPAN");
  labelWithTip(m_ReadLabel, "READ_SPEED");
  labelWithTip(m_WriteLabel, "WRITE_SPEED");
  for (auto& f : m_Fields) labelWithTip(f->Label, f->Key);
  m_Monitor.Start();
  if (m_TslInfo) m_TslInfo->ApplyLanguage();
  if (m_Graph) m_Graph->ApplyLanguage();
  if (m_SystemInfoPane) m_SystemInfoPane->ApplyLanguage();
  if (m_MemoryPane) m_MemoryPane->ApplyLanguage();
  if (m_PerformancePane) m_PerformancePane->ApplyLanguage();
  if (m_Benchmark) m_Benchmark->ApplyLanguage();
  if (m_AboutPane) m_AboutPane->ApplyLanguage();
  if (m_SettingsPane) {
    m_SettingsPane->SetFontFace(m_FontFace);
    m_SettingsPane->RelayoutDialog();
    m_SettingsPane->ApplyLanguage();
  }
  RenderPanel();
  RenderButtons();
  ShowReadouts();
}

void CMainDialog::StartSampler() {
  m_Timers.KillTimer(TIMER_UPDATE_PERFORMANCE);
  m_Sampler.Stop();
  std::vector<PerformanceDisk> disks;
  for (const ATA_SMART_INFO& d : m_Monitor.Disks()) {
    disks.push_back({d.DriveMap, d.PhysicalDriveId, false});
  }
  if (m_Sampler.Start(disks)) {
    // The first collection: rates need a second one.
    m_Sampler.Tick();
    // Minimized in the tray from the start: the ticks begin when the
    // window is first opened.
    if (!m_Tray ||
        !SamplerWaitsForRestore(m_Tray->IsResident(), m_Tray->ResidentMinimize(), m_RestoredOnce)) {
      m_Timers.SetTimer(TIMER_UPDATE_PERFORMANCE, PERFORMANCE_PERIOD_MS);
    }
  }
  ShowReadouts();
}

void CMainDialog::OnRescan(bool begins) {
  if (begins) {
    // Before the rescan's pause: no tick reads counters of disks that may
    // be gone, and the read-outs say there are no rates.
    m_Timers.KillTimer(TIMER_UPDATE_PERFORMANCE);
    m_Sampler.Stop();
    ShowReadouts();
  } else {
    StartSampler();
  }
}

void CMainDialog::OnSize(WPARAM kind) {
  if (kind == SIZE_MINIMIZED) {
    m_Minimized = true;
    return;
  }
  if (kind != SIZE_RESTORED && kind != SIZE_MAXIMIZED) return;
  const bool restored = m_Minimized && m_UiReady;
  m_Minimized = false;
  if (!restored || m_RestoredOnce) return;
  // The first time the window is opened after a minimized start: the
  // sampling that waited for it begins.
  m_RestoredOnce = true;
  if (m_Sampler.Running()) m_Timers.SetTimer(TIMER_UPDATE_PERFORMANCE, PERFORMANCE_PERIOD_MS);
}

void CMainDialog::SamplePerformance() {
  if (static_cast<int32_t>(m_Sampler.Disks().size()) != m_Monitor.DiskCount()) {
    StartSampler();
    return;
  }
  if (!m_Sampler.Running()) return;
  if (!m_Sampler.Tick()) {
    // Nothing collected: the read-outs say so instead of showing old rates.
    ShowReadouts(ClearedReadouts());
    return;
  }
  std::vector<int8_t> temperatures;
  for (const ATA_SMART_INFO& d : m_Monitor.Disks()) temperatures.push_back(d.Temperature);
  m_Sampler.AppendLiveSamples(temperatures, m_Monitor.TakeLogPassDone());
  ShowReadouts();
}

void CMainDialog::ShowReadouts() {
  RateUnits units;
  const auto unit = [this](const char* key, std::string* value) {
    const std::string text = GetText("Dialog", key);
    if (!text.empty()) *value = text;
  };
  unit("BYTE_UNIT", &units.Byte);
  unit("KB_UNIT", &units.Kilo);
  unit("MB_UNIT", &units.Mega);
  const int32_t disk = m_Monitor.SelectedDisk();
  ShowReadouts(m_Sampler.Running() && disk >= 0 && disk < m_Monitor.DiskCount()
                   ? ComputeDiskReadouts(m_Sampler, disk, units)
                   : ClearedReadouts());
}

void CMainDialog::ShowReadouts(const DiskReadouts& r) {
  m_ReadRate.SetText(r.ReadText);
  m_WriteRate.SetText(r.WriteText);
  m_TotalRate.SetText(r.TotalText);
  m_ReadPercent.SetText(r.ReadPercentText);
  m_WritePercent.SetText(r.WritePercentText);
  m_ReadGauge.SetImageResource(r.ReadImage, 1);
  m_WriteGauge.SetImageResource(r.WriteImage, 1);
  m_LoadImage.SetImageResource(r.LoadImage, 1);
}

void CMainDialog::RenderPanel() {
  PanelOptions options;
  options.Fahrenheit = m_Monitor.TemperatureUnit() == 1;
  options.GreenMode = m_Setup.Settings->Get(app::Setting::GREEN_MODE) != 0;
  options.MeasuringPowerOnUnit = m_Monitor.IsMeasuringPowerOnUnit();
  options.TslOpt = static_cast<uint32_t>(m_Setup.Settings->Get(app::Setting::TSL_OPT));
  options.Now = static_cast<int64_t>(std::time(nullptr));
  options.InitialDate = ATA_SMART_INFO().ManufactureDate;
  options.Volumes = VolumesOf(m_Setup.Platform->Volumes);
  const PanelTexts p =
      BuildPanel(m_Monitor.Disks(), m_Monitor.SelectedDisk(), options,
                 [this](const std::string& s, const std::string& k) { return GetText(s, k); });
  m_Title.SetText(p.Title);
  m_Title.SetToolTipText(m_ToolTip, p.DriveLetterTip);
  m_Status.SetText(p.Status.Text);
  m_Status.SetControlFont(m_FontFace, p.Status.Style.Size, m_Zoom, p.Status.Style.Weight,
                          ToColorRef(p.Status.Style.Color));
  m_Status.SetBackground(Tint(p.Status.Style.Color));
  m_Life.SetBackground(Tint(p.Status.Style.Color));
  m_StatusImage.SetBackground(Tint(p.Status.Style.Color));
  // The status shape beside the word (a tick, a triangle, a cross, a
  // question mark): the status reads without its colour.
  const std::wstring skin = FindSkinImage(p.Status.Image);
  if (!m_StatusImage.SetImageFile(skin, 1)) {
    m_StatusImage.SetImageResource(StatusImageOf(p.Status.Image) + 10 * ZoomStep(m_Zoom), 1);
  }
  m_Status.SetToolTipText(m_ToolTip, p.StatusTip);
  m_Life.SetText(p.Status.LifeText);
  m_Life.SetToolTipText(m_ToolTip, p.LifeTip);
  m_Temperature.SetText(p.Temperature.Text);
  m_Temperature.SetControlFont(m_FontFace, p.Temperature.Style.Size, m_Zoom,
                               p.Temperature.Style.Weight, ToColorRef(p.Temperature.Style.Color));
  m_Remaining.SetText(RemainingTimeText(p.Remaining));
  m_FormFactor.SetText(p.FormFactor.Text);
  for (size_t i = 0; i < m_Fields.size(); ++i) {
    std::string value = kFieldRows[i].Value(p);
    m_Fields[i]->Value.SetText(value);
    m_Fields[i]->Value.SetToolTipText(m_ToolTip, value);
  }
  for (auto* c : {&m_Status, &m_Life, &m_StatusImage}) c->Repaint();
}

void CMainDialog::RenderButtons() {
  const std::vector<DriveButton> buttons = DriveButtons(m_Monitor.Disks(), m_Monitor.SelectedDisk(),
                                                        VolumesOf(m_Setup.Platform->Volumes));
  for (size_t i = 0; i < m_DiskButtons.size() && i < buttons.size(); ++i) {
    ui::CButtonCx& b = m_DiskButtons[i];
    b.SetText(buttons[i].Caption);
    b.SetToolTipText(m_ToolTip, buttons[i].Tooltip);
    b.SetSelected(buttons[i].Selected);
    EnableWindow(b.Hwnd(), buttons[i].Disk >= 0);
  }
  const int32_t count = m_Monitor.DiskCount();
  EnableWindow(m_Previous.Hwnd(), count > 0 && m_Monitor.SelectedDisk() > 0);
  EnableWindow(m_Next.Hwnd(), count > 0 && m_Monitor.SelectedDisk() < count - 1);
  m_SmartView.SetSelected(m_View == 5);
  m_GraphView.SetSelected(m_View == 6);
  m_PerformanceView.SetSelected(m_View == 8);
  m_AboutButton.SetSelected(m_View == 7);
  m_SettingsView.SetSelected(m_View == 3);
}

void CMainDialog::CreateSettingsPane() {
  tools::CSettingDlg::Hooks hooks;
  hooks.Disks = [this] {
    std::vector<SettingsDisk> disks;
    const std::vector<std::string> entries = DiskSelectorEntries(m_Monitor.Disks());
    for (int32_t i = 0; i < m_Monitor.DiskCount(); ++i) {
      disks.push_back({m_Monitor.Disks()[i].ModelSerial, entries[static_cast<size_t>(i)]});
    }
    return disks;
  };
  hooks.Languages = [this] { return m_LanguageList; };
  hooks.CurrentLanguage = [this] { return m_CurrentLanguage; };
  hooks.Saved = [this](const SettingsSaveResult& r) {
    // The disks' records take the saved alarms before the settings apply.
    m_Monitor.ReloadAlarms();
    SendMessageW(m_Hwnd, WM_APPLY_SETTINGS, r.LanguageChanged ? 1 : 0, 0);
  };
  hooks.SendMail = [this](const AlarmMail& mail, CMailQueue::Done done) {
    CMailQueue* queue = m_Services->MailQueue();
    return queue != nullptr && queue->Post(mail.Server, mail.Message, std::move(done));
  };
  hooks.ClearLogs = [this](const std::string& modelSerial) {
    return m_Services->Disk().ClearLogs(modelSerial);
  };
  hooks.Back = [this] { ShowView(1); };
  hooks.SystemRows = [this] {
    std::vector<SystemInfoRow> rows = SystemInfoRows(m_SystemInfo.Text, true);
    for (const ATA_SMART_INFO& d : m_Monitor.Disks()) {
      rows.push_back({"DISK", d.Model});
      rows.push_back({"DISK_SN", d.SerialNumber});
    }
    return rows;
  };
  m_SettingsPane = std::make_unique<tools::CSettingDlg>(
      *m_Setup.Settings,
      [this](const std::string& s, const std::string& k) { return GetText(s, k); },
      std::move(hooks));
  m_SettingsPane->SetSkinFolder(m_SkinFolder);
  if (!m_SettingsPane->Create(m_Hwnd, m_Zoom, m_FontFace)) m_SettingsPane.reset();
}

void CMainDialog::ShowView(int view) {
  m_View = view;
  if (view == 5 && !m_TslInfo) {
    m_TslInfo = std::make_unique<CTslInfoDlg>(
        m_Monitor,
        [this] {
          ListTexts texts;
          texts.Current = [this](const std::string& s, const std::string& k) {
            return m_Language.Get(s, k);
          };
          texts.English = [this](const std::string& s, const std::string& k) {
            return m_Language.Get(s, k, true);
          };
          return texts;
        },
        [this] {
          ListOptions o;
          o.RawValues = m_Setup.Settings->Get(app::Setting::RAW_VALUES);
          o.EnglishNames = m_Setup.Settings->Get(app::Setting::SMART_ENGLISH) == 1;
          o.MeasuringPowerOnUnit = m_Monitor.IsMeasuringPowerOnUnit();
          wchar_t thousands[8] = L",";
          GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousands, 8);
          o.Numbers.Thousands = os::WideToUtf8(thousands);
          return o;
        });
    m_TslInfo->SetSkinFolder(m_SkinFolder);
    if (!m_TslInfo->Create(m_Hwnd, m_Zoom, m_FontFace)) m_TslInfo.reset();
  }
  bool graphShown = false;
  if (view == 6) {
    if (!m_Graph) {
      m_Graph = std::make_unique<CGraphDlg>(
          m_Monitor, *m_Setup.Settings, m_Setup.Platform->Files, HistoryRoot(),
          [this](const std::string& s, const std::string& k) { return GetText(s, k); },
          [this](int32_t disk) -> const LiveSamples* {
            const auto& records = m_Sampler.Disks();
            const auto& live = m_Sampler.Live();
            if (!m_Sampler.Running() || disk < 0 || static_cast<size_t>(disk) >= records.size() ||
                static_cast<size_t>(disk) >= live.size() || !records[disk].HasCounters()) {
              return nullptr;
            }
            return &live[static_cast<size_t>(disk)];
          });
      m_Graph->SetSkinFolder(m_SkinFolder);
      if (!m_Graph->Create(m_Hwnd, m_Zoom, m_FontFace)) m_Graph.reset();
    } else {
      // The disks as they are now, whatever happened while it was hidden.
      m_Graph->FillDiskCombo();
    }
    graphShown = m_Graph != nullptr;
  }
  if (view == 4 && !m_SystemInfoPane) {
    m_SystemInfoPane = std::make_unique<tools::CSystemInfoDlg>(
        m_SystemInfo.Text,
        [this] {
          std::vector<tools::SystemInfoDisk> disks;
          for (const ATA_SMART_INFO& d : m_Monitor.Disks()) {
            disks.push_back({d.Model, d.SerialNumber});
          }
          return disks;
        },
        [this](const std::string& s, const std::string& k) { return GetText(s, k); },
        [this] { ShowView(1); });
    m_SystemInfoPane->SetSkinFolder(m_SkinFolder);
    if (!m_SystemInfoPane->Create(m_Hwnd, m_Zoom, m_FontFace)) m_SystemInfoPane.reset();
  }
  if (view == 2 && !m_MemoryPane) {
    m_MemoryPane = std::make_unique<tools::CMemoryDlg>(
        m_SystemInfo.Modules, m_SystemInfo.Text.RamSizeMb,
        [this] { return m_Sampler.AvailableMb(); },
        [this](const std::string& s, const std::string& k) { return GetText(s, k); },
        [this] { ShowView(1); });
    m_MemoryPane->SetSkinFolder(m_SkinFolder);
    if (!m_MemoryPane->Create(m_Hwnd, m_Zoom, m_FontFace)) m_MemoryPane.reset();
  }
  if (view == 8 && !m_PerformancePane) {
    m_PerformancePane = std::make_unique<tools::CPerformanceDlg>(
        [this] {
          // The system disk: the first whose drive letters hold "C:".
          std::vector<std::string> maps;
          for (const ATA_SMART_INFO& d : m_Monitor.Disks()) maps.push_back(d.DriveMap);
          const int32_t system = FindSystemDisk(maps);
          const int32_t driveId =
              system >= 0 ? m_Monitor.Disks()[static_cast<size_t>(system)].PhysicalDriveId : -1;
          return ComputePerformancePane(m_Sampler, m_SystemInfo.Text.RamSizeMb, system, driveId);
        },
        [this](const std::string& s, const std::string& k) { return GetText(s, k); },
        [this] { ShowView(1); });
    m_PerformancePane->SetSkinFolder(m_SkinFolder);
    if (!m_PerformancePane->Create(m_Hwnd, m_Zoom, m_FontFace)) m_PerformancePane.reset();
  }
  if (view == 9) {
    if (!m_Benchmark) {
      tools::CBenchmarkDlg::Hooks hooks;
      hooks.Settings = [this] { return tools::BenchSettingsFrom(*m_Setup.Settings); };
      hooks.OsName = [this] { return m_SystemInfo.Text.WindowsEdition; };
      hooks.Running = [this](bool running) { m_Monitor.SetBenchmarkRunning(running); };
      hooks.Back = [this] { ShowView(1); };
      m_Benchmark = std::make_unique<tools::CBenchmarkDlg>(
          [this](const std::string& s, const std::string& k) { return GetText(s, k); },
          std::move(hooks));
      m_Benchmark->SetSkinFolder(m_SkinFolder);
      if (!m_Benchmark->Create(m_Hwnd, m_Zoom, m_FontFace)) m_Benchmark.reset();
    } else {
      m_Benchmark->Reload();
    }
  }
  if (view == 7 && !m_AboutPane) {
    tools::CAboutDlg::Hooks hooks;
    hooks.Text = [this](const std::string& s, const std::string& k) { return GetText(s, k); };
    hooks.Texts = [this] { return CurrentAboutTexts(); };
    hooks.OnlineHelp = [this] { return m_Setup.Settings->Get(app::Setting::ON_LINE_HELP) != 0; };
    hooks.OpenLink = [this](const std::string& link) { OpenLink(link); };
    hooks.Back = [this] { ShowView(1); };
    hooks.BannerUrl = m_Setup.BannerUrl.empty() ? tools::BANNER_TEXT_URL : m_Setup.BannerUrl;
    hooks.BannerFile = tools::BannerFilePath(m_Setup.ExeFolder, '\\');
    m_AboutPane = std::make_unique<tools::CAboutDlg>(std::move(hooks));
    m_AboutPane->SetSkinFolder(m_SkinFolder);
    if (!m_AboutPane->Create(m_Hwnd, m_Zoom, m_FontFace)) m_AboutPane.reset();
  }
  if (view == 3) {
    if (!m_SettingsPane) {
      CreateSettingsPane();
    } else {
      // What the tray menu or a rescan changed since is shown, not overwritten.
      m_SettingsPane->Reload();
    }
  }
  const bool details = view == 5 && m_TslInfo;
  const bool system = view == 4 && m_SystemInfoPane;
  const bool memory = view == 2 && m_MemoryPane;
  const bool performance = view == 8 && m_PerformancePane;
  const bool bench = view == 9 && m_Benchmark;
  const bool about = view == 7 && m_AboutPane;
  const bool settingsShown = view == 3 && m_SettingsPane;
  const bool panel = !details && !graphShown && !system && !memory && !performance && !bench &&
                     !about && !settingsShown;
  if (m_TslInfo) ShowWindow(m_TslInfo->Hwnd(), details ? SW_SHOW : SW_HIDE);
  if (m_Graph) ShowWindow(m_Graph->Hwnd(), graphShown ? SW_SHOW : SW_HIDE);
  if (m_SystemInfoPane) ShowWindow(m_SystemInfoPane->Hwnd(), system ? SW_SHOW : SW_HIDE);
  if (m_MemoryPane) ShowWindow(m_MemoryPane->Hwnd(), memory ? SW_SHOW : SW_HIDE);
  if (m_PerformancePane) {
    ShowWindow(m_PerformancePane->Hwnd(), performance ? SW_SHOW : SW_HIDE);
  }
  if (m_Benchmark) ShowWindow(m_Benchmark->Hwnd(), bench ? SW_SHOW : SW_HIDE);
  if (m_AboutPane) ShowWindow(m_AboutPane->Hwnd(), about ? SW_SHOW : SW_HIDE);
  if (about) SetFocus(GetDlgItem(m_AboutPane->Hwnd(), IDC_ABOUT_SHORTCUTS));
  if (m_SettingsPane) ShowWindow(m_SettingsPane->Hwnd(), settingsShown ? SW_SHOW : SW_HIDE);
  if (details) SetFocus(GetDlgItem(m_TslInfo->Hwnd(), IDC_ATTRIBUTE_LIST));
  if (graphShown) SetFocus(GetDlgItem(m_Graph->Hwnd(), IDC_GRAPH_ITEM));
  if (system) SetFocus(GetDlgItem(m_SystemInfoPane->Hwnd(), IDC_SYSTEM_LIST));
  if (memory) SetFocus(GetDlgItem(m_MemoryPane->Hwnd(), IDC_MEMORY_SLOT));
  if (bench) SetFocus(GetDlgItem(m_Benchmark->Hwnd(), IDC_BENCH_START));
  if (settingsShown) SetFocus(m_SettingsPane->Hwnd());
  if (panel) m_View = 1;
  std::vector<HWND> panelControls = {
      m_Title.Hwnd(),         m_Status.Hwnd(),       m_StatusImage.Hwnd(),
      m_Life.Hwnd(),          m_Temperature.Hwnd(),  m_Remaining.Hwnd(),
      m_FormFactor.Hwnd(),    m_StatusLabel.Hwnd(),  m_TemperatureLabel.Hwnd(),
      m_LifespanLabel.Hwnd(), m_ReadLabel.Hwnd(),    m_WriteLabel.Hwnd(),
      m_ReadRate.Hwnd(),      m_WriteRate.Hwnd(),    m_TotalRate.Hwnd(),
      m_ReadPercent.Hwnd(),   m_WritePercent.Hwnd(), m_ReadGauge.Hwnd(),
      m_WriteGauge.Hwnd(),    m_LoadImage.Hwnd()};
  for (auto& f : m_Fields) {
    panelControls.push_back(f->Label.Hwnd());
    panelControls.push_back(f->Value.Hwnd());
  }
  for (HWND h : panelControls) ShowWindow(h, panel ? SW_SHOW : SW_HIDE);
  m_SmartView.SetSelected(details);
  m_GraphView.SetSelected(graphShown);
  m_PerformanceView.SetSelected(performance);
  m_AboutButton.SetSelected(about);
  m_SettingsView.SetSelected(settingsShown);
}

void CMainDialog::OnMonitorChanged(uint32_t changes) {
  if (!m_UiReady) return;
  if (m_Tray) {
    if (changes & CHANGE_DISK_LIST) m_Tray->OnDiskListChanged();
    if (changes & (CHANGE_TRAY | CHANGE_DISK_LIST)) m_Tray->UpdateTrayTooltip();
  }
  if (changes & (CHANGE_PANEL | CHANGE_POWER_ON_TEXT | CHANGE_SELECTION)) RenderPanel();
  if (changes & (CHANGE_DRIVE_BUTTONS | CHANGE_SELECTION | CHANGE_DISK_LIST)) RenderButtons();
  // A new selection shows its own rates at once (after a rescan the
  // sampling starts again over the new disk list when the rescan ends).
  if (changes & (CHANGE_SELECTION | CHANGE_DISK_LIST)) ShowReadouts();
  // The system pane lists the disks' models and serial numbers.
  if (m_SystemInfoPane && (changes & CHANGE_DISK_LIST)) m_SystemInfoPane->UpdateRows();
  // The settings pane keys its alarms by the disks it lists.
  if (m_SettingsPane && (changes & CHANGE_DISK_LIST)) m_SettingsPane->Reload();
  // After a rescan the detail pane's selector is filled again, so no entry
  // names a disk that is gone; a new selection shows in the pane too.
  if (m_TslInfo) m_TslInfo->OnMonitorChanged(changes);
  if (m_Graph) {
    if (changes & CHANGE_DISK_LIST) {
      m_Graph->FillDiskCombo();
    } else if (changes & CHANGE_SELECTION) {
      SendMessageW(m_Graph->Hwnd(), WM_DISK_CHANGED, static_cast<WPARAM>(m_Monitor.SelectedDisk()),
                   0);
    } else if (changes & (CHANGE_GRAPH | CHANGE_DISK_DATA)) {
      m_Graph->Refresh();
    }
  }
}

void CMainDialog::OnBusy(bool busy) {
  if (busy) {
    if (m_BusyDepth++ == 0) m_SavedCursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  } else if (--m_BusyDepth == 0) {
    SetCursor(m_SavedCursor != nullptr ? m_SavedCursor : LoadCursorW(nullptr, IDC_ARROW));
  }
}

void CMainDialog::OnCommand(int id, int code, HWND /*control*/) {
  switch (id) {
    case IDC_REFRESH:
    case ID_REFRESH:
      if (m_Setup.BeforeWork) m_Setup.BeforeWork();
      if (m_UiReady) m_Monitor.Refresh(true);
      break;
    case IDC_RESCAN:
    case ID_RESCAN:
      if (m_Setup.BeforeWork) m_Setup.BeforeWork();
      if (m_UiReady) m_Monitor.Rescan();
      break;
    case IDC_SMART_VIEW:
      if (m_UiReady) ShowView(m_View == 5 ? 1 : 5);
      break;
    case ID_SMART_INFO:
      if (m_UiReady) ShowView(5);
      break;
    case IDC_GRAPH_VIEW:
      if (m_UiReady) ShowView(m_View == 6 ? 1 : 6);
      break;
    case ID_GRAPH:
      // "Exchange.ini" names the disks for other programs' graphs too.
      if (m_UiReady) {
        m_Services->WriteExchangeFile(m_Monitor.Disks());
        ShowView(6);
      }
      break;
    case ID_SYSTEM_INFO:
      if (m_UiReady) ShowView(m_View == 4 ? 1 : 4);
      break;
    case ID_MEMORY:
      if (m_UiReady) ShowView(m_View == 2 ? 1 : 2);
      break;
    case IDC_PERFORMANCE_VIEW:
      if (m_UiReady) ShowView(m_View == 8 ? 1 : 8);
      break;
    case ID_BENCHMARK:
      if (m_UiReady) ShowView(m_View == 9 ? 1 : 9);
      break;
    case IDC_ABOUT_BUTTON:
      if (m_UiReady) ShowView(m_View == 7 ? 1 : 7);
      break;
    case IDC_FORM_FACTOR:
      if (m_UiReady && code == STN_CLICKED) ClickProductPicture();
      break;
    case IDC_SETTINGS_VIEW:
      if (m_UiReady) ShowView(m_View == 3 ? 1 : 3);
      break;
    case ID_SETTINGS:
      if (m_UiReady) ShowView(3);
      break;
    case ID_SETTINGS_ABOUT:
      // The settings pane's About page; answered with WM_SETTINGS_ABOUT_SHOWN.
      if (m_UiReady && !m_AboutAsked) {
        m_AboutAsked = true;
        ShowView(3);
        if (m_SettingsPane) {
          SendMessageW(m_SettingsPane->Hwnd(), tools::WM_SETTINGS_ABOUT, 0, 0);
        } else {
          m_AboutAsked = false;
        }
      }
      break;
    case IDC_PREVIOUS:
      m_Monitor.SelectPrevious();
      break;
    case IDC_NEXT:
      m_Monitor.SelectNext();
      break;
    default:
      if (id >= IDC_DISK_FIRST && id < IDC_DISK_FIRST + 8) {
        m_Monitor.SelectDriveButton(id - IDC_DISK_FIRST);
      } else if (m_Tray && id >= static_cast<int>(TRAY_EXIT)) {
        bool alarmsChanged = false;
        ApplyWindowAction(m_Tray->OnMenuCommand(static_cast<uint32_t>(id), &alarmsChanged));
      }
      break;
  }
}

tools::AboutTexts CMainDialog::CurrentAboutTexts() {
  app::CLanguageFile customization;
  customization.Load(m_Setup.Platform->Files,
                     os::WideToUtf8(m_Setup.CustomizationFolder + L"Customization.ini"));
  return tools::BuildAboutTexts(
      [&](const std::string& key) { return customization.GetText("Information", key); },
      m_Setup.Settings->Get(app::Setting::GUI_STYLE), m_CurrentLanguage);
}

void CMainDialog::OpenLink(const std::string& link) {
  if (!tools::IsOpenableWebLink(link)) {
    base::DebugLogF("Link refused: %s", link.c_str());
    return;
  }
  if (!m_Setup.LinkLog.empty()) {
    FILE* log = _wfopen(m_Setup.LinkLog.c_str(), L"ab");
    if (log != nullptr) {
      std::fprintf(log, "%s\n", link.c_str());
      std::fclose(log);
    }
    return;
  }
  if (!m_Shell.Open(link, "", "")) base::DebugLogF("Link not opened: %s", link.c_str());
}

void CMainDialog::ClickProductPicture() {
  // The maker's disks link to their product page; web links can be off.
  if (m_Setup.Settings->Get(app::Setting::ON_LINE_HELP) == 0) return;
  const int32_t disk = m_Monitor.SelectedDisk();
  if (disk < 0 || disk >= m_Monitor.DiskCount()) return;
  const ATA_SMART_INFO& d = m_Monitor.Disks()[static_cast<size_t>(disk)];
  if (d.SupportLevel < 1 || d.SupportLevel > 3) return;
  OpenLink(tools::ProductLink(d.FormFactorCode));
}

void CMainDialog::TryExit() {
  // Asked before anything is hidden: a refusal leaves the window (and its
  // icons) exactly as they were.
  switch (m_Monitor.CanExit()) {
    case ExitRefusal::NONE:
      // The panes' windows go now (the benchmark is not running: exit is
      // refused while it runs). Their objects stay until the window's loop
      // has ended: a pane may still be on the stack below this call, when a
      // message box it opened is the loop that delivered the close.
      for (ui::CDialogCx* pane : Panes()) pane->Destroy();
      m_Timers.KillTimer(TIMER_UPDATE_PERFORMANCE);
      Leave(IDOK);
      break;
    case ExitRefusal::PERFORMANCE:
      MessageBoxW(m_Hwnd, L"Please stop performance function before exit.", L"Vardex",
                  MB_OK | MB_ICONINFORMATION);
      break;
    case ExitRefusal::BENCHMARK:
      break;
  }
}

void CMainDialog::Leave(INT_PTR result) {
  // The icons and the status tree go with the program.
  if (m_Tray) m_Tray->RemoveAllTrayIcons();
  m_StatusService.Stop();
  m_Services->Close();
  m_Sound.StopMp3();
  EndModal(result);
  CloseOwnedDialogs();
}

std::vector<ui::CDialogCx*> CMainDialog::Panes() const {
  std::vector<ui::CDialogCx*> panes;
  for (ui::CDialogCx* pane :
       {static_cast<ui::CDialogCx*>(m_TslInfo.get()), static_cast<ui::CDialogCx*>(m_Graph.get()),
        static_cast<ui::CDialogCx*>(m_SystemInfoPane.get()),
        static_cast<ui::CDialogCx*>(m_MemoryPane.get()),
        static_cast<ui::CDialogCx*>(m_PerformancePane.get()),
        static_cast<ui::CDialogCx*>(m_AboutPane.get()),
        static_cast<ui::CDialogCx*>(m_SettingsPane.get()),
        static_cast<ui::CDialogCx*>(m_Benchmark.get())}) {
    if (pane != nullptr) panes.push_back(pane);
  }
  return panes;
}

void CMainDialog::CloseOwnedDialogs() {
  // A message box (or any dialog) of ours still open when the program
  // leaves runs its own loop, below the window's: the window's loop cannot
  // end until it does, and nobody may be there to close it. Each is
  // dismissed as with its close box.
  struct Search {
    HWND Owner;
    std::vector<HWND> Found;
  } search{m_Hwnd, {}};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        wchar_t name[16] = {};
        GetClassNameW(hwnd, name, 16);
        if (hwnd != s->Owner && GetWindow(hwnd, GW_OWNER) == s->Owner &&
            std::wstring(name) == L"#32770") {
          s->Found.push_back(hwnd);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  for (HWND dialog : search.Found) {
    EndDialog(dialog, IDCANCEL);
    PostMessageW(dialog, WM_NULL, 0, 0);
  }
}

void CMainDialog::OnCancel() {
  // Escape in a pane goes back to the panel; on the panel it leaves, or in
  // resident mode hides (or minimizes) the window.
  if (m_View != 1) {
    ShowView(1);
    return;
  }
  if (m_Tray && m_Tray->IsResident()) {
    ApplyWindowAction(ResidentCloseAction(m_Tray->ResidentMinimize()));
    return;
  }
  TryExit();
}

void CMainDialog::OnOK() { TryExit(); }

void CMainDialog::TakeScreenshot() {
  UpdateWindow(m_Hwnd);
  for (ui::CDialogCx* pane : Panes()) {
    RedrawWindow(pane->Hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
  RECT rc;
  GetClientRect(m_Hwnd, &rc);
  HDC window = GetDC(m_Hwnd);
  HDC dc = CreateCompatibleDC(window);
  HBITMAP bitmap = CreateCompatibleBitmap(window, rc.right, rc.bottom);
  HGDIOBJ old = SelectObject(dc, bitmap);
  BitBlt(dc, 0, 0, rc.right, rc.bottom, window, 0, 0, SRCCOPY);
  SelectObject(dc, old);
  const bool saved = ui::SaveBitmapPng(bitmap, m_Setup.Screenshot);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(m_Hwnd, window);
  m_Monitor.CanExit();
  Leave(saved ? IDOK : IDABORT);
}

bool CMainDialog::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) {
  // A tool driving the window from outside (the window test, a screen
  // reader's script) posts the probe and reads the property back: once it
  // holds the probe's number, everything posted before it has been handled
  // (or has opened a modal box). Round trips of sent messages cannot show
  // that, as sent messages are answered before posted ones are dispatched.
  if (m_IdleProbe != 0 && msg == m_IdleProbe) {
    SetPropW(m_Hwnd, IDLE_PROBE, reinterpret_cast<HANDLE>(wp));
    *result = 0;
    return true;
  }
  if (msg == WM_DESTROY) RemovePropW(m_Hwnd, IDLE_PROBE);
  if (OnTrayMessage(msg, wp, lp)) {
    *result = 0;
    return true;
  }
  switch (msg) {
    case WM_WINDOWPOSCHANGING:
      // A resident start keeps the window hidden until the tray opens it.
      if (!m_ShowAllowed)
        reinterpret_cast<WINDOWPOS*>(lp)->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
      return false;
    case WM_SIZE:
      OnSize(wp);
      return false;
    case WM_NO_MEMORY_TABLE:
      MessageBoxW(m_Hwnd, L"Unable to fetch information from OS.", L"Error",
                  MB_OK | MB_ICONEXCLAMATION | MB_SYSTEMMODAL);
      *result = 0;
      return true;
    case WM_FIRST_POSITION:
      if (m_Tray && StartsMinimized(m_Tray->IsResident(), m_Tray->ResidentMinimize())) {
        ShowWindow(m_Hwnd, SW_MINIMIZE);
      }
      *result = 0;
      return true;
    case WM_ADVANCED_SETTINGS:
      if (m_Advanced && m_Advanced->Hwnd() != nullptr) {
        SetForegroundWindow(m_Advanced->Hwnd());
      } else {
        // OK applies the settings as the settings pane's Save does, so the
        // updater decides again; the disk shown stays.
        m_Advanced = std::make_unique<tools::CAdvancedSettings>(
            *m_Setup.Settings,
            [this](const std::string& s, const std::string& k) { return GetText(s, k); },
            [this] { SendMessageW(m_Hwnd, WM_APPLY_SETTINGS, 0, 0); });
        if (!m_Advanced->Create(m_Hwnd, m_Zoom, m_FontFace, m_SkinFolder)) m_Advanced.reset();
      }
      *result = 0;
      return true;
    case WM_APPLY_SETTINGS:
      if (m_UiReady) {
        // Icons appear or go first, then the refresh cycle follows the file.
        m_Tray->SetStartupFlag(m_Setup.Settings->Get(app::Setting::STARTUP) != 0);
        m_Tray->RecheckResident();
        m_Monitor.SetResident(m_Tray->IsResident());
        RegisterAlarmEventSource(m_Setup.Settings->Get(app::Setting::EVENT_LOG) != 0);
        if (m_Setup.BeforeWork) m_Setup.BeforeWork();
        // Start at log-on follows the switch; both ways of starting are
        // removed when it is off.
        if (m_Setup.Settings->Get(app::Setting::STARTUP) != 0) {
          m_Startup->RegisterLogonStart();
        } else {
          m_Startup->UnregisterLogonStart();
        }
        m_Monitor.ApplySettings();
        // The updater: at once when "AutoUpdate" was just switched on, else
        // when its date has come.
        m_Update->OnSettingsApplied();
        if (wp == 1) {
          InitLanguage();
          ChangeLang();
        }
        m_Tray->UpdateTrayTooltip();
      }
      *result = 0;
      return true;
    case tools::WM_SETTINGS_ABOUT_SHOWN:
      m_AboutAsked = false;
      *result = 0;
      return true;
    case WM_MAIL_RESULT:
      base::DebugLog(wp != 0 ? "Alarm mail sent" : "Alarm mail not sent");
      *result = 0;
      return true;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_CLOSE) m_SystemClose = true;
      return false;
    case WM_PAINT:
      // Not handled here; only the time of the first one is noted.
      if (m_FirstPaintMs == 0 && m_Setup.ProcessStart != 0) {
        m_FirstPaintMs = MsSince(m_Setup.ProcessStart);
      }
      return false;
    case WM_APP + 2:
      RunBench();
      *result = 0;
      return true;
    case WM_TIMER:
      if (wp == 0x3001) {
        KillTimer(m_Hwnd, 0x3001);
        TakeScreenshot();
        *result = 0;
        return true;
      }
      if (wp == TIMER_UPDATE_PERFORMANCE) {
        SamplePerformance();
        *result = 0;
        return true;
      }
      if (m_Setup.BeforeWork) m_Setup.BeforeWork();
      if (!m_StatusService.OnTimer(static_cast<uint32_t>(wp), m_Monitor)) {
        m_Monitor.OnTimer(static_cast<uint32_t>(wp));
      }
      *result = 0;
      return true;
    case WM_DISK_CHANGED: {
      // The index is a disk's own, checked against the disks before anything
      // of that disk is touched.
      const auto index = static_cast<int32_t>(wp);
      if (index >= 0 && index < m_Monitor.DiskCount()) {
        // The live lists of that disk start again.
        m_Sampler.ClearLiveSamples(index);
        m_Monitor.SelectDrive(index);
      }
      *result = 0;
      return true;
    }
    case WM_SHOW_PANEL:
      ShowView(1);
      *result = 0;
      return true;
    case WM_APP + 1:
      // Drawn once everything has been painted.
      SetTimer(m_Hwnd, 0x3001, 300, nullptr);
      *result = 0;
      return true;
    case WM_CLOSE: {
      // In resident mode the window's own Close hides it; a close request
      // from elsewhere (log-off, shutdown, another program) ends it.
      const bool own = m_SystemClose;
      m_SystemClose = false;
      if (m_Tray && m_Tray->IsResident()) {
        if (own) {
          ApplyWindowAction(ResidentCloseAction(m_Tray->ResidentMinimize()));
        } else {
          m_Monitor.CanExit();
          Leave(IDOK);
        }
      } else {
        TryExit();
      }
      *result = 0;
      return true;
    }
    default:
      break;
  }
  return false;
}

}  // namespace monitor
