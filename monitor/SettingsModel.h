// The settings pane's model: every value the pane edits, loaded from and
// saved to the settings file, the rules of its combo boxes and alarm fields,
// and the test mail. The window only shows these values and routes the
// user's actions here; nothing is written before Save.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "monitor/AlarmMail.h"
#include "monitor/SmtpClient.h"

namespace monitor {

// Looks up a language text by (section, key).
using SettingsText = std::function<std::string(const std::string&, const std::string&)>;

// The combo boxes of the pane, each storing its entry's index unless its
// Save rule says otherwise.
enum class SettingsCombo : uint8_t {
  AUTO_REFRESH,        // "AutoRefresh": OFF, then 1 ... 1440 minutes
  STARTUP,             // "Startup" and "StartupWaitTime": OFF, then 5 ... 240 seconds
  RESIDENT,            // "Resident" and "ResidentMinimize": OFF, HIDE, MINIMIZE
  TEMPERATURE_TYPE,    // "Temperature": CELSIUS, FAHRENHEIT
  SMART_LOG,           // "SmartLog": OFF, ON
  AUTO_DETECTION,      // "AutoDetection": OFF, then 5 ... 30 seconds
  AUTO_UPDATE,         // "AutoUpdate": OFF, ON
  MAIL_SMTP,           // "SMTP" (authentication): OFF, ON
  EVALUATE_ALL_DISKS,  // "EvaluateAllDisks": OFF, ON
  COUNT
};
constexpr size_t SETTINGS_COMBO_COUNT = static_cast<size_t>(SettingsCombo::COUNT);

// Caption key (section "TslSettings") of a combo.
const char* SettingsComboCaption(SettingsCombo combo);
// Its entries in the current language.
std::vector<std::string> SettingsComboEntries(SettingsCombo combo, const SettingsText& text);

// The three alarm fields of the Disk page.
enum class AlarmField : uint8_t { ABOVE, BELOW, HEALTH };

// Per-disk alarm values, as stored under the disk's ModelSerial.
struct DiskAlarms {
  int32_t Above = 0;   // degrees Celsius, 0 = off
  int32_t Below = 0;   // degrees Celsius, 0 = off
  int32_t Health = 0;  // remaining life in percent, 0 = off
  bool EventLog = false;
  bool Email = false;

  bool operator==(const DiskAlarms&) const = default;
};

// The values a disk's alarms are saved as: temperatures outside -40...85
// and health values outside 0...100 are off.
DiskAlarms SavedAlarms(DiskAlarms alarms);

// The Disk page's quick choice of the above-temperature alarm: one entry per
// degree from 20 to 80 °C, "%d °C (%d °F)", then `disableText` (off).
constexpr int32_t ABOVE_CHOICE_FIRST = 20;
constexpr int32_t ABOVE_CHOICE_LAST = 80;
std::vector<std::string> AboveAlarmChoices(const std::string& disableText);
// The entry of an above-temperature alarm: its degrees - 20 within 20...80,
// the last entry when off (0), none for any other value.
std::optional<size_t> AboveAlarmChoice(int32_t above);

// A disk of the disk list as the pane needs it.
struct SettingsDisk {
  std::string ModelSerial;
  std::string Entry;  // its text in the disk combo
};

// What an alarm field and its check box and spin button show.
struct AlarmFieldView {
  bool Checked = false;
  std::string Text;
  bool SpinEnabled = false;
};

// The answer to a change of an alarm field's text.
struct AlarmFieldEdit {
  bool Valid = true;
  // When refused: the message (caption "Error") and the text the field is
  // reset to; the stored value stays as it was.
  std::string Error;
  std::string ResetText;
};

// The values of the General and Mail pages.
struct GeneralSettings {
  std::array<int32_t, SETTINGS_COMBO_COUNT> Combo{};
  std::string MailTo, MailFrom, MailHost, MailPort, MailId, MailPassword;
  int32_t Language = -1;  // entry of the language list; -1 none
  // The graph's history line as 0xRRGGBB; none: the built-in colour.
  std::optional<uint32_t> GraphColor;

  int32_t& operator[](SettingsCombo c) { return Combo[static_cast<size_t>(c)]; }
  int32_t operator[](SettingsCombo c) const { return Combo[static_cast<size_t>(c)]; }
};

struct SettingsSaveResult {
  bool Ok = true;  // every write went to the file
  bool LanguageChanged = false;
  std::string Language;  // the language now chosen (name)
};

// The test mail, or why it cannot be sent.
struct TestMail {
  std::optional<AlarmMail> Mail;
  std::string Problem;  // when there is no mail
};

class CSettingsModel {
 public:
  // Reads every value the pane edits: the "Setting" keys, and the alarm
  // values of each of `disks` under its ModelSerial. `languages` are the
  // language list's entries ("Display, [Name]"), `currentLanguage` the name
  // of the language in use. The shown disk stays when it is still in the
  // list (found by ModelSerial), else the first.
  void Load(app::CSettings& settings, std::vector<SettingsDisk> disks,
            std::vector<std::string> languages, const std::string& currentLanguage);

  GeneralSettings& General() { return m_General; }
  const GeneralSettings& General() const { return m_General; }
  const std::vector<SettingsDisk>& Disks() const { return m_Disks; }
  const std::vector<std::string>& Languages() const { return m_Languages; }

  // The disk shown on the Disk page (-1 with no disk).
  int32_t ShownDisk() const { return m_Shown; }
  bool ShowDisk(int32_t index);
  DiskAlarms Alarms(int32_t index) const;

  // The shown disk's field, check box and spin button.
  AlarmFieldView Field(AlarmField field) const;
  // The check box was set or cleared; `fieldText` is what the field shows.
  // Returns the field's new text.
  std::string Check(AlarmField field, bool checked, const std::string& fieldText);
  // The spin button moved by `delta` (only while checked). Returns the new text.
  std::string Spin(AlarmField field, int32_t delta);
  // The field's text changed; stored only while the field is checked.
  AlarmFieldEdit Edit(AlarmField field, const std::string& text);
  // An entry of AboveAlarmChoices was chosen: the above alarm is set to its
  // degrees and checked, or turned off by the last entry. False (nothing
  // changed) for an entry past the list or with no disk shown.
  bool ChooseAbove(size_t entry);
  void SetEventLog(bool on);
  void SetEmail(bool on);

  // Writes every value: the mail keys, then the general keys, then each
  // disk's alarms under its ModelSerial, then the language when another
  // one was chosen.
  SettingsSaveResult Save(app::CSettings& settings);

  // The test mail of the Mail page's fields as they are now (not as saved).
  // `programWord` is the settings file's name without extension.
  TestMail ComposeTestMail(const std::string& programWord, int64_t now) const;

 private:
  int32_t& Value(AlarmField field);
  int32_t ValueOf(AlarmField field) const;

  GeneralSettings m_General;
  std::vector<SettingsDisk> m_Disks;
  std::vector<DiskAlarms> m_Alarms;
  // Per disk, whether each alarm field's check box is set.
  std::vector<std::array<bool, 3>> m_Checked;
  int32_t m_Shown = -1;
  std::vector<std::string> m_Languages;
  std::string m_CurrentLanguage;
  // Mail settings the pane does not edit, used by the test mail.
  MailSecurity m_Security = MailSecurity::NONE;
  std::string m_TrustFile;
};

// The graph's history line when "GraphColor" is automatic (0xRRGGBB).
constexpr uint32_t GRAPH_AUTOMATIC_COLOUR = 0xFC7F0B;

// "GraphColor" text to 0xRRGGBB: six hexadecimal digits, optionally after
// "#"; anything else (empty included) is none, the automatic colour.
std::optional<uint32_t> ParseColourText(const std::string& text);
// 0xRRGGBB as "RRGGBB".
std::string ColourText(uint32_t rgb);

// The language name of a language list entry: the text between the last
// "[" and the "]" after it; empty when there is none.
std::string LanguageOfEntry(const std::string& entry);

// The message the test mail's result is shown with: "TEST_MAIL_SUCCESS", or
// "TEST_MAIL_ERROR" followed by what the server last said.
std::string TestMailResultText(const SmtpResult& result, const SettingsText& text);

}  // namespace monitor
