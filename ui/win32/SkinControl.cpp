#include "ui/win32/SkinControl.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <vector>

#include "os/win32/WinText.h"
#include "ui/win32/Gdiplus.h"

namespace ui {
namespace {

// The window property that tells which frame of its image strip (or flat
// face) a control shows.
constexpr wchar_t FRAME_PROPERTY[] = L"StavrionFrame";

}  // namespace

CGdiplusSession::CGdiplusSession() {
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&m_Token, &input, nullptr);
}

CGdiplusSession::~CGdiplusSession() {
  if (m_Token != 0) Gdiplus::GdiplusShutdown(m_Token);
}

std::unique_ptr<Gdiplus::Bitmap> LoadPngResource(int resourceId) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"PNG");
  if (found == nullptr) return nullptr;
  const DWORD size = SizeofResource(module, found);
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr || size == 0) return nullptr;
  IStream* stream = SHCreateMemStream(static_cast<const BYTE*>(data), size);
  if (stream == nullptr) return nullptr;
  std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromStream(stream));
  stream->Release();
  if (bitmap && bitmap->GetLastStatus() != Gdiplus::Ok) bitmap.reset();
  return bitmap;
}

std::unique_ptr<Gdiplus::Bitmap> LoadPngFile(const std::wstring& path) {
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return nullptr;
  std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromFile(path.c_str()));
  if (bitmap && bitmap->GetLastStatus() != Gdiplus::Ok) bitmap.reset();
  return bitmap;
}

bool SaveBitmapPng(HBITMAP handle, const std::wstring& path) {
  UINT count = 0, size = 0;
  Gdiplus::GetImageEncodersSize(&count, &size);
  if (size == 0) return false;
  std::vector<uint8_t> buffer(size);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  Gdiplus::GetImageEncoders(count, size, codecs);
  for (UINT i = 0; i < count; ++i) {
    if (std::wstring(codecs[i].MimeType) == L"image/png") {
      Gdiplus::Bitmap bitmap(handle, nullptr);
      return bitmap.Save(path.c_str(), &codecs[i].Clsid, nullptr) == Gdiplus::Ok;
    }
  }
  return false;
}

CSkinControl::~CSkinControl() {
  if (m_Hwnd != nullptr) RemoveWindowSubclass(m_Hwnd, SubclassProc, 1);
  if (m_Font != nullptr) DeleteObject(m_Font);
  if (m_FitFont != nullptr) DeleteObject(m_FitFont);
}

bool CSkinControl::Attach(HWND dialog, int id) {
  m_Hwnd = GetDlgItem(dialog, id);
  m_Id = id;
  if (m_Hwnd == nullptr) return false;
  SetWindowSubclass(m_Hwnd, SubclassProc, 1, reinterpret_cast<DWORD_PTR>(this));
  return true;
}

void CSkinControl::Place(int x, int y, int w, int h, double zoom) {
  m_Width = Scale(w, zoom);
  m_Height = Scale(h, zoom);
  MoveWindow(m_Hwnd, Scale(x, zoom), Scale(y, zoom), m_Width, m_Height, FALSE);
  // An image strip drawn for another size no longer fits.
  m_Source.Resized(Fits());
  Repaint();
}

void CSkinControl::SetControlFont(const std::wstring& face, int size, double zoom, int weight,
                                  COLORREF color) {
  // Face names longer than a LOGFONT holds fall back to the system's face.
  m_Face = face.size() <= 31 ? face : std::wstring();
  m_FontHeight = -Scale(size, zoom);
  m_FontWeight = weight;
  m_TextColor = color;
  if (m_Font != nullptr) DeleteObject(m_Font);
  m_Font = CreateFontW(m_FontHeight, 0, 0, 0, weight, FALSE, color == RGB(0, 0, 255), FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       CLEARTYPE_NATURAL_QUALITY, DEFAULT_PITCH, m_Face.c_str());
  SendMessageW(m_Hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_Font), FALSE);
  Repaint();
}

void CSkinControl::SetTextAlign(int align) {
  m_Align = align;
  Repaint();
}

void CSkinControl::SetBackground(COLORREF color) { m_Background = color; }

void CSkinControl::SetText(const std::string& utf8) {
  const std::wstring text = os::Utf8ToWide(utf8);
  std::wstring old(static_cast<size_t>(GetWindowTextLengthW(m_Hwnd)) + 1, L'\0');
  old.resize(static_cast<size_t>(GetWindowTextW(m_Hwnd, old.data(), static_cast<int>(old.size()))));
  if (old == text) return;
  SetWindowTextW(m_Hwnd, text.c_str());
  Repaint();
}

std::string CSkinControl::Text() const {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(m_Hwnd)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(m_Hwnd, text.data(), static_cast<int>(text.size()))));
  return os::WideToUtf8(text);
}

UINT SkinBackgroundMessage() {
  static const UINT message = RegisterWindowMessageW(L"Stavrion.SkinBackground");
  return message;
}

bool CSkinControl::Fits() const {
  if (m_Scaled) return m_Image != nullptr;
  return m_Image != nullptr && ImageFits(static_cast<int32_t>(m_Image->GetWidth()),
                                         static_cast<int32_t>(m_Image->GetHeight()),
                                         m_Source.FrameCount(), m_Width, m_Height);
}

bool CSkinControl::TakeImage(std::unique_ptr<Gdiplus::Bitmap> image, int /*frameCount*/) {
  m_Image = std::move(image);
  const bool fits = Fits();
  if (!fits) m_Image.reset();
  Repaint();
  return fits;
}

bool CSkinControl::SetImageFile(const std::wstring& path, int frameCount) {
  // The real state of the image, also for the same file again: a missing
  // skin image still falls back to the built-in one, a good one stays.
  return m_Source.SetFile(path, frameCount, [this](const std::wstring& p, int frames) {
    return TakeImage(LoadPngFile(p), frames);
  });
}

bool CSkinControl::SetImageResource(int resourceId, int frameCount) {
  // The built-in picture already shown (a gauge still at its step): kept.
  if (m_Source.Loaded() && m_Source.Path().empty() && resourceId == m_ResourceId &&
      frameCount == m_Source.FrameCount()) {
    return true;
  }
  m_ResourceId = resourceId;
  return m_Source.SetResource(resourceId, frameCount, [this](int id, int frames) {
    return TakeImage(LoadPngResource(id), frames);
  });
}

void CSkinControl::SetToolTipText(HWND tooltip, const std::string& utf8) {
  if (tooltip == nullptr || !TooltipReplaces(m_ToolTip, utf8)) return;
  m_ToolTip = utf8;
  std::wstring text = os::Utf8ToWide(utf8);
  TTTOOLINFOW info{};
  info.cbSize = sizeof(info);
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = GetParent(m_Hwnd);
  info.uId = reinterpret_cast<UINT_PTR>(m_Hwnd);
  // Asked without a text buffer: the tooltip would copy its whole text into
  // one, however long.
  info.lpszText = nullptr;
  if (!SendMessageW(tooltip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&info))) {
    info.lpszText = text.data();
    SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  } else {
    info.lpszText = text.data();
    SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
  }
}

void CSkinControl::SetSelected(bool selected) {
  if (m_Selected == selected) return;
  m_Selected = selected;
  Repaint();
}

void CSkinControl::Repaint() {
  if (m_Hwnd != nullptr) InvalidateRect(m_Hwnd, nullptr, FALSE);
}

ControlState CSkinControl::State() const {
  ControlState s;
  s.Enabled = IsWindowEnabled(m_Hwnd) != FALSE;
  return s;
}

ControlState CButtonCx::State() const {
  ControlState s = CSkinControl::State();
  s.Pressed = (SendMessageW(m_Hwnd, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
  s.Hover = m_Hover;
  s.Selected = m_Selected;
  return s;
}

void CSkinControl::Paint(HDC target) {
  RECT rc;
  GetClientRect(m_Hwnd, &rc);
  const int w = rc.right, h = rc.bottom;
  if (w <= 0 || h <= 0) return;
  HDC dc = CreateCompatibleDC(target);
  HBITMAP bitmap = CreateCompatibleBitmap(target, w, h);
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);

  // The dialog's picture under the control, or the control's own colour.
  SkinBackgroundRequest request{m_Hwnd, dc, m_Background};
  HWND parent = GetParent(m_Hwnd);
  if (parent == nullptr ||
      !SendMessageW(parent, SkinBackgroundMessage(), 0, reinterpret_cast<LPARAM>(&request))) {
    HBRUSH background = CreateSolidBrush(m_Background);
    FillRect(dc, &rc, background);
    DeleteObject(background);
  }

  const ControlState state = State();
  const bool strip = m_Image != nullptr && m_Source.Loaded();
  // The frame on show, for automation and tests (as 1 + frame: a property
  // of 0 reads as none).
  const bool flatButton = !strip && (GetWindowLongW(m_Hwnd, GWL_STYLE) & WS_TABSTOP) != 0;
  const int shown = ButtonFrame(strip ? m_Source.FrameCount() : flatButton ? 4 : 1, state);
  SetPropW(m_Hwnd, FRAME_PROPERTY, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(shown + 1)));
  if (strip) {
    const int frame = shown;
    const int frameHeight =
        FrameHeight(static_cast<int32_t>(m_Image->GetHeight()), m_Source.FrameCount());
    Gdiplus::Graphics g(dc);
    if (m_Scaled) {
      g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
      g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    }
    g.DrawImage(m_Image.get(), Gdiplus::Rect(0, 0, w, h), 0, frame * frameHeight,
                static_cast<INT>(m_Image->GetWidth()), frameHeight, Gdiplus::UnitPixel);
  } else if (flatButton) {
    // A button without an image: a flat face that shows hover, press and
    // selection by its shade and its border.
    const int frame = shown;
    const COLORREF faces[] = {RGB(244, 246, 248), RGB(224, 232, 242), RGB(210, 222, 238),
                              RGB(206, 224, 246)};
    HBRUSH face = CreateSolidBrush(state.Enabled ? faces[frame] : RGB(236, 236, 236));
    FillRect(dc, &rc, face);
    DeleteObject(face);
    HBRUSH border = CreateSolidBrush(frame == 3 ? RGB(40, 110, 190) : RGB(170, 178, 188));
    FrameRect(dc, &rc, border);
    if (frame == 3) {
      RECT inner{1, 1, w - 1, h - 1};
      FrameRect(dc, &inner, border);
    }
    DeleteObject(border);
  }

  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(m_Hwnd)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(m_Hwnd, text.data(), static_cast<int>(text.size()))));
  if (!text.empty()) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, state.Enabled ? m_TextColor : RGB(150, 150, 150));
    // A few pixels more on the right: a glyph's overhang is not in its
    // measured width.
    RECT area{4, 0, w - 7, h};
    UINT align = m_Align == 1 ? DT_CENTER : m_Align == 2 ? DT_RIGHT : DT_LEFT;
    const bool multiLine = text.find(L'\n') != std::wstring::npos;
    // Text fitting: a long word (German) first takes a smaller size, down to
    // three quarters, before it is cut with an ellipsis.
    HFONT font = m_Font;
    if (!multiLine && m_Font != nullptr) {
      for (int percent = 100; percent >= 75; percent -= 5) {
        if (percent < 100) {
          if (m_FitFont != nullptr) DeleteObject(m_FitFont);
          m_FitFont = CreateFontW(m_FontHeight * percent / 100, 0, 0, 0, m_FontWeight, FALSE,
                                  m_TextColor == RGB(0, 0, 255), FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  CLEARTYPE_NATURAL_QUALITY, DEFAULT_PITCH, m_Face.c_str());
          font = m_FitFont;
        }
        HGDIOBJ old = SelectObject(dc, font);
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        if (size.cx <= area.right - area.left) break;
      }
    }
    HGDIOBJ oldFont = SelectObject(dc, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
    if (multiLine) {
      // One band per line, each centred in its share of the height.
      std::vector<std::wstring> lines;
      size_t start = 0;
      for (;;) {
        size_t end = text.find(L'\n', start);
        std::wstring line = text.substr(start, end == std::wstring::npos ? end : end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        lines.push_back(line);
        if (end == std::wstring::npos) break;
        start = end + 1;
      }
      for (size_t i = 0; i < lines.size(); ++i) {
        const Band band = LineBand(h, static_cast<int32_t>(lines.size()), static_cast<int32_t>(i));
        RECT r{area.left, band.Top, area.right, band.Bottom};
        DrawTextW(dc, lines[i].c_str(), -1, &r,
                  align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
      }
    } else {
      // Not clipped to the text area: where the drawn glyphs come out a few
      // pixels wider than measured (Wine's substitute faces), the last
      // letter of a right-aligned label still shows in the margin.
      DrawTextW(dc, text.c_str(), -1, &area,
                align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS | DT_NOCLIP);
    }
    SelectObject(dc, oldFont);
  }
  if (GetFocus() == m_Hwnd) {
    RECT focus{2, 2, w - 2, h - 2};
    DrawFocusRect(dc, &focus);
  }

  BitBlt(target, 0, 0, w, h, dc, 0, 0, SRCCOPY);
  SelectObject(dc, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

LRESULT CSkinControl::Proc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(m_Hwnd, &ps);
      Paint(dc);
      EndPaint(m_Hwnd, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wp));
      return 0;
    case WM_MOUSEMOVE:
      if (!m_Tracking) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE | TME_HOVER, m_Hwnd, 1};
        TrackMouseEvent(&track);
        m_Tracking = true;
      }
      break;
    case WM_NCDESTROY:
      RemovePropW(m_Hwnd, FRAME_PROPERTY);
      break;
    case WM_MOUSEHOVER:
      m_Hover = true;
      Repaint();
      break;
    case WM_MOUSELEAVE:
      m_Hover = false;
      m_Tracking = false;
      Repaint();
      break;
    case WM_SETTEXT:
    case WM_ENABLE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case BM_SETSTATE: {
      const LRESULT r = DefSubclassProc(m_Hwnd, msg, wp, lp);
      Repaint();
      return r;
    }
    default:
      break;
  }
  return DefSubclassProc(m_Hwnd, msg, wp, lp);
}

LRESULT CALLBACK CSkinControl::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp,
                                            UINT_PTR /*id*/, DWORD_PTR self) {
  auto* control = reinterpret_cast<CSkinControl*>(self);
  if (control == nullptr || control->m_Hwnd != hwnd) return DefSubclassProc(hwnd, msg, wp, lp);
  return control->Proc(msg, wp, lp);
}

}  // namespace ui
