#include "ui/win32/ListCtrlEx.h"

#include "os/win32/WinText.h"
#include "ui/SkinMath.h"

namespace ui {
namespace {

HFONT MakeFont(const std::wstring& face, int height) {
  return CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_NATURAL_QUALITY,
                     DEFAULT_PITCH, face.size() <= 31 ? face.c_str() : L"");
}

}  // namespace

CListCtrlEx::~CListCtrlEx() {
  if (m_Font != nullptr) DeleteObject(m_Font);
}

bool CListCtrlEx::Attach(HWND parent, int id) {
  m_Hwnd = GetDlgItem(parent, id);
  return m_Hwnd != nullptr;
}

bool CListCtrlEx::Create(HWND parent, int id, DWORD style, DWORD extended) {
  m_Hwnd = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                           WS_CHILD | WS_VISIBLE | LVS_REPORT | style, 0, 0, 10, 10, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
  if (m_Hwnd == nullptr) return false;
  SendMessageW(m_Hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER | extended);
  return true;
}

void CListCtrlEx::SetColumns(const std::vector<Column>& columns, double zoom) {
  SendMessageW(m_Hwnd, LVM_DELETEALLITEMS, 0, 0);
  while (SendMessageW(m_Hwnd, LVM_DELETECOLUMN, 0, 0)) {
  }
  for (size_t i = 0; i < columns.size(); ++i) {
    std::wstring heading = os::Utf8ToWide(columns[i].Heading);
    LVCOLUMNW col{};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.fmt = LVCFMT_LEFT;
    col.cx = Scale(columns[i].Width, zoom);
    col.pszText = heading.data();
    col.iSubItem = static_cast<int>(i);
    SendMessageW(m_Hwnd, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
  }
}

void CListCtrlEx::SetRows(const std::vector<std::vector<std::string>>& rows) {
  SendMessageW(m_Hwnd, WM_SETREDRAW, FALSE, 0);
  SendMessageW(m_Hwnd, LVM_DELETEALLITEMS, 0, 0);
  int n = 0;
  for (const std::vector<std::string>& row : rows) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = n;
    item.pszText = const_cast<wchar_t*>(L"");
    SendMessageW(m_Hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    for (size_t column = 0; column < row.size(); ++column) {
      std::wstring wide = os::Utf8ToWide(row[column]);
      LVITEMW sub{};
      sub.iSubItem = static_cast<int>(column);
      sub.pszText = wide.data();
      SendMessageW(m_Hwnd, LVM_SETITEMTEXTW, static_cast<WPARAM>(n),
                   reinterpret_cast<LPARAM>(&sub));
    }
    ++n;
  }
  SendMessageW(m_Hwnd, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(m_Hwnd, nullptr, TRUE);
}

void CListCtrlEx::SetControlFont(const std::wstring& face, double zoom) {
  HFONT old = m_Font;
  m_Font = MakeFont(face, Scale(16, zoom));
  SendMessageW(m_Hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_Font), TRUE);
  if (old != nullptr) DeleteObject(old);
}

bool CListCtrlEx::OnNotify(LPARAM lp, bool highContrast, INT_PTR* result) {
  const auto* header = reinterpret_cast<const NMHDR*>(lp);
  if (highContrast || header == nullptr || header->hwndFrom != m_Hwnd ||
      header->code != NM_CUSTOMDRAW) {
    return false;
  }
  *result = OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lp));
  return true;
}

LRESULT CListCtrlEx::OnCustomDraw(NMLVCUSTOMDRAW* draw) {
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
      return CDRF_NOTIFYSUBITEMDRAW | CDRF_NOTIFYPOSTPAINT;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
      draw->clrText = m_TextColor;
      draw->clrTextBk = (draw->nmcd.dwItemSpec & 1) != 0 ? ODD_ROW : EVEN_ROW;
      return CDRF_NEWFONT;
    case CDDS_ITEMPOSTPAINT: {
      // A thin line at the right edge of each column of the row.
      HWND header = reinterpret_cast<HWND>(SendMessageW(m_Hwnd, LVM_GETHEADER, 0, 0));
      const auto columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
      RECT row{};
      row.left = LVIR_BOUNDS;
      SendMessageW(m_Hwnd, LVM_GETITEMRECT, draw->nmcd.dwItemSpec, reinterpret_cast<LPARAM>(&row));
      HPEN pen = CreatePen(PS_SOLID, 1, SEPARATOR);
      HGDIOBJ old = SelectObject(draw->nmcd.hdc, pen);
      int right = row.left;
      for (int c = 0; c < columns; ++c) {
        right += static_cast<int>(SendMessageW(m_Hwnd, LVM_GETCOLUMNWIDTH, c, 0));
        MoveToEx(draw->nmcd.hdc, right - 1, row.top, nullptr);
        LineTo(draw->nmcd.hdc, right - 1, row.bottom);
      }
      SelectObject(draw->nmcd.hdc, old);
      DeleteObject(pen);
      return CDRF_DODEFAULT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

CComboBoxCx::~CComboBoxCx() {
  if (m_Font != nullptr) DeleteObject(m_Font);
}

bool CComboBoxCx::Attach(HWND parent, int id) {
  m_Hwnd = GetDlgItem(parent, id);
  return m_Hwnd != nullptr;
}

void CComboBoxCx::SetControlFont(const std::wstring& face, int size, double zoom) {
  HFONT old = m_Font;
  m_Font = MakeFont(face, Scale(size, zoom));
  SendMessageW(m_Hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_Font), TRUE);
  SendMessageW(m_Hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1),
               static_cast<LPARAM>(static_cast<double>(size) * zoom * 1.25));
  if (old != nullptr) DeleteObject(old);
}

}  // namespace ui
