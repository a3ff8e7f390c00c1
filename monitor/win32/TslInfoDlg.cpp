#include "monitor/win32/TslInfoDlg.h"

#include <commctrl.h>

#include "os/win32/WinText.h"
#include "resources/resource.h"
#include "ui/win32/Gdiplus.h"

namespace monitor {
namespace {

struct Column {
  const char* Key;
  int Format;
  int Width;
  bool Zoomed;
};
constexpr Column kColumns[] = {
    {nullptr, LVCFMT_CENTER, 28, false},
    {"LIST_ID", LVCFMT_CENTER, 36, true},
    {"LIST_ATTRIBUTE_NAME", LVCFMT_LEFT, 350, true},
    {"LIST_CURRENT", LVCFMT_RIGHT, 72, true},
    {"LIST_RAW_VALUES", LVCFMT_RIGHT, 152, true},
    {"LIST_VALUES", LVCFMT_RIGHT, 151, true},
    {"LIST_DESCRIPTION", LVCFMT_RIGHT, 160, true},
};

void SetItemText(HWND list, int item, int column, const std::string& text) {
  std::wstring wide = os::Utf8ToWide(text);
  LVITEMW lv{};
  lv.iSubItem = column;
  lv.pszText = wide.data();
  SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv));
}

// The five row icons from the built-in strip (16 x 16 each).
HIMAGELIST LoadRowIcons() {
  HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32, 5, 0);
  std::unique_ptr<Gdiplus::Bitmap> strip = ui::LoadPngResource(IDP_ROW_ICONS);
  if (strip) {
    HBITMAP bitmap = nullptr;
    // 32-bit with its alpha: the icons' edges blend into either row colour.
    strip->GetHBITMAP(Gdiplus::Color(0, 0, 0, 0), &bitmap);
    if (bitmap != nullptr) {
      ImageList_Add(images, bitmap, nullptr);
      DeleteObject(bitmap);
    }
  }
  return images;
}

}  // namespace

CTslInfoDlg::CTslInfoDlg(const CMonitor& monitor, std::function<ListTexts()> texts,
                         std::function<ListOptions()> options)
    : m_State(monitor), m_Texts(std::move(texts)), m_Options(std::move(options)) {
  m_BackgroundColor = RGB(244, 245, 247);
}

CTslInfoDlg::~CTslInfoDlg() {
  Destroy();
  if (m_Images != nullptr) ImageList_Destroy(m_Images);
}

bool CTslInfoDlg::Create(HWND parent, double zoom, const std::wstring& face) {
  m_Zoom = zoom;
  m_FontFace = face;
  return CreateModeless(IDD_TSL_INFO, parent);
}

BOOL CTslInfoDlg::OnInitDialog() {
  m_Selector =
      CreateChild(WC_COMBOBOXW, IDC_DISK_SELECTOR, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP);
  CreateChild(L"BUTTON", IDC_BACK, BS_PUSHBUTTON | WS_TABSTOP);
  m_Back.Attach(m_Hwnd, IDC_BACK);
  m_Back.SetBackground(m_BackgroundColor);
  m_List =
      CreateChild(WC_LISTVIEWW, IDC_ATTRIBUTE_LIST,
                  LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP, WS_EX_CLIENTEDGE);
  m_ListCtrl.Attach(m_Hwnd, IDC_ATTRIBUTE_LIST);
  m_SelectorCtrl.Attach(m_Hwnd, IDC_DISK_SELECTOR);
  SendMessageW(m_List, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER);
  m_Images = LoadRowIcons();
  SendMessageW(m_List, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(m_Images));
  RelayoutDialog();
  ApplyLanguage();
  return TRUE;
}

void CTslInfoDlg::RelayoutDialog() {
  // The pane sits over the main window's disk panel.
  PlaceOverPanel();
  SetBackgroundImage("grayBackground", IDP_BACKGROUND_GRAY);
  m_Back.Place(835, 22, 150, 40, m_Zoom);
  m_Back.SetControlFont(m_FontFace, 16, m_Zoom, 400, RGB(0, 0, 0));
  m_Back.SetTextAlign(1);
  PlaceChild(IDC_DISK_SELECTOR, 6, 29, 810, 300);
  PlaceChild(IDC_ATTRIBUTE_LIST, 6, 74, 980, 624 - 74 - 4);
  m_ListCtrl.SetControlFont(m_FontFace, m_Zoom);
  m_SelectorCtrl.SetControlFont(m_FontFace, 16, m_Zoom);
  if (m_State.Disk() >= 0) ShowList();
}

void CTslInfoDlg::ApplyLanguage() {
  const ListTexts texts = m_Texts();
  m_Back.SetText(texts.Current ? texts.Current("Dialog", "BACK") : std::string());
  FillDiskSelector();
}

void CTslInfoDlg::FillDiskSelector() { Redraw(m_State.Refill()); }

void CTslInfoDlg::OnMonitorChanged(uint32_t changes) { Redraw(m_State.OnMonitorChanged(changes)); }

void CTslInfoDlg::Redraw(uint32_t what) {
  if (what & CDetailPaneState::REDRAW_ENTRIES) {
    SendMessageW(m_Selector, CB_RESETCONTENT, 0, 0);
    for (const std::string& entry : m_State.Entries()) {
      std::wstring wide = os::Utf8ToWide(entry);
      SendMessageW(m_Selector, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
  }
  if (what & CDetailPaneState::REDRAW_SELECTION) {
    SendMessageW(m_Selector, CB_SETCURSEL, static_cast<WPARAM>(m_State.Selection()), 0);
  }
  if (what & CDetailPaneState::REDRAW_LIST) ShowList();
}

void CTslInfoDlg::InitListColumns() {
  SendMessageW(m_List, LVM_DELETEALLITEMS, 0, 0);
  while (SendMessageW(m_List, LVM_DELETECOLUMN, 0, 0)) {
  }
  const ListTexts texts = m_Texts();
  for (size_t i = 0; i < std::size(kColumns); ++i) {
    const Column& c = kColumns[i];
    std::wstring heading =
        c.Key != nullptr && texts.Current ? os::Utf8ToWide(texts.Current("Dialog", c.Key)) : L"";
    LVCOLUMNW col{};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.fmt = c.Format;
    col.cx = c.Zoomed ? ui::Scale(c.Width, m_Zoom) : c.Width;
    col.pszText = heading.data();
    col.iSubItem = static_cast<int>(i);
    SendMessageW(m_List, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
  }
}

int CTslInfoDlg::UpdateListCtrl(int32_t index) {
  m_State.Pick(index);
  return ShowList();
}

int CTslInfoDlg::ShowList() {
  // A selector entry left from before a rescan may name a disk that is gone:
  // the list stays empty rather than reading past the disks.
  if (m_State.Selection() < 0) {
    SendMessageW(m_List, LVM_DELETEALLITEMS, 0, 0);
    return 0;
  }
  SendMessageW(m_List, WM_SETREDRAW, FALSE, 0);
  InitListColumns();
  const AttributeList list = m_State.List(m_Options(), m_Texts());
  m_ListCtrl.SetTextColor(list.TextTrusted ? RGB(0, 0, 0) : RGB(192, 192, 192));
  int row = 0;
  for (const AttributeRow& r : list.Rows) {
    LVITEMW item{};
    item.mask = LVIF_IMAGE | LVIF_TEXT;
    item.iItem = row;
    item.iImage = r.Icon;
    item.pszText = const_cast<wchar_t*>(L"");
    SendMessageW(m_List, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    SetItemText(m_List, row, 1, r.Id);
    SetItemText(m_List, row, 2, r.Name);
    SetItemText(m_List, row, 3, r.Current);
    SetItemText(m_List, row, 4, r.Raw);
    SetItemText(m_List, row, 5, r.Values);
    SetItemText(m_List, row, 6, r.Description);
    ++row;
  }
  SendMessageW(m_List, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(m_List, nullptr, TRUE);
  return 1;
}

void CTslInfoDlg::OnCommand(int id, int code, HWND /*control*/) {
  if (id == IDC_DISK_SELECTOR && code == CBN_SELCHANGE) {
    const auto sel = static_cast<int32_t>(SendMessageW(m_Selector, CB_GETCURSEL, 0, 0));
    Redraw(m_State.Pick(sel));
  } else if (id == IDC_BACK) {
    SendMessageW(GetParent(m_Hwnd), WM_SHOW_PANEL, 0, 0);
  }
}

void CTslInfoDlg::OnCancel() {
  // Escape goes back to the panel; the pane stays, owned by the main window.
  SendMessageW(GetParent(m_Hwnd), WM_SHOW_PANEL, 0, 0);
}

bool CTslInfoDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) {
  if (msg == WM_NOTIFY && !m_HighContrast) {
    auto* header = reinterpret_cast<NMHDR*>(lp);
    if (header->hwndFrom == m_List && header->code == NM_CUSTOMDRAW) {
      *result = m_ListCtrl.OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lp));
      return true;
    }
  }
  if (msg == WM_DISK_CHANGED) {
    Redraw(m_State.Select(static_cast<int32_t>(wp)));
    *result = 0;
    return true;
  }
  return false;
}

}  // namespace monitor
