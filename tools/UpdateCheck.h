// Running the external updater when an update check is due. The updater
// (TslResource\wingup\gup.exe) does the checking and downloading; this only
// decides when to start it and keeps the date of the next check in the
// settings file ("IntervalDays", "NextUpdateDate" of section "Setting").
// There is no periodic timer: the check runs when the settings are applied.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/CivilDate.h"

namespace app {
class CSettings;
}
namespace os {
class IClock;
class IFileSystem;
class IShell;
}  // namespace os

namespace tools {

constexpr int32_t DEFAULT_UPDATE_INTERVAL_DAYS = 15;
constexpr const char* UPDATER_PROGRAM = "gup.exe";
// A next date past this year could not be written in the four year digits
// of "NextUpdateDate"; it is held at the year's last day.
constexpr int64_t LAST_UPDATE_YEAR = 9999;

// "NextUpdateDate" text: "%04u%02u%02u".
std::string FormatUpdateDate(const base::CivilDate& date);
// The date of such a text: its first eight characters must be digits.
// Nothing for anything else (the check is then due).
std::optional<base::CivilDate> ParseUpdateDate(const std::string& text);

// The updater's parameters: "-verbose -v1.00" when forced, "-v1.00" when due.
std::string UpdaterParameters(bool force);

// What one check decides.
struct UpdateInputs {
  bool AutoUpdate = false;      // "AutoUpdate" as last applied
  int32_t IntervalSetting = 0;  // "IntervalDays"
  std::string NextDateText;     // "NextUpdateDate" (today when missing)
  base::CivilDate Today;
  bool UpdaterExists = false;
  bool Force = false;
  int32_t CurrentInterval = DEFAULT_UPDATE_INTERVAL_DAYS;
};
struct UpdateDecision {
  bool Due = false;  // the check is due by its date
  bool Run = false;  // start the updater
  std::string Parameters;
  int32_t IntervalDays = DEFAULT_UPDATE_INTERVAL_DAYS;
  // The next check's date, stored once the updater has started.
  base::CivilDate NextDate;
};
UpdateDecision DecideUpdate(const UpdateInputs& in);

// The updater as the main window runs it.
class CUpdateCheck {
 public:
  // `updaterFolder` ends with a separator.
  CUpdateCheck(app::CSettings& settings, os::IShell& shell, os::IFileSystem& files,
               os::IClock& clock, std::string updaterFolder);

  // Takes "AutoUpdate" as applied at window initialisation.
  void Initialize();
  // The settings were applied: "AutoUpdate" is read again; the check is
  // forced when it has just been switched on. True when the updater started.
  bool OnSettingsApplied();
  // The check itself: starts the updater when due or forced; the next date
  // moves ahead only when it started. True when it started.
  bool CheckUpdate(bool force);

  int32_t IntervalDays() const { return m_IntervalDays; }

 private:
  app::CSettings& m_Settings;
  os::IShell& m_Shell;
  os::IFileSystem& m_Files;
  os::IClock& m_Clock;
  std::string m_Folder;
  int32_t m_IntervalDays = DEFAULT_UPDATE_INTERVAL_DAYS;
  bool m_AutoUpdate = false;
};

}  // namespace tools
