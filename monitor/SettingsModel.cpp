#include "monitor/SettingsModel.h"

#include <algorithm>
#include <cstdio>

namespace monitor {
namespace {

using app::DiskSetting;
using app::Setting;

constexpr int32_t AUTO_REFRESH_MINUTES[] = {1, 3, 5, 10, 30, 60, 120, 180, 360, 720, 1440};
constexpr int32_t STARTUP_SECONDS[] = {5, 10, 15, 20, 30, 40, 50, 60, 90, 120, 150, 180, 210, 240};
constexpr int32_t AUTO_DETECTION_SECONDS[] = {5, 10, 20, 30};

constexpr int32_t TEMPERATURE_MIN = -40;
constexpr int32_t TEMPERATURE_MAX = 85;
constexpr int32_t HEALTH_MAX = 100;

struct ComboRow {
  SettingsCombo Combo;
  const char* Caption;
};
constexpr ComboRow COMBOS[] = {
    {SettingsCombo::AUTO_REFRESH, "AUTO_REFRESH"},
    {SettingsCombo::STARTUP, "STARTUP"},
    {SettingsCombo::RESIDENT, "RESIDENT"},
    {SettingsCombo::TEMPERATURE_TYPE, "TEMPERATURE_TYPE"},
    {SettingsCombo::SMART_LOG, "SMART_LOG"},
    {SettingsCombo::AUTO_DETECTION, "AUTO_DETECTION"},
    {SettingsCombo::AUTO_UPDATE, "AUTO_UPDATE"},
    {SettingsCombo::MAIL_SMTP, "MAIL_SMTP"},
    {SettingsCombo::EVALUATE_ALL_DISKS, "EVALUATE_ALL_DISKS"},
};
static_assert(std::size(COMBOS) == SETTINGS_COMBO_COUNT);

// What an alarm field does: its check and uncheck texts, limits and the
// message shown when it holds anything but a decimal number.
struct FieldRule {
  const char* CheckedText;    // put in a field holding "0" when checked
  const char* UncheckedText;  // shown when unchecked
  int32_t Min, Max;
  const char* Error;
  const char* ResetText;
};
constexpr FieldRule FIELD_RULES[] = {
    {"50", "0", TEMPERATURE_MIN, TEMPERATURE_MAX,
     "[Temperature - Above Alarm] contains invalid character!\n\nThis field is represented in "
     "decimal format that each character would be 0~9.\nAny other character is forbidden.",
     "50"},
    {"-10", "0", TEMPERATURE_MIN, TEMPERATURE_MAX,
     "[Temperature - Below Alarm] contains invalid character!\n\nThis field is represented in "
     "decimal format that each character would be 0~9.\nAny other character is forbidden.",
     "-10"},
    {"50", "", 0, HEALTH_MAX,
     "[Health - Below Alarm] contains invalid character!\n\nThis field is represented in decimal "
     "format that each character would be 0~9.\nAny other character is forbidden.",
     "0"},
};

const FieldRule& RuleOf(AlarmField field) { return FIELD_RULES[static_cast<size_t>(field)]; }

// An optional leading "-", then decimal digits only (none while typing).
bool IsDecimalText(const std::string& text) {
  size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

int32_t Within(int32_t value, int32_t count) { return value >= 0 && value < count ? value : 0; }

}  // namespace

const char* SettingsComboCaption(SettingsCombo combo) {
  return COMBOS[static_cast<size_t>(combo)].Caption;
}

std::vector<std::string> SettingsComboEntries(SettingsCombo combo, const SettingsText& text) {
  auto t = [&](const char* key) { return text("TslSettings", key); };
  std::vector<std::string> entries;
  auto numbered = [&](const auto& values, const char* unit) {
    entries.push_back(t("OFF"));
    for (int32_t v : values) entries.push_back(std::to_string(v) + " " + t(unit));
  };
  switch (combo) {
    case SettingsCombo::AUTO_REFRESH:
      numbered(AUTO_REFRESH_MINUTES, "MINUTE");
      break;
    case SettingsCombo::STARTUP:
      numbered(STARTUP_SECONDS, "SECOND");
      break;
    case SettingsCombo::AUTO_DETECTION:
      numbered(AUTO_DETECTION_SECONDS, "SECOND");
      break;
    case SettingsCombo::RESIDENT:
      entries = {t("OFF"), t("HIDE"), t("MINIMIZE")};
      break;
    case SettingsCombo::TEMPERATURE_TYPE:
      entries = {t("CELSIUS"), t("FAHRENHEIT")};
      break;
    case SettingsCombo::SMART_LOG:
    case SettingsCombo::AUTO_UPDATE:
    case SettingsCombo::MAIL_SMTP:
    case SettingsCombo::EVALUATE_ALL_DISKS:
    case SettingsCombo::COUNT:
      entries = {t("OFF"), t("ON")};
      break;
  }
  return entries;
}

DiskAlarms SavedAlarms(DiskAlarms a) {
  auto temperature = [](int32_t v) { return v < TEMPERATURE_MIN || v > TEMPERATURE_MAX ? 0 : v; };
  a.Above = temperature(a.Above);
  a.Below = temperature(a.Below);
  // A negative threshold would be compared as a huge unsigned number by the
  // alarm check and fire on every record: off, like one above 100.
  if (a.Health < 0 || a.Health > HEALTH_MAX) a.Health = 0;
  return a;
}

std::optional<uint32_t> ParseColourText(const std::string& text) {
  const size_t start = !text.empty() && text[0] == '#' ? 1 : 0;
  if (text.size() - start != 6) return std::nullopt;
  uint32_t rgb = 0;
  for (size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else {
      return std::nullopt;
    }
    rgb = rgb << 4 | digit;
  }
  return rgb;
}

std::string ColourText(uint32_t rgb) {
  char text[8];
  std::snprintf(text, sizeof text, "%06X", rgb & 0xFFFFFFu);
  return text;
}

std::string LanguageOfEntry(const std::string& entry) {
  const size_t open = entry.rfind('[');
  if (open == std::string::npos) return {};
  const size_t close = entry.find(']', open + 1);
  if (close == std::string::npos) return {};
  return entry.substr(open + 1, close - open - 1);
}

void CSettingsModel::Load(app::CSettings& settings, std::vector<SettingsDisk> disks,
                          std::vector<std::string> languages, const std::string& currentLanguage) {
  const std::string shownKey = m_Shown >= 0 && static_cast<size_t>(m_Shown) < m_Disks.size()
                                   ? m_Disks[m_Shown].ModelSerial
                                   : std::string();
  GeneralSettings& g = m_General;
  g[SettingsCombo::AUTO_REFRESH] =
      Within(settings.Get(Setting::AUTO_REFRESH), 1 + std::size(AUTO_REFRESH_MINUTES));
  // Start-up on with a wait the list does not hold: its shortest wait.
  const int32_t wait = settings.GetRaw(Setting::STARTUP_WAIT_TIME);
  const int32_t waits = 1 + static_cast<int32_t>(std::size(STARTUP_SECONDS));
  g[SettingsCombo::STARTUP] =
      settings.Get(Setting::STARTUP) == 0 ? 0 : (wait >= 1 && wait < waits ? wait : 1);
  const int32_t resident = settings.Get(Setting::RESIDENT);
  const int32_t minimize = settings.Get(Setting::RESIDENT_MINIMIZE);
  g[SettingsCombo::RESIDENT] = resident > 0 && minimize > 0 ? 2 : (resident > 0 ? 1 : 0);
  g[SettingsCombo::TEMPERATURE_TYPE] = settings.Get(Setting::TEMPERATURE) == 1 ? 1 : 0;
  g[SettingsCombo::SMART_LOG] = settings.Get(Setting::SMART_LOG) != 0 ? 1 : 0;
  g[SettingsCombo::AUTO_DETECTION] =
      Within(settings.Get(Setting::AUTO_DETECTION), 1 + std::size(AUTO_DETECTION_SECONDS));
  g[SettingsCombo::AUTO_UPDATE] = settings.Get(Setting::AUTO_UPDATE) != 0 ? 1 : 0;
  // The mail sender authenticates only on 1.
  g[SettingsCombo::MAIL_SMTP] = settings.Get(Setting::SMTP) == 1 ? 1 : 0;
  g[SettingsCombo::EVALUATE_ALL_DISKS] = settings.Get(Setting::EVALUATE_ALL_DISKS) != 0 ? 1 : 0;
  g.MailTo = settings.GetText(Setting::MAIL_TO);
  g.MailFrom = settings.GetText(Setting::MAIL_FROM);
  g.MailHost = settings.GetText(Setting::MAIL_HOST);
  g.MailPort = settings.GetText(Setting::MAIL_PORT);
  g.MailId = settings.GetText(Setting::MAIL_ID);
  g.MailPassword = settings.GetText(Setting::MAIL_PASSWORD);
  g.GraphColor = ParseColourText(settings.GetText(Setting::GRAPH_COLOR));
  m_Security = static_cast<MailSecurity>(settings.Get(Setting::MAIL_SECURITY));
  m_TrustFile = settings.GetText(Setting::MAIL_TRUST_FILE);

  m_Languages = std::move(languages);
  m_CurrentLanguage = currentLanguage;
  g.Language = -1;
  for (size_t i = 0; i < m_Languages.size() && g.Language < 0; ++i) {
    if (LanguageOfEntry(m_Languages[i]) == currentLanguage) g.Language = static_cast<int32_t>(i);
  }

  m_Disks = std::move(disks);
  m_Alarms.clear();
  for (const SettingsDisk& d : m_Disks) {
    DiskAlarms a;
    a.Above = settings.GetDisk(DiskSetting::ALARM_TEMPERATURE, d.ModelSerial);
    a.Below = settings.GetDisk(DiskSetting::ALARM_TEMPERATURE_BELOW, d.ModelSerial);
    a.Health = settings.GetDisk(DiskSetting::ALARM_HEALTH_STATUS, d.ModelSerial);
    a.EventLog = settings.GetDisk(DiskSetting::ALARM_EVENT_LOG, d.ModelSerial) != 0;
    a.Email = settings.GetDisk(DiskSetting::ALARM_EMAIL, d.ModelSerial) != 0;
    m_Alarms.push_back(SavedAlarms(a));
  }
  m_Checked.assign(m_Disks.size(), {});
  for (size_t i = 0; i < m_Alarms.size(); ++i) {
    m_Checked[i] = {m_Alarms[i].Above != 0, m_Alarms[i].Below != 0, m_Alarms[i].Health != 0};
  }
  m_Shown = m_Disks.empty() ? -1 : 0;
  for (size_t i = 0; i < m_Disks.size(); ++i) {
    if (!shownKey.empty() && m_Disks[i].ModelSerial == shownKey) {
      m_Shown = static_cast<int32_t>(i);
      break;
    }
  }
}

bool CSettingsModel::ShowDisk(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= m_Disks.size()) return false;
  m_Shown = index;
  return true;
}

DiskAlarms CSettingsModel::Alarms(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= m_Alarms.size()) return {};
  return m_Alarms[static_cast<size_t>(index)];
}

int32_t& CSettingsModel::Value(AlarmField field) {
  DiskAlarms& a = m_Alarms[static_cast<size_t>(m_Shown)];
  switch (field) {
    case AlarmField::ABOVE:
      return a.Above;
    case AlarmField::BELOW:
      return a.Below;
    case AlarmField::HEALTH:
      break;
  }
  return a.Health;
}

int32_t CSettingsModel::ValueOf(AlarmField field) const {
  const DiskAlarms a = Alarms(m_Shown);
  return field == AlarmField::ABOVE ? a.Above : field == AlarmField::BELOW ? a.Below : a.Health;
}

AlarmFieldView CSettingsModel::Field(AlarmField field) const {
  AlarmFieldView v;
  if (m_Shown < 0) return v;
  v.Checked = m_Checked[static_cast<size_t>(m_Shown)][static_cast<size_t>(field)];
  const int32_t value = ValueOf(field);
  v.Text = value != 0 || v.Checked ? std::to_string(value) : RuleOf(field).UncheckedText;
  v.SpinEnabled = v.Checked;
  return v;
}

std::string CSettingsModel::Check(AlarmField field, bool checked, const std::string& fieldText) {
  if (m_Shown < 0) return fieldText;
  const FieldRule& rule = RuleOf(field);
  m_Checked[static_cast<size_t>(m_Shown)][static_cast<size_t>(field)] = checked;
  int32_t& value = Value(field);
  if (!checked) {
    value = 0;
    return rule.UncheckedText;
  }
  const int32_t typed = IsDecimalText(fieldText) ? app::ParseDecimal(fieldText) : 0;
  if (typed == 0) {
    value = app::ParseDecimal(rule.CheckedText);
    return rule.CheckedText;
  }
  value = typed;
  return fieldText;
}

std::string CSettingsModel::Spin(AlarmField field, int32_t delta) {
  if (m_Shown < 0) return {};
  if (!m_Checked[static_cast<size_t>(m_Shown)][static_cast<size_t>(field)]) {
    return Field(field).Text;
  }
  const FieldRule& rule = RuleOf(field);
  int32_t& value = Value(field);
  const int64_t moved = static_cast<int64_t>(value) + delta;
  value = static_cast<int32_t>(std::clamp<int64_t>(moved, rule.Min, rule.Max));
  return std::to_string(value);
}

AlarmFieldEdit CSettingsModel::Edit(AlarmField field, const std::string& text) {
  AlarmFieldEdit e;
  if (m_Shown < 0) return e;
  if (!IsDecimalText(text)) {
    e.Valid = false;
    e.Error = RuleOf(field).Error;
    e.ResetText = RuleOf(field).ResetText;
    return e;
  }
  if (m_Checked[static_cast<size_t>(m_Shown)][static_cast<size_t>(field)]) {
    Value(field) = app::ParseDecimal(text);
  }
  return e;
}

std::vector<std::string> AboveAlarmChoices(const std::string& disableText) {
  const std::string degree = "\xC2\xB0";  // UTF-8
  std::vector<std::string> entries;
  for (int32_t c = ABOVE_CHOICE_FIRST; c <= ABOVE_CHOICE_LAST; ++c) {
    entries.push_back(std::to_string(c) + " " + degree + "C (" + std::to_string(c * 9 / 5 + 32) +
                      " " + degree + "F)");
  }
  entries.push_back(disableText);
  return entries;
}

std::optional<size_t> AboveAlarmChoice(int32_t above) {
  if (above == 0) return static_cast<size_t>(ABOVE_CHOICE_LAST - ABOVE_CHOICE_FIRST + 1);
  if (above < ABOVE_CHOICE_FIRST || above > ABOVE_CHOICE_LAST) return std::nullopt;
  return static_cast<size_t>(above - ABOVE_CHOICE_FIRST);
}

bool CSettingsModel::ChooseAbove(size_t entry) {
  const auto count = static_cast<size_t>(ABOVE_CHOICE_LAST - ABOVE_CHOICE_FIRST + 1);
  if (m_Shown < 0 || entry > count) return false;
  const bool on = entry < count;
  m_Checked[static_cast<size_t>(m_Shown)][static_cast<size_t>(AlarmField::ABOVE)] = on;
  Value(AlarmField::ABOVE) = on ? ABOVE_CHOICE_FIRST + static_cast<int32_t>(entry) : 0;
  return true;
}

void CSettingsModel::SetEventLog(bool on) {
  if (m_Shown >= 0) m_Alarms[static_cast<size_t>(m_Shown)].EventLog = on;
}

void CSettingsModel::SetEmail(bool on) {
  if (m_Shown >= 0) m_Alarms[static_cast<size_t>(m_Shown)].Email = on;
}

SettingsSaveResult CSettingsModel::Save(app::CSettings& settings) {
  SettingsSaveResult r;
  const GeneralSettings& g = m_General;
  auto text = [&](Setting id, const std::string& value) {
    r.Ok = settings.SetText(id, value) && r.Ok;
  };
  auto number = [&](Setting id, int32_t value) { r.Ok = settings.Set(id, value) && r.Ok; };
  text(Setting::MAIL_TO, g.MailTo);
  text(Setting::MAIL_FROM, g.MailFrom);
  text(Setting::MAIL_HOST, g.MailHost);
  text(Setting::MAIL_PORT, g.MailPort);
  text(Setting::MAIL_ID, g.MailId);
  text(Setting::MAIL_PASSWORD, g.MailPassword);
  number(Setting::SMTP, g[SettingsCombo::MAIL_SMTP] == 0 ? 0 : 1);
  number(Setting::TEMPERATURE, g[SettingsCombo::TEMPERATURE_TYPE] == 1 ? 1 : 0);
  number(Setting::AUTO_REFRESH, g[SettingsCombo::AUTO_REFRESH]);
  const int32_t startup = g[SettingsCombo::STARTUP];
  number(Setting::STARTUP, startup == 0 ? 0 : 1);
  number(Setting::STARTUP_WAIT_TIME, startup);
  const int32_t resident = g[SettingsCombo::RESIDENT];
  number(Setting::RESIDENT, resident == 0 ? 0 : 1);
  number(Setting::RESIDENT_MINIMIZE, resident == 0 ? 0 : resident - 1);
  number(Setting::SMART_LOG, g[SettingsCombo::SMART_LOG]);
  number(Setting::AUTO_DETECTION, g[SettingsCombo::AUTO_DETECTION]);
  number(Setting::AUTO_UPDATE, g[SettingsCombo::AUTO_UPDATE]);
  number(Setting::EVALUATE_ALL_DISKS, g[SettingsCombo::EVALUATE_ALL_DISKS]);
  text(Setting::GRAPH_COLOR, g.GraphColor ? ColourText(*g.GraphColor) : std::string());

  for (size_t i = 0; i < m_Disks.size(); ++i) {
    const DiskAlarms a = SavedAlarms(m_Alarms[i]);
    m_Alarms[i] = a;
    const std::string& key = m_Disks[i].ModelSerial;
    auto disk = [&](DiskSetting id, int32_t value) {
      r.Ok = settings.SetDisk(id, key, value) && r.Ok;
    };
    disk(DiskSetting::ALARM_TEMPERATURE, a.Above);
    disk(DiskSetting::ALARM_TEMPERATURE_BELOW, a.Below);
    disk(DiskSetting::ALARM_HEALTH_STATUS, a.Health);
    disk(DiskSetting::ALARM_EVENT_LOG, a.EventLog ? 1 : 0);
    disk(DiskSetting::ALARM_EMAIL, a.Email ? 1 : 0);
  }

  r.Language = m_CurrentLanguage;
  if (g.Language >= 0 && static_cast<size_t>(g.Language) < m_Languages.size()) {
    // The name itself is compared: "English" is not the same language as
    // an "EnglishUK" whose entry happens to contain it.
    const std::string chosen = LanguageOfEntry(m_Languages[static_cast<size_t>(g.Language)]);
    if (!chosen.empty() && chosen != m_CurrentLanguage) {
      text(Setting::LANGUAGE, chosen);
      m_CurrentLanguage = chosen;
      r.Language = chosen;
      r.LanguageChanged = true;
    }
  }
  return r;
}

TestMail CSettingsModel::ComposeTestMail(const std::string& programWord, int64_t now) const {
  TestMail t;
  const GeneralSettings& g = m_General;
  if (g.MailTo.empty() || g.MailFrom.empty() || g.MailHost.empty()) {
    t.Problem = "The recipient, the sender and the server are all needed.";
    return t;
  }
  std::string port = g.MailPort;
  port.erase(0, port.find_first_not_of(' '));
  port.erase(port.find_last_not_of(' ') + 1);
  const bool digits = !port.empty() && IsDecimalText(port) && port[0] != '-';
  const int32_t number = digits ? app::ParseDecimal(port) : 0;
  if (number < 1 || number > 65535) {
    t.Problem = "The port \"" + g.MailPort + "\" is not a port number (1-65535).";
    return t;
  }
  AlarmMail m;
  m.Server.Host = g.MailHost;
  m.Server.Port = static_cast<uint16_t>(number);
  if (g[SettingsCombo::MAIL_SMTP] != 0) {
    m.Server.User = g.MailId;
    m.Server.Password = g.MailPassword;
  }
  m.Server.Security = m_Security;
  m.Server.TrustFile = m_TrustFile;
  m.Message.From = g.MailFrom;
  m.Message.To = g.MailTo;
  m.Message.Subject = programWord + " - Test Mail";
  m.Message.Body = "Hello,\nThis is test mail from " + programWord + ".\n\nThank You!";
  m.Message.Date = now;
  t.Mail = std::move(m);
  return t;
}

std::string TestMailResultText(const SmtpResult& result, const SettingsText& text) {
  if (result.Ok) return text("Message", "TEST_MAIL_SUCCESS");
  std::string message = text("Message", "TEST_MAIL_ERROR");
  if (!result.Detail.empty()) message += "\n\n" + result.Detail;
  return message;
}

}  // namespace monitor
