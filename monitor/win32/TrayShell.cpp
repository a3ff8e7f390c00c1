#include "monitor/win32/TrayShell.h"

#include <shellapi.h>

#include <cwchar>

#include "os/win32/WinText.h"

namespace monitor {
namespace {

// Copies UTF-8 text into a fixed field, cut to what it holds without
// splitting a surrogate pair.
template <size_t N>
void CopyField(wchar_t (&field)[N], const std::string& text) {
  std::wstring w = os::Utf8ToWide(text);
  if (w.size() > N - 1) {
    w.resize(N - 1);
    if (!w.empty() && w.back() >= 0xD800 && w.back() <= 0xDBFF) w.pop_back();
  }
  std::wmemcpy(field, w.c_str(), w.size() + 1);
}

struct Colours {
  COLORREF Back;
  COLORREF Text;
};

// The status colours of the panel's pictures; the dark figure on the
// caution colour keeps it readable.
Colours ColoursOf(TrayImage image) {
  switch (image) {
    case TrayImage::GOOD:
      return {RGB(0x4c, 0x9a, 0x2a), RGB(255, 255, 255)};
    case TrayImage::CAUTION:
      return {RGB(0xe8, 0xa3, 0x17), RGB(0x3a, 0x26, 0x00)};
    case TrayImage::BAD:
      return {RGB(0xc8, 0x32, 0x2b), RGB(255, 255, 255)};
    default:
      return {RGB(0x8a, 0x8a, 0x8a), RGB(255, 255, 255)};
  }
}

}  // namespace

CWin32TrayShell::CWin32TrayShell(HWND owner, UINT mainMessage,
                                 const std::array<UINT, MAX_DISK>& diskMessages, HICON mainIcon,
                                 CDeliveryLog log)
    : m_Owner(owner),
      m_MainMessage(mainMessage),
      m_DiskMessages(diskMessages),
      m_MainIcon(mainIcon),
      m_Log(std::move(log)) {}

CWin32TrayShell::~CWin32TrayShell() {
  for (auto& [id, icon] : m_Drawn) DestroyIcon(icon);
}

HICON CWin32TrayShell::DrawTemperatureIcon(const TrayIconLook& look, int size) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP colour = CreateCompatibleBitmap(screen, size, size);
  ReleaseDC(nullptr, screen);
  // The mask: every pixel drawn (a zero bit is opaque).
  const std::string zeros(static_cast<size_t>((size + 15) / 16 * 2 * size), '\0');
  HBITMAP mask = CreateBitmap(size, size, 1, 1, zeros.data());
  HGDIOBJ oldBitmap = SelectObject(dc, colour);
  const Colours c = ColoursOf(look.Image);
  RECT all{0, 0, size, size};
  HBRUSH back = CreateSolidBrush(c.Back);
  FillRect(dc, &all, back);
  DeleteObject(back);
  const std::wstring figure = std::to_wstring(look.Temperature);
  // Three figures (a Fahrenheit reading) need a narrower face.
  const int height = figure.size() > 2 ? size * 9 / 16 : size * 12 / 16;
  HFONT font = CreateFontW(-height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                           DEFAULT_PITCH, L"Tahoma");
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, c.Text);
  DrawTextW(dc, figure.c_str(), static_cast<int>(figure.size()), &all,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, oldFont);
  DeleteObject(font);
  SelectObject(dc, oldBitmap);
  DeleteDC(dc);
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmMask = mask;
  info.hbmColor = colour;
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(mask);
  DeleteObject(colour);
  return icon;
}

NOTIFYICONDATAW CWin32TrayShell::Data(uint32_t id) const {
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof(nid);
  nid.hWnd = m_Owner;
  nid.uID = id;
  return nid;
}

HICON CWin32TrayShell::ImageFor(uint32_t id, const TrayIconLook& look) {
  if (look.Image == TrayImage::MAIN) return m_MainIcon;
  HICON drawn = DrawTemperatureIcon(look, GetSystemMetrics(SM_CXSMICON));
  Forget(id);
  if (drawn != nullptr) m_Drawn[id] = drawn;
  return drawn;
}

void CWin32TrayShell::Forget(uint32_t id) {
  auto it = m_Drawn.find(id);
  if (it == m_Drawn.end()) return;
  DestroyIcon(it->second);
  m_Drawn.erase(it);
}

bool CWin32TrayShell::Add(uint32_t id, int32_t disk, const TrayIconLook& look,
                          const std::string& tip) {
  NOTIFYICONDATAW nid = Data(id);
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage =
      disk >= 0 && disk < MAX_DISK ? m_DiskMessages[static_cast<size_t>(disk)] : m_MainMessage;
  nid.hIcon = ImageFor(id, look);
  if (nid.hIcon == nullptr) nid.uFlags &= ~static_cast<UINT>(NIF_ICON);
  CopyField(nid.szTip, tip);
  if (!Shell_NotifyIconW(NIM_ADD, &nid)) return false;
  // The version is a property of an icon that exists.
  nid.uVersion = NOTIFYICON_VERSION;
  Shell_NotifyIconW(NIM_SETVERSION, &nid);
  return true;
}

bool CWin32TrayShell::Modify(uint32_t id, const TrayIconLook& look, const std::string& tip) {
  NOTIFYICONDATAW nid = Data(id);
  nid.uFlags = NIF_ICON | NIF_TIP;
  nid.hIcon = ImageFor(id, look);
  if (nid.hIcon == nullptr) nid.uFlags &= ~static_cast<UINT>(NIF_ICON);
  CopyField(nid.szTip, tip);
  return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

bool CWin32TrayShell::SetTip(uint32_t id, const std::string& tip) {
  NOTIFYICONDATAW nid = Data(id);
  nid.uFlags = NIF_TIP;
  CopyField(nid.szTip, tip);
  return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

bool CWin32TrayShell::Balloon(uint32_t id, int32_t level, const std::string& title,
                              const std::string& text) {
  NOTIFYICONDATAW nid = Data(id);
  nid.uFlags = NIF_INFO;
  nid.dwInfoFlags = level == BALLOON_WARNING ? NIIF_WARNING : NIIF_INFO;
  CopyField(nid.szInfoTitle, title);
  CopyField(nid.szInfo, text);
  const bool shown = Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
  m_Log.Write({"balloon", std::to_string(nid.uID), std::to_string(nid.dwInfoFlags),
               os::WideToUtf8(nid.szInfoTitle), os::WideToUtf8(nid.szInfo), shown ? "1" : "0"});
  return shown;
}

bool CWin32TrayShell::Delete(uint32_t id) {
  NOTIFYICONDATAW nid = Data(id);
  if (!Shell_NotifyIconW(NIM_DELETE, &nid)) return false;
  Forget(id);
  return true;
}

}  // namespace monitor
