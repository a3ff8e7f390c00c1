#include "app/Settings.h"

#include <array>
#include <cstdio>
#include <limits>

#include "base/DebugLog.h"
#include "os/IniFile.h"

namespace app {
namespace {

using E = SettingEncoding;

constexpr SettingRange NO_RANGE{};

// Numbers outside [lo, hi] read as 0.
constexpr SettingRange ZeroOutside(int32_t lo, int32_t hi) { return {true, lo, 0, true, hi, 0}; }
// Numbers below `min` read as `use`.
constexpr SettingRange Below(int32_t min, int32_t use) { return {true, min, use, false, 0, 0}; }
// Numbers below `lo` read as `belowUse`, above `hi` as `aboveUse`.
constexpr SettingRange Within(int32_t lo, int32_t hi, int32_t belowUse, int32_t aboveUse) {
  return {true, lo, belowUse, true, hi, aboveUse};
}

struct Row {
  Setting Id;
  SettingDescriptor D;
};

constexpr const char* SETTING = "Setting";
constexpr const char* WORKAROUND = "Workaround";
constexpr const char* BENCHMARK = "Settings";

constexpr std::array<Row, static_cast<size_t>(Setting::COUNT)> SETTINGS = {{
    {Setting::DEBUG_MODE, {SETTING, "DebugMode", E::INT, 0, nullptr, ZeroOutside(0, 2)}},
    {Setting::LANGUAGE, {SETTING, "Language", E::TEXT, 0, "", NO_RANGE}},
    {Setting::ZOOM_TYPE, {SETTING, "ZoomType", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::FONT_TYPE, {SETTING, "FontType", E::INT, 2, nullptr, ZeroOutside(0, 2)}},
    {Setting::GUI_STYLE, {SETTING, "GuiStyle", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::TEMPERATURE, {SETTING, "Temperature", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::SMART_ENGLISH, {SETTING, "SmartEnglish", E::INT, 0, nullptr, NO_RANGE}},
    // An unsigned comparison in the original reading, so negative values
    // are out of range as well.
    {Setting::RAW_VALUES, {SETTING, "RawValues", E::INT, 0, nullptr, ZeroOutside(0, 3)}},
    {Setting::GREEN_MODE, {SETTING, "GreenMode", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::ON_LINE_HELP, {SETTING, "OnLineHelp", E::INT, 1, nullptr, NO_RANGE}},
    {Setting::AUTO_REFRESH, {SETTING, "AutoRefresh", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::SMART_LOG, {SETTING, "SmartLog", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::LOG_INTERVAL, {SETTING, "LogInterval", E::DECIMAL_TEXT, 0, "60", Below(1, 60)}},
    {Setting::SAVE_SMART_PERIOD, {SETTING, "SAVE_SMART_PERIOD", E::INT, 150, nullptr, NO_RANGE}},
    {Setting::CR_MODE, {SETTING, "CRMode", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::ALARM_TEMPERATURE_PERIOD,
     {SETTING, "ALARM_TEMPERATURE_PERIOD", E::INT, 3600, nullptr, NO_RANGE}},
    {Setting::ALERT_SOUND, {SETTING, "AlertSound", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::ALERT_SOUND_PATH, {SETTING, "AlertSoundPath", E::TEXT, 0, "", NO_RANGE}},
    {Setting::EVENT_LOG, {SETTING, "EventLog", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::MAIL_TO, {SETTING, "MailTo", E::TEXT, 0, "", NO_RANGE}},
    {Setting::MAIL_FROM, {SETTING, "MailFrom", E::TEXT, 0, "", NO_RANGE}},
    {Setting::MAIL_HOST, {SETTING, "MailHost", E::TEXT, 0, "", NO_RANGE}},
    // Empty, not a number or not a port: 0, mail off.
    {Setting::MAIL_PORT, {SETTING, "MailPort", E::DECIMAL_TEXT, 0, "", ZeroOutside(0, 65535)}},
    {Setting::MAIL_ID, {SETTING, "MailID", E::TEXT, 0, "", NO_RANGE}},
    {Setting::MAIL_PASSWORD, {SETTING, "MailPassword", E::TEXT, 0, "", NO_RANGE, true}},
    {Setting::SMTP, {SETTING, "SMTP", E::INT, 1, nullptr, NO_RANGE}},
    // An unknown mode must not quietly fall back to plain text: it reads as
    // STARTTLS, which refuses to send when the server cannot encrypt.
    {Setting::MAIL_SECURITY, {SETTING, "MailSecurity", E::INT, 0, nullptr, Within(0, 2, 1, 1)}},
    {Setting::MAIL_TRUST_FILE, {SETTING, "MailTrustFile", E::TEXT, 0, "", NO_RANGE}},
    {Setting::RESIDENT, {SETTING, "Resident", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::RESIDENT_MINIMIZE, {SETTING, "ResidentMinimize", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::SHOW_TEMPERATURE_ICON_ONLY,
     {SETTING, "ShowTemperatureIconOnly", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::TSL_OPT, {SETTING, "TslOpt", E::HEX_TEXT, 0, "", NO_RANGE}},
    {Setting::GADGET, {SETTING, "Gadget", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::STARTUP, {SETTING, "Startup", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::STARTUP_WAIT_TIME, {SETTING, "StartupWaitTime", E::INT, 30, nullptr, NO_RANGE}},
    {Setting::STARTUP_FIXED, {SETTING, "StartupFixed", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::AUTO_UPDATE, {SETTING, "AutoUpdate", E::INT, 0, nullptr, NO_RANGE}},
    // Below 1 the built-in interval of 15 days stays.
    {Setting::INTERVAL_DAYS, {SETTING, "IntervalDays", E::INT, 0, nullptr, Below(1, 15)}},
    {Setting::NEXT_UPDATE_DATE, {SETTING, "NextUpdateDate", E::TEXT, 0, nullptr, NO_RANGE}},
    {Setting::SUPPORT_USB, {SETTING, "SupportUSB", E::INT, 1, nullptr, NO_RANGE}},
    {Setting::ADVANCED_DISK_SEARCH, {SETTING, "AdvancedDiskSearch", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::USE_WMI, {SETTING, "UseWMI", E::INT, 1, nullptr, NO_RANGE}},
    {Setting::HIDE_NO_SMART_DISK, {SETTING, "HideNoSmartDisk", E::INT, 0, nullptr, NO_RANGE}},
    // Off: disks that are not rated stay unknown, as they always were.
    {Setting::EVALUATE_ALL_DISKS, {SETTING, "EvaluateAllDisks", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::AUTO_AAM_APM, {SETTING, "AutoAamApm", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::AUTO_DETECTION, {SETTING, "AutoDetection", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::SELECTED_ATTRIBUTE_ID,
     {SETTING, "SelectedAttributeId", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::MAX_PLOT_POINT,
     {SETTING, "MaxPlotPoint", E::DECIMAL_TEXT, 0, "50", Within(1, 100, 50, 100)}},
    {Setting::ATTRIBUTE, {SETTING, "Attribute", E::DECIMAL_TEXT, 0, "0", Below(1, 0)}},
    // Our own: the Prometheus endpoint (the window program serves it only
    // when set; `stavrion watch` listens on loopback when it is empty) and
    // the alarm command of `stavrion watch`.
    {Setting::METRICS_ADDRESS, {SETTING, "MetricsAddress", E::TEXT, 0, "", NO_RANGE}},
    {Setting::ALARM_COMMAND, {SETTING, "AlarmCommand", E::TEXT, 0, "", NO_RANGE}},
    {Setting::GRAPH_COLOR, {SETTING, "GraphColor", E::TEXT, 0, "", NO_RANGE}},
    {Setting::HD204UI, {WORKAROUND, "HD204UI", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::REGISTER_STARTUP, {WORKAROUND, "RegisterStartup", E::INT, 0, nullptr, NO_RANGE}},
    {Setting::EXEC_FAILED, {WORKAROUND, "ExecFailed", E::DECIMAL_TEXT, 0, "", NO_RANGE}},
    // A benchmark value outside its range takes the default.
    {Setting::SEQUENTIAL_MULTI_QUEUES1,
     {BENCHMARK, "SequentialMultiQueues1", E::INT, 32, nullptr, Within(1, 512, 32, 32)}},
    {Setting::SEQUENTIAL_MULTI_THREADS1,
     {BENCHMARK, "SequentialMultiThreads1", E::INT, 1, nullptr, Within(1, 64, 1, 1)}},
    {Setting::RANDOM_MULTI_QUEUES1,
     {BENCHMARK, "RandomMultiQueues1", E::INT, 8, nullptr, Within(1, 512, 8, 8)}},
    {Setting::RANDOM_MULTI_THREADS1,
     {BENCHMARK, "RandomMultiThreads1", E::INT, 8, nullptr, Within(1, 64, 8, 8)}},
    {Setting::RANDOM_MULTI_QUEUES2,
     {BENCHMARK, "RandomMultiQueues2", E::INT, 32, nullptr, Within(1, 512, 32, 32)}},
    {Setting::RANDOM_MULTI_THREADS2,
     {BENCHMARK, "RandomMultiThreads2", E::INT, 1, nullptr, Within(1, 64, 1, 1)}},
    {Setting::RANDOM_MULTI_QUEUES3,
     {BENCHMARK, "RandomMultiQueues3", E::INT, 1, nullptr, Within(1, 512, 1, 1)}},
    {Setting::RANDOM_MULTI_THREADS3,
     {BENCHMARK, "RandomMultiThreads3", E::INT, 1, nullptr, Within(1, 64, 1, 1)}},
}};

struct DiskRow {
  DiskSetting Id;
  SettingDescriptor D;
};

constexpr std::array<DiskRow, static_cast<size_t>(DiskSetting::COUNT)> DISK_SETTINGS = {{
    // -1: not measured yet.
    {DiskSetting::POWER_ON_UNIT, {"PowerOnUnit", nullptr, E::INT, -1, nullptr, NO_RANGE}},
    {DiskSetting::AUTO_REFRESH_TARGET,
     {"AutoRefreshTarget", nullptr, E::INT, 1, nullptr, NO_RANGE}},
    {DiskSetting::TEMPERATURE_ICON, {"TemperatureIcon", nullptr, E::INT, 1, nullptr, NO_RANGE}},
    // Degrees Celsius, 0 = off; a limit no disk can reach is off as well.
    {DiskSetting::ALARM_TEMPERATURE,
     {"AlarmTemperature", nullptr, E::INT, 0, nullptr, ZeroOutside(-40, 85)}},
    {DiskSetting::ALARM_TEMPERATURE_BELOW,
     {"AlarmTemperatureBelow", nullptr, E::INT, 0, nullptr, ZeroOutside(-40, 85)}},
    // Percent, 0 = off; a negative one would fire on every record.
    {DiskSetting::ALARM_HEALTH_STATUS,
     {"AlarmHealthStatus", nullptr, E::INT, 0, nullptr, ZeroOutside(0, 100)}},
    {DiskSetting::ALARM_EVENT_LOG, {"AlarmEventLog", nullptr, E::INT, 0, nullptr, NO_RANGE}},
    {DiskSetting::ALARM_EMAIL, {"AlarmEmail", nullptr, E::INT, 0, nullptr, NO_RANGE}},
    {DiskSetting::ALARM_STATUS, {"AlarmStatus", nullptr, E::INT, 1, nullptr, NO_RANGE}},
    {DiskSetting::THREASHOLD_OF_CAUTION_05,
     {"ThreasholdOfCaution05", nullptr, E::INT, 1, nullptr, NO_RANGE}},
    {DiskSetting::THREASHOLD_OF_CAUTION_C5,
     {"ThreasholdOfCautionC5", nullptr, E::INT, 1, nullptr, NO_RANGE}},
    {DiskSetting::THREASHOLD_OF_CAUTION_C6,
     {"ThreasholdOfCautionC6", nullptr, E::INT, 1, nullptr, NO_RANGE}},
    {DiskSetting::THREASHOLD_OF_CAUTION_FF,
     {"ThreasholdOfCautionFF", nullptr, E::INT, 10, nullptr, NO_RANGE}},
    // 1 enable, 0 disable, anything else leaves the disk alone.
    {DiskSetting::AAM_STATUS, {"AamStatus", nullptr, E::INT, -1, nullptr, NO_RANGE}},
    {DiskSetting::AAM_VALUE, {"AamValue", nullptr, E::INT, -1, nullptr, NO_RANGE}},
    {DiskSetting::APM_STATUS, {"ApmStatus", nullptr, E::INT, -1, nullptr, NO_RANGE}},
    {DiskSetting::APM_VALUE, {"ApmValue", nullptr, E::INT, -1, nullptr, NO_RANGE}},
}};

constexpr bool TablesInOrder() {
  for (size_t i = 0; i < SETTINGS.size(); ++i) {
    if (static_cast<size_t>(SETTINGS[i].Id) != i) return false;
  }
  for (size_t i = 0; i < DISK_SETTINGS.size(); ++i) {
    if (static_cast<size_t>(DISK_SETTINGS[i].Id) != i) return false;
  }
  return true;
}
static_assert(TablesInOrder(), "settings tables must follow the order of their enumerations");

// The lists of the settings dialog: index -> minutes / seconds.
constexpr std::array<int32_t, 12> AUTO_REFRESH_MINUTES = {0,  1,   3,   5,   10,  30,
                                                          60, 120, 180, 360, 720, 1440};
constexpr std::array<int32_t, 15> STARTUP_WAIT_SECONDS = {0,  5,  10,  15,  20,  30,  40, 50,
                                                          60, 90, 120, 150, 180, 210, 240};

const char* SkipBlanks(const char* p) {
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\v' || *p == '\f') ++p;
  return p;
}

int32_t Saturate(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads digits of `base` from p into a magnitude that stops growing past
// the int32 range, so the sign can still saturate correctly.
int64_t Magnitude(const char* p, int base) {
  int64_t v = 0;
  for (int d; (d = HexDigit(*p)) >= 0 && d < base; ++p) {
    if (v <= int64_t{1} << 32) v = v * base + d;
  }
  return v;
}

}  // namespace

int32_t SettingRange::Apply(int32_t v) const {
  if (HasMin && v < Min) return BelowMin;
  if (HasMax && v > Max) return AboveMax;
  return v;
}

const SettingDescriptor& Describe(Setting id) { return SETTINGS.at(static_cast<size_t>(id)).D; }

const SettingDescriptor& Describe(DiskSetting id) {
  return DISK_SETTINGS.at(static_cast<size_t>(id)).D;
}

int32_t AutoRefreshMinutes(int32_t index) {
  if (index < 1 || index >= static_cast<int32_t>(AUTO_REFRESH_MINUTES.size())) return 0;
  return AUTO_REFRESH_MINUTES[static_cast<size_t>(index)];
}

int32_t StartupWaitSeconds(int32_t index) {
  if (index < 1 || index >= static_cast<int32_t>(STARTUP_WAIT_SECONDS.size())) return 0;
  return STARTUP_WAIT_SECONDS[static_cast<size_t>(index)];
}

int32_t ParseDecimal(const std::string& text) {
  const char* p = SkipBlanks(text.c_str());
  bool minus = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  int64_t v = Magnitude(p, 10);
  return Saturate(minus ? -v : v);
}

int32_t ParseHex(const std::string& text) {
  const char* p = SkipBlanks(text.c_str());
  bool minus = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigit(p[2]) >= 0) p += 2;
  int64_t v = Magnitude(p, 16);
  return Saturate(minus ? -v : v);
}

CSettings::CSettings(os::IProfile& profile, os::IClock& clock, std::string path)
    : m_Profile(profile), m_Clock(clock), m_Path(std::move(path)) {}

std::string CSettings::TextDefault(const SettingDescriptor& d) {
  if (d.Encoding == E::INT) return std::to_string(d.Default);
  if (d.TextDefault) return d.TextDefault;
  std::tm today = m_Clock.LocalTime(m_Clock.Now());
  char date[32];
  std::snprintf(date, sizeof date, "%04u%02u%02u", static_cast<unsigned>(today.tm_year + 1900),
                static_cast<unsigned>(today.tm_mon + 1), static_cast<unsigned>(today.tm_mday));
  return date;
}

int32_t CSettings::ReadNumber(const SettingDescriptor& d, const std::string& section,
                              const std::string& key) {
  switch (d.Encoding) {
    case E::INT:
      return m_Profile.GetInt(section, key, d.Default, m_Path);
    case E::HEX_TEXT:
      return ParseHex(m_Profile.GetString(section, key, TextDefault(d), m_Path));
    case E::DECIMAL_TEXT:
    case E::TEXT:
      break;
  }
  return ParseDecimal(m_Profile.GetString(section, key, TextDefault(d), m_Path));
}

bool CSettings::Write(const std::string& section, const std::string& key,
                      const std::string& value) {
  // A name or value that cannot be one line of the file (a model name with
  // '=' in it, a value with a line break) is not the user's to fix.
  if (!os::CIniFile::IsStorable(section, key, value)) {
    base::DebugLog("Settings: not stored: [" + section + "] " + key);
    return false;
  }
  if (m_Profile.WriteString(section, key, value, m_Path)) return true;
  if (m_WriteError.empty()) {
    m_WriteError = "Cannot save settings to \"" + m_Path +
                   "\": changes will be lost; make the file and its folder writable.";
    base::DebugLog(m_WriteError);
  }
  return false;
}

namespace {

// A number as the file stores it: "%X" for hexadecimal keys, else "%d".
std::string NumberText(const SettingDescriptor& d, int32_t value) {
  char text[16];
  if (d.Encoding == E::HEX_TEXT) {
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
  } else {
    std::snprintf(text, sizeof text, "%d", value);
  }
  return text;
}

}  // namespace

void CSettings::OverrideForRun(Setting id, int32_t value) { m_Overrides[id] = value; }

int32_t CSettings::Get(Setting id) {
  const SettingDescriptor& d = Describe(id);
  return d.Range.Apply(GetRaw(id));
}

int32_t CSettings::GetRaw(Setting id) {
  if (auto it = m_Overrides.find(id); it != m_Overrides.end()) return it->second;
  const SettingDescriptor& d = Describe(id);
  return ReadNumber(d, d.Section, d.Key);
}

std::string CSettings::GetText(Setting id) {
  const SettingDescriptor& d = Describe(id);
  if (auto it = m_Overrides.find(id); it != m_Overrides.end()) return NumberText(d, it->second);
  if (d.Secret) return ReadSecret(d);
  return m_Profile.GetString(d.Section, d.Key, TextDefault(d), m_Path);
}

namespace {

// A protected secret is a few hundred bytes, twice that in hexadecimal:
// more than the 255 characters of an ordinary value.
constexpr uint32_t SECRET_CAPACITY = 4096;

std::string HexText(const std::vector<uint8_t>& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 0x0F];
  }
  return out;
}

std::optional<std::vector<uint8_t>> HexBytes(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  std::vector<uint8_t> out;
  out.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int hi = digit(text[i]);
    const int lo = digit(text[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<uint8_t>(hi << 4 | lo));
  }
  return out;
}

}  // namespace

std::string CSettings::ReadSecret(const SettingDescriptor& d) {
  const std::string stored =
      m_Profile.GetString(d.Section, d.Key, TextDefault(d), m_Path, SECRET_CAPACITY);
  const std::string_view prefix = PROTECTED_SECRET_PREFIX;
  if (stored.compare(0, prefix.size(), prefix) != 0) return stored;  // an older clear value
  const auto blob = HexBytes(std::string_view(stored).substr(prefix.size()));
  std::optional<std::string> plain;
  if (blob && m_Secrets != nullptr) plain = m_Secrets->Unprotect(*blob);
  if (!plain) {
    base::DebugLog(std::string("Settings: ") + d.Key +
                   " cannot be read here (protected for another user or machine)");
    return {};
  }
  return *plain;
}

bool CSettings::WriteSecret(const SettingDescriptor& d, const std::string& value) {
  if (!value.empty() && m_Secrets != nullptr) {
    if (auto blob = m_Secrets->Protect(value)) {
      return Write(d.Section, d.Key, PROTECTED_SECRET_PREFIX + HexText(*blob));
    }
    base::DebugLog(std::string("Settings: ") + d.Key + " could not be protected; kept private");
  }
  // In clear text: only after the file can be read by its owner alone, so
  // the secret is never in a file others may read.
  if (!value.empty() && !m_Profile.MakePrivate(m_Path)) {
    base::DebugLog(std::string("Settings: ") + d.Key + " not stored: " + m_Path +
                   " cannot be made private");
    if (m_WriteError.empty()) {
      m_WriteError =
          "Cannot make \"" + m_Path + "\" readable by its owner only: the password was not saved.";
    }
    return false;
  }
  return Write(d.Section, d.Key, value);
}

bool CSettings::Set(Setting id, int32_t value) {
  const SettingDescriptor& d = Describe(id);
  return Write(d.Section, d.Key, NumberText(d, value));
}

bool CSettings::SetText(Setting id, const std::string& value) {
  const SettingDescriptor& d = Describe(id);
  if (d.Secret) return WriteSecret(d, value);
  return Write(d.Section, d.Key, value);
}

int32_t CSettings::GetDisk(DiskSetting id, const std::string& modelSerial) {
  const SettingDescriptor& d = Describe(id);
  return d.Range.Apply(ReadNumber(d, d.Section, os::CIniFile::StorableName(modelSerial)));
}

bool CSettings::SetDisk(DiskSetting id, const std::string& modelSerial, int32_t value) {
  const SettingDescriptor& d = Describe(id);
  return Write(d.Section, os::CIniFile::StorableName(modelSerial), std::to_string(value));
}

bool CSettings::GetGraphHideDisk(int index) {
  return m_Profile.GetInt("GraphHideDisk", "Disk" + std::to_string(index), 0, m_Path) != 0;
}

bool CSettings::SetGraphHideDisk(int index, bool hide) {
  return Write("GraphHideDisk", "Disk" + std::to_string(index), hide ? "1" : "0");
}

}  // namespace app
