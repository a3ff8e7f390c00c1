#include "tools/win32/SystemInfoDlg.h"

#include <commctrl.h>

#include "os/win32/WinText.h"
#include "resources/resource.h"
#include "ui/win32/Gdiplus.h"

namespace tools {
CSystemInfoDlg::CSystemInfoDlg(const SYSTEM_INFO_TEXT& info,
                               std::function<std::vector<SystemInfoDisk>()> disks, PaneText text,
                               std::function<void()> back)
    : CPaneCx(IDD_SYSTEM_INFO, std::move(back)),
      m_Info(info),
      m_Disks(std::move(disks)),
      m_Text(std::move(text)) {}

CSystemInfoDlg::~CSystemInfoDlg() { Destroy(); }

BOOL CSystemInfoDlg::OnInitDialog() {
  CreateBackButton(IDC_BACK);
  m_ListCtrl.Create(m_Hwnd, IDC_SYSTEM_LIST, LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP,
                    LVS_EX_GRIDLINES);
  RelayoutDialog();
  ApplyLanguage();
  return TRUE;
}

void CSystemInfoDlg::RelayoutDialog() {
  PlacePane();
  SetBackgroundImage("computerBackground", IDP_BACKGROUND_COMPUTER);
  PlaceChild(IDC_SYSTEM_LIST, 6, 74, 980, 624 - 74 - 4);
  m_ListCtrl.SetControlFont(m_FontFace, m_Zoom);
}

void CSystemInfoDlg::ApplyLanguage() {
  m_BackButton.SetText(m_Text("Dialog", "BACK"));
  m_ListCtrl.SetColumns(
      {{m_Text("Dialog", "LIST_ITEM"), 200}, {m_Text("Dialog", "LIST_INFORMATION"), 760}}, m_Zoom);
  UpdateRows();
}

void CSystemInfoDlg::UpdateRows() {
  std::vector<SystemInfoRow> rows = SystemInfoRows(m_Info, false);
  for (const SystemInfoDisk& disk : m_Disks()) {
    rows.push_back({"DISK", disk.Model});
    rows.push_back({"DISK_SN", disk.SerialNumber});
  }
  std::vector<std::vector<std::string>> texts;
  for (const SystemInfoRow& row : rows) {
    texts.push_back({m_Text("SystemInformation", row.Key), row.Value});
  }
  m_ListCtrl.SetRows(texts);
}

bool CSystemInfoDlg::OnMessage(UINT msg, WPARAM /*wp*/, LPARAM lp, INT_PTR* result) {
  return msg == WM_NOTIFY && m_ListCtrl.OnNotify(lp, m_HighContrast, result);
}

}  // namespace tools
