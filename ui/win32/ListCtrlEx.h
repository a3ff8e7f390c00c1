// CListCtrlEx: a report list view with the skin's font, alternating row
// colours and thin column separators. The rows stay items of the control,
// so screen readers and tests read them.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace ui {

class CListCtrlEx {
 public:
  CListCtrlEx() = default;
  ~CListCtrlEx();
  CListCtrlEx(const CListCtrlEx&) = delete;
  CListCtrlEx& operator=(const CListCtrlEx&) = delete;

  // Takes over list view `id` of `parent`.
  bool Attach(HWND parent, int id);
  // Creates report list view `id` in `parent` (`style` adds to the report
  // style: selection, tab stop ...) with a sunken edge, full-row selection,
  // label tips and double buffering (`extended` adds more, such as grid
  // lines), and takes it over.
  bool Create(HWND parent, int id, DWORD style, DWORD extended = 0);

  struct Column {
    std::string Heading;  // UTF-8
    int Width = 0;        // base units
  };
  // Every row and column removed, then `columns`, left-aligned, at `zoom`.
  void SetColumns(const std::vector<Column>& columns, double zoom);
  // Every row replaced by `rows` (UTF-8 texts, one a column), the list
  // drawn once at the end.
  void SetRows(const std::vector<std::vector<std::string>>& rows);
  HWND Hwnd() const { return m_Hwnd; }
  // Font of `face`, 16 base units high at `zoom`.
  void SetControlFont(const std::wstring& face, double zoom);
  // Grey text when the rows' figures are not to be trusted.
  void SetTextColor(COLORREF color) { m_TextColor = color; }
  // The parent hands over NM_CUSTOMDRAW of this list; returns the result.
  LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);
  // The parent hands over WM_NOTIFY: true when it was this list's custom
  // draw, answered in `*result` (none in high contrast: the system draws).
  bool OnNotify(LPARAM lp, bool highContrast, INT_PTR* result);

  static constexpr COLORREF EVEN_ROW = RGB(255, 255, 255);
  static constexpr COLORREF ODD_ROW = RGB(248, 248, 248);
  static constexpr COLORREF SEPARATOR = RGB(224, 224, 224);

 private:
  HWND m_Hwnd = nullptr;
  HFONT m_Font = nullptr;
  COLORREF m_TextColor = RGB(0, 0, 0);
};

// CComboBoxCx: a drop-down list with the skin's font.
class CComboBoxCx {
 public:
  CComboBoxCx() = default;
  ~CComboBoxCx();
  CComboBoxCx(const CComboBoxCx&) = delete;
  CComboBoxCx& operator=(const CComboBoxCx&) = delete;

  bool Attach(HWND parent, int id);
  HWND Hwnd() const { return m_Hwnd; }
  // Font of `face`, `size` base units high at `zoom`; the selection field
  // is a quarter higher than the font.
  void SetControlFont(const std::wstring& face, int size, double zoom);

 private:
  HWND m_Hwnd = nullptr;
  HFONT m_Font = nullptr;
};

}  // namespace ui
