#include "tools/UpdateCheck.h"

#include <cstdio>
#include <ctime>
#include <tuple>

#include "app/Settings.h"
#include "base/DebugLog.h"
#include "os/Clock.h"
#include "os/FileSystem.h"
#include "os/Shell.h"

namespace tools {

std::string FormatUpdateDate(const base::CivilDate& date) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u%02u%02u", static_cast<unsigned>(date.Year),
                static_cast<unsigned>(date.Month), static_cast<unsigned>(date.Day));
  return text;
}

std::optional<base::CivilDate> ParseUpdateDate(const std::string& text) {
  if (text.size() < 8) return std::nullopt;
  int32_t digits[8];
  for (size_t i = 0; i < 8; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    digits[i] = text[i] - '0';
  }
  base::CivilDate d;
  d.Year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
  d.Month = digits[4] * 10 + digits[5];
  d.Day = digits[6] * 10 + digits[7];
  return d;
}

std::string UpdaterParameters(bool force) {
  return std::string(force ? "-verbose -v" : "-v") + "1.00";
}

UpdateDecision DecideUpdate(const UpdateInputs& in) {
  UpdateDecision d;
  d.IntervalDays = in.CurrentInterval;
  d.Parameters = UpdaterParameters(in.Force);
  d.Due = in.AutoUpdate;
  if (in.AutoUpdate) {
    if (in.IntervalSetting > 0) d.IntervalDays = in.IntervalSetting;
    // A date that cannot be read counts as today: the check is due.
    const base::CivilDate next = ParseUpdateDate(in.NextDateText).value_or(in.Today);
    if (std::tie(in.Today.Year, in.Today.Month, in.Today.Day) <
        std::tie(next.Year, next.Month, next.Day)) {
      d.Due = false;
    }
  }
  d.Run = (in.UpdaterExists && d.Due) || in.Force;
  if (d.Run) {
    if (d.IntervalDays < 0)
      d.IntervalDays = d.IntervalDays == INT32_MIN ? INT32_MAX : -d.IntervalDays;
    const int64_t days =
        base::DaysFromCivil(in.Today.Year, in.Today.Month, in.Today.Day) + d.IntervalDays;
    d.NextDate = base::CivilFromDays(days);
    if (d.NextDate.Year > LAST_UPDATE_YEAR) d.NextDate = {LAST_UPDATE_YEAR, 12, 31};
  }
  return d;
}

CUpdateCheck::CUpdateCheck(app::CSettings& settings, os::IShell& shell, os::IFileSystem& files,
                           os::IClock& clock, std::string updaterFolder)
    : m_Settings(settings),
      m_Shell(shell),
      m_Files(files),
      m_Clock(clock),
      m_Folder(std::move(updaterFolder)) {}

void CUpdateCheck::Initialize() { m_AutoUpdate = m_Settings.Get(app::Setting::AUTO_UPDATE) != 0; }

bool CUpdateCheck::OnSettingsApplied() {
  const bool now = m_Settings.Get(app::Setting::AUTO_UPDATE) != 0;
  const bool force = now && !m_AutoUpdate;
  m_AutoUpdate = now;
  return CheckUpdate(force);
}

bool CUpdateCheck::CheckUpdate(bool force) {
  const std::string program = m_Folder + UPDATER_PROGRAM;
  const std::tm local = m_Clock.LocalTime(m_Clock.Now());
  UpdateInputs in;
  in.AutoUpdate = m_AutoUpdate;
  in.IntervalSetting = m_Settings.GetRaw(app::Setting::INTERVAL_DAYS);
  in.NextDateText = m_Settings.GetText(app::Setting::NEXT_UPDATE_DATE);
  in.Today = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
  in.UpdaterExists = m_Files.Exists(program);
  in.Force = force;
  in.CurrentInterval = m_IntervalDays;
  const UpdateDecision d = DecideUpdate(in);
  m_IntervalDays = d.IntervalDays;
  if (!d.Run) return false;
  // The next check moves ahead only when the updater really started: a
  // missing or broken updater is tried again at the next check.
  if (!m_Shell.Open(program, d.Parameters, m_Folder)) {
    base::DebugLogF("CheckUpdate: %s could not be started", program.c_str());
    return false;
  }
  m_Settings.Set(app::Setting::INTERVAL_DAYS, m_IntervalDays);
  m_Settings.SetText(app::Setting::NEXT_UPDATE_DATE, FormatUpdateDate(d.NextDate));
  return true;
}

}  // namespace tools
