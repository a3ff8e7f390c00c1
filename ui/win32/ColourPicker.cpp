#include "ui/win32/ColourPicker.h"

#include <commdlg.h>

#include <algorithm>
#include <cstdio>

namespace ui {

const std::array<COLORREF, PALETTE_SIZE> PALETTE = {
    RGB(0, 0, 0),       RGB(153, 51, 0),    RGB(51, 51, 0),     RGB(0, 51, 0),
    RGB(0, 51, 102),    RGB(0, 0, 128),     RGB(51, 51, 153),   RGB(51, 51, 51),
    RGB(128, 0, 0),     RGB(255, 102, 0),   RGB(128, 128, 0),   RGB(0, 128, 0),
    RGB(0, 128, 128),   RGB(0, 0, 255),     RGB(102, 102, 153), RGB(128, 128, 128),
    RGB(255, 0, 0),     RGB(255, 153, 0),   RGB(153, 204, 0),   RGB(51, 153, 102),
    RGB(51, 204, 204),  RGB(51, 102, 255),  RGB(128, 0, 128),   RGB(153, 153, 153),
    RGB(255, 0, 255),   RGB(255, 204, 0),   RGB(255, 255, 0),   RGB(0, 255, 0),
    RGB(0, 255, 255),   RGB(0, 204, 255),   RGB(153, 51, 102),  RGB(192, 192, 192),
    RGB(255, 153, 204), RGB(255, 204, 153), RGB(255, 255, 153), RGB(204, 255, 204),
    RGB(204, 255, 255), RGB(153, 204, 255), RGB(204, 153, 255), RGB(255, 255, 255),
};

namespace {

constexpr wchar_t PICKER_CLASS[] = L"StavrionColourPicker";
constexpr wchar_t POPUP_CLASS[] = L"StavrionColourPopup";
constexpr wchar_t AUTOMATIC[] = L"Automatic";
constexpr wchar_t MORE_COLOURS[] = L"More Colours...";
constexpr int PAD = 4;

void RegisterClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  WNDCLASSW wc{};
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpszClassName = PICKER_CLASS;
  wc.lpfnWndProc = DefWindowProcW;
  RegisterClassW(&wc);
  wc.lpszClassName = POPUP_CLASS;
  wc.style |= CS_DROPSHADOW;
  RegisterClassW(&wc);
}

void FillColour(HDC dc, const RECT& r, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

void Frame(HDC dc, RECT r, COLORREF colour, int width) {
  HBRUSH brush = CreateSolidBrush(colour);
  for (int i = 0; i < width; ++i) {
    FrameRect(dc, &r, brush);
    InflateRect(&r, -1, -1);
  }
  DeleteObject(brush);
}

}  // namespace

// ---- the button ----

CColourPicker::~CColourPicker() {
  if (m_Popup != nullptr) m_Popup->Cancel();
  if (m_Hwnd != nullptr && IsWindow(m_Hwnd)) SetWindowLongPtrW(m_Hwnd, GWLP_USERDATA, 0);
}

bool CColourPicker::Create(HWND parent, int id) {
  RegisterClasses();
  m_Hwnd = CreateWindowExW(0, PICKER_CLASS, AUTOMATIC, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 10,
                           10, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
  if (m_Hwnd == nullptr) return false;
  SetWindowLongPtrW(m_Hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(m_Hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc));
  UpdateText();
  return true;
}

void CColourPicker::SetColour(std::optional<COLORREF> colour) {
  m_Colour = colour;
  UpdateText();
}

void CColourPicker::SetAutomaticColour(COLORREF colour) {
  m_Automatic = colour;
  if (m_Hwnd != nullptr) InvalidateRect(m_Hwnd, nullptr, TRUE);
}

void CColourPicker::SetFont(HFONT font) {
  m_Font = font;
  if (m_Hwnd != nullptr) InvalidateRect(m_Hwnd, nullptr, TRUE);
}

void CColourPicker::UpdateText() {
  if (m_Hwnd == nullptr) return;
  if (m_Colour) {
    wchar_t text[16];
    std::swprintf(text, 16, L"#%02X%02X%02X", GetRValue(*m_Colour), GetGValue(*m_Colour),
                  GetBValue(*m_Colour));
    SetWindowTextW(m_Hwnd, text);
  } else {
    SetWindowTextW(m_Hwnd, AUTOMATIC);
  }
  InvalidateRect(m_Hwnd, nullptr, TRUE);
}

void CColourPicker::Open() {
  if (m_Hwnd == nullptr || m_Popup != nullptr || !IsWindowEnabled(m_Hwnd)) return;
  m_Popup = CColourPopup::Open(*this);
}

void CColourPicker::Chosen(bool chosen, std::optional<COLORREF> colour) {
  m_Popup = nullptr;
  if (m_Hwnd == nullptr) return;
  SetFocus(m_Hwnd);
  if (!chosen) return;
  m_Colour = colour;
  UpdateText();
  SendMessageW(GetParent(m_Hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(m_Hwnd), CPN_SELCHANGE),
               reinterpret_cast<LPARAM>(m_Hwnd));
}

void CColourPicker::Paint(HDC dc) {
  RECT r;
  GetClientRect(m_Hwnd, &r);
  const bool enabled = IsWindowEnabled(m_Hwnd) != FALSE;
  FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
  Frame(dc, r, GetSysColor(COLOR_BTNSHADOW), 1);
  const int h = r.bottom - r.top;
  // The swatch, the text, the arrow.
  RECT swatch{r.left + PAD, r.top + PAD, r.left + PAD + 2 * (h - 2 * PAD), r.bottom - PAD};
  FillColour(dc, swatch, m_Colour.value_or(m_Automatic));
  Frame(dc, swatch, GetSysColor(COLOR_BTNTEXT), 1);
  HGDIOBJ oldFont = m_Font != nullptr ? SelectObject(dc, m_Font) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
  wchar_t text[64] = {};
  GetWindowTextW(m_Hwnd, text, 64);
  RECT textRect{swatch.right + PAD * 2, r.top, r.right - h, r.bottom};
  DrawTextW(dc, text, -1, &textRect, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  if (oldFont != nullptr) SelectObject(dc, oldFont);
  const int cx = r.right - h / 2, cy = (r.top + r.bottom) / 2, a = std::max(3, h / 7);
  POINT arrow[3] = {{cx - a, cy - a / 2}, {cx + a, cy - a / 2}, {cx, cy + a / 2 + 1}};
  HBRUSH brush = CreateSolidBrush(GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
  Polygon(dc, arrow, 3);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(brush);
  if (GetFocus() == m_Hwnd) {
    RECT focus = r;
    InflateRect(&focus, -2, -2);
    DrawFocusRect(dc, &focus);
  }
}

LRESULT CALLBACK CColourPicker::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<CColourPicker*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      self->Paint(dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
      SetFocus(hwnd);
      self->Open();
      return 0;
    case WM_KEYDOWN:
      if (wp == VK_SPACE || wp == VK_RETURN || wp == VK_DOWN || wp == VK_F4) {
        self->Open();
        return 0;
      }
      break;
    case WM_SYSKEYDOWN:
      if (wp == VK_DOWN) {
        self->Open();
        return 0;
      }
      break;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_BUTTON;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
      InvalidateRect(hwnd, nullptr, TRUE);
      break;
    case WM_DESTROY:
      if (self->m_Popup != nullptr) self->m_Popup->Cancel();
      self->m_Hwnd = nullptr;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// ---- the palette ----

CColourPopup* CColourPopup::Open(CColourPicker& picker) {
  auto* popup = new CColourPopup(picker);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  popup->m_Unit = MulDiv(18, dpi > 0 ? dpi : 96, 96);
  const RECT more = popup->CellRect(CELL_MORE);
  const int width = more.right + PAD, height = more.bottom + PAD;
  RECT below;
  GetWindowRect(picker.Hwnd(), &below);
  // Under the button, kept on its monitor's work area.
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(MonitorFromWindow(picker.Hwnd(), MONITOR_DEFAULTTONEAREST), &info);
  int x = std::min(static_cast<int>(below.left), static_cast<int>(info.rcWork.right) - width);
  int y = static_cast<int>(below.bottom);
  if (y + height > info.rcWork.bottom) y = static_cast<int>(below.top) - height;
  x = std::max(x, static_cast<int>(info.rcWork.left));
  popup->m_Cell = CELL_AUTOMATIC;
  if (const auto colour = picker.Colour()) {
    const auto at = std::find(PALETTE.begin(), PALETTE.end(), *colour);
    if (at != PALETTE.end()) popup->m_Cell = 1 + static_cast<int>(at - PALETTE.begin());
  }
  popup->m_Hwnd = CreateWindowExW(
      WS_EX_TOOLWINDOW | WS_EX_TOPMOST, POPUP_CLASS, L"", WS_POPUP | WS_BORDER, x, y, width + 2,
      height + 2, GetAncestor(picker.Hwnd(), GA_ROOT), nullptr, GetModuleHandleW(nullptr), nullptr);
  if (popup->m_Hwnd == nullptr) {
    delete popup;
    return nullptr;
  }
  SetWindowLongPtrW(popup->m_Hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(popup));
  SetWindowLongPtrW(popup->m_Hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc));
  ShowWindow(popup->m_Hwnd, SW_SHOW);
  SetFocus(popup->m_Hwnd);
  return popup;
}

void CColourPopup::Cancel() {
  m_Picker = nullptr;
  m_Closing = true;
  if (m_Hwnd != nullptr) DestroyWindow(m_Hwnd);  // deletes this
}

RECT CColourPopup::CellRect(int cell) const {
  const int stride = m_Unit + 2;
  const int width = static_cast<int>(PALETTE_COLUMNS) * stride - 2;
  const int row = m_Unit + 8;
  const int gridTop = PAD + row + 4;
  if (cell == CELL_AUTOMATIC) return RECT{PAD, PAD, PAD + width, PAD + row};
  if (cell == CELL_MORE) {
    const int top = gridTop + static_cast<int>(PALETTE_SIZE / PALETTE_COLUMNS) * stride + 2;
    return RECT{PAD, top, PAD + width, top + row};
  }
  const int k = cell - 1;
  const int left = PAD + (k % static_cast<int>(PALETTE_COLUMNS)) * stride;
  const int top = gridTop + (k / static_cast<int>(PALETTE_COLUMNS)) * stride;
  return RECT{left, top, left + m_Unit, top + m_Unit};
}

int CColourPopup::CellAt(POINT p) const {
  for (int cell = CELL_AUTOMATIC; cell <= CELL_MORE; ++cell) {
    const RECT r = CellRect(cell);
    if (PtInRect(&r, p)) return cell;
  }
  return -1;
}

void CColourPopup::Paint(HDC dc) {
  RECT all;
  GetClientRect(m_Hwnd, &all);
  FillRect(dc, &all, GetSysColorBrush(COLOR_MENU));
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  if (m_Picker != nullptr && m_Picker->m_Font != nullptr) font = m_Picker->m_Font;
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_MENUTEXT));
  const std::optional<COLORREF> current =
      m_Picker != nullptr ? m_Picker->Colour() : std::optional<COLORREF>();
  for (int cell = CELL_AUTOMATIC; cell <= CELL_MORE; ++cell) {
    RECT r = CellRect(cell);
    if (cell == CELL_AUTOMATIC || cell == CELL_MORE) {
      if (cell == m_Cell) FillRect(dc, &r, GetSysColorBrush(COLOR_HIGHLIGHT));
      SetTextColor(dc, GetSysColor(cell == m_Cell ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
      RECT text = r;
      if (cell == CELL_AUTOMATIC) {
        RECT swatch{r.left + 3, r.top + 3, r.left + 3 + m_Unit, r.bottom - 3};
        FillColour(dc, swatch, m_Picker != nullptr ? m_Picker->m_Automatic : RGB(0, 0, 0));
        Frame(dc, swatch, GetSysColor(COLOR_BTNSHADOW), 1);
        if (!current) Frame(dc, r, GetSysColor(COLOR_BTNSHADOW), 1);
      }
      DrawTextW(dc, cell == CELL_AUTOMATIC ? AUTOMATIC : MORE_COLOURS, -1, &text,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      continue;
    }
    const COLORREF colour = PALETTE[static_cast<size_t>(cell - 1)];
    FillColour(dc, r, colour);
    Frame(dc, r, GetSysColor(COLOR_BTNSHADOW), 1);
    RECT outer = r;
    InflateRect(&outer, 1, 1);
    if (current && *current == colour) Frame(dc, outer, GetSysColor(COLOR_MENUTEXT), 1);
    if (cell == m_Cell) Frame(dc, outer, GetSysColor(COLOR_HIGHLIGHT), 2);
  }
  SelectObject(dc, oldFont);
}

void CColourPopup::Move(int key) {
  const int columns = static_cast<int>(PALETTE_COLUMNS);
  const int last = static_cast<int>(PALETTE_SIZE);
  int cell = m_Cell;
  switch (key) {
    case VK_RIGHT:
      cell = std::min(cell + 1, CELL_MORE);
      break;
    case VK_LEFT:
      cell = std::max(cell - 1, CELL_AUTOMATIC);
      break;
    case VK_DOWN:
      cell = cell == CELL_AUTOMATIC ? 1
             : cell == CELL_MORE    ? CELL_MORE
                                    : (cell + columns <= last ? cell + columns : CELL_MORE);
      break;
    case VK_UP:
      cell = cell == CELL_MORE     ? last - columns + 1
             : cell - columns >= 1 ? cell - columns
                                   : CELL_AUTOMATIC;
      break;
    default:
      return;
  }
  if (cell != m_Cell) {
    m_Cell = cell;
    InvalidateRect(m_Hwnd, nullptr, TRUE);
  }
}

void CColourPopup::Choose(int cell) {
  if (cell == CELL_AUTOMATIC) {
    Close(true, std::nullopt);
  } else if (cell == CELL_MORE) {
    // The palette goes first: the system's dialog is modal to the window.
    CColourPicker* picker = m_Picker;
    Close(false, std::nullopt);
    if (picker == nullptr || picker->Hwnd() == nullptr) return;
    static COLORREF custom[16] = {};
    CHOOSECOLORW cc{};
    cc.lStructSize = sizeof(cc);
    cc.hwndOwner = GetAncestor(picker->Hwnd(), GA_ROOT);
    cc.lpCustColors = custom;
    cc.rgbResult = picker->Colour().value_or(picker->m_Automatic);
    cc.Flags = CC_FULLOPEN | CC_RGBINIT;
    // The dialog's own loop runs while it is open: the picker (and the pane
    // that holds it) may be gone when it returns, so it is asked again
    // through its window before it hears the choice.
    HWND button = picker->Hwnd();
    const BOOL ok = ChooseColorW(&cc);
    if (ok && IsWindow(button) &&
        GetWindowLongPtrW(button, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(picker)) {
      picker->Chosen(true, cc.rgbResult);
    }
  } else if (cell > CELL_AUTOMATIC && cell < CELL_MORE) {
    Close(true, PALETTE[static_cast<size_t>(cell - 1)]);
  }
}

void CColourPopup::Close(bool chosen, std::optional<COLORREF> colour) {
  if (m_Closing) return;
  m_Closing = true;
  CColourPicker* picker = m_Picker;
  m_Picker = nullptr;
  HWND hwnd = m_Hwnd;
  DestroyWindow(hwnd);  // deletes this
  if (picker != nullptr) picker->Chosen(chosen, colour);
}

LRESULT CALLBACK CColourPopup::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<CColourPopup*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
  return self->Handle(msg, wp, lp);
}

LRESULT CColourPopup::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(m_Hwnd, &ps);
      Paint(dc);
      EndPaint(m_Hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEMOVE: {
      const int cell =
          CellAt(POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
      if (cell >= 0 && cell != m_Cell) {
        m_Cell = cell;
        InvalidateRect(m_Hwnd, nullptr, TRUE);
      }
      return 0;
    }
    case WM_LBUTTONUP: {
      const int cell =
          CellAt(POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
      if (cell >= 0) Choose(cell);
      return 0;
    }
    case WM_KEYDOWN:
      if (wp == VK_ESCAPE) {
        Close(false, std::nullopt);
      } else if (wp == VK_RETURN || wp == VK_SPACE) {
        Choose(m_Cell);
      } else {
        Move(static_cast<int>(wp));
      }
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTALLKEYS;
    case WM_ACTIVATE:
      // A click elsewhere: closed without a choice.
      if (LOWORD(wp) == WA_INACTIVE) Close(false, std::nullopt);
      return 0;
    case WM_NCDESTROY: {
      HWND hwnd = m_Hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      // Gone without Close (the program ends): the picker forgets it.
      if (m_Picker != nullptr) m_Picker->m_Popup = nullptr;
      delete this;
      return DefWindowProcW(hwnd, msg, wp, lp);
    }
    default:
      break;
  }
  return DefWindowProcW(m_Hwnd, msg, wp, lp);
}

}  // namespace ui
