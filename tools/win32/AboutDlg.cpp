#include "tools/win32/AboutDlg.h"

#include <commctrl.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "base/DebugLog.h"
#include "os/win32/SchannelTls.h"
#include "os/win32/Win32Clock.h"
#include "os/win32/Win32FileSystem.h"
#include "os/win32/Win32Net.h"
#include "os/win32/WinText.h"
#include "resources/resource.h"
#include "tools/Banner.h"
#include "ui/win32/Gdiplus.h"

namespace tools {
namespace {

// The download's result, posted to the pane; lParam owns a BannerResult.
constexpr UINT WM_BANNER_RESULT = WM_APP + 40;

}  // namespace

struct CAboutDlg::Shared {
  std::mutex Lock;
  HWND Target = nullptr;  // null once the pane is gone
  std::atomic<bool> Cancel{false};
};

CAboutDlg::CAboutDlg(Hooks hooks)
    : CPaneCx(IDD_ABOUT, hooks.Back),
      m_Hooks(std::move(hooks)),
      m_Shared(std::make_shared<Shared>()) {}

CAboutDlg::~CAboutDlg() {
  {
    std::lock_guard<std::mutex> hold(m_Shared->Lock);
    m_Shared->Target = nullptr;
  }
  m_Shared->Cancel = true;
  Destroy();
}

BOOL CAboutDlg::OnInitDialog() {
  {
    std::lock_guard<std::mutex> hold(m_Shared->Lock);
    m_Shared->Target = m_Hwnd;
  }
  CreateBackButton(IDC_ABOUT_BACK);
  CreateLabel(m_Version, IDC_ABOUT_VERSION);
  CreateLabel(m_Description, IDC_ABOUT_DESCRIPTION);
  CreateLabel(m_Copyright, IDC_ABOUT_COPYRIGHT);
  CreateLabel(m_Banner, IDC_ABOUT_BANNER);
  CreateLabel(m_BannerStatus, IDC_ABOUT_BANNER_STATUS);
  m_ListCtrl.Create(m_Hwnd, IDC_ABOUT_SHORTCUTS, LVS_SINGLESEL | LVS_NOSORTHEADER | WS_TABSTOP,
                    LVS_EX_GRIDLINES);
  RelayoutDialog();
  ApplyLanguage();
  return TRUE;
}

void CAboutDlg::RelayoutDialog() {
  PlacePane();
  SetBackgroundImage("aboutBackground", IDP_BACKGROUND_ABOUT);
  m_Version.Place(22, 26, 600, 32, m_Zoom);
  m_Version.SetControlFont(m_FontFace, 20, m_Zoom, 700, RGB(0, 0, 0));
  m_Description.Place(22, 70, 800, 60, m_Zoom);
  m_Description.SetControlFont(m_FontFace, 14, m_Zoom, 400, RGB(0, 0, 0));
  PlaceChild(IDC_ABOUT_SHORTCUTS, 22, 140, 480, 214);
  m_ListCtrl.SetControlFont(m_FontFace, m_Zoom);
  m_Copyright.Place(520, 300, 450, 54, m_Zoom);
  m_Copyright.SetControlFont(m_FontFace, 13, m_Zoom, 400, RGB(127, 127, 127));
  m_Copyright.SetTextAlign(2);
  m_Banner.Place(22, 376, 948, 180, m_Zoom);
  m_Banner.SetImageResource(IDP_ABOUT_BANNER, 1);
  m_BannerStatus.Place(22, 566, 948, 28, m_Zoom);
  m_BannerStatus.SetControlFont(m_FontFace, 13, m_Zoom, 400, RGB(90, 96, 104));
  FillShortcuts();
}

void CAboutDlg::ApplyLanguage() {
  SetWindowTextW(m_Hwnd, os::Utf8ToWide(m_Hooks.Text("Dialog", "ABOUT")).c_str());
  m_BackButton.SetText(m_Hooks.Text("Dialog", "BACK"));
  const AboutTexts texts = m_Hooks.Texts ? m_Hooks.Texts() : AboutTexts();
  m_Version.SetText(texts.Version);
  m_Description.SetText(texts.Description);
  m_Copyright.SetText(texts.Copyright);
  m_Banner.SetToolTipText(m_ToolTip, m_Hooks.Text("Tips", "BANNER"));
  FillShortcuts();
}

void CAboutDlg::FillShortcuts() {
  if (m_ListCtrl.Hwnd() == nullptr) return;
  m_ListCtrl.SetColumns({{"", 40}, {"Shortcut", 110}, {"Function", 320}}, m_Zoom);
  std::vector<std::vector<std::string>> rows;
  for (const ShortcutRow& row : AboutShortcuts()) {
    rows.push_back({row.Number, row.Key, m_Hooks.Text(row.Section, row.TextKey)});
  }
  m_ListCtrl.SetRows(rows);
}

void CAboutDlg::ClickBanner() {
  if (m_Downloading || (m_Hooks.OnlineHelp && !m_Hooks.OnlineHelp())) return;
  m_Downloading = true;
  m_BannerStatus.SetText(m_Hooks.Text("Message", "BANNER_LOADING"));
  // The download never holds the window: it runs on its own thread with
  // its own sockets, and only its result comes back, as a message.
  std::thread([shared = m_Shared, url = m_Hooks.BannerUrl, file = m_Hooks.BannerFile] {
    os::CWin32Net net;
    os::CSchannelTls tls;
    os::CWin32Clock clock;
    os::CWin32FileSystem files;
    auto result = std::make_unique<BannerResult>(
        FetchBanner(net, &tls, clock, files, url, file, &shared->Cancel));
    std::lock_guard<std::mutex> hold(shared->Lock);
    if (shared->Target != nullptr &&
        PostMessageW(shared->Target, WM_BANNER_RESULT, 0, reinterpret_cast<LPARAM>(result.get()))) {
      result.release();
    }
  }).detach();
}

void CAboutDlg::OnPaneCommand(int id, int code, HWND /*control*/) {
  if (id == IDC_ABOUT_BANNER && code == STN_CLICKED) ClickBanner();
}

bool CAboutDlg::OnMessage(UINT msg, WPARAM /*wp*/, LPARAM lp, INT_PTR* result) {
  if (msg == WM_BANNER_RESULT) {
    std::unique_ptr<BannerResult> r(reinterpret_cast<BannerResult*>(lp));
    m_Downloading = false;
    if (!r->Downloaded) base::DebugLogF("Banner: %s", r->Error.c_str());
    // The link was checked when it was chosen; it is checked again here, as
    // this is the last step before the shell.
    const std::string link = IsOpenableWebLink(r->Link) ? r->Link : std::string(HOME_PAGE);
    m_BannerStatus.SetText(link);
    if (m_Hooks.OpenLink) m_Hooks.OpenLink(link);
    *result = 0;
    return true;
  }
  return msg == WM_NOTIFY && m_ListCtrl.OnNotify(lp, m_HighContrast, result);
}

}  // namespace tools
