#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "app/Settings.h"
#include "tests/support/AppFakes.h"
#include "tests/support/TempDir.h"

namespace {

using app::DiskSetting;
using app::Setting;

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() : m_Process(m_Mutexes, m_Dir.File("prog.exe"), "") {}
  void WriteFile(const std::string& text) { std::ofstream(m_Path, std::ios::binary) << text; }
  std::string ReadFile() {
    std::ifstream in(m_Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  testutil::CTempDir m_Dir;
  testutil::CFakeMutexTable m_Mutexes;
  testutil::CTestProcess m_Process;
  std::string m_Path = m_Dir.File("prog.ini");
  app::CSettings m_Settings{m_Process.Profile, m_Process.Clock, m_Path};
};

TEST_F(SettingsTest, EveryKeyIsDescribedOnceWithItsDefault) {
  std::set<std::string> seen;
  for (int i = 0; i < static_cast<int>(Setting::COUNT); ++i) {
    const app::SettingDescriptor& d = app::Describe(static_cast<Setting>(i));
    ASSERT_NE(d.Key, nullptr);
    EXPECT_TRUE(seen.insert(std::string(d.Section) + "/" + d.Key).second) << d.Key;
  }
  for (int i = 0; i < static_cast<int>(DiskSetting::COUNT); ++i) {
    const app::SettingDescriptor& d = app::Describe(static_cast<DiskSetting>(i));
    EXPECT_EQ(d.Key, nullptr);
    EXPECT_TRUE(seen.insert(d.Section).second) << d.Section;
  }
  // The program's keys (with the mail security keys), the keys added since
  // (EvaluateAllDisks; MetricsAddress and AlarmCommand; GraphColor), the
  // per-disk sections (AlarmStatus added).
  EXPECT_EQ(seen.size(), 59u + 4u + 17u);
}

TEST_F(SettingsTest, MissingFileGivesEveryDefault) {
  m_Process.Clock.m_Local.tm_year = 126;
  m_Process.Clock.m_Local.tm_mon = 11;
  m_Process.Clock.m_Local.tm_mday = 9;
  const struct {
    Setting Id;
    int32_t Value;
  } numbers[] = {
      {Setting::DEBUG_MODE, 0},
      {Setting::FONT_TYPE, 2},
      {Setting::ON_LINE_HELP, 1},
      {Setting::LOG_INTERVAL, 60},
      {Setting::SAVE_SMART_PERIOD, 150},
      {Setting::ALARM_TEMPERATURE_PERIOD, 3600},
      {Setting::MAIL_PORT, 0},
      {Setting::EVALUATE_ALL_DISKS, 0},
      {Setting::SMTP, 1},
      {Setting::MAIL_SECURITY, 0},
      {Setting::TSL_OPT, 0},
      {Setting::STARTUP_WAIT_TIME, 30},
      {Setting::INTERVAL_DAYS, 15},
      {Setting::SUPPORT_USB, 1},
      {Setting::USE_WMI, 1},
      {Setting::MAX_PLOT_POINT, 50},
      {Setting::ATTRIBUTE, 0},
      {Setting::SEQUENTIAL_MULTI_QUEUES1, 32},
      {Setting::RANDOM_MULTI_THREADS1, 8},
      {Setting::RANDOM_MULTI_QUEUES2, 32},
  };
  for (const auto& n : numbers) {
    EXPECT_EQ(m_Settings.Get(n.Id), n.Value) << app::Describe(n.Id).Key;
  }
  EXPECT_EQ(m_Settings.GetText(Setting::LANGUAGE), "");
  EXPECT_EQ(m_Settings.GetText(Setting::LOG_INTERVAL), "60");
  EXPECT_EQ(m_Settings.GetText(Setting::NEXT_UPDATE_DATE), "20261209");
  EXPECT_EQ(m_Settings.GetDisk(DiskSetting::POWER_ON_UNIT, "ModelSerial1"), -1);
  EXPECT_EQ(m_Settings.GetDisk(DiskSetting::THREASHOLD_OF_CAUTION_FF, "ModelSerial1"), 10);
  EXPECT_EQ(m_Settings.GetDisk(DiskSetting::AAM_STATUS, "ModelSerial1"), -1);
  EXPECT_FALSE(m_Settings.GetGraphHideDisk(0));
  EXPECT_FALSE(std::filesystem::exists(m_Path));
}

TEST_F(SettingsTest, RangeRulesApplyWhenRead) {
  const struct {
    const char* Line;
    Setting Id;
    int32_t Read;
    int32_t Raw;
  } cases[] = {
      {"DebugMode=7", Setting::DEBUG_MODE, 0, 7},
      {"DebugMode=2", Setting::DEBUG_MODE, 2, 2},
      {"DebugMode=-1", Setting::DEBUG_MODE, 0, -1},
      {"FontType=3", Setting::FONT_TYPE, 0, 3},
      {"RawValues=3", Setting::RAW_VALUES, 3, 3},
      {"RawValues=-1", Setting::RAW_VALUES, 0, -1},
      {"RawValues=4", Setting::RAW_VALUES, 0, 4},
      {"LogInterval=0", Setting::LOG_INTERVAL, 60, 0},
      {"LogInterval=abc", Setting::LOG_INTERVAL, 60, 0},
      {"LogInterval=15", Setting::LOG_INTERVAL, 15, 15},
      {"MailPort=587", Setting::MAIL_PORT, 587, 587},
      {"MailPort=smtp", Setting::MAIL_PORT, 0, 0},
      {"MailPort=70000", Setting::MAIL_PORT, 0, 70000},
      {"MailSecurity=2", Setting::MAIL_SECURITY, 2, 2},
      {"MailSecurity=3", Setting::MAIL_SECURITY, 1, 3},
      {"MailSecurity=-1", Setting::MAIL_SECURITY, 1, -1},
      {"TslOpt=8000", Setting::TSL_OPT, 0x8000, 0x8000},
      {"TslOpt=0x8000", Setting::TSL_OPT, 0x8000, 0x8000},
      {"TslOpt=1", Setting::TSL_OPT, 1, 1},
      {"TslOpt=zz", Setting::TSL_OPT, 0, 0},
      {"TslOpt=FFFFFFFFFF", Setting::TSL_OPT, INT32_MAX, INT32_MAX},
      {"IntervalDays=0", Setting::INTERVAL_DAYS, 15, 0},
      {"IntervalDays=7", Setting::INTERVAL_DAYS, 7, 7},
      {"MaxPlotPoint=0", Setting::MAX_PLOT_POINT, 50, 0},
      {"MaxPlotPoint=101", Setting::MAX_PLOT_POINT, 100, 101},
      {"MaxPlotPoint=99999999999", Setting::MAX_PLOT_POINT, 100, INT32_MAX},
      {"Attribute=-3", Setting::ATTRIBUTE, 0, -3},
  };
  for (const auto& c : cases) {
    WriteFile(std::string("[Setting]\r\n") + c.Line + "\r\n");
    EXPECT_EQ(m_Settings.Get(c.Id), c.Read) << c.Line;
    EXPECT_EQ(m_Settings.GetRaw(c.Id), c.Raw) << c.Line;
  }
}

TEST_F(SettingsTest, OnlyAutoRefreshGivesFiveMinutes) {
  WriteFile("[Setting]\r\nAutoRefresh=3\r\n");
  EXPECT_EQ(app::AutoRefreshMinutes(m_Settings.Get(Setting::AUTO_REFRESH)), 5);
  const int32_t minutes[] = {0, 1, 3, 5, 10, 30, 60, 120, 180, 360, 720, 1440, 0};
  for (int32_t i = 0; i <= 12; ++i) EXPECT_EQ(app::AutoRefreshMinutes(i), minutes[i]) << i;
  EXPECT_EQ(app::AutoRefreshMinutes(-1), 0);
}

TEST_F(SettingsTest, StartupWaitTable) {
  const int32_t seconds[] = {0, 5, 10, 15, 20, 30, 40, 50, 60, 90, 120, 150, 180, 210, 240, 0};
  for (int32_t i = 0; i <= 15; ++i) EXPECT_EQ(app::StartupWaitSeconds(i), seconds[i]) << i;
  EXPECT_EQ(app::StartupWaitSeconds(30), 0);
  EXPECT_EQ(app::StartupWaitSeconds(-5), 0);
}

TEST_F(SettingsTest, PerDiskSettingsFollowTheModelSerial) {
  WriteFile(
      "[AlarmTemperature]\r\nDiskA123=90\r\nDiskB456=60\r\nDiskC789=-41\r\n"
      "[AlarmTemperatureBelow]\r\nDiskA123=-40\r\n[ThreasholdOfCautionC5]"
      "\r\nDiskA123=5\r\n");
  EXPECT_EQ(m_Settings.GetDisk(DiskSetting::ALARM_TEMPERATURE, "DiskA123"), 0);
  EXPECT_EQ(m_Settings.GetDisk(DiskSetting::ALARM_TEMPERATURE, "DiskB456"), 60);
  EXPECT_EQ(m_Settings.GetDisk(DiskSetting::ALARM_TEMPERATURE, "DiskC789"), 0);
  EXPECT_EQ(m_Settings.GetDisk(DiskSetting::ALARM_TEMPERATURE_BELOW, "DiskA123"), -40);
  EXPECT_EQ(m_Settings.GetDisk(DiskSetting::THREASHOLD_OF_CAUTION_C5, "diska123"), 5);

  // Two disks with the same model and serial share one entry.
  ASSERT_TRUE(m_Settings.SetDisk(DiskSetting::POWER_ON_UNIT, "SameModelSame1", 2));
  EXPECT_EQ(m_Settings.GetDisk(DiskSetting::POWER_ON_UNIT, "SameModelSame1"), 2);
  ASSERT_TRUE(m_Settings.SetGraphHideDisk(3, true));
  EXPECT_TRUE(m_Settings.GetGraphHideDisk(3));
  EXPECT_FALSE(m_Settings.GetGraphHideDisk(2));
  EXPECT_NE(ReadFile().find("[PowerOnUnit]\r\nSameModelSame1=2\r\n"), std::string::npos);
  EXPECT_NE(ReadFile().find("[GraphHideDisk]\r\nDisk3=1\r\n"), std::string::npos);
}

TEST_F(SettingsTest, WritesUseTheirEncodingAndUnknownKeysStay) {
  WriteFile("[Setting]\r\nSomethingElse=keep me\r\n");
  ASSERT_TRUE(m_Settings.Set(Setting::DEBUG_MODE, 7));
  ASSERT_TRUE(m_Settings.Set(Setting::TSL_OPT, 0xC000));
  ASSERT_TRUE(m_Settings.SetText(Setting::MAIL_HOST, "smtp.example.org"));
  ASSERT_TRUE(m_Settings.Set(Setting::EXEC_FAILED, 1));
  EXPECT_EQ(ReadFile(),
            "[Setting]\r\nSomethingElse=keep me\r\nDebugMode=7\r\nTslOpt=C000\r\n"
            "MailHost=smtp.example.org\r\n[Workaround]\r\nExecFailed=1\r\n");
  EXPECT_EQ(m_Settings.Get(Setting::TSL_OPT), 0xC000);
  EXPECT_TRUE(m_Settings.WriteError().empty());
}

TEST_F(SettingsTest, AnOverrideForTheRunIsReadButNeverWritten) {
  WriteFile("[Setting]\r\nEvaluateAllDisks=0\r\nTslOpt=8000\r\n");
  m_Settings.OverrideForRun(Setting::EVALUATE_ALL_DISKS, 1);
  m_Settings.OverrideForRun(Setting::TSL_OPT, 0xC000);
  EXPECT_EQ(m_Settings.Get(Setting::EVALUATE_ALL_DISKS), 1);
  EXPECT_EQ(m_Settings.GetText(Setting::TSL_OPT), "C000");  // as the file would spell it
  EXPECT_EQ(m_Settings.Get(Setting::TSL_OPT), 0xC000);
  // A write still goes to the file for the next run; the run keeps its value.
  ASSERT_TRUE(m_Settings.Set(Setting::SMART_LOG, 1));
  EXPECT_EQ(ReadFile(), "[Setting]\r\nEvaluateAllDisks=0\r\nTslOpt=8000\r\nSmartLog=1\r\n");
  app::CSettings fresh(m_Process.Profile, m_Process.Clock, m_Path);
  EXPECT_EQ(fresh.Get(Setting::EVALUATE_ALL_DISKS), 0);
}

TEST_F(SettingsTest, LongTextsAreCutAt255Characters) {
  WriteFile("[Setting]\r\nAlertSoundPath=" + std::string(400, 'p') + "\r\n");
  EXPECT_EQ(m_Settings.GetText(Setting::ALERT_SOUND_PATH), std::string(255, 'p'));
}

TEST_F(SettingsTest, UnwritableFileGivesOneClearLine) {
  std::filesystem::create_directory(m_Path);  // a folder where the file should be
  EXPECT_EQ(m_Settings.Get(Setting::SMTP), 1);
  EXPECT_FALSE(m_Settings.Set(Setting::DEBUG_MODE, 1));
  EXPECT_FALSE(m_Settings.Set(Setting::SMART_LOG, 1));
  std::string error = m_Settings.WriteError();
  EXPECT_NE(error.find(m_Path), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);
}

TEST_F(SettingsTest, KeysThatCannotBeStoredAreRefusedQuietly) {
  // (Per-disk keys are mapped instead:
  // PerDiskKeysThatAnIniCannotHoldAreMapped.)
  EXPECT_FALSE(m_Settings.SetText(Setting::MAIL_TO, "a@b\r\n[Setting]\r\nDebugMode=2"));
  EXPECT_TRUE(m_Settings.WriteError().empty());
  EXPECT_FALSE(std::filesystem::exists(m_Path));
}

TEST(SettingsParse, DecimalAndHexTexts) {
  const struct {
    const char* Text;
    int32_t Decimal;
    int32_t Hex;
  } cases[] = {
      {"", 0, 0},          {"42", 42, 0x42},
      {"  -7x", -7, -0x7}, {"+8", 8, 8},
      {"0x1F", 0, 0x1F},   {"0X1f", 0, 0x1F},
      {"0xg", 0, 0},       {"abc", 0, 0xABC},
      {"1e3", 1, 0x1E3},   {"-99999999999", INT32_MIN, INT32_MIN},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(app::ParseDecimal(c.Text), c.Decimal) << c.Text;
    EXPECT_EQ(app::ParseHex(c.Text), c.Hex) << c.Text;
  }
}

}  // namespace

namespace {

// A disk whose model or serial holds "=", "[" or ";" kept none of its
// per-disk settings: the key could not be written or was read as another.
TEST_F(SettingsTest, PerDiskKeysThatAnIniCannotHoldAreMapped) {
  const struct {
    const char* ModelSerial;
    const char* StoredKey;
  } cases[] = {
      {"MODEL=X1", "MODEL%3DX1"},
      {"Model=Serial", "Model%3DSerial"},
      {"", "%"},
      {";COMMENTLIKE", "%3BCOMMENTLIKE"},
      {"[SECTIONLIKE", "%5BSECTIONLIKE"},
      {"PLAIN DISK 1", "PLAIN DISK 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ModelSerial);
    ASSERT_TRUE(m_Settings.SetDisk(DiskSetting::ALARM_TEMPERATURE, c.ModelSerial, 55));
    EXPECT_EQ(m_Settings.GetDisk(DiskSetting::ALARM_TEMPERATURE, c.ModelSerial), 55);
    EXPECT_NE(ReadFile().find(std::string(c.StoredKey) + "=55"), std::string::npos) << ReadFile();
  }
  // Another disk whose name maps to nothing in common keeps its default.
  EXPECT_EQ(m_Settings.GetDisk(DiskSetting::ALARM_TEMPERATURE, "MODEL"), 0);
}

}  // namespace
