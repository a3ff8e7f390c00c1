// The settings pane's model over a real settings file: what each combo shows
// for what the file holds and writes back, the alarm fields' rules, the
// language choice and the test mail against a server on the loopback.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "monitor/SettingsModel.h"
#include "os/NativePlatform.h"
#include "tests/support/AppFakes.h"
#include "tests/support/TempDir.h"

namespace {

using namespace monitor;
using app::DiskSetting;
using app::Setting;

std::string Echo(const std::string& section, const std::string& key) { return section + "." + key; }

struct Rig {
  Rig() : Process(Mutexes, Dir.File("prog.exe"), ""), Path(Dir.File("Smart.ini")) {}
  void Write(const std::string& text) { std::ofstream(Path, std::ios::binary) << text; }
  std::string Read() {
    std::ifstream in(Path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  app::CSettings& Settings() { return m_Settings; }

  testutil::CTempDir Dir;
  testutil::CFakeMutexTable Mutexes;
  testutil::CTestProcess Process;
  std::string Path;

 private:
  app::CSettings m_Settings{Process.Profile, Process.Clock, Path};
};

std::vector<SettingsDisk> Disks(std::initializer_list<const char*> keys) {
  std::vector<SettingsDisk> disks;
  for (const char* k : keys) disks.push_back({k, std::string("(1) ") + k});
  return disks;
}

const std::vector<std::string> LANGUAGES = {"Deutsch, [German]", "English, [English]",
                                            "English (UK), [EnglishUK]"};

TEST(SettingsModel, CombosShowWhatTheFileHoldsAndWriteItBack) {
  struct Case {
    const char* File;  // keys of [Setting]
    SettingsCombo Combo;
    int32_t Shown;
    // After choosing `Choose`, these keys and values are in the file.
    int32_t Choose;
    std::vector<std::pair<Setting, int32_t>> Saved;
  };
  const Case cases[] = {
      {"Resident=1\r\nResidentMinimize=1\r\n",
       SettingsCombo::RESIDENT,
       2,
       2,
       {{Setting::RESIDENT, 1}, {Setting::RESIDENT_MINIMIZE, 1}}},
      {"Resident=1\r\nResidentMinimize=0\r\n",
       SettingsCombo::RESIDENT,
       1,
       1,
       {{Setting::RESIDENT, 1}, {Setting::RESIDENT_MINIMIZE, 0}}},
      {"Resident=0\r\nResidentMinimize=1\r\n",
       SettingsCombo::RESIDENT,
       0,
       0,
       {{Setting::RESIDENT, 0}, {Setting::RESIDENT_MINIMIZE, 0}}},
      {"Startup=1\r\nStartupWaitTime=9\r\n",
       SettingsCombo::STARTUP,
       9,
       3,
       {{Setting::STARTUP, 1}, {Setting::STARTUP_WAIT_TIME, 3}}},
      {"Startup=0\r\nStartupWaitTime=9\r\n",
       SettingsCombo::STARTUP,
       0,
       0,
       {{Setting::STARTUP, 0}, {Setting::STARTUP_WAIT_TIME, 0}}},
      // On with the default wait (30, no entry): the shortest wait.
      {"Startup=1\r\n", SettingsCombo::STARTUP, 1, 1, {{Setting::STARTUP, 1}}},
      {"Temperature=1\r\n", SettingsCombo::TEMPERATURE_TYPE, 1, 1, {{Setting::TEMPERATURE, 1}}},
      {"Temperature=2\r\n", SettingsCombo::TEMPERATURE_TYPE, 0, 0, {{Setting::TEMPERATURE, 0}}},
      {"AutoRefresh=3\r\n", SettingsCombo::AUTO_REFRESH, 3, 11, {{Setting::AUTO_REFRESH, 11}}},
      {"AutoRefresh=12\r\n", SettingsCombo::AUTO_REFRESH, 0, 0, {{Setting::AUTO_REFRESH, 0}}},
      {"", SettingsCombo::MAIL_SMTP, 1, 0, {{Setting::SMTP, 0}}},
      {"SMTP=0\r\n", SettingsCombo::MAIL_SMTP, 0, 1, {{Setting::SMTP, 1}}},
      {"AutoDetection=4\r\n", SettingsCombo::AUTO_DETECTION, 4, 2, {{Setting::AUTO_DETECTION, 2}}},
      {"SmartLog=1\r\n", SettingsCombo::SMART_LOG, 1, 0, {{Setting::SMART_LOG, 0}}},
      {"AutoUpdate=1\r\n", SettingsCombo::AUTO_UPDATE, 1, 0, {{Setting::AUTO_UPDATE, 0}}},
      {"", SettingsCombo::EVALUATE_ALL_DISKS, 0, 1, {{Setting::EVALUATE_ALL_DISKS, 1}}},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.Write(std::string("[Setting]\r\n") + c.File);
    CSettingsModel model;
    model.Load(rig.Settings(), {}, LANGUAGES, "English");
    EXPECT_EQ(model.General()[c.Combo], c.Shown) << c.File;
    model.General()[c.Combo] = c.Choose;
    EXPECT_TRUE(model.Save(rig.Settings()).Ok);
    for (const auto& [id, value] : c.Saved) {
      EXPECT_EQ(rig.Settings().GetRaw(id), value) << c.File << " " << app::Describe(id).Key;
    }
    // And it reads back as chosen.
    CSettingsModel again;
    again.Load(rig.Settings(), {}, LANGUAGES, "English");
    EXPECT_EQ(again.General()[c.Combo], c.Choose) << c.File;
  }
}

TEST(SettingsModel, ComboEntriesComeFromTheLanguage) {
  EXPECT_EQ(SettingsComboEntries(SettingsCombo::AUTO_REFRESH, Echo).size(), 12u);
  EXPECT_EQ(SettingsComboEntries(SettingsCombo::AUTO_REFRESH, Echo)[11], "1440 TslSettings.MINUTE");
  EXPECT_EQ(SettingsComboEntries(SettingsCombo::STARTUP, Echo).size(), 15u);
  EXPECT_EQ(SettingsComboEntries(SettingsCombo::STARTUP, Echo)[14], "240 TslSettings.SECOND");
  EXPECT_EQ(SettingsComboEntries(SettingsCombo::AUTO_DETECTION, Echo)[4], "30 TslSettings.SECOND");
  EXPECT_EQ(
      SettingsComboEntries(SettingsCombo::RESIDENT, Echo),
      (std::vector<std::string>{"TslSettings.OFF", "TslSettings.HIDE", "TslSettings.MINIMIZE"}));
}

TEST(SettingsModel, AlarmFieldsFollowTheirRules) {
  struct Step {
    AlarmField Field;
    enum { CHECK, UNCHECK, SPIN, EDIT } Action;
    std::string Text;  // field text for CHECK and EDIT
    int32_t Delta;
    std::string Shows;     // field text afterwards
    int32_t Stored;        // the shown disk's value afterwards
    bool Refused = false;  // EDIT: the message box and reset
  };
  using F = AlarmField;
  struct Case {
    const char* Name;
    const char* File;  // per-disk sections for disk "A"
    std::vector<Step> Steps;
  };
  const Case cases[] = {
      {"checking above with 0 shows 50, unchecking stores 0",
       "",
       {{F::ABOVE, Step::CHECK, "0", 0, "50", 50}, {F::ABOVE, Step::UNCHECK, "", 0, "0", 0}}},
      {"checking below with 0 shows -10", "", {{F::BELOW, Step::CHECK, "0", 0, "-10", -10}}},
      {"checking with a typed value keeps it", "", {{F::ABOVE, Step::CHECK, "61", 0, "61", 61}}},
      {"a bad below text is refused and the value kept",
       "[AlarmTemperatureBelow]\r\nA=-5\r\n",
       {{F::BELOW, Step::EDIT, "4a", 0, "-10", -5, true}}},
      {"a bad above text resets to 50",
       "[AlarmTemperature]\r\nA=60\r\n",
       {{F::ABOVE, Step::EDIT, "6.5", 0, "50", 60, true}}},
      {"a bad health text resets to 0",
       "[AlarmHealthStatus]\r\nA=20\r\n",
       {{F::HEALTH, Step::EDIT, "x", 0, "0", 20, true}}},
      {"spin stops at 85 and -40",
       "[AlarmTemperature]\r\nA=85\r\n[AlarmTemperatureBelow]\r\nA=-40\r\n",
       {{F::ABOVE, Step::SPIN, "", 1, "85", 85},
        {F::ABOVE, Step::SPIN, "", -1, "84", 84},
        {F::BELOW, Step::SPIN, "", -1, "-40", -40}}},
      {"spin of health stops at 100",
       "[AlarmHealthStatus]\r\nA=100\r\n",
       {{F::HEALTH, Step::SPIN, "", 1, "100", 100}}},
      {"an unchecked field does not spin", "", {{F::HEALTH, Step::SPIN, "", 1, "", 0}}},
      {"unchecking health clears the field",
       "[AlarmHealthStatus]\r\nA=30\r\n",
       {{F::HEALTH, Step::UNCHECK, "", 0, "", 0}}},
      {"a valid edit is stored",
       "[AlarmTemperature]\r\nA=50\r\n",
       {{F::ABOVE, Step::EDIT, "-", 0, "", 0}, {F::ABOVE, Step::EDIT, "-3", 0, "", -3}}},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.Write(c.File);
    CSettingsModel model;
    model.Load(rig.Settings(), Disks({"A"}), {}, "English");
    for (const Step& s : c.Steps) {
      std::string shows;
      switch (s.Action) {
        case Step::CHECK:
          shows = model.Check(s.Field, true, s.Text);
          break;
        case Step::UNCHECK:
          shows = model.Check(s.Field, false, "");
          break;
        case Step::SPIN:
          shows = model.Spin(s.Field, s.Delta);
          break;
        case Step::EDIT: {
          const AlarmFieldEdit e = model.Edit(s.Field, s.Text);
          EXPECT_EQ(!e.Valid, s.Refused) << c.Name;
          if (!e.Valid) {
            shows = e.ResetText;
            EXPECT_NE(e.Error.find("contains invalid character!\n\nThis field is represented in "
                                   "decimal format that each character would be 0~9.\nAny "
                                   "other character is forbidden."),
                      std::string::npos);
          }
          break;
        }
      }
      if (s.Action != Step::EDIT || s.Refused) {
        EXPECT_EQ(shows, s.Shows) << c.Name;
      }
      const DiskAlarms a = model.Alarms(0);
      const int32_t v = s.Field == F::ABOVE ? a.Above : s.Field == F::BELOW ? a.Below : a.Health;
      EXPECT_EQ(v, s.Stored) << c.Name;
    }
  }
  // The message names the field.
  Rig rig;
  CSettingsModel model;
  model.Load(rig.Settings(), Disks({"A"}), {}, "English");
  EXPECT_EQ(model.Edit(F::BELOW, "4a").Error.rfind("[Temperature - Below Alarm]", 0), 0u);
  EXPECT_EQ(model.Edit(F::HEALTH, "4a").Error.rfind("[Health - Below Alarm]", 0), 0u);
}

// The Disk page's quick choice of the above-temperature alarm: a degree
// from 20 to 80 with its Fahrenheit value, then off.
TEST(SettingsModel, AboveAlarmChoicesSelectAndSetTheAlarm) {
  using F = AlarmField;
  const std::vector<std::string> entries = AboveAlarmChoices("Disable");
  ASSERT_EQ(entries.size(), 62u);
  EXPECT_EQ(entries.front(),
            "20 \xC2\xB0"
            "C (68 \xC2\xB0"
            "F)");
  EXPECT_EQ(entries[25],
            "45 \xC2\xB0"
            "C (113 \xC2\xB0"
            "F)");
  EXPECT_EQ(entries[60],
            "80 \xC2\xB0"
            "C (176 \xC2\xB0"
            "F)");
  EXPECT_EQ(entries.back(), "Disable");
  const struct {
    int32_t Above;
    std::optional<size_t> Entry;
  } shown[] = {{20, 0},
               {50, 30},
               {80, 60},
               {0, 61},
               {19, std::nullopt},
               {81, std::nullopt},
               {-10, std::nullopt},
               {85, std::nullopt}};
  for (const auto& c : shown) EXPECT_EQ(AboveAlarmChoice(c.Above), c.Entry) << c.Above;

  Rig rig;
  CSettingsModel model;
  model.Load(rig.Settings(), Disks({"A"}), {}, "English");
  ASSERT_TRUE(model.ChooseAbove(35));  // 55 °C
  EXPECT_EQ(model.Alarms(0).Above, 55);
  EXPECT_TRUE(model.Field(F::ABOVE).Checked);
  EXPECT_EQ(model.Field(F::ABOVE).Text, "55");
  EXPECT_FALSE(model.ChooseAbove(62));  // past the list: nothing changes
  EXPECT_EQ(model.Alarms(0).Above, 55);
  ASSERT_TRUE(model.ChooseAbove(61));  // off
  EXPECT_EQ(model.Alarms(0).Above, 0);
  EXPECT_FALSE(model.Field(F::ABOVE).Checked);
  CSettingsModel empty;
  empty.Load(rig.Settings(), {}, {}, "English");
  EXPECT_FALSE(empty.ChooseAbove(0));  // no disk shown
}

TEST(SettingsModel, AlarmsAreSavedInRangeUnderEachDisksModelSerial) {
  struct Case {
    const char* Name;
    AlarmField Field;
    const char* Typed;
    int32_t Saved;
  };
  const Case cases[] = {
      {"negative health is off", AlarmField::HEALTH, "-5", 0},
      {"health above 100 is off", AlarmField::HEALTH, "101", 0},
      {"health 100 stays", AlarmField::HEALTH, "100", 100},
      {"above 86 is off", AlarmField::ABOVE, "86", 0},
      {"below -41 is off", AlarmField::BELOW, "-41", 0},
      {"below -40 stays", AlarmField::BELOW, "-40", -40},
      {"huge is off", AlarmField::ABOVE, "99999999999", 0},
  };
  const DiskSetting ids[] = {DiskSetting::ALARM_TEMPERATURE, DiskSetting::ALARM_TEMPERATURE_BELOW,
                             DiskSetting::ALARM_HEALTH_STATUS};
  for (const Case& c : cases) {
    Rig rig;
    CSettingsModel model;
    model.Load(rig.Settings(), Disks({"A", "B"}), {}, "English");
    ASSERT_TRUE(model.ShowDisk(1));
    model.Check(c.Field, true, "0");
    model.Edit(c.Field, c.Typed);
    ASSERT_TRUE(model.Save(rig.Settings()).Ok);
    const DiskSetting id = ids[static_cast<size_t>(c.Field)];
    EXPECT_EQ(rig.Process.Profile.GetInt(app::Describe(id).Section, "B", 12345, rig.Path), c.Saved)
        << c.Name;
    EXPECT_EQ(rig.Process.Profile.GetInt(app::Describe(id).Section, "A", 12345, rig.Path), 0)
        << c.Name;
  }
  // A hand-written -5 reads as off everywhere, not only in the pane.
  Rig rig;
  rig.Write("[AlarmHealthStatus]\r\nA=-5\r\n[AlarmTemperature]\r\nA=90\r\n");
  EXPECT_EQ(rig.Settings().GetDisk(DiskSetting::ALARM_HEALTH_STATUS, "A"), 0);
  CSettingsModel model;
  model.Load(rig.Settings(), Disks({"A"}), {}, "English");
  EXPECT_EQ(model.Field(AlarmField::ABOVE).Text, "0");
  EXPECT_FALSE(model.Field(AlarmField::ABOVE).Checked);
}

TEST(SettingsModel, ReloadingTakesChangesMadeElsewhereAndFollowsTheDisksByKey) {
  Rig rig;
  CSettingsModel model;
  model.Load(rig.Settings(), Disks({"A", "B"}), {}, "English");
  model.ShowDisk(1);
  model.Check(AlarmField::ABOVE, true, "55");
  model.SetEmail(true);
  ASSERT_TRUE(model.Save(rig.Settings()).Ok);
  // The tray menu sets A's health alarm while the pane is hidden.
  rig.Settings().SetDisk(DiskSetting::ALARM_HEALTH_STATUS, "A", 1);
  // A rescan: B is now the first disk and a new disk C came.
  model.Load(rig.Settings(), Disks({"B", "C", "A"}), {}, "English");
  EXPECT_EQ(model.ShownDisk(), 0);  // still B
  EXPECT_EQ(model.Alarms(0).Above, 55);
  EXPECT_TRUE(model.Alarms(0).Email);
  EXPECT_EQ(model.Alarms(1), DiskAlarms{});
  EXPECT_EQ(model.Alarms(2).Health, 1);
  ASSERT_TRUE(model.Save(rig.Settings()).Ok);
  // Saving did not write B's values under A's key or undo the tray's change.
  EXPECT_EQ(rig.Settings().GetDisk(DiskSetting::ALARM_HEALTH_STATUS, "A"), 1);
  EXPECT_EQ(rig.Settings().GetDisk(DiskSetting::ALARM_TEMPERATURE, "A"), 0);
  EXPECT_EQ(rig.Settings().GetDisk(DiskSetting::ALARM_TEMPERATURE, "B"), 55);
  EXPECT_EQ(rig.Settings().GetDisk(DiskSetting::ALARM_EMAIL, "B"), 1);
}

TEST(SettingsModel, LanguageIsWrittenOnlyWhenAnotherOneIsChosen) {
  struct Case {
    const char* Current;
    int32_t Choose;  // -1: leave as loaded
    int32_t Loaded;
    bool Changed;
    const char* Written;  // "Language" afterwards ("" none)
  };
  const Case cases[] = {
      {"English", -1, 1, false, ""},
      {"English", 0, 1, true, "German"},
      // An entry containing the current name is still another language.
      {"English", 2, 1, true, "EnglishUK"},
      {"EnglishUK", 1, 2, true, "English"},
      {"Klingon", -1, -1, false, ""},
  };
  for (const Case& c : cases) {
    Rig rig;
    CSettingsModel model;
    model.Load(rig.Settings(), {}, LANGUAGES, c.Current);
    EXPECT_EQ(model.General().Language, c.Loaded) << c.Current;
    if (c.Choose >= 0) model.General().Language = c.Choose;
    const SettingsSaveResult r = model.Save(rig.Settings());
    EXPECT_EQ(r.LanguageChanged, c.Changed) << c.Current << c.Choose;
    EXPECT_EQ(rig.Settings().GetText(Setting::LANGUAGE), c.Written) << c.Current << c.Choose;
  }
  EXPECT_EQ(LanguageOfEntry("Deutsch, [German]"), "German");
  EXPECT_EQ(LanguageOfEntry("A [b], [C]"), "C");
  EXPECT_EQ(LanguageOfEntry("no name"), "");
}

TEST(SettingsModel, SaveWritesEveryKeyThePaneEdits) {
  Rig rig;
  CSettingsModel model;
  model.Load(rig.Settings(), Disks({"A"}), LANGUAGES, "English");
  GeneralSettings& g = model.General();
  g.MailTo = "to@example.org";
  g.MailFrom = "from@example.org";
  g.MailHost = "mx.example.org";
  g.MailPort = "587";
  g.MailId = "user";
  g.MailPassword = "pw";
  ASSERT_TRUE(model.Save(rig.Settings()).Ok);
  const std::string file = rig.Read();
  for (const char* key : {"MailTo=to@example.org",
                          "MailFrom=from@example.org",
                          "MailHost=mx.example.org",
                          "MailPort=587",
                          "MailID=user",
                          "MailPassword=pw",
                          "SMTP=1",
                          "Temperature=0",
                          "AutoRefresh=0",
                          "Startup=0",
                          "StartupWaitTime=0",
                          "Resident=0",
                          "ResidentMinimize=0",
                          "SmartLog=0",
                          "AutoDetection=0",
                          "AutoUpdate=0",
                          "EvaluateAllDisks=0",
                          "[AlarmTemperature]\r\nA=0",
                          "[AlarmTemperatureBelow]\r\nA=0",
                          "[AlarmHealthStatus]\r\nA=0",
                          "[AlarmEventLog]\r\nA=0",
                          "[AlarmEmail]\r\nA=0"}) {
    EXPECT_NE(file.find(key), std::string::npos) << key << "\n" << file;
  }
  // A file that cannot be written is not reported as saved.
  testutil::CTempDir dir;
  testutil::CFakeMutexTable mutexes;
  testutil::CTestProcess process(mutexes, dir.File("prog.exe"), "");
  app::CSettings unwritable(process.Profile, process.Clock, dir.File("missing/folder/Smart.ini"));
  CSettingsModel failing;
  failing.Load(unwritable, Disks({"A"}), LANGUAGES, "English");
  EXPECT_FALSE(failing.Save(unwritable).Ok);
  EXPECT_FALSE(unwritable.WriteError().empty());
  // Nothing is written before Save.
  Rig untouched;
  CSettingsModel idle;
  idle.Load(untouched.Settings(), Disks({"A"}), LANGUAGES, "English");
  idle.Check(AlarmField::ABOVE, true, "0");
  idle.General().MailTo = "x@y.z";
  EXPECT_EQ(untouched.Read(), "");
}

// A server on the loopback that refuses the recipient.
class CRefusingServer {
 public:
  explicit CRefusingServer(os::INet& net) {
    std::string error;
    m_Listener = net.Listen("127.0.0.1", 0, &error);
    EXPECT_NE(m_Listener, nullptr) << error;
    m_Thread = std::thread([this] { Run(); });
  }
  ~CRefusingServer() { m_Thread.join(); }
  uint16_t Port() const { return m_Listener->Port(); }

 private:
  void Run() {
    std::unique_ptr<os::ISocket> s;
    if (m_Listener->Accept(&s, 5000) != os::NetStatus::Ok) return;
    if (s->Send("220 mx.test ready\r\n", 5000) != os::NetStatus::Ok) return;
    std::string received;
    char buffer[1024];
    for (;;) {
      size_t n = 0;
      if (s->Receive(buffer, sizeof buffer, &n, 5000) != os::NetStatus::Ok || n == 0) return;
      received.append(buffer, n);
      size_t end;
      while ((end = received.find("\r\n")) != std::string::npos) {
        const std::string line = received.substr(0, end);
        received.erase(0, end + 2);
        std::string reply = "250 ok\r\n";
        if (line.rfind("RCPT", 0) == 0) reply = "550 5.1.1 <to@example.org>: no such user\r\n";
        if (line.rfind("QUIT", 0) == 0) reply = "221 bye\r\n";
        if (s->Send(reply, 5000) != os::NetStatus::Ok) return;
      }
    }
  }
  std::unique_ptr<os::IListener> m_Listener;
  std::thread m_Thread;
};

TEST(SettingsModel, TestMailUsesTheFieldsAndTellsWhatTheServerSaid) {
  Rig rig;
  rig.Write("[Setting]\r\nMailTo=saved@example.org\r\n");
  CSettingsModel model;
  model.Load(rig.Settings(), {}, {}, "English");
  GeneralSettings& g = model.General();
  g.MailTo = "to@example.org";  // typed, not saved
  g.MailFrom = "from@example.org";
  g.MailHost = "127.0.0.1";
  g.MailId = "user";
  g.MailPassword = "pw";
  struct PortCase {
    const char* Port;
    bool Ready;
  };
  for (const PortCase& p :
       {PortCase{"", false}, PortCase{"abc", false}, PortCase{"0", false}, PortCase{"65536", false},
        PortCase{"-25", false}, PortCase{" 25 ", true}, PortCase{"587", true}}) {
    g.MailPort = p.Port;
    const TestMail t = model.ComposeTestMail("Smart", 1796858436);
    EXPECT_EQ(t.Mail.has_value(), p.Ready) << p.Port;
    EXPECT_EQ(t.Problem.empty(), p.Ready) << p.Port;
  }
  TestMail t = model.ComposeTestMail("Smart", 1796858436);
  ASSERT_TRUE(t.Mail);
  EXPECT_EQ(t.Mail->Message.To, "to@example.org");
  EXPECT_EQ(t.Mail->Message.Subject, "Smart - Test Mail");
  EXPECT_EQ(t.Mail->Message.Body, "Hello,\nThis is test mail from Smart.\n\nThank You!");
  EXPECT_EQ(t.Mail->Server.User, "user");
  EXPECT_EQ(t.Mail->Server.Password, "pw");
  g[SettingsCombo::MAIL_SMTP] = 0;
  t = model.ComposeTestMail("Smart", 1796858436);
  EXPECT_EQ(t.Mail->Server.User, "");
  EXPECT_EQ(t.Mail->Server.Password, "");
  g.MailTo = "";
  EXPECT_FALSE(model.ComposeTestMail("Smart", 0).Mail);

  // The server refuses the recipient: the message says so in its words.
  os::NativePlatform native;
  CRefusingServer server(*native.Get().Net);
  g.MailTo = "to@example.org";
  g.MailPort = std::to_string(server.Port());
  t = model.ComposeTestMail("Smart", 1796858436);
  ASSERT_TRUE(t.Mail);
  const SmtpResult r =
      CSmtpClient(*native.Get().Net, nullptr).Send(t.Mail->Server, t.Mail->Message);
  EXPECT_FALSE(r.Ok);
  const std::string text = TestMailResultText(r, Echo);
  EXPECT_EQ(text.rfind("Message.TEST_MAIL_ERROR\n\n", 0), 0u) << text;
  EXPECT_NE(text.find("550 5.1.1"), std::string::npos) << text;
  EXPECT_EQ(TestMailResultText(SmtpResult{true, SmtpFailure::NONE, ""}, Echo),
            "Message.TEST_MAIL_SUCCESS");
}

TEST(SettingsModel, GraphColourIsSixHexDigitsOrAutomatic) {
  struct Case {
    const char* Text;
    std::optional<uint32_t> Rgb;
  };
  const Case cases[] = {{"", std::nullopt},        {"FF8000", 0xFF8000u},
                        {"#0a0B0c", 0x0A0B0Cu},    {"FF800", std::nullopt},
                        {"FF80000", std::nullopt}, {"GG0000", std::nullopt},
                        {"#", std::nullopt},       {"-12345", std::nullopt}};
  for (const Case& c : cases) {
    EXPECT_EQ(ParseColourText(c.Text), c.Rgb) << c.Text;
    Rig rig;
    rig.Write(std::string("[Setting]\r\nGraphColor=") + c.Text + "\r\n");
    CSettingsModel model;
    model.Load(rig.Settings(), {}, {}, "English");
    EXPECT_EQ(model.General().GraphColor, c.Rgb) << c.Text;
    ASSERT_TRUE(model.Save(rig.Settings()).Ok);
    EXPECT_EQ(rig.Settings().GetText(Setting::GRAPH_COLOR), c.Rgb ? ColourText(*c.Rgb) : "")
        << c.Text;
  }
  EXPECT_EQ(ColourText(0x00FF00u), "00FF00");
}

}  // namespace
