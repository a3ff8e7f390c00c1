#include "ui/win32/DialogCx.h"

#include <commctrl.h>

#include "os/win32/WinText.h"
#include "ui/win32/Gdiplus.h"
#include "ui/win32/SkinControl.h"

namespace ui {
namespace {

// One gate for every pane of the process: DPI changes closer than a second
// apart are ignored.
CDpiChangeGate g_DpiGate;

}  // namespace

CDialogCx::CDialogCx() = default;

CDialogCx::~CDialogCx() {
  Destroy();
  if (m_BackgroundBrush != nullptr) DeleteObject(m_BackgroundBrush);
  if (m_BackgroundBitmap != nullptr) DeleteObject(m_BackgroundBitmap);
}

void CDialogCx::Destroy() {
  if (m_Hwnd != nullptr) {
    HWND hwnd = m_Hwnd;
    m_Hwnd = nullptr;
    SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    DestroyWindow(hwnd);
  }
}

INT_PTR CDialogCx::DoModal(int templateId, HWND owner) {
  m_Modal = true;
  m_Ended = false;
  HWND hwnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner,
                                 DialogProc, reinterpret_cast<LPARAM>(this));
  if (hwnd == nullptr) return -1;
  if (!m_Ended) ShowWindow(hwnd, SW_SHOW);
  MSG msg;
  while (!m_Ended && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (m_Accelerators != nullptr && m_Hwnd != nullptr &&
        TranslateAcceleratorW(m_Hwnd, m_Accelerators, &msg)) {
      continue;
    }
    // A modeless dialog the window owns (its own top-level window) gets
    // its keys too: Tab, Enter and Escape.
    HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root != nullptr && root != m_Hwnd && m_Hwnd != nullptr &&
        GetWindow(root, GW_OWNER) == m_Hwnd && IsDialogMessageW(root, &msg)) {
      continue;
    }
    if (m_Hwnd != nullptr && IsDialogMessageW(m_Hwnd, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  Destroy();
  return m_Result;
}

void CDialogCx::EndModal(INT_PTR result) {
  m_Result = result;
  m_Ended = true;
  if (m_Hwnd != nullptr) ShowWindow(m_Hwnd, SW_HIDE);
  PostMessageW(nullptr, WM_NULL, 0, 0);
}

bool CDialogCx::CreateModeless(int templateId, HWND parent) {
  m_Modal = false;
  HWND hwnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent,
                                 DialogProc, reinterpret_cast<LPARAM>(this));
  return hwnd != nullptr;
}

std::string CDialogCx::Text(const std::string& section, const std::string& key) const {
  return m_Text ? m_Text(section, key) : std::string();
}

int32_t CDialogCx::ApplyZoomChoice(int32_t choice) {
  const int32_t percent = ZoomPercent(m_Dpi, choice);
  m_Zoom = percent / 100.0;
  return percent;
}

void CDialogCx::ReadDisplayState() {
  HIGHCONTRASTW hc{};
  hc.cbSize = sizeof(hc);
  m_HighContrast = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(hc), &hc, 0) != FALSE &&
                   (hc.dwFlags & HCF_HIGHCONTRASTON) != 0;
  HDC dc = GetDC(m_Hwnd);
  m_Dpi = GetDeviceCaps(dc, LOGPIXELSY);
  m_LowColor = IsLowColor(m_HighContrast, GetDeviceCaps(dc, PLANES), GetDeviceCaps(dc, BITSPIXEL));
  ReleaseDC(m_Hwnd, dc);
  if (m_Dpi <= 0) m_Dpi = 96;
}

void CDialogCx::SetClientSize(int width, int height) {
  const int w = Scale(width, m_Zoom), h = Scale(height, m_Zoom);
  RECT client;
  GetClientRect(m_Hwnd, &client);
  if (client.right == w && client.bottom == h) return;
  RECT want{0, 0, w, h};
  const DWORD style = static_cast<DWORD>(GetWindowLongW(m_Hwnd, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(m_Hwnd, GWL_EXSTYLE));
  AdjustWindowRectEx(&want, style, GetMenu(m_Hwnd) != nullptr, exStyle);
  SetWindowPos(m_Hwnd, nullptr, 0, 0, want.right - want.left, want.bottom - want.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  GetClientRect(m_Hwnd, &client);
  if (client.bottom != h) {
    RECT window;
    GetWindowRect(m_Hwnd, &window);
    SetWindowPos(m_Hwnd, nullptr, 0, 0, window.right - window.left,
                 window.bottom - window.top + (h - client.bottom),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void CDialogCx::PlaceChild(int id, int x, int y, int w, int h) {
  HWND child = GetDlgItem(m_Hwnd, id);
  if (child == nullptr) return;
  MoveWindow(child, Scale(x, m_Zoom), Scale(y, m_Zoom), Scale(w, m_Zoom), Scale(h, m_Zoom), TRUE);
}

HWND CDialogCx::CreateChild(const wchar_t* className, int id, DWORD style, DWORD exStyle) {
  return CreateWindowExW(exStyle, className, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10,
                         m_Hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

void CDialogCx::CreateSkinButton(CButtonCx& control, int id, COLORREF background) {
  CreateChild(L"BUTTON", id, BS_PUSHBUTTON | WS_TABSTOP);
  control.Attach(m_Hwnd, id);
  control.SetBackground(background);
}

void CDialogCx::CreateSkinLabel(CStaticCx& control, int id, COLORREF background, DWORD style) {
  CreateChild(L"STATIC", id, style);
  control.Attach(m_Hwnd, id);
  control.SetBackground(background);
}

std::wstring CDialogCx::FindSkinImage(const std::string& key) const {
  if (m_SkinFolder.empty()) return {};
  const std::wstring path = m_SkinFolder + os::Utf8ToWide(key) + L".png";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  CloseHandle(file);
  return path;
}

void CDialogCx::SetBackgroundImage(const std::string& key, int resourceId) {
  if (key == m_BackgroundKey && resourceId == m_BackgroundResource && m_BackgroundImage) return;
  m_BackgroundKey = key;
  m_BackgroundResource = resourceId;
  const std::wstring skin = FindSkinImage(key);
  m_BackgroundImage = skin.empty() ? nullptr : LoadPngFile(skin);
  if (!m_BackgroundImage) m_BackgroundImage = LoadPngResource(resourceId);
  m_BackgroundSize = {};
  RenderBackground();
}

void CDialogCx::RenderBackground() {
  if (m_Hwnd == nullptr || !m_BackgroundImage) return;
  RECT client;
  GetClientRect(m_Hwnd, &client);
  if (client.right <= 0 || client.bottom <= 0) return;
  if (m_BackgroundBitmap != nullptr && client.right == m_BackgroundSize.cx &&
      client.bottom == m_BackgroundSize.cy) {
    return;
  }
  HDC screen = GetDC(m_Hwnd);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
  HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(m_Hwnd, screen);
  if (bitmap == nullptr || dc == nullptr) {
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (dc != nullptr) DeleteDC(dc);
    return;
  }
  HGDIOBJ old = SelectObject(dc, bitmap);
  {
    Gdiplus::Graphics g(dc);
    g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    g.DrawImage(m_BackgroundImage.get(), Gdiplus::Rect(0, 0, client.right, client.bottom), 0, 0,
                static_cast<INT>(m_BackgroundImage->GetWidth()),
                static_cast<INT>(m_BackgroundImage->GetHeight()), Gdiplus::UnitPixel);
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  HBRUSH brush = CreatePatternBrush(bitmap);
  if (brush == nullptr) {
    DeleteObject(bitmap);
    return;
  }
  if (m_BackgroundBrush != nullptr) DeleteObject(m_BackgroundBrush);
  if (m_BackgroundBitmap != nullptr) DeleteObject(m_BackgroundBitmap);
  m_BackgroundBrush = brush;
  m_BackgroundBitmap = bitmap;
  m_BackgroundSize = {client.right, client.bottom};
  RedrawWindow(m_Hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

bool CDialogCx::ChildOrigin(HWND control, POINT* origin) const {
  RECT r;
  if (!GetWindowRect(control, &r)) return false;
  *origin = {r.left, r.top};
  return ScreenToClient(m_Hwnd, origin) != FALSE;
}

bool CDialogCx::PaintUnder(HWND control, HDC target) const {
  POINT at;
  if (m_BackgroundBitmap == nullptr || m_HighContrast || !ChildOrigin(control, &at)) return false;
  RECT rc;
  GetClientRect(control, &rc);
  HDC dc = CreateCompatibleDC(target);
  HGDIOBJ old = SelectObject(dc, m_BackgroundBitmap);
  BitBlt(target, 0, 0, rc.right, rc.bottom, dc, at.x, at.y, SRCCOPY);
  SelectObject(dc, old);
  DeleteDC(dc);
  return true;
}

INT_PTR CALLBACK CDialogCx::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  CDialogCx* self = nullptr;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<CDialogCx*>(lp);
    SetWindowLongPtrW(hwnd, DWLP_USER, lp);
    self->m_Hwnd = hwnd;
  } else {
    self = reinterpret_cast<CDialogCx*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (self == nullptr) return FALSE;
  return self->Handle(msg, wp, lp);
}

INT_PTR CDialogCx::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCDESTROY) {
    // The window went with its parent: the object no longer names it.
    SetWindowLongPtrW(m_Hwnd, DWLP_USER, 0);
    m_Hwnd = nullptr;
    return FALSE;
  }
  if (msg == SkinBackgroundMessage()) {
    // A skinned control of the dialog's own colour shows the picture.
    const auto* request = reinterpret_cast<const SkinBackgroundRequest*>(lp);
    const bool drawn = request != nullptr && request->Color == m_BackgroundColor &&
                       PaintUnder(request->Control, request->Dc);
    SetWindowLongPtrW(m_Hwnd, DWLP_MSGRESULT, drawn ? TRUE : FALSE);
    return TRUE;
  }
  if (msg == WM_SIZE) RenderBackground();
  INT_PTR result = 0;
  if (OnMessage(msg, wp, lp, &result)) {
    SetWindowLongPtrW(m_Hwnd, DWLP_MSGRESULT, result);
    return TRUE;
  }
  switch (msg) {
    case WM_INITDIALOG:
      ReadDisplayState();
      m_BackgroundBrush = CreateSolidBrush(m_BackgroundColor);
      m_ToolTip =
          CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                          WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_NOANIMATE | TTS_NOFADE,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_Hwnd,
                          nullptr, GetModuleHandleW(nullptr), nullptr);
      if (m_ToolTip != nullptr) SendMessageW(m_ToolTip, TTM_SETMAXTIPWIDTH, 0, 1024);
      return OnInitDialog();
    case WM_COMMAND: {
      const int id = LOWORD(wp);
      if (id == IDCANCEL && lp == 0) {
        OnCancel();
        return TRUE;
      }
      if (id == IDOK && lp == 0) {
        OnOK();
        return TRUE;
      }
      OnCommand(id, HIWORD(wp), reinterpret_cast<HWND>(lp));
      return TRUE;
    }
    case WM_CTLCOLORDLG:
      if (m_HighContrast) return FALSE;
      return reinterpret_cast<INT_PTR>(m_BackgroundBrush);
    case WM_CTLCOLORSTATIC: {
      if (m_HighContrast) return FALSE;
      HDC dc = reinterpret_cast<HDC>(wp);
      SetBkColor(dc, m_BackgroundColor);
      wchar_t cls[16] = {};
      GetClassNameW(reinterpret_cast<HWND>(lp), cls, 16);
      POINT at;
      // The picture lines up with the dialog's; labels and check boxes
      // show it through their text, a read-only edit keeps its text plain.
      if (m_BackgroundBitmap != nullptr && ChildOrigin(reinterpret_cast<HWND>(lp), &at)) {
        SetBrushOrgEx(dc, -at.x, -at.y, nullptr);
        if (lstrcmpiW(cls, L"Edit") != 0) SetBkMode(dc, TRANSPARENT);
      }
      return reinterpret_cast<INT_PTR>(m_BackgroundBrush);
    }
    case WM_DPICHANGED: {
      if (!g_DpiGate.Accept(GetTickCount64())) return TRUE;
      m_Dpi = HIWORD(wp);
      if (m_ZoomChoice != 0) return TRUE;
      const int32_t old = static_cast<int32_t>(m_Zoom * 100);
      if (old != ApplyZoomChoice(0)) RelayoutDialog();
      return TRUE;
    }
    case WM_SYSCOLORCHANGE:
      ReadDisplayState();
      RelayoutDialog();
      return TRUE;
    case WM_DISPLAYCHANGE:
      RelayoutDialog();
      return TRUE;
    default:
      return FALSE;
  }
}

void CDialogCx::PlaceOverPanel() {
  MoveWindow(m_Hwnd, Scale(16, m_Zoom), Scale(124, m_Zoom), Scale(990, m_Zoom), Scale(624, m_Zoom),
             TRUE);
}

}  // namespace ui
