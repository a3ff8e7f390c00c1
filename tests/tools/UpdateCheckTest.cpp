#include <gtest/gtest.h>

#include <fstream>

#include "app/Settings.h"
#include "os/IniProfile.h"
#include "tests/support/AppFakes.h"
#include "tests/support/ShellFakes.h"
#include "tests/support/StdFileSystem.h"
#include "tests/support/TempDir.h"
#include "tools/UpdateCheck.h"

namespace {

using base::CivilDate;
using tools::DecideUpdate;
using tools::UpdateInputs;

TEST(UpdateDate, TextRoundTripsAndRejectsWhatIsNotADate) {
  EXPECT_EQ(tools::FormatUpdateDate({2024, 2, 29}), "20240229");
  EXPECT_EQ(tools::FormatUpdateDate({987, 1, 5}), "09870105");
  const auto d = tools::ParseUpdateDate("20231231");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->Year, 2023);
  EXPECT_EQ(d->Month, 12);
  EXPECT_EQ(d->Day, 31);
  for (const char* bad : {"", "2023123", "2023-12-31", "abcdefgh", " 20231231"}) {
    EXPECT_FALSE(tools::ParseUpdateDate(bad)) << bad;
  }
}

struct DueCase {
  const char* Name;
  CivilDate Today;
  const char* NextDate;
  int32_t IntervalSetting;
  bool Force;
  bool Exists;
  bool Run;
  const char* Parameters;
  CivilDate Next;  // when run
};

class UpdateDue : public ::testing::TestWithParam<DueCase> {};

TEST_P(UpdateDue, DecidesAndDatesTheNextCheck) {
  const DueCase& c = GetParam();
  UpdateInputs in;
  in.AutoUpdate = true;
  in.IntervalSetting = c.IntervalSetting;
  in.NextDateText = c.NextDate;
  in.Today = c.Today;
  in.UpdaterExists = c.Exists;
  in.Force = c.Force;
  const tools::UpdateDecision d = DecideUpdate(in);
  EXPECT_EQ(d.Run, c.Run);
  EXPECT_EQ(d.Parameters, c.Parameters);
  if (c.Run) {
    EXPECT_EQ(tools::FormatUpdateDate(d.NextDate), tools::FormatUpdateDate(c.Next));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Dates, UpdateDue,
    ::testing::Values(
        DueCase{
            "DayBeforeIsNotDue", {2024, 3, 14}, "20240315", 0, false, true, false, "-v1.00", {}},
        DueCase{"TheDayItselfIsDue",
                {2024, 3, 15},
                "20240315",
                0,
                false,
                true,
                true,
                "-v1.00",
                {2024, 3, 30}},
        DueCase{"DayAfterIsDue",
                {2024, 3, 16},
                "20240315",
                0,
                false,
                true,
                true,
                "-v1.00",
                {2024, 3, 31}},
        DueCase{"EarlierMonthLaterDayNotDue",
                {2024, 2, 28},
                "20240301",
                0,
                false,
                true,
                false,
                "-v1.00",
                {}},
        DueCase{"EarlierYearLaterMonthNotDue",
                {2023, 12, 31},
                "20240101",
                0,
                false,
                true,
                false,
                "-v1.00",
                {}},
        DueCase{"YearChangeAhead",
                {2023, 12, 20},
                "20231220",
                0,
                false,
                true,
                true,
                "-v1.00",
                {2024, 1, 4}},
        DueCase{"LeapDayCounted",
                {2024, 2, 20},
                "20240220",
                10,
                false,
                true,
                true,
                "-v1.00",
                {2024, 3, 1}},
        DueCase{"NoLeapDayIn2023",
                {2023, 2, 20},
                "20230220",
                10,
                false,
                true,
                true,
                "-v1.00",
                {2023, 3, 2}},
        DueCase{"NoLeapDayIn2100",
                {2100, 2, 20},
                "20000101",
                9,
                false,
                true,
                true,
                "-v1.00",
                {2100, 3, 1}},
        DueCase{"LeapDay2000",
                {2000, 2, 20},
                "20000101",
                9,
                false,
                true,
                true,
                "-v1.00",
                {2000, 2, 29}},
        DueCase{"MonthEndOf30",
                {2024, 4, 30},
                "20240430",
                1,
                false,
                true,
                true,
                "-v1.00",
                {2024, 5, 1}},
        DueCase{"IntervalSettingUsed",
                {2024, 1, 31},
                "20240131",
                30,
                false,
                true,
                true,
                "-v1.00",
                {2024, 3, 1}},
        DueCase{"MissingUpdaterNotRun",
                {2024, 3, 16},
                "20240315",
                0,
                false,
                false,
                false,
                "-v1.00",
                {}},
        DueCase{"ForcedBeforeTheDate",
                {2024, 3, 1},
                "20240315",
                0,
                true,
                true,
                true,
                "-verbose -v1.00",
                {2024, 3, 16}},
        DueCase{"ForcedWithoutUpdater",
                {2024, 3, 1},
                "20240315",
                0,
                true,
                false,
                true,
                "-verbose -v1.00",
                {2024, 3, 16}},
        DueCase{"UnreadableDateIsDue",
                {2024, 3, 1},
                "soon",
                0,
                false,
                true,
                true,
                "-v1.00",
                {2024, 3, 16}},
        DueCase{"FarIntervalHeldAtLastYear",
                {2024, 3, 1},
                "20240301",
                2147483647,
                false,
                true,
                true,
                "-v1.00",
                {9999, 12, 31}}),
    [](const auto& c) { return std::string(c.param.Name); });

TEST(UpdateDue, OffMeansNeverDueUnlessForced) {
  UpdateInputs in;
  in.AutoUpdate = false;
  in.NextDateText = "19990101";
  in.Today = {2024, 1, 1};
  in.UpdaterExists = true;
  EXPECT_FALSE(DecideUpdate(in).Run);
  EXPECT_EQ(DecideUpdate(in).IntervalDays, tools::DEFAULT_UPDATE_INTERVAL_DAYS);
}

// The check as the window runs it, over a real settings file.
class UpdateCheckFixture : public ::testing::Test {
 protected:
  UpdateCheckFixture()
      : m_Files(), m_Profile(m_Files), m_Settings(m_Profile, m_Clock, m_Dir.File("s.ini")) {
    SetToday(2024, 2, 27);
  }
  void SetToday(int y, int m, int d) {
    m_Clock.m_Local = {};
    m_Clock.m_Local.tm_year = y - 1900;
    m_Clock.m_Local.tm_mon = m - 1;
    m_Clock.m_Local.tm_mday = d;
  }
  std::string Folder() const { return m_Dir.File("wingup") + "/"; }
  void InstallUpdater() {
    std::filesystem::create_directories(m_Dir.File("wingup"));
    std::ofstream(Folder() + "gup.exe") << "x";
  }
  tools::CUpdateCheck MakeCheck() {
    return tools::CUpdateCheck(m_Settings, m_Shell, m_Files, m_Clock, Folder());
  }

  testutil::CTempDir m_Dir;
  testutil::CStdFileSystem m_Files;
  os::CIniProfile m_Profile;
  testutil::CFakeClock m_Clock;
  app::CSettings m_Settings;
  testutil::CRecordingShell m_Shell;
};

TEST_F(UpdateCheckFixture, SwitchingOnRunsVerboseAtOnceThenWaitsForTheDate) {
  InstallUpdater();
  tools::CUpdateCheck check = MakeCheck();
  check.Initialize();  // "AutoUpdate" off at start
  m_Settings.Set(app::Setting::AUTO_UPDATE, 1);
  EXPECT_TRUE(check.OnSettingsApplied());
  ASSERT_EQ(m_Shell.m_Opened.size(), 1u);
  EXPECT_EQ(m_Shell.m_Opened[0].File, Folder() + "gup.exe");
  EXPECT_EQ(m_Shell.m_Opened[0].Parameters, "-verbose -v1.00");
  EXPECT_EQ(m_Shell.m_Opened[0].Folder, Folder());
  // 15 days from 27 February of a leap year.
  EXPECT_EQ(m_Settings.GetText(app::Setting::NEXT_UPDATE_DATE), "20240313");
  EXPECT_EQ(m_Settings.GetText(app::Setting::INTERVAL_DAYS), "15");

  SetToday(2024, 2, 28);
  EXPECT_FALSE(check.OnSettingsApplied());
  EXPECT_EQ(m_Shell.m_Opened.size(), 1u);

  SetToday(2024, 3, 13);
  EXPECT_TRUE(check.OnSettingsApplied());
  ASSERT_EQ(m_Shell.m_Opened.size(), 2u);
  EXPECT_EQ(m_Shell.m_Opened[1].Parameters, "-v1.00");
  EXPECT_EQ(m_Settings.GetText(app::Setting::NEXT_UPDATE_DATE), "20240328");
}

TEST_F(UpdateCheckFixture, DateMovesOnlyWhenTheUpdaterStarted) {
  tools::CUpdateCheck check = MakeCheck();
  m_Settings.SetText(app::Setting::NEXT_UPDATE_DATE, "20240101");
  m_Settings.Set(app::Setting::AUTO_UPDATE, 1);
  m_Shell.m_OpenSucceeds = false;
  // Forced (just switched on) with no updater installed: tried, failed, the
  // date stays so the next check tries again.
  EXPECT_FALSE(check.OnSettingsApplied());
  EXPECT_EQ(m_Shell.m_Opened.size(), 1u);
  EXPECT_EQ(m_Settings.GetText(app::Setting::NEXT_UPDATE_DATE), "20240101");
  // Due but the updater is missing: not even tried.
  EXPECT_FALSE(check.OnSettingsApplied());
  EXPECT_EQ(m_Shell.m_Opened.size(), 1u);
  InstallUpdater();
  m_Shell.m_OpenSucceeds = true;
  EXPECT_TRUE(check.OnSettingsApplied());
  EXPECT_EQ(m_Settings.GetText(app::Setting::NEXT_UPDATE_DATE), "20240313");
}

TEST_F(UpdateCheckFixture, StoredIntervalIsUsedAndWrittenBack) {
  InstallUpdater();
  m_Settings.Set(app::Setting::AUTO_UPDATE, 1);
  m_Settings.Set(app::Setting::INTERVAL_DAYS, 3);
  tools::CUpdateCheck check = MakeCheck();
  check.Initialize();  // already on: not forced
  m_Settings.SetText(app::Setting::NEXT_UPDATE_DATE, "20240227");
  EXPECT_TRUE(check.OnSettingsApplied());
  EXPECT_EQ(m_Shell.m_Opened.back().Parameters, "-v1.00");
  EXPECT_EQ(m_Settings.GetText(app::Setting::NEXT_UPDATE_DATE), "20240301");
  EXPECT_EQ(check.IntervalDays(), 3);
}

}  // namespace
