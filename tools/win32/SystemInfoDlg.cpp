#include "tools/win32/SystemInfoDlg.h"

#include <commctrl.h>

#include "os/win32/WinText.h"
#include "resources/resource.h"
#include "ui/win32/Gdiplus.h"

namespace tools {
namespace {

void SetItemText(HWND list, int item, int column, const std::string& text) {
  std::wstring wide = os::Utf8ToWide(text);
  LVITEMW lv{};
  lv.iSubItem = column;
  lv.pszText = wide.data();
  SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv));
}

}  // namespace

CSystemInfoDlg::CSystemInfoDlg(const SYSTEM_INFO_TEXT& info,
                               std::function<std::vector<SystemInfoDisk>()> disks, PaneText text,
                               std::function<void()> back)
    : m_Info(info), m_Disks(std::move(disks)), m_Text(std::move(text)), m_Back(std::move(back)) {
  m_BackgroundColor = RGB(244, 245, 247);
}

CSystemInfoDlg::~CSystemInfoDlg() { Destroy(); }

bool CSystemInfoDlg::Create(HWND parent, double zoom, const std::wstring& face) {
  m_Zoom = zoom;
  m_FontFace = face;
  return CreateModeless(IDD_SYSTEM_INFO, parent);
}

BOOL CSystemInfoDlg::OnInitDialog() {
  CreateChild(L"BUTTON", IDC_BACK, BS_PUSHBUTTON | WS_TABSTOP);
  m_BackButton.Attach(m_Hwnd, IDC_BACK);
  m_BackButton.SetBackground(m_BackgroundColor);
  m_List =
      CreateChild(WC_LISTVIEWW, IDC_SYSTEM_LIST,
                  LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP, WS_EX_CLIENTEDGE);
  m_ListCtrl.Attach(m_Hwnd, IDC_SYSTEM_LIST);
  SendMessageW(m_List, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER);
  RelayoutDialog();
  ApplyLanguage();
  return TRUE;
}

void CSystemInfoDlg::RelayoutDialog() {
  // The pane sits over the main window's disk panel, as the detail pane.
  PlaceOverPanel();
  m_BackButton.Place(835, 22, 150, 40, m_Zoom);
  m_BackButton.SetControlFont(m_FontFace, 16, m_Zoom, 400, RGB(0, 0, 0));
  m_BackButton.SetTextAlign(1);
  PlaceChild(IDC_SYSTEM_LIST, 6, 74, 980, 624 - 74 - 4);
  m_ListCtrl.SetControlFont(m_FontFace, m_Zoom);
}

void CSystemInfoDlg::ApplyLanguage() {
  m_BackButton.SetText(m_Text("Dialog", "BACK"));
  SendMessageW(m_List, LVM_DELETEALLITEMS, 0, 0);
  while (SendMessageW(m_List, LVM_DELETECOLUMN, 0, 0)) {
  }
  const struct {
    const char* Key;
    int Width;
  } columns[] = {{"LIST_ITEM", 200}, {"LIST_INFORMATION", 760}};
  for (size_t i = 0; i < std::size(columns); ++i) {
    std::wstring heading = os::Utf8ToWide(m_Text("Dialog", columns[i].Key));
    LVCOLUMNW col{};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.fmt = LVCFMT_LEFT;
    col.cx = ui::Scale(columns[i].Width, m_Zoom);
    col.pszText = heading.data();
    col.iSubItem = static_cast<int>(i);
    SendMessageW(m_List, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
  }
  UpdateRows();
}

void CSystemInfoDlg::UpdateRows() {
  SendMessageW(m_List, WM_SETREDRAW, FALSE, 0);
  SendMessageW(m_List, LVM_DELETEALLITEMS, 0, 0);
  std::vector<SystemInfoRow> rows = SystemInfoRows(m_Info, false);
  for (const SystemInfoDisk& disk : m_Disks()) {
    rows.push_back({"DISK", disk.Model});
    rows.push_back({"DISK_SN", disk.SerialNumber});
  }
  int n = 0;
  for (const SystemInfoRow& row : rows) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = n;
    item.pszText = const_cast<wchar_t*>(L"");
    SendMessageW(m_List, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    SetItemText(m_List, n, 0, m_Text("SystemInformation", row.Key));
    SetItemText(m_List, n, 1, row.Value);
    ++n;
  }
  SendMessageW(m_List, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(m_List, nullptr, TRUE);
}

void CSystemInfoDlg::OnCommand(int id, int /*code*/, HWND /*control*/) {
  if (id == IDC_BACK && m_Back) m_Back();
}

void CSystemInfoDlg::OnCancel() {
  if (m_Back) m_Back();
}

bool CSystemInfoDlg::OnMessage(UINT msg, WPARAM /*wp*/, LPARAM lp, INT_PTR* result) {
  if (msg == WM_NOTIFY && !m_HighContrast) {
    auto* header = reinterpret_cast<NMHDR*>(lp);
    if (header->hwndFrom == m_List && header->code == NM_CUSTOMDRAW) {
      *result = m_ListCtrl.OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lp));
      return true;
    }
  }
  return false;
}

}  // namespace tools
