// CListCtrlEx: a report list view with the skin's font, alternating row
// colours and thin column separators. The rows stay items of the control,
// so screen readers and tests read them.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

namespace ui {

class CListCtrlEx {
 public:
  CListCtrlEx() = default;
  ~CListCtrlEx();
  CListCtrlEx(const CListCtrlEx&) = delete;
  CListCtrlEx& operator=(const CListCtrlEx&) = delete;

  // Takes over list view `id` of `parent`.
  bool Attach(HWND parent, int id);
  HWND Hwnd() const { return m_Hwnd; }
  // Font of `face`, 16 base units high at `zoom`.
  void SetControlFont(const std::wstring& face, double zoom);
  // Grey text when the rows' figures are not to be trusted.
  void SetTextColor(COLORREF color) { m_TextColor = color; }
  // The parent hands over NM_CUSTOMDRAW of this list; returns the result.
  LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);

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
