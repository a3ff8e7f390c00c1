#include "tools/win32/AdvancedSettings.h"

#include <commctrl.h>

#include "base/DebugLog.h"
#include "os/win32/WinText.h"
#include "resources/resource.h"
#include "ui/win32/Gdiplus.h"

namespace tools {
namespace {

// The switch's entries: "OFF" is 0, "ON" is 1.
constexpr const char* kEntries[] = {"OFF", "ON"};
constexpr int32_t ENTRY_COUNT = 2;

}  // namespace

CAdvancedSettings::CAdvancedSettings(app::CSettings& settings, PaneText text,
                                     std::function<void()> applied)
    : m_Settings(settings), m_Text(std::move(text)), m_Applied(std::move(applied)) {}

CAdvancedSettings::~CAdvancedSettings() { Destroy(); }

bool CAdvancedSettings::Create(HWND owner, double zoom, const std::wstring& face,
                               const std::wstring& skin) {
  m_Zoom = zoom;
  m_FontFace = face;
  SetSkinFolder(skin);
  return CreateModeless(IDD_ADVANCED_SETTINGS, owner);
}

BOOL CAdvancedSettings::OnInitDialog() {
  auto label = [this](ui::CStaticCx& s, int id) {
    CreateSkinLabel(s, id, m_BackgroundColor, SS_LEFT);
  };
  auto button = [this](ui::CButtonCx& b, int id) { CreateSkinButton(b, id, m_BackgroundColor); };
  label(m_Heading, IDC_ADVANCED_HEADING);
  label(m_Label, IDC_ADVANCED_LABEL);
  CreateChild(WC_COMBOBOXW, IDC_ADVANCED_AUTO_UPDATE, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP);
  m_Combo.Attach(m_Hwnd, IDC_ADVANCED_AUTO_UPDATE);
  button(m_Ok, IDOK);
  button(m_Cancel, IDCANCEL);

  SetWindowTextW(m_Hwnd, os::Utf8ToWide(m_Text("WindowTitle", "ADVANCED_SETTINGS")).c_str());
  m_Heading.SetText(m_Text("TslSettings", "TOOL_SETTINGS"));
  m_Label.SetText(m_Text("TslSettings", "AUTO_UPDATE"));
  m_Ok.SetText(m_Text("Dialog", "OK"));
  m_Cancel.SetText(m_Text("Dialog", "CANCEL"));
  for (const char* key : kEntries) {
    const std::wstring entry = os::Utf8ToWide(m_Text("TslSettings", key));
    SendMessageW(m_Combo.Hwnd(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  }
  // A value the switch does not know (a hand-edited file) selects nothing;
  // OK then writes nothing either.
  const int32_t stored = m_Settings.Get(app::Setting::AUTO_UPDATE);
  const WPARAM entry =
      stored >= 0 && stored < ENTRY_COUNT ? static_cast<WPARAM>(stored) : static_cast<WPARAM>(-1);
  SendMessageW(m_Combo.Hwnd(), CB_SETCURSEL, entry, 0);

  RelayoutDialog();
  // Centred over the main window.
  RECT owner{}, own{};
  HWND parent = GetWindow(m_Hwnd, GW_OWNER);
  if (parent == nullptr || !GetWindowRect(parent, &owner)) {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &owner, 0);
  }
  GetWindowRect(m_Hwnd, &own);
  const int w = own.right - own.left, h = own.bottom - own.top;
  SetWindowPos(m_Hwnd, nullptr, owner.left + (owner.right - owner.left - w) / 2,
               owner.top + (owner.bottom - owner.top - h) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(m_Hwnd, SW_SHOW);
  SetFocus(m_Combo.Hwnd());
  return FALSE;
}

void CAdvancedSettings::RelayoutDialog() {
  SetClientSize(500, 224);
  SetBackgroundImage("background", 0);
  m_Heading.Place(20, 16, 460, 32, m_Zoom);
  m_Heading.SetControlFont(m_FontFace, 20, m_Zoom, 400, RGB(51, 51, 51));
  m_Label.Place(20, 80, 220, 24, m_Zoom);
  m_Label.SetControlFont(m_FontFace, 12, m_Zoom, 400, RGB(0, 0, 0));
  PlaceChild(IDC_ADVANCED_AUTO_UPDATE, 250, 76, 230, 100);
  m_Combo.SetControlFont(m_FontFace, 12, m_Zoom);
  m_Ok.Place(250, 170, 110, 32, m_Zoom);
  m_Cancel.Place(370, 170, 110, 32, m_Zoom);
  for (ui::CButtonCx* b : {&m_Ok, &m_Cancel}) {
    b->SetControlFont(m_FontFace, 12, m_Zoom, 400, RGB(0, 0, 0));
    b->SetTextAlign(1);
  }
}

void CAdvancedSettings::OnCommand(int id, int code, HWND /*control*/) {
  // A click on a button comes here; Enter and Escape come to OnOK and
  // OnCancel.
  if (code != BN_CLICKED) return;
  if (id == IDOK) OnOK();
  if (id == IDCANCEL) OnCancel();
}

void CAdvancedSettings::OnOK() {
  const LRESULT entry = SendMessageW(m_Combo.Hwnd(), CB_GETCURSEL, 0, 0);
  if (entry >= 0 && entry < ENTRY_COUNT) {
    if (!m_Settings.Set(app::Setting::AUTO_UPDATE, static_cast<int32_t>(entry))) {
      // Kept open: the choice is not lost, and the reason is shown.
      const std::wstring error = os::Utf8ToWide(m_Settings.WriteError());
      MessageBoxW(m_Hwnd, error.c_str(),
                  os::Utf8ToWide(m_Text("WindowTitle", "ADVANCED_SETTINGS")).c_str(),
                  MB_OK | MB_ICONWARNING);
      return;
    }
    if (m_Applied) m_Applied();
  }
  Destroy();
}

void CAdvancedSettings::OnCancel() { Destroy(); }

}  // namespace tools
