// CColourPicker: a colour button with a drop-down palette. The button shows
// the chosen colour (or "Automatic") with an arrow; a click, Space, Enter or
// Alt+Down opens CColourPopup under it: an "Automatic" row, a grid of
// colours and "More Colours...", which opens the system's colour dialog.
// Choosing sends the parent WM_COMMAND with CPN_SELCHANGE; Escape or a click
// elsewhere closes the palette and changes nothing.
//
// The button's window text is "Automatic" or "#RRGGBB", so readers and tests
// see the choice as text.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

namespace ui {

// Notification code of WM_COMMAND when the colour changed.
constexpr WORD CPN_SELCHANGE = 0x0500;

// The palette's colours, row by row (8 per row).
constexpr size_t PALETTE_COLUMNS = 8;
constexpr size_t PALETTE_SIZE = 40;
extern const std::array<COLORREF, PALETTE_SIZE> PALETTE;

class CColourPopup;

class CColourPicker {
 public:
  CColourPicker() = default;
  ~CColourPicker();
  CColourPicker(const CColourPicker&) = delete;
  CColourPicker& operator=(const CColourPicker&) = delete;

  // Creates the button as child `id` of `parent`. False on failure.
  bool Create(HWND parent, int id);
  HWND Hwnd() const { return m_Hwnd; }

  // The chosen colour; none is "Automatic".
  std::optional<COLORREF> Colour() const { return m_Colour; }
  void SetColour(std::optional<COLORREF> colour);
  // The colour drawn for "Automatic".
  void SetAutomaticColour(COLORREF colour);
  void SetFont(HFONT font);

  // Opens the palette under the button.
  void Open();

 private:
  friend class CColourPopup;
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void Paint(HDC dc);
  // From the palette: the user chose (or, with `chosen` false, closed it).
  void Chosen(bool chosen, std::optional<COLORREF> colour);
  void UpdateText();

  HWND m_Hwnd = nullptr;
  HFONT m_Font = nullptr;
  std::optional<COLORREF> m_Colour;
  COLORREF m_Automatic = RGB(0, 0, 0);
  CColourPopup* m_Popup = nullptr;
};

// The drop-down palette of a CColourPicker: a top-level popup window that
// owns itself and goes when a choice is made or it loses the focus.
class CColourPopup {
 public:
  // Cells: 0 "Automatic", 1..PALETTE_SIZE the colours, PALETTE_SIZE + 1 "More Colours...".
  static constexpr int CELL_AUTOMATIC = 0;
  static constexpr int CELL_MORE = static_cast<int>(PALETTE_SIZE) + 1;

  // Shows the palette under `picker`; it deletes itself when closed.
  static CColourPopup* Open(CColourPicker& picker);
  // Closes without a choice (the picker is going away).
  void Cancel();

 private:
  explicit CColourPopup(CColourPicker& picker) : m_Picker(&picker) {}
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  RECT CellRect(int cell) const;
  int CellAt(POINT p) const;
  void Paint(HDC dc);
  void Move(int key);
  void Choose(int cell);
  void Close(bool chosen, std::optional<COLORREF> colour);

  CColourPicker* m_Picker;
  HWND m_Hwnd = nullptr;
  int m_Cell = CELL_AUTOMATIC;  // the highlighted cell
  int m_Unit = 18;              // a colour cell's size in pixels
  bool m_Closing = false;
};

}  // namespace ui
