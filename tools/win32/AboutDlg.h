// CAboutDlg: the about pane, a child of the main window (view 7). The
// version, description and copyright texts (tools/AboutTexts), the table of
// the keyboard shortcuts, and the banner: a click downloads the banner text
// on a thread of its own and, when the result comes back to the window's
// thread, opens the link it chose (always a web address; tools/Banner).
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "tools/AboutTexts.h"
#include "tools/win32/SystemInfoDlg.h"
#include "ui/win32/ListCtrlEx.h"
#include "ui/win32/PaneCx.h"
#include "ui/win32/SkinControl.h"

namespace tools {

class CAboutDlg : public ui::CPaneCx {
 public:
  struct Hooks {
    PaneText Text;
    std::function<AboutTexts()> Texts;
    // "OnLineHelp" is not 0: the banner may be clicked.
    std::function<bool()> OnlineHelp;
    // Opens a link the pane chose (the shell's default action).
    std::function<void(const std::string&)> OpenLink;
    std::function<void()> Back;
    std::string BannerUrl;   // where the banner text is downloaded from
    std::string BannerFile;  // where it is kept
  };
  explicit CAboutDlg(Hooks hooks);
  ~CAboutDlg() override;

  void ApplyLanguage() override;
  void RelayoutDialog() override;
  // The banner's click: starts the download unless one runs or web links
  // are off.
  void ClickBanner();

 protected:
  BOOL OnInitDialog() override;
  void OnPaneCommand(int id, int code, HWND control) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) override;

 private:
  void FillShortcuts();

  Hooks m_Hooks;
  ui::CListCtrlEx m_ListCtrl;
  ui::CStaticCx m_Version, m_Description, m_Copyright, m_Banner, m_BannerStatus;
  // Shared with the download's thread: it posts its result only while the
  // pane still wants it.
  struct Shared;
  std::shared_ptr<Shared> m_Shared;
  bool m_Downloading = false;
};

}  // namespace tools
