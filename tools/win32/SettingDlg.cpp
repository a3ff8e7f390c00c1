#include "tools/win32/SettingDlg.h"

#include <commctrl.h>

#include <ctime>

#include "os/win32/WinText.h"
#include "resources/resource.h"
#include "ui/win32/Gdiplus.h"

namespace tools {
namespace {

using monitor::AlarmField;
using monitor::SettingsCombo;

enum Page { PAGE_GENERAL, PAGE_DISK, PAGE_MAIL, PAGE_ABOUT, PAGE_COUNT };
const char* const kPageKeys[PAGE_COUNT] = {"SETTINGS_GENERAL_BUTTON", "SETTINGS_DISK_BUTTON",
                                           "SETTINGS_MAIL_BUTTON", "SETTINGS_ABOUT_BUTTON"};
// Each page's background: "settingBackground%d" of the skin, else the
// built-in picture of that number.
constexpr int kPageBackgrounds[PAGE_COUNT] = {1, 3, 1, 2};

// The combos of the General page, then the Mail page's authentication combo
// (the model's order), and the language (last).
constexpr size_t LANGUAGE_COMBO = monitor::SETTINGS_COMBO_COUNT;
bool OnMailPage(size_t combo) { return combo == static_cast<size_t>(SettingsCombo::MAIL_SMTP); }

const char* const kMailKeys[6] = {"MAIL_TO",   "MAIL_FROM", "MAIL_HOST",
                                  "MAIL_PORT", "MAIL_ID",   "MAIL_PASSWORD"};
// The health field is a lower limit in the health group.
const char* const kAlarmKeys[3] = {"ALARM_SETTING_ABOVE", "ALARM_SETTING_BELOW",
                                   "ALARM_SETTING_BELOW"};

// The About page: the copyright line, the shortcut table and the contact.
const char* const kShortcutKeys[] = {
    "SHOTCUT_TITLE", "SHOTCUT_FUNCTION", "F1_TITLE",  "F1_FUNCTION", "F2_TITLE", "F2_FUNCTION",
    "F5_TITLE",      "F5_FUNCTION",      "F6_TITLE",  "F6_FUNCTION", "F7_TITLE", "F7_FUNCTION",
    "F9_TITLE",      "F9_FUNCTION",      "F10_TITLE", "F10_FUNCTION"};
constexpr size_t ABOUT_COUNT = 2 + std::size(kShortcutKeys);  // + copyright, contact

constexpr UINT WM_TEST_MAIL_DONE = WM_APP + 20;

constexpr int ROW_TOP = 76;

COLORREF ColourRef(uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }
uint32_t RgbOf(COLORREF c) {
  return static_cast<uint32_t>(GetRValue(c)) << 16 | static_cast<uint32_t>(GetGValue(c)) << 8 |
         GetBValue(c);
}
constexpr int ROW = 44;

AlarmField FieldOf(int index) { return static_cast<AlarmField>(index); }

}  // namespace

CSettingDlg::CSettingDlg(app::CSettings& settings, PaneText text, Hooks hooks)
    : m_Settings(settings), m_Text(std::move(text)), m_Hooks(std::move(hooks)) {
  m_BackgroundColor = RGB(244, 245, 247);
}

CSettingDlg::~CSettingDlg() { Destroy(); }

bool CSettingDlg::Create(HWND parent, double zoom, const std::wstring& face) {
  m_Zoom = zoom;
  m_FontFace = face;
  return CreateModeless(IDD_SETTINGS, parent);
}

BOOL CSettingDlg::OnInitDialog() {
  auto button = [this](ui::CButtonCx& b, int id) { CreateSkinButton(b, id, m_BackgroundColor); };
  auto label = [this](ui::CStaticCx& s, int id) { CreateSkinLabel(s, id, m_BackgroundColor); };
  for (int i = 0; i < PAGE_COUNT; ++i) button(m_Pages[i], IDC_SETTINGS_PAGE_FIRST + i);
  button(m_Save, IDC_SETTINGS_SAVE);
  button(m_TestMail, IDC_SETTINGS_TEST_MAIL);
  button(m_ClearLogs, IDC_SETTINGS_CLEAR_LOGS);
  button(m_Back, IDC_SETTINGS_BACK);
  label(m_Title, IDC_SETTINGS_TITLE);
  const DWORD comboStyle = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
  for (size_t i = 0; i < COMBO_COUNT; ++i) {
    const int k = static_cast<int>(i);
    label(m_Captions[i], IDC_SETTINGS_CAPTION_FIRST + k);
    CreateChild(WC_COMBOBOXW, IDC_SETTINGS_COMBO_FIRST + k, comboStyle);
    m_Combos[i].Attach(m_Hwnd, IDC_SETTINGS_COMBO_FIRST + k);
  }
  label(m_ColourCaption, IDC_SETTINGS_COLOUR_CAPTION);
  m_Colour.Create(m_Hwnd, IDC_SETTINGS_COLOUR);
  m_Colour.SetAutomaticColour(ColourRef(monitor::GRAPH_AUTOMATIC_COLOUR));
  CreateChild(WC_COMBOBOXW, IDC_SETTINGS_DISK, comboStyle);
  m_DiskCombo.Attach(m_Hwnd, IDC_SETTINGS_DISK);
  CreateChild(WC_COMBOBOXW, IDC_SETTINGS_ABOVE_CHOICE, comboStyle);
  m_AboveChoice.Attach(m_Hwnd, IDC_SETTINGS_ABOVE_CHOICE);
  label(m_TemperatureGroup, IDC_SETTINGS_TEMPERATURE_GROUP);
  label(m_HealthGroup, IDC_SETTINGS_HEALTH_GROUP);
  for (int i = 0; i < 3; ++i) {
    CreateChild(L"BUTTON", IDC_SETTINGS_ALARM_CHECK_FIRST + i, BS_AUTOCHECKBOX | WS_TABSTOP);
    CreateChild(L"EDIT", IDC_SETTINGS_ALARM_EDIT_FIRST + i, ES_AUTOHSCROLL | WS_TABSTOP,
                WS_EX_CLIENTEDGE);
    SendDlgItemMessageW(m_Hwnd, IDC_SETTINGS_ALARM_EDIT_FIRST + i, EM_LIMITTEXT, 11, 0);
    HWND spin = CreateChild(UPDOWN_CLASSW, IDC_SETTINGS_ALARM_SPIN_FIRST + i, UDS_ARROWKEYS);
    SendMessageW(spin, UDM_SETRANGE32, static_cast<WPARAM>(-1000), 1000);
    SendMessageW(spin, UDM_SETPOS32, 0, 0);
  }
  CreateChild(L"BUTTON", IDC_SETTINGS_EVENT_LOG, BS_AUTOCHECKBOX | WS_TABSTOP);
  CreateChild(L"BUTTON", IDC_SETTINGS_EMAIL, BS_AUTOCHECKBOX | WS_TABSTOP);
  for (int i = 0; i < 6; ++i) {
    label(m_MailCaptions[static_cast<size_t>(i)], IDC_SETTINGS_MAIL_CAPTION_FIRST + i);
    CreateChild(L"EDIT", IDC_SETTINGS_MAIL_EDIT_FIRST + i,
                ES_AUTOHSCROLL | WS_TABSTOP | (i == 5 ? ES_PASSWORD : 0), WS_EX_CLIENTEDGE);
    // The settings file keeps 255 characters of a value.
    SendDlgItemMessageW(m_Hwnd, IDC_SETTINGS_MAIL_EDIT_FIRST + i, EM_LIMITTEXT, 255, 0);
  }
  for (size_t i = 0; i < ABOUT_COUNT; ++i) {
    auto s = std::make_unique<ui::CStaticCx>();
    label(*s, IDC_SETTINGS_ABOUT_FIRST + static_cast<int>(i));
    m_About.push_back(std::move(s));
  }
  m_SystemListCtrl.Create(m_Hwnd, IDC_SETTINGS_SYSTEM_LIST,
                          LVS_SINGLESEL | LVS_NOSORTHEADER | WS_TABSTOP);
  RelayoutDialog();
  ApplyLanguage();
  ShowPage(PAGE_GENERAL);
  return TRUE;
}

void CSettingDlg::RelayoutDialog() {
  PlaceOverPanel();
  const COLORREF text = RGB(0, 0, 0);
  const COLORREF caption = RGB(100, 100, 100);
  for (int i = 0; i < PAGE_COUNT; ++i) {
    m_Pages[i].Place(10 + i * 160, 14, 150, 40, m_Zoom);
    m_Pages[i].SetControlFont(m_FontFace, 16, m_Zoom, 400, text);
    m_Pages[i].SetTextAlign(1);
  }
  m_Back.Place(835, 14, 150, 40, m_Zoom);
  m_Save.Place(835, 572, 150, 40, m_Zoom);
  m_TestMail.Place(665, 572, 160, 40, m_Zoom);
  m_ClearLogs.Place(20, 500, 260, 40, m_Zoom);
  for (ui::CButtonCx* b : {&m_Back, &m_Save, &m_TestMail, &m_ClearLogs}) {
    b->SetControlFont(m_FontFace, 16, m_Zoom, 400, text);
    b->SetTextAlign(1);
  }
  m_Title.Place(680, 20, 150, 30, m_Zoom);
  m_Title.SetControlFont(m_FontFace, 18, m_Zoom, 700, caption);
  // General page: one row per combo; the authentication combo sits on the
  // Mail page under the fields.
  int row = 0;
  for (size_t i = 0; i < COMBO_COUNT; ++i) {
    const int y = OnMailPage(i) ? ROW_TOP + 6 * ROW : ROW_TOP + (row++) * ROW;
    m_Captions[i].Place(20, y, 330, 30, m_Zoom);
    m_Captions[i].SetControlFont(m_FontFace, 15, m_Zoom, 400, caption);
    m_Captions[i].SetTextAlign(2);
    PlaceChild(IDC_SETTINGS_COMBO_FIRST + static_cast<int>(i), 370, y, 320, 300);
    m_Combos[i].SetControlFont(m_FontFace, 15, m_Zoom);
  }
  m_ColourCaption.Place(20, ROW_TOP + row * ROW, 330, 30, m_Zoom);
  m_ColourCaption.SetControlFont(m_FontFace, 15, m_Zoom, 400, caption);
  m_ColourCaption.SetTextAlign(2);
  PlaceChild(IDC_SETTINGS_COLOUR, 370, ROW_TOP + row * ROW, 220, 30);
  // Disk page.
  PlaceChild(IDC_SETTINGS_DISK, 20, ROW_TOP, 660, 300);
  m_DiskCombo.SetControlFont(m_FontFace, 15, m_Zoom);
  m_TemperatureGroup.Place(20, 136, 500, 30, m_Zoom);
  m_HealthGroup.Place(20, 266, 500, 30, m_Zoom);
  for (ui::CStaticCx* g : {&m_TemperatureGroup, &m_HealthGroup}) {
    g->SetControlFont(m_FontFace, 16, m_Zoom, 700, caption);
  }
  const int fieldY[3] = {176, 216, 306};
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(m_Combos[0].Hwnd(), WM_GETFONT, 0, 0));
  for (int i = 0; i < 3; ++i) {
    PlaceChild(IDC_SETTINGS_ALARM_CHECK_FIRST + i, 40, fieldY[i], 260, 30);
    PlaceChild(IDC_SETTINGS_ALARM_EDIT_FIRST + i, 310, fieldY[i], 90, 30);
    PlaceChild(IDC_SETTINGS_ALARM_SPIN_FIRST + i, 402, fieldY[i], 24, 30);
  }
  // The above alarm's quick choice, beside its field.
  PlaceChild(IDC_SETTINGS_ABOVE_CHOICE, 440, fieldY[0], 220, 300);
  m_AboveChoice.SetControlFont(m_FontFace, 15, m_Zoom);
  PlaceChild(IDC_SETTINGS_EVENT_LOG, 40, 376, 500, 30);
  PlaceChild(IDC_SETTINGS_EMAIL, 40, 416, 500, 30);
  // Mail page.
  for (int i = 0; i < 6; ++i) {
    const int y = ROW_TOP + i * ROW;
    m_MailCaptions[static_cast<size_t>(i)].Place(20, y, 330, 30, m_Zoom);
    m_MailCaptions[static_cast<size_t>(i)].SetControlFont(m_FontFace, 15, m_Zoom, 400, caption);
    m_MailCaptions[static_cast<size_t>(i)].SetTextAlign(2);
    PlaceChild(IDC_SETTINGS_MAIL_EDIT_FIRST + i, 370, y, 480, 30);
  }
  // About page: the copyright line, the key table in two columns and the
  // contact on the left, the system information on the right.
  for (size_t i = 0; i < m_About.size(); ++i) {
    int x = 20, y = ROW_TOP, w = 940;
    if (i >= 1 && i <= std::size(kShortcutKeys)) {
      const size_t k = i - 1;
      x = k % 2 == 0 ? 20 : 110;
      w = k % 2 == 0 ? 80 : 360;
      y = ROW_TOP + 50 + static_cast<int>(k / 2) * 36;
    } else if (i > std::size(kShortcutKeys)) {
      y = ROW_TOP + 50 + 8 * 36 + 10;
      w = 460;
    }
    m_About[i]->Place(x, y, w, 30, m_Zoom);
    m_About[i]->SetControlFont(m_FontFace, 15, m_Zoom, i == 1 || i == 2 ? 700 : 400, text);
  }
  PlaceChild(IDC_SETTINGS_SYSTEM_LIST, 490, ROW_TOP + 50, 490, 430);
  m_SystemListCtrl.SetControlFont(m_FontFace, m_Zoom);
  // The standard controls take the combos' font.
  for (int id : {IDC_SETTINGS_ALARM_CHECK_FIRST, IDC_SETTINGS_ALARM_CHECK_FIRST + 1,
                 IDC_SETTINGS_ALARM_CHECK_FIRST + 2, IDC_SETTINGS_ALARM_EDIT_FIRST,
                 IDC_SETTINGS_ALARM_EDIT_FIRST + 1, IDC_SETTINGS_ALARM_EDIT_FIRST + 2,
                 IDC_SETTINGS_EVENT_LOG, IDC_SETTINGS_EMAIL}) {
    SendDlgItemMessageW(m_Hwnd, id, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  m_Colour.SetFont(font);
  for (int i = 0; i < 6; ++i) {
    SendDlgItemMessageW(m_Hwnd, IDC_SETTINGS_MAIL_EDIT_FIRST + i, WM_SETFONT,
                        reinterpret_cast<WPARAM>(font), TRUE);
  }
}

void CSettingDlg::ApplyLanguage() {
  auto t = [this](const char* section, const char* key) { return m_Text(section, key); };
  for (int i = 0; i < PAGE_COUNT; ++i) {
    m_Pages[i].SetText(t("TslSettings", kPageKeys[i]));
    m_Pages[i].SetToolTipText(m_ToolTip, t("Tips", kPageKeys[i]));
  }
  m_Save.SetText(t("Dialog", "SAVE"));
  m_TestMail.SetText(t("Dialog", "TEST_MAIL"));
  m_ClearLogs.SetText(t("Dialog", "CLEAR_LOGS"));
  m_Back.SetText(t("Dialog", "BACK"));
  for (size_t i = 0; i < monitor::SETTINGS_COMBO_COUNT; ++i) {
    m_Captions[i].SetText(
        t("TslSettings", monitor::SettingsComboCaption(static_cast<SettingsCombo>(i))));
  }
  m_Captions[LANGUAGE_COMBO].SetText(t("TslSettings", "LANGUAGE"));
  m_ColourCaption.SetText(t("TslSettings", "GRAPH_COLOR"));
  m_TemperatureGroup.SetText(t("TslSettings", "ALARM_SETTING_TEMPERATURE"));
  m_HealthGroup.SetText(t("TslSettings", "ALARM_SETTING_HEALTH"));
  for (int i = 0; i < 3; ++i) {
    SetDlgItemTextW(m_Hwnd, IDC_SETTINGS_ALARM_CHECK_FIRST + i,
                    os::Utf8ToWide(t("TslSettings", kAlarmKeys[i])).c_str());
  }
  SetDlgItemTextW(m_Hwnd, IDC_SETTINGS_EVENT_LOG,
                  os::Utf8ToWide(t("TslSettings", "ALARM_FUNCTION_EVENT_LOG")).c_str());
  SetDlgItemTextW(m_Hwnd, IDC_SETTINGS_EMAIL,
                  os::Utf8ToWide(t("TslSettings", "ALARM_FUNCTION_EMAIL")).c_str());
  for (size_t i = 0; i < 6; ++i) m_MailCaptions[i].SetText(t("TslSettings", kMailKeys[i]));
  m_About[0]->SetText(t("WindowTitle", "COPYRIGHT"));
  for (size_t i = 0; i < std::size(kShortcutKeys); ++i) {
    m_About[i + 1]->SetText(t("Shotcut", kShortcutKeys[i]));
  }
  m_About.back()->SetText(t("Shotcut", "CONTACT_TITLE"));
  FillSystemList();
  Reload();
}

void CSettingDlg::FillSystemList() {
  m_SystemListCtrl.SetColumns(
      {{m_Text("Dialog", "LIST_ITEM"), 160}, {m_Text("Dialog", "LIST_INFORMATION"), 300}}, m_Zoom);
  std::vector<std::vector<std::string>> texts;
  if (m_Hooks.SystemRows) {
    for (const SystemInfoRow& row : m_Hooks.SystemRows()) {
      texts.push_back({m_Text("SystemInformation", row.Key), row.Value});
    }
  }
  m_SystemListCtrl.SetRows(texts);
}

void CSettingDlg::Reload() {
  m_Model.Load(m_Settings, m_Hooks.Disks ? m_Hooks.Disks() : std::vector<monitor::SettingsDisk>{},
               m_Hooks.Languages ? m_Hooks.Languages() : std::vector<std::string>{},
               m_Hooks.CurrentLanguage ? m_Hooks.CurrentLanguage() : std::string());
  FillCombos();
  ShowValues();
}

void CSettingDlg::FillCombos() {
  auto fill = [](HWND combo, const std::vector<std::string>& entries) {
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& e : entries) {
      const std::wstring wide = os::Utf8ToWide(e);
      SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
  };
  for (size_t i = 0; i < monitor::SETTINGS_COMBO_COUNT; ++i) {
    fill(m_Combos[i].Hwnd(), monitor::SettingsComboEntries(static_cast<SettingsCombo>(i), m_Text));
  }
  fill(m_Combos[LANGUAGE_COMBO].Hwnd(), m_Model.Languages());
  std::vector<std::string> disks;
  for (const monitor::SettingsDisk& d : m_Model.Disks()) disks.push_back(d.Entry);
  fill(m_DiskCombo.Hwnd(), disks);
  fill(m_AboveChoice.Hwnd(), monitor::AboveAlarmChoices(m_Text("TslSettings", "DISABLE")));
}

void CSettingDlg::ShowAboveChoice() {
  // An alarm between the listed degrees (or off) selects its entry; any
  // other value selects none.
  const std::optional<size_t> entry =
      monitor::AboveAlarmChoice(m_Model.Alarms(m_Model.ShownDisk()).Above);
  SendMessageW(m_AboveChoice.Hwnd(), CB_SETCURSEL,
               entry ? static_cast<WPARAM>(*entry) : static_cast<WPARAM>(-1), 0);
  EnableWindow(m_AboveChoice.Hwnd(), m_Model.ShownDisk() >= 0);
}

void CSettingDlg::ShowValues() {
  const monitor::GeneralSettings& g = m_Model.General();
  for (size_t i = 0; i < monitor::SETTINGS_COMBO_COUNT; ++i) {
    SendMessageW(m_Combos[i].Hwnd(), CB_SETCURSEL, static_cast<WPARAM>(g.Combo[i]), 0);
  }
  SendMessageW(m_Combos[LANGUAGE_COMBO].Hwnd(), CB_SETCURSEL, static_cast<WPARAM>(g.Language), 0);
  m_Colour.SetColour(g.GraphColor ? std::optional<COLORREF>(ColourRef(*g.GraphColor))
                                  : std::nullopt);
  const std::string* mail[6] = {&g.MailTo,   &g.MailFrom, &g.MailHost,
                                &g.MailPort, &g.MailId,   &g.MailPassword};
  m_Writing = true;
  for (int i = 0; i < 6; ++i) {
    SetDlgItemTextW(m_Hwnd, IDC_SETTINGS_MAIL_EDIT_FIRST + i, os::Utf8ToWide(*mail[i]).c_str());
  }
  m_Writing = false;
  SendMessageW(m_DiskCombo.Hwnd(), CB_SETCURSEL, static_cast<WPARAM>(m_Model.ShownDisk()), 0);
  ShowDisk();
}

void CSettingDlg::ShowDisk() {
  const bool any = m_Model.ShownDisk() >= 0;
  m_Writing = true;
  for (int i = 0; i < 3; ++i) {
    const monitor::AlarmFieldView v = m_Model.Field(FieldOf(i));
    CheckDlgButton(m_Hwnd, IDC_SETTINGS_ALARM_CHECK_FIRST + i,
                   v.Checked ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextW(m_Hwnd, IDC_SETTINGS_ALARM_EDIT_FIRST + i, os::Utf8ToWide(v.Text).c_str());
    EnableWindow(GetDlgItem(m_Hwnd, IDC_SETTINGS_ALARM_SPIN_FIRST + i), v.SpinEnabled);
    EnableWindow(GetDlgItem(m_Hwnd, IDC_SETTINGS_ALARM_CHECK_FIRST + i), any);
    EnableWindow(GetDlgItem(m_Hwnd, IDC_SETTINGS_ALARM_EDIT_FIRST + i), any);
  }
  m_Writing = false;
  const monitor::DiskAlarms a = m_Model.Alarms(m_Model.ShownDisk());
  CheckDlgButton(m_Hwnd, IDC_SETTINGS_EVENT_LOG, a.EventLog ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(m_Hwnd, IDC_SETTINGS_EMAIL, a.Email ? BST_CHECKED : BST_UNCHECKED);
  for (int id : {IDC_SETTINGS_EVENT_LOG, IDC_SETTINGS_EMAIL, IDC_SETTINGS_CLEAR_LOGS}) {
    EnableWindow(GetDlgItem(m_Hwnd, id), any);
  }
  ShowAboveChoice();
}

void CSettingDlg::ShowPage(int page) {
  if (page < 0 || page >= PAGE_COUNT) return;
  m_Page = page;
  auto show = [this](int id, bool on) {
    HWND h = GetDlgItem(m_Hwnd, id);
    if (h != nullptr) ShowWindow(h, on ? SW_SHOW : SW_HIDE);
  };
  const bool general = page == PAGE_GENERAL, disk = page == PAGE_DISK, mail = page == PAGE_MAIL,
             about = page == PAGE_ABOUT;
  for (size_t i = 0; i < COMBO_COUNT; ++i) {
    const bool on = OnMailPage(i) ? mail : general;
    show(IDC_SETTINGS_CAPTION_FIRST + static_cast<int>(i), on);
    show(IDC_SETTINGS_COMBO_FIRST + static_cast<int>(i), on);
  }
  show(IDC_SETTINGS_COLOUR_CAPTION, general);
  show(IDC_SETTINGS_COLOUR, general);
  for (int id : {IDC_SETTINGS_DISK, IDC_SETTINGS_TEMPERATURE_GROUP, IDC_SETTINGS_HEALTH_GROUP,
                 IDC_SETTINGS_ABOVE_CHOICE, IDC_SETTINGS_EVENT_LOG, IDC_SETTINGS_EMAIL,
                 IDC_SETTINGS_CLEAR_LOGS}) {
    show(id, disk);
  }
  for (int i = 0; i < 3; ++i) {
    show(IDC_SETTINGS_ALARM_CHECK_FIRST + i, disk);
    show(IDC_SETTINGS_ALARM_EDIT_FIRST + i, disk);
    show(IDC_SETTINGS_ALARM_SPIN_FIRST + i, disk);
  }
  for (int i = 0; i < 6; ++i) {
    show(IDC_SETTINGS_MAIL_CAPTION_FIRST + i, mail);
    show(IDC_SETTINGS_MAIL_EDIT_FIRST + i, mail);
  }
  show(IDC_SETTINGS_TEST_MAIL, mail);
  show(IDC_SETTINGS_SAVE, !about);
  for (size_t i = 0; i < ABOUT_COUNT; ++i) {
    show(IDC_SETTINGS_ABOUT_FIRST + static_cast<int>(i), about);
  }
  show(IDC_SETTINGS_SYSTEM_LIST, about);
  for (int i = 0; i < PAGE_COUNT; ++i) m_Pages[i].SetSelected(i == page);
  const int background = kPageBackgrounds[page];
  SetBackgroundImage("settingBackground" + std::to_string(background),
                     IDP_BACKGROUND_SETTING_FIRST + background - 1);
  m_Title.SetText(m_Text("TslSettings", kPageKeys[page]));
}

std::string CSettingDlg::ControlText(int id) const {
  HWND h = GetDlgItem(m_Hwnd, id);
  const int n = h != nullptr ? GetWindowTextLengthW(h) : 0;
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  if (n > 0) GetWindowTextW(h, text.data(), n + 1);
  text.resize(static_cast<size_t>(n));
  return os::WideToUtf8(text);
}

void CSettingDlg::SetField(int index, const std::string& text) {
  m_Writing = true;
  SetDlgItemTextW(m_Hwnd, IDC_SETTINGS_ALARM_EDIT_FIRST + index, os::Utf8ToWide(text).c_str());
  m_Writing = false;
  ShowAboveChoice();
}

void CSettingDlg::ReadControls() {
  monitor::GeneralSettings& g = m_Model.General();
  for (size_t i = 0; i < monitor::SETTINGS_COMBO_COUNT; ++i) {
    const auto sel = static_cast<int32_t>(SendMessageW(m_Combos[i].Hwnd(), CB_GETCURSEL, 0, 0));
    g.Combo[i] = sel < 0 ? 0 : sel;
  }
  g.Language =
      static_cast<int32_t>(SendMessageW(m_Combos[LANGUAGE_COMBO].Hwnd(), CB_GETCURSEL, 0, 0));
  std::string* mail[6] = {&g.MailTo,   &g.MailFrom, &g.MailHost,
                          &g.MailPort, &g.MailId,   &g.MailPassword};
  for (int i = 0; i < 6; ++i) *mail[i] = ControlText(IDC_SETTINGS_MAIL_EDIT_FIRST + i);
  const std::optional<COLORREF> colour = m_Colour.Colour();
  g.GraphColor = colour ? std::optional<uint32_t>(RgbOf(*colour)) : std::nullopt;
}

void CSettingDlg::Save() {
  ReadControls();
  const monitor::SettingsSaveResult r = m_Model.Save(m_Settings);
  if (m_Hooks.Saved) m_Hooks.Saved(r);
  const std::string message =
      r.Ok ? m_Text("Message", "ALL_CHANGES_SAVED") : m_Settings.WriteError();
  MessageBoxW(m_Hwnd, os::Utf8ToWide(message).c_str(),
              os::Utf8ToWide(m_Text("WindowTitle", r.Ok ? "INFORMATION" : "WARNING")).c_str(),
              MB_OK | (r.Ok ? MB_ICONINFORMATION : MB_ICONWARNING) | MB_SYSTEMMODAL);
}

void CSettingDlg::TestMail() {
  if (m_MailBusy) return;
  ReadControls();
  const monitor::TestMail mail = m_Model.ComposeTestMail(monitor::ProgramWord(m_Settings.Path()),
                                                         static_cast<int64_t>(std::time(nullptr)));
  auto fail = [this](const std::string& detail) {
    monitor::SmtpResult r;
    r.Detail = detail;
    MessageBoxW(m_Hwnd, os::Utf8ToWide(monitor::TestMailResultText(r, m_Text)).c_str(),
                os::Utf8ToWide(m_Text("WindowTitle", "WARNING")).c_str(),
                MB_OK | MB_ICONSTOP | MB_SYSTEMMODAL);
  };
  if (!mail.Mail) {
    fail(mail.Problem);
    return;
  }
  // The result comes back as a message the pane owns; the window keeps
  // answering while the server takes its time.
  HWND self = m_Hwnd;
  const bool queued =
      m_Hooks.SendMail && m_Hooks.SendMail(*mail.Mail, [self](const monitor::SmtpResult& r) {
        auto* copy = new monitor::SmtpResult(r);
        if (!PostMessageW(self, WM_TEST_MAIL_DONE, 0, reinterpret_cast<LPARAM>(copy))) delete copy;
      });
  if (!queued) {
    fail("The mail queue is full.");
    return;
  }
  m_MailBusy = true;
  EnableWindow(m_TestMail.Hwnd(), FALSE);
}

void CSettingDlg::ClearLogs() {
  const int32_t disk = static_cast<int32_t>(SendMessageW(m_DiskCombo.Hwnd(), CB_GETCURSEL, 0, 0));
  if (disk < 0 || static_cast<size_t>(disk) >= m_Model.Disks().size()) return;
  if (MessageBoxW(m_Hwnd, os::Utf8ToWide(m_Text("Message", "DELETE_SMART_LOG_WARNING")).c_str(),
                  os::Utf8ToWide(m_Text("WindowTitle", "WARNING")).c_str(),
                  MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  // A failed delete is not reported; what stayed is in the diagnostic log.
  if (m_Hooks.ClearLogs) m_Hooks.ClearLogs(m_Model.Disks()[static_cast<size_t>(disk)].ModelSerial);
}

void CSettingDlg::OnCommand(int id, int code, HWND /*control*/) {
  if (id >= IDC_SETTINGS_PAGE_FIRST && id < IDC_SETTINGS_PAGE_FIRST + PAGE_COUNT) {
    ShowPage(id - IDC_SETTINGS_PAGE_FIRST);
  } else if (id == IDC_SETTINGS_BACK) {
    if (m_Hooks.Back) m_Hooks.Back();
  } else if (id == IDC_SETTINGS_SAVE) {
    Save();
  } else if (id == IDC_SETTINGS_TEST_MAIL) {
    TestMail();
  } else if (id == IDC_SETTINGS_COLOUR && code == BN_CLICKED) {
    m_Colour.Open();  // a click from outside (automation); the button opens itself
  } else if (id == IDC_SETTINGS_CLEAR_LOGS) {
    ClearLogs();
  } else if (id == IDC_SETTINGS_ABOVE_CHOICE && code == CBN_SELCHANGE) {
    const auto entry = SendMessageW(m_AboveChoice.Hwnd(), CB_GETCURSEL, 0, 0);
    if (entry >= 0 && m_Model.ChooseAbove(static_cast<size_t>(entry))) ShowDisk();
  } else if (id == IDC_SETTINGS_DISK && code == CBN_SELCHANGE) {
    m_Model.ShowDisk(static_cast<int32_t>(SendMessageW(m_DiskCombo.Hwnd(), CB_GETCURSEL, 0, 0)));
    ShowDisk();
  } else if (id >= IDC_SETTINGS_ALARM_CHECK_FIRST && id < IDC_SETTINGS_ALARM_CHECK_FIRST + 3) {
    const int i = id - IDC_SETTINGS_ALARM_CHECK_FIRST;
    const bool checked = IsDlgButtonChecked(m_Hwnd, id) == BST_CHECKED;
    SetField(i, m_Model.Check(FieldOf(i), checked, ControlText(IDC_SETTINGS_ALARM_EDIT_FIRST + i)));
    EnableWindow(GetDlgItem(m_Hwnd, IDC_SETTINGS_ALARM_SPIN_FIRST + i), checked);
  } else if (id >= IDC_SETTINGS_ALARM_EDIT_FIRST && id < IDC_SETTINGS_ALARM_EDIT_FIRST + 3 &&
             code == EN_CHANGE && !m_Writing) {
    const int i = id - IDC_SETTINGS_ALARM_EDIT_FIRST;
    const monitor::AlarmFieldEdit e = m_Model.Edit(FieldOf(i), ControlText(id));
    if (e.Valid) ShowAboveChoice();
    if (!e.Valid) {
      SetField(i, e.ResetText);
      MessageBoxW(m_Hwnd, os::Utf8ToWide(e.Error).c_str(), L"Error",
                  MB_OK | MB_ICONEXCLAMATION | MB_SYSTEMMODAL);
    }
  } else if (id == IDC_SETTINGS_EVENT_LOG) {
    m_Model.SetEventLog(IsDlgButtonChecked(m_Hwnd, id) == BST_CHECKED);
  } else if (id == IDC_SETTINGS_EMAIL) {
    m_Model.SetEmail(IsDlgButtonChecked(m_Hwnd, id) == BST_CHECKED);
  }
}

void CSettingDlg::OnCancel() {
  if (m_Hooks.Back) m_Hooks.Back();
}

bool CSettingDlg::OnMessage(UINT msg, WPARAM /*wp*/, LPARAM lp, INT_PTR* result) {
  if (msg == WM_NOTIFY) {
    const auto* n = reinterpret_cast<const NMHDR*>(lp);
    if (m_SystemListCtrl.OnNotify(lp, m_HighContrast, result)) return true;
    const int id = static_cast<int>(n->idFrom);
    if (n->code == UDN_DELTAPOS && id >= IDC_SETTINGS_ALARM_SPIN_FIRST &&
        id < IDC_SETTINGS_ALARM_SPIN_FIRST + 3) {
      const auto* ud = reinterpret_cast<const NMUPDOWN*>(lp);
      const int i = id - IDC_SETTINGS_ALARM_SPIN_FIRST;
      SetField(i, m_Model.Spin(FieldOf(i), ud->iDelta > 0 ? 1 : -1));
      *result = TRUE;  // the control keeps no position of its own
      return true;
    }
    return false;
  }
  if (msg == WM_TEST_MAIL_DONE) {
    std::unique_ptr<monitor::SmtpResult> r(reinterpret_cast<monitor::SmtpResult*>(lp));
    m_MailBusy = false;
    EnableWindow(m_TestMail.Hwnd(), TRUE);
    MessageBoxW(m_Hwnd, os::Utf8ToWide(monitor::TestMailResultText(*r, m_Text)).c_str(),
                os::Utf8ToWide(m_Text("WindowTitle", r->Ok ? "INFORMATION" : "WARNING")).c_str(),
                MB_OK | (r->Ok ? MB_ICONINFORMATION : MB_ICONSTOP) | MB_SYSTEMMODAL);
    *result = 0;
    return true;
  }
  if (msg == WM_SETTINGS_ABOUT) {
    ShowPage(PAGE_ABOUT);
    PostMessageW(GetParent(m_Hwnd), WM_SETTINGS_ABOUT_SHOWN, 0, 0);
    *result = 0;
    return true;
  }
  return false;
}

}  // namespace tools
