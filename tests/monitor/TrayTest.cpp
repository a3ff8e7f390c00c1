// The notification area's decisions: icon images and tooltips, which icons
// exist in which settings, the retries against a shell that is not there
// yet, the menu's states and commands, balloons always on a shown icon, and
// the icons coming back after the taskbar was made again.
#include "monitor/Tray.h"

#include <gtest/gtest.h>

#include <map>

#include "os/IniProfile.h"
#include "os/sim/VirtualClock.h"
#include "tests/support/HistoryTestSupport.h"
#include "tests/support/StdFileSystem.h"
#include "tests/support/TempDir.h"

namespace {

using app::DiskSetting;
using app::Setting;
using monitor::CTray;
using monitor::TrayIconLook;
using monitor::TrayImage;
using monitor::WindowAction;

constexpr uint32_t MAIN_ID = 0xC123;
constexpr uint32_t TEMP_ID = monitor::TEMPERATURE_ICON_ID;

// The shell's notification area: which icons exist, with what, and each
// call made. Calls on an icon that does not exist fail as they do in the
// shell. `Down` makes every call fail (no taskbar).
class CFakeShell : public monitor::ITrayShell {
 public:
  struct Icon {
    int32_t Disk;
    TrayIconLook Look;
    std::string Tip;
  };
  struct BalloonShown {
    uint32_t Id;
    int32_t Level;
    std::string Title, Text;
  };
  bool Add(uint32_t id, int32_t disk, const TrayIconLook& look, const std::string& tip) override {
    ++Adds;
    if (Down || Icons.count(id) != 0) return false;
    Icons[id] = {disk, look, tip};
    Order.push_back(id);
    return true;
  }
  bool Modify(uint32_t id, const TrayIconLook& look, const std::string& tip) override {
    ++Modifies;
    auto it = Icons.find(id);
    if (Down || it == Icons.end()) return false;
    it->second.Look = look;
    it->second.Tip = tip;
    return true;
  }
  bool SetTip(uint32_t id, const std::string& tip) override {
    auto it = Icons.find(id);
    if (Down || it == Icons.end()) return false;
    it->second.Tip = tip;
    return true;
  }
  bool Balloon(uint32_t id, int32_t level, const std::string& title,
               const std::string& text) override {
    ++BalloonCalls;
    if (Down || Icons.count(id) == 0) return false;
    Balloons.push_back({id, level, title, text});
    return true;
  }
  bool Delete(uint32_t id) override {
    if (Down) return false;
    return Icons.erase(id) != 0;
  }
  std::vector<uint32_t> Ids() const {
    std::vector<uint32_t> ids;
    for (const auto& [id, icon] : Icons) ids.push_back(id);
    return ids;
  }

  std::map<uint32_t, Icon> Icons;
  std::vector<uint32_t> Order;
  std::vector<BalloonShown> Balloons;
  int Adds = 0, Modifies = 0, BalloonCalls = 0;
  bool Down = false;
};

class CFakeDisks : public monitor::ITrayDisks {
 public:
  explicit CFakeDisks(app::CSettings& settings) : m_Settings(settings) {}
  const CDiskArray& Disks() const override { return Array; }
  bool IsAutoRefreshTarget(int32_t i) const override { return Targets.at(static_cast<size_t>(i)); }
  void SetAutoRefreshTarget(int32_t i, bool on) override {
    Targets.at(static_cast<size_t>(i)) = on;
    m_Settings.SetDisk(DiskSetting::AUTO_REFRESH_TARGET, Array[i].ModelSerial, on ? 1 : 0);
  }
  void SetAlarmTemperature(int32_t i, int32_t c) override {
    Array[i].AlarmTemperature = c;
    m_Settings.SetDisk(DiskSetting::ALARM_TEMPERATURE, Array[i].ModelSerial, c);
  }
  void SetAlarmHealthStatus(int32_t i, int32_t p) override {
    Array[i].AlarmHealthStatus = p;
    m_Settings.SetDisk(DiskSetting::ALARM_HEALTH_STATUS, Array[i].ModelSerial, p);
  }
  int32_t TemperatureUnit() const override { return Unit; }
  void Add(const std::string& model, int32_t temperature, int32_t status = DISK_STATUS_GOOD) {
    ATA_SMART_INFO d = testutil::MakeDisk(model, "S" + std::to_string(Array.GetCount()));
    d.Temperature = static_cast<int8_t>(temperature);
    d.DiskStatus = status;
    d.IsSmartEnabled = 1;
    d.TotalDiskSize = 476940;
    Array.Add(d);
    Targets.push_back(true);
  }

  CDiskArray Array;
  std::vector<bool> Targets;
  int32_t Unit = 0;

 private:
  app::CSettings& m_Settings;
};

class TrayTest : public ::testing::Test {
 protected:
  TrayTest() : m_Profile(m_Files), Settings(m_Profile, Clock, m_Dir.File("StavrionGui.ini")) {}

  CTray& Tray() {
    if (!m_Tray) {
      m_Tray = std::make_unique<CTray>(
          Shell, Disks, Settings, Clock, MAIN_ID,
          [](const std::string& section, const std::string& key) {
            return section == "DiskStatus" ? (key == "GOOD" ? "Good" : key) : section + "." + key;
          },
          [](const ATA_SMART_INFO&, size_t) { return std::string("C: D:  "); });
    }
    return *m_Tray;
  }
  void Resident(bool temperatureIconOnly = false) {
    Settings.Set(Setting::RESIDENT, 1);
    Settings.Set(Setting::SHOW_TEMPERATURE_ICON_ONLY, temperatureIconOnly ? 1 : 0);
  }

 private:
  testutil::CTempDir m_Dir;
  testutil::CStdFileSystem m_Files;
  os::CIniProfile m_Profile;

 public:
  os::sim::CVirtualClock Clock;
  app::CSettings Settings;
  CFakeDisks Disks{Settings};
  CFakeShell Shell;

 private:
  std::unique_ptr<CTray> m_Tray;
};

TEST(TrayDecisions, TemperatureIconImageByStatusAndTemperature) {
  const struct {
    int32_t Status, Celsius;
    TrayImage Image;
  } cases[] = {
      {DISK_STATUS_GOOD, 40, TrayImage::GOOD},       {DISK_STATUS_GOOD, 50, TrayImage::GOOD},
      {DISK_STATUS_GOOD, 51, TrayImage::CAUTION},    {DISK_STATUS_GOOD, 55, TrayImage::CAUTION},
      {DISK_STATUS_GOOD, 65, TrayImage::CAUTION},    {DISK_STATUS_GOOD, 66, TrayImage::BAD},
      {DISK_STATUS_CAUTION, 40, TrayImage::CAUTION}, {DISK_STATUS_CAUTION, 65, TrayImage::CAUTION},
      {DISK_STATUS_CAUTION, 66, TrayImage::BAD},     {DISK_STATUS_BAD, 20, TrayImage::BAD},
      {DISK_STATUS_UNKNOWN, 40, TrayImage::UNKNOWN}, {7, 40, TrayImage::UNKNOWN},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(monitor::TemperatureIconImage(c.Status, c.Celsius), c.Image)
        << c.Status << " " << c.Celsius;
  }
}

TEST(TrayDecisions, TooltipsTakeTheLongestFormThatFits) {
  auto status = [](int32_t s) { return s == DISK_STATUS_GOOD ? std::string("Good") : "Unknown"; };
  auto disk = [](const std::string& model, int32_t t, uint32_t mb, int32_t smart = 1) {
    ATA_SMART_INFO d;
    d.Model = model;
    d.Temperature = static_cast<int8_t>(t);
    d.TotalDiskSize = mb;
    d.IsSmartEnabled = smart;
    d.DiskStatus = DISK_STATUS_GOOD;
    return d;
  };
  const struct {
    std::vector<ATA_SMART_INFO> Disks;
    bool Fahrenheit;
    const char* Tip;
  } cases[] = {
      {{disk("A", 40, 476940), disk("B", -127, 1000)},
       false,
       "(1) A 465.8 GB [Good] 40 C\r\n(2) B 1000 MB [Good]"},
      {{disk("A", 40, 476940)}, true, "(1) A 465.8 GB [Good] 104 F"},
      // SMART off: no temperature even when one is known.
      {{disk("A", 40, 2048, 0)}, false, "(1) A 2.0 GB [Good]"},
      // Three long models: the long form is past 127 characters.
      {{disk(std::string(30, 'M'), 40, 476940), disk(std::string(30, 'N'), 41, 476940),
        disk(std::string(30, 'O'), -127, 476940)},
       false,
       "(1) MMMMMMMMMMMMMMMMMMMMMMMMMMMMMM 40 C\r\n(2) NNNNNNNNNNNNNNNNNNNNNNNNNNNNNN 41 C\r\n"
       "(3) OOOOOOOOOOOOOOOOOOOOOOOOOOOOOO [Good]"},
      // Even the medium form is too long: the short one.
      {{disk(std::string(60, 'M'), 40, 476940), disk(std::string(60, 'N'), -127, 476940)},
       false,
       "(1)40C\r\n(2)[Good]"},
  };
  for (const auto& c : cases) {
    CDiskArray disks;
    for (const auto& d : c.Disks) disks.Add(d);
    EXPECT_EQ(monitor::MainIconTip(disks, c.Fahrenheit, status), c.Tip);
  }
  ATA_SMART_INFO d = disk("Model X", 36, 1000);
  EXPECT_EQ(monitor::TemperatureIconTip(d, 2, "Good", false, "C: D: \r\n"),
            "(3) Model X [Good] 36 \xC2\xB0"
            "C\r\nC: D:");
  EXPECT_EQ(monitor::TemperatureIconTip(d, 0, "Good", true, ""),
            "(1) Model X [Good] 96 \xC2\xB0"
            "F");
  // Cuts never split a character.
  EXPECT_EQ(monitor::CutToCharacters("ab\xC2\xB0"
                                     "cd",
                                     3),
            "ab\xC2\xB0");
  EXPECT_EQ(monitor::CutToCharacters("abc", 5), "abc");
}

TEST(TrayDecisions, WindowActionsOfClicksAndClosing) {
  const struct {
    bool ResidentMinimize, Visible, Minimized;
    WindowAction Click;
  } cases[] = {
      {false, false, false, WindowAction::RESTORE}, {false, true, false, WindowAction::HIDE},
      {false, true, true, WindowAction::RESTORE},   {true, true, false, WindowAction::MINIMIZE},
      {true, true, true, WindowAction::RESTORE},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(monitor::MainIconClickAction(c.ResidentMinimize, c.Visible, c.Minimized), c.Click);
  }
  EXPECT_EQ(monitor::ResidentCloseAction(true), WindowAction::MINIMIZE);
  EXPECT_EQ(monitor::ResidentCloseAction(false), WindowAction::HIDE);
  EXPECT_TRUE(monitor::StartsHidden(true, false));
  EXPECT_FALSE(monitor::StartsHidden(true, true));
  EXPECT_FALSE(monitor::StartsHidden(false, false));
  EXPECT_TRUE(monitor::StartsMinimized(true, true));
  EXPECT_FALSE(monitor::StartsMinimized(false, true));
}

// The performance sampling of a program minimized in the tray from its
// start waits for the first restore; nothing else waits (not a program
// that is not resident, and not a rescan after the window was opened).
TEST(TrayDecisions, SamplingWaitsOnlyUntilTheFirstRestoreOfAMinimizedStart) {
  const struct {
    bool Resident, ResidentMinimize, RestoredOnce, Waits;
  } cases[] = {
      {true, true, false, true},   {true, true, true, false},    {true, false, false, false},
      {false, true, false, false}, {false, false, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(monitor::SamplerWaitsForRestore(c.Resident, c.ResidentMinimize, c.RestoredOnce),
              c.Waits)
        << c.Resident << c.ResidentMinimize << c.RestoredOnce;
  }
}

TEST_F(TrayTest, WhichIconsExistInEachSetting) {
  const struct {
    bool Resident, TemperatureOnly;
    std::vector<uint32_t> Ids;
    uint32_t BalloonId;
  } cases[] = {
      {false, false, {}, MAIN_ID},
      {true, false, {TEMP_ID + 0, TEMP_ID + 2, MAIN_ID}, MAIN_ID},
      // Only the temperature icons; balloons on the highest disk's.
      {true, true, {TEMP_ID + 0, TEMP_ID + 2}, TEMP_ID + 2},
  };
  for (const auto& c : cases) {
    Shell = CFakeShell();
    Disks.Array.RemoveAll();
    Disks.Add("A", 40);
    Disks.Add("B", -127);  // no temperature: no icon
    Disks.Add("C", 55);
    Settings.Set(Setting::RESIDENT, c.Resident ? 1 : 0);
    Settings.Set(Setting::SHOW_TEMPERATURE_ICON_ONLY, c.TemperatureOnly ? 1 : 0);
    CTray tray(Shell, Disks, Settings, Clock, MAIN_ID, {});
    tray.CheckResident();
    EXPECT_EQ(Shell.Ids(), c.Ids) << c.Resident << c.TemperatureOnly;
    EXPECT_EQ(tray.BalloonIconId(), c.BalloonId);
    EXPECT_EQ(tray.IsResident(), c.Resident);
  }
  // Icons are added from the last disk to the first; the 55 °C good disk
  // shows the caution image with its figure.
  EXPECT_EQ(Shell.Order.front(), TEMP_ID + 2);
  EXPECT_EQ(Shell.Icons[TEMP_ID + 2].Look, (TrayIconLook{TrayImage::CAUTION, 55, false}));
}

TEST_F(TrayTest, TooltipsReachTheIcons) {
  Resident();
  Disks.Add("Disk A", 40);
  Tray().CheckResident();
  Tray().UpdateTrayTooltip();
  EXPECT_EQ(Shell.Icons[MAIN_ID].Tip, "(1) Disk A 465.8 GB [Good] 40 C");
  EXPECT_EQ(Shell.Icons[TEMP_ID].Tip,
            "(1) Disk A [Good] 40 \xC2\xB0"
            "C\r\nC: D:");
  Disks.Array[0].Temperature = 67;
  Settings.Set(Setting::TEMPERATURE, 1);
  Disks.Unit = 1;
  Tray().UpdateTrayTooltip();
  EXPECT_EQ(Shell.Icons[MAIN_ID].Tip, "(1) Disk A 465.8 GB [Good] 152 F");
  EXPECT_EQ(Shell.Icons[TEMP_ID].Look, (TrayIconLook{TrayImage::BAD, 152, true}));
  // A refresh that changed nothing sends nothing to the shell.
  const int modifies = Shell.Modifies;
  Tray().UpdateTrayTooltip();
  EXPECT_EQ(Shell.Modifies, modifies);
  // An unknown temperature leaves the icon as it was.
  Disks.Array[0].Temperature = -127;
  Tray().RefreshTemperatureIcons();
  EXPECT_EQ(Shell.Icons[TEMP_ID].Look.Temperature, 152);
}

TEST_F(TrayTest, AddsAreTriedLongerWhenStartedWithTheSystem) {
  Resident();
  Disks.Add("A", 40);
  const struct {
    bool Startup;
    int Attempts;
    uint64_t WaitedMs;  // 100 ms more after each failed attempt
  } cases[] = {{false, 10, 4500}, {true, 20, 19000}};
  for (const auto& c : cases) {
    Shell = CFakeShell();
    Shell.Down = true;
    CTray tray(Shell, Disks, Settings, Clock, MAIN_ID, {});
    tray.SetStartupFlag(c.Startup);
    Settings.Set(Setting::RESIDENT, 1);
    tray.RecheckResident();
    Shell.Adds = 0;
    const uint64_t before = Clock.TickCount();
    EXPECT_FALSE(tray.AddMainIcon());
    EXPECT_EQ(Shell.Adds, c.Attempts);
    EXPECT_EQ(Clock.TickCount() - before, c.WaitedMs);
    EXPECT_FALSE(tray.IsMainIconShown());
  }
}

TEST_F(TrayTest, MenuStatesAndCommands) {
  Resident();
  Disks.Add("A", 40);
  Disks.Add("B", -127);
  Disks.Array[0].AlarmTemperature = 0;
  Disks.Array[1].AlarmHealthStatus = 10;
  Disks.Targets[1] = false;
  Tray().CheckResident();
  std::vector<monitor::TrayMenuItem> menu = Tray().BuildMenu();
  ASSERT_EQ(menu.size(), 5u);
  EXPECT_EQ(menu[0].Text, "(1) A");
  EXPECT_EQ(menu[3].Separator, true);
  EXPECT_EQ(menu[2].Command, monitor::TRAY_SHOW_MAIN_WINDOW);
  EXPECT_EQ(menu[4].Command, monitor::TRAY_EXIT);
  EXPECT_EQ(menu[4].Text, "TrayMenu.EXIT");
  const struct {
    int Disk, Item;
    uint32_t Command;
    bool Checked, Grayed;
  } states[] = {
      {0, 0, 0xA014, false, false}, {0, 1, 0x9900, false, false}, {0, 2, 0x9200, true, false},
      {0, 3, 0x9400, true, false},  {1, 0, 0xA078, false, false}, {1, 1, 0x9901, true, false},
      {1, 2, 0x9201, false, true},  {1, 3, 0x9401, false, false},
  };
  for (const auto& s : states) {
    const monitor::TrayMenuItem& item =
        menu[static_cast<size_t>(s.Disk)].Submenu.at(static_cast<size_t>(s.Item));
    EXPECT_EQ(item.Command, s.Command);
    EXPECT_EQ(item.Checked, s.Checked) << std::hex << s.Command;
    EXPECT_EQ(item.Grayed, s.Grayed) << std::hex << s.Command;
  }

  const std::string keyA = Disks.Array[0].ModelSerial, keyB = Disks.Array[1].ModelSerial;
  bool alarms = false;
  // The temperature alarm: off -> 50 °C -> off, written to the file.
  EXPECT_EQ(Tray().OnMenuCommand(0xA014, &alarms), WindowAction::NONE);
  EXPECT_TRUE(alarms);
  EXPECT_EQ(Settings.GetDisk(DiskSetting::ALARM_TEMPERATURE, keyA), 50);
  Tray().OnMenuCommand(0xA014);
  EXPECT_EQ(Settings.GetDisk(DiskSetting::ALARM_TEMPERATURE, keyA), 0);
  Tray().OnMenuCommand(0x9901, &alarms);
  EXPECT_EQ(Disks.Array[1].AlarmHealthStatus, 0);
  Tray().OnMenuCommand(0x9901);
  EXPECT_EQ(Settings.GetDisk(DiskSetting::ALARM_HEALTH_STATUS, keyB), 1);
  Tray().OnMenuCommand(0x9401);
  EXPECT_TRUE(Disks.Targets[1]);
  EXPECT_EQ(Settings.GetDisk(DiskSetting::AUTO_REFRESH_TARGET, keyB), 1);
  // Hiding disk A's icon writes 0; the main icon stays.
  Tray().OnMenuCommand(0x9200);
  EXPECT_FALSE(Tray().IsTemperatureIconShown(0));
  EXPECT_EQ(Settings.GetDisk(DiskSetting::TEMPERATURE_ICON, keyA), 0);
  EXPECT_EQ(Shell.Ids(), (std::vector<uint32_t>{MAIN_ID}));
  // Commands of disks that are not there change nothing.
  Tray().OnMenuCommand(0x9205);
  Tray().OnMenuCommand(0xA014 + 500);
  EXPECT_EQ(Tray().OnMenuCommand(monitor::TRAY_SHOW_MAIN_WINDOW), WindowAction::RESTORE);
  EXPECT_EQ(Tray().OnMenuCommand(monitor::TRAY_EXIT), WindowAction::EXIT);
  // A resident program keeps its icon until the exit is allowed.
  EXPECT_TRUE(Tray().IsMainIconShown());
}

// The icon that carries balloons was hidden from the menu: the balloon must
// still be shown, on an icon that is there.
TEST_F(TrayTest, BalloonsGoToAnIconThatIsShown) {
  Resident(true);
  Disks.Add("A", 40);
  Disks.Add("B", 45);
  Tray().CheckResident();
  ASSERT_EQ(Tray().BalloonIconId(), TEMP_ID + 1);
  Tray().OnMenuCommand(TEMP_ID + 1);  // hide disk B's icon
  ASSERT_EQ(Shell.Ids(), (std::vector<uint32_t>{TEMP_ID + 0}));

  monitor::AlarmEvent e;
  e.ShowBalloon = true;
  e.BalloonLevel = monitor::BALLOON_WARNING;
  e.BalloonTitle = "Health status alarm";
  e.BalloonText = "(2) B\nTemperature: 66 C";
  Tray().OnAlarm(e);
  ASSERT_EQ(Shell.Balloons.size(), 1u);
  EXPECT_EQ(Shell.Balloons[0].Id, TEMP_ID + 0);
  EXPECT_EQ(Shell.Balloons[0].Level, monitor::BALLOON_WARNING);
  EXPECT_EQ(Shell.Balloons[0].Text, e.BalloonText);
  // Not resident: no balloon at all.
  Settings.Set(Setting::RESIDENT, 0);
  Tray().RecheckResident();
  EXPECT_TRUE(Shell.Icons.empty());
  EXPECT_FALSE(Tray().ShowBalloon(1, "t", "x"));
  EXPECT_EQ(Shell.Balloons.size(), 1u);
}

// A resident program never ends up without an icon to open its window.
TEST_F(TrayTest, AResidentProgramAlwaysKeepsAnIcon) {
  Resident(true);
  Disks.Add("A", 40);
  Tray().CheckResident();
  ASSERT_EQ(Shell.Ids(), (std::vector<uint32_t>{TEMP_ID}));
  // Hiding the last temperature icon brings the main icon back.
  Tray().OnMenuCommand(TEMP_ID);
  EXPECT_EQ(Shell.Ids(), (std::vector<uint32_t>{MAIN_ID}));
  // Showing it again takes the main icon away (temperature icons only).
  Tray().OnMenuCommand(TEMP_ID);
  EXPECT_EQ(Shell.Ids(), (std::vector<uint32_t>{TEMP_ID}));
  EXPECT_EQ(Tray().BalloonIconId(), TEMP_ID);
  // A rescan finds a disk set with no temperature at all.
  Disks.Array.RemoveAll();
  Disks.Targets.clear();
  Disks.Add("Z", -127);
  Tray().OnDiskListChanged();
  EXPECT_EQ(Shell.Ids(), (std::vector<uint32_t>{MAIN_ID}));
  EXPECT_TRUE(Tray().ShowBalloon(1, "t", "x"));
  EXPECT_EQ(Shell.Balloons.back().Id, MAIN_ID);
}

TEST_F(TrayTest, TheSameIconsReturnAfterTheTaskbarIsMadeAgain) {
  Resident();
  Disks.Add("A", 40);
  Disks.Add("B", 30);
  Disks.Add("C", 35);
  Tray().CheckResident();
  Tray().OnMenuCommand(TEMP_ID + 1);
  const std::vector<uint32_t> before = Shell.Ids();
  ASSERT_EQ(before, (std::vector<uint32_t>{TEMP_ID + 0, TEMP_ID + 2, MAIN_ID}));
  Shell.Icons.clear();  // Explorer restarted
  Tray().OnTaskbarCreated();
  EXPECT_EQ(Shell.Ids(), before);
  // The notice while the shell still holds them: kept, not added twice,
  // and no time spent on adds that cannot succeed.
  const int adds = Shell.Adds;
  const uint64_t tick = Clock.TickCount();
  Tray().OnTaskbarCreated();
  EXPECT_EQ(Shell.Ids(), before);
  EXPECT_EQ(Shell.Adds, adds);
  EXPECT_EQ(Clock.TickCount(), tick);
  // Exit: every icon goes, and only the shown ones are asked for.
  Tray().RemoveAllTrayIcons();
  EXPECT_TRUE(Shell.Icons.empty());
  EXPECT_FALSE(Tray().IsMainIconShown());
}

}  // namespace
