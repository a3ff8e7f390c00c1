// The settings file: every key the program keeps, described once as data
// (section, key, encoding, default, range rule), and one object that reads
// and writes them through the private-profile calls. Nothing is cached: each
// read goes to the file, each write goes to it at once.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "os/Clock.h"
#include "os/Profile.h"
#include "os/Secrets.h"

namespace app {

// Keys of the sections "Setting", "Workaround" and "Settings".
enum class Setting : uint8_t {
  // "Setting"
  DEBUG_MODE,
  LANGUAGE,
  ZOOM_TYPE,
  FONT_TYPE,
  GUI_STYLE,
  TEMPERATURE,
  SMART_ENGLISH,
  RAW_VALUES,
  GREEN_MODE,
  ON_LINE_HELP,
  AUTO_REFRESH,
  SMART_LOG,
  LOG_INTERVAL,
  SAVE_SMART_PERIOD,
  CR_MODE,
  ALARM_TEMPERATURE_PERIOD,
  ALERT_SOUND,
  ALERT_SOUND_PATH,
  EVENT_LOG,
  MAIL_TO,
  MAIL_FROM,
  MAIL_HOST,
  MAIL_PORT,
  MAIL_ID,
  MAIL_PASSWORD,
  SMTP,
  // Mail over TLS: 0 none (plain, as before), 1 STARTTLS, 2 TLS from the
  // first byte; and a PEM file of certificates to trust instead of the
  // system's.
  MAIL_SECURITY,
  MAIL_TRUST_FILE,
  RESIDENT,
  RESIDENT_MINIMIZE,
  SHOW_TEMPERATURE_ICON_ONLY,
  TSL_OPT,
  GADGET,
  STARTUP,
  STARTUP_WAIT_TIME,
  STARTUP_FIXED,
  AUTO_UPDATE,
  INTERVAL_DAYS,
  NEXT_UPDATE_DATE,
  SUPPORT_USB,
  ADVANCED_DISK_SEARCH,
  USE_WMI,
  HIDE_NO_SMART_DISK,
  EVALUATE_ALL_DISKS,
  AUTO_AAM_APM,
  AUTO_DETECTION,
  SELECTED_ATTRIBUTE_ID,
  MAX_PLOT_POINT,
  ATTRIBUTE,
  METRICS_ADDRESS,  // where watch serves metrics ("HOST:PORT", "off"); empty: 127.0.0.1:9720
  ALARM_COMMAND,    // program run for each alarm of `stavrion watch`; empty: none
  GRAPH_COLOR,      // the graph pane's history line, "RRGGBB"; empty: automatic
  // "Workaround"
  HD204UI,
  REGISTER_STARTUP,
  EXEC_FAILED,
  // "Settings" (benchmark)
  SEQUENTIAL_MULTI_QUEUES1,
  SEQUENTIAL_MULTI_THREADS1,
  RANDOM_MULTI_QUEUES1,
  RANDOM_MULTI_THREADS1,
  RANDOM_MULTI_QUEUES2,
  RANDOM_MULTI_THREADS2,
  RANDOM_MULTI_QUEUES3,
  RANDOM_MULTI_THREADS3,
  COUNT
};

// Per-disk settings: the section is the setting's name, the key the disk's
// ModelSerial, so a setting follows the physical disk.
enum class DiskSetting : uint8_t {
  POWER_ON_UNIT,
  AUTO_REFRESH_TARGET,
  TEMPERATURE_ICON,
  ALARM_TEMPERATURE,
  ALARM_TEMPERATURE_BELOW,
  ALARM_HEALTH_STATUS,
  ALARM_EVENT_LOG,
  ALARM_EMAIL,
  ALARM_STATUS,  // alarm when the health status gets worse (1 on, 0 off)
  THREASHOLD_OF_CAUTION_05,
  THREASHOLD_OF_CAUTION_C5,
  THREASHOLD_OF_CAUTION_C6,
  THREASHOLD_OF_CAUTION_FF,
  AAM_STATUS,
  AAM_VALUE,
  APM_STATUS,
  APM_VALUE,
  COUNT
};

// How a value is stored in the file.
enum class SettingEncoding : uint8_t {
  INT,           // decimal text read with GetPrivateProfileInt
  DECIMAL_TEXT,  // text read as a decimal number (leading sign and digits)
  HEX_TEXT,      // text read as a hexadecimal number ("8000", "0x8000")
  TEXT,          // text
};

// What a number read from the file becomes when it is out of range.
struct SettingRange {
  bool HasMin = false;
  int32_t Min = 0;
  int32_t BelowMin = 0;  // value used for numbers below Min
  bool HasMax = false;
  int32_t Max = 0;
  int32_t AboveMax = 0;  // value used for numbers above Max

  int32_t Apply(int32_t v) const;
};

struct SettingDescriptor {
  const char* Section;  // per-disk settings: the section named after the setting
  const char* Key;      // per-disk settings: null (the key is the disk's ModelSerial)
  SettingEncoding Encoding;
  int32_t Default;          // INT
  const char* TextDefault;  // the text kinds; null for "today" ("%04u%02u%02u")
  SettingRange Range;
  // A secret (the mail password): stored protected where the platform can
  // protect it, else in a file only its owner can read.
  bool Secret = false;
};

// The prefix of a secret stored protected for the user; the rest of the
// value is the protected bytes in hexadecimal. A value without it is a
// clear secret written by an older version, read as it stands.
inline constexpr const char* PROTECTED_SECRET_PREFIX = "dpapi:";

// The description of every key.
const SettingDescriptor& Describe(Setting id);
const SettingDescriptor& Describe(DiskSetting id);

// "AutoRefresh" index to minutes (0 = off, also for any index outside 1-11).
int32_t AutoRefreshMinutes(int32_t index);
// "StartupWaitTime" index to seconds (0 for any index outside 1-14).
int32_t StartupWaitSeconds(int32_t index);

// Leading decimal number of a text as the C runtime reads it: blanks, one
// sign, digits; 0 when there are none; saturating at the int32 limits.
int32_t ParseDecimal(const std::string& text);
// Hexadecimal number of a text, optional sign and "0x" prefix; 0 when there
// are no digits; saturating at the int32 limits.
int32_t ParseHex(const std::string& text);

class CSettings {
 public:
  // `path` is the settings file; `clock` gives "today" for "NextUpdateDate".
  CSettings(os::IProfile& profile, os::IClock& clock, std::string path);

  const std::string& Path() const { return m_Path; }

  // Protection of secret settings (may be null: then a secret is written in
  // clear text after the file was made readable by its owner only). Must
  // outlive this object.
  void SetSecretProtector(os::ISecretProtector* secrets) { m_Secrets = secrets; }

  // A numeric setting with its range rule applied.
  int32_t Get(Setting id);
  // A numeric setting as stored (no range rule).
  int32_t GetRaw(Setting id);
  // A setting as text (any encoding; numbers as stored in the file). A
  // secret comes back in clear text (empty when its protected form cannot
  // be turned back: another user's or machine's).
  std::string GetText(Setting id);
  // Writes a number ("%d"; "%X" for hexadecimal keys) or a text. False when
  // the file could not be written (see WriteError).
  bool Set(Setting id, int32_t value);
  bool SetText(Setting id, const std::string& value);

  // Makes `id` read as `value` for the life of this object, whatever the
  // file says, without writing the file: a command-line flag that holds for
  // one run (`watch --all-disks`). Set still writes the file.
  void OverrideForRun(Setting id, int32_t value);

  int32_t GetDisk(DiskSetting id, const std::string& modelSerial);
  bool SetDisk(DiskSetting id, const std::string& modelSerial, int32_t value);

  // Section "GraphHideDisk", key "Disk%d".
  bool GetGraphHideDisk(int index);
  bool SetGraphHideDisk(int index, bool hide);

  // One line for the user when a write failed (the first failure); empty
  // while every write has succeeded.
  const std::string& WriteError() const { return m_WriteError; }

 private:
  std::string TextDefault(const SettingDescriptor& d);
  int32_t ReadNumber(const SettingDescriptor& d, const std::string& section,
                     const std::string& key);
  bool Write(const std::string& section, const std::string& key, const std::string& value);
  std::string ReadSecret(const SettingDescriptor& d);
  bool WriteSecret(const SettingDescriptor& d, const std::string& value);

  os::IProfile& m_Profile;
  os::IClock& m_Clock;
  std::string m_Path;
  std::string m_WriteError;
  std::map<Setting, int32_t> m_Overrides;
  os::ISecretProtector* m_Secrets = nullptr;
};

}  // namespace app
