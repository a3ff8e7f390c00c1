// CSystemInfoDlg: the system-information pane, a child of the main window.
// A two-column list (item, information) of the system information record
// and the model and serial number of every disk, and a back button. The
// rows come from tools/SystemInfo; the list control keeps them as its items,
// so screen readers and tests read them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tools/SystemInfo.h"
#include "ui/win32/ListCtrlEx.h"
#include "ui/win32/PaneCx.h"
#include "ui/win32/SkinControl.h"

namespace tools {

// (section, key) -> text of the current language.
using PaneText = std::function<std::string(const std::string&, const std::string&)>;

// A disk of the list: its model and serial number.
struct SystemInfoDisk {
  std::string Model;
  std::string SerialNumber;
};

class CSystemInfoDlg : public ui::CPaneCx {
 public:
  // `info` and the callbacks must outlive the pane. `back` is called when
  // the user leaves the pane (the back button, Escape).
  CSystemInfoDlg(const SYSTEM_INFO_TEXT& info, std::function<std::vector<SystemInfoDisk>()> disks,
                 PaneText text, std::function<void()> back);
  ~CSystemInfoDlg() override;

  // Rebuilds the rows: the record's eight rows, then two per disk.
  void UpdateRows();
  void ApplyLanguage() override;
  void RelayoutDialog() override;

 protected:
  BOOL OnInitDialog() override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) override;

 private:
  const SYSTEM_INFO_TEXT& m_Info;
  std::function<std::vector<SystemInfoDisk>()> m_Disks;
  PaneText m_Text;
  ui::CListCtrlEx m_ListCtrl;
};

}  // namespace tools
