#include "ui/win32/SplashScreenEx.h"

#include <memory>
#include <vector>

#include "os/win32/WinText.h"
#include "ui/SkinMath.h"
#include "ui/win32/Gdiplus.h"
#include "ui/win32/SkinControl.h"

namespace ui {
namespace {

constexpr wchar_t CLASS_NAME[] = L"SplashScreenExClass";

bool RegisterSplashClass(bool shadow) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  if (GetClassInfoExW(GetModuleHandleW(nullptr), CLASS_NAME, &wc)) return true;
  wc.cbSize = sizeof(wc);
  wc.style = CS_DBLCLKS | CS_SAVEBITS | (shadow ? CS_DROPSHADOW : 0);
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = CLASS_NAME;
  if (RegisterClassExW(&wc)) return true;
  wc.style &= ~static_cast<UINT>(CS_DROPSHADOW);
  return RegisterClassExW(&wc) != 0;
}

}  // namespace

CSplashScreenEx::~CSplashScreenEx() {
  if (m_Hwnd != nullptr) DestroyWindow(m_Hwnd);
  if (m_Bitmap != nullptr) DeleteObject(m_Bitmap);
  if (m_Font != nullptr) DeleteObject(m_Font);
}

bool CSplashScreenEx::Create(HWND owner, int style) {
  m_Owner = owner;
  m_Style = style;
  if (!RegisterSplashClass((style & SHADOW) != 0)) return false;
  m_Hwnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, CLASS_NAME, L"", WS_POPUP, 0, 0, 10,
                           10, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (m_Hwnd == nullptr) return false;
  SetWindowLongPtrW(m_Hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(m_Hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc));
  return true;
}

bool CSplashScreenEx::SetBitmap(int resourceId) {
  std::unique_ptr<Gdiplus::Bitmap> image = LoadPngResource(resourceId);
  if (!image || m_Hwnd == nullptr) return false;
  m_Width = static_cast<int>(image->GetWidth());
  m_Height = static_cast<int>(image->GetHeight());
  if (m_Bitmap != nullptr) DeleteObject(m_Bitmap);
  image->GetHBITMAP(Gdiplus::Color(255, 0, 255), &m_Bitmap);

  // The window's shape: every pixel that is not magenta, row by row.
  Gdiplus::BitmapData data{};
  Gdiplus::Rect all(0, 0, m_Width, m_Height);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  if (image->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) ==
      Gdiplus::Ok) {
    std::vector<uint32_t> row(static_cast<size_t>(m_Width));
    for (int y = 0; y < m_Height; ++y) {
      const auto* src = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(data.Scan0) +
                                                          static_cast<ptrdiff_t>(y) * data.Stride);
      for (int x = 0; x < m_Width; ++x) {
        // Transparent pixels count as magenta too.
        row[static_cast<size_t>(x)] = (src[x] >> 24) < 128 ? 0xFF00FFu : src[x] & 0xFFFFFFu;
      }
      for (const PixelRun& run : OpaqueRuns(row.data(), m_Width, 0xFF00FFu)) {
        HRGN piece = CreateRectRgn(run.Start, y, run.End, y + 1);
        CombineRgn(region, region, piece, RGN_OR);
        DeleteObject(piece);
      }
    }
    image->UnlockBits(&data);
  }
  SetWindowRgn(m_Hwnd, region, FALSE);

  RECT area{};
  if ((m_Style & CENTER_OWNER) && m_Owner != nullptr) {
    GetWindowRect(m_Owner, &area);
  } else {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  const int x = area.left + (area.right - area.left - m_Width) / 2;
  const int y = area.top + (area.bottom - area.top - m_Height) / 2;
  SetWindowPos(m_Hwnd, nullptr, x, y, m_Width, m_Height, SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

void CSplashScreenEx::SetTextFont(const std::wstring& face, int points) {
  if (m_Font != nullptr) DeleteObject(m_Font);
  HDC dc = GetDC(m_Hwnd);
  const int height = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
  ReleaseDC(m_Hwnd, dc);
  m_Font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_NATURAL_QUALITY,
                       DEFAULT_PITCH, face.size() <= 31 ? face.c_str() : L"");
}

void CSplashScreenEx::SetText(const std::string& utf8) {
  m_Text = os::Utf8ToWide(utf8);
  if (m_Hwnd == nullptr) return;
  SetWindowTextW(m_Hwnd, m_Text.c_str());
  RedrawWindow(m_Hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CSplashScreenEx::Show() {
  if (m_Hwnd == nullptr) return;
  // A blend draws the window through WM_PRINTCLIENT and shows it without
  // activating it; where the system cannot blend it simply shows it.
  if ((m_Style & FADE_IN) == 0 || !AnimateWindow(m_Hwnd, 500, AW_BLEND)) {
    SetWindowPos(m_Hwnd, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }
  UpdateWindow(m_Hwnd);
}

void CSplashScreenEx::Hide() {
  if (m_Hwnd == nullptr) return;
  if (m_Style & FADE_OUT) AnimateWindow(m_Hwnd, 200, AW_BLEND | AW_HIDE);
  DestroyWindow(m_Hwnd);
  m_Hwnd = nullptr;
}

void CSplashScreenEx::Paint(HDC dc) {
  if (m_Bitmap != nullptr) {
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, m_Bitmap);
    BitBlt(dc, 0, 0, m_Width, m_Height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
  }
  SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, m_TextColor);
  HGDIOBJ oldFont = SelectObject(dc, m_Font != nullptr ? m_Font : GetStockObject(DEFAULT_GUI_FONT));
  RECT r = m_TextRect;
  DrawTextW(dc, m_Text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, oldFont);
}

LRESULT CALLBACK CSplashScreenEx::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<CSplashScreenEx*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self != nullptr) {
    switch (msg) {
      case WM_ERASEBKGND:
        return 1;
      case WM_PRINTCLIENT:  // what a fade draws
        self->Paint(reinterpret_cast<HDC>(wp));
        return 0;
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        self->Paint(dc);
        EndPaint(hwnd, &ps);
        return 0;
      }
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_KEYDOWN:
        if (self->m_Style & HIDE_ON_INPUT) {
          self->Hide();
          return 0;
        }
        break;
      default:
        break;
    }
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace ui
