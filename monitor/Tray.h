// The notification area: which icons the program shows in resident mode,
// their images and tooltips, the balloons of alarms, the context menu and
// its commands, and what a click or a close does to the window. Everything
// is decided here; ITrayShell only moves it to the shell (Shell_NotifyIconW
// in the window program, a recorder in tests).
//
// Icons: one main icon (identifier given by the window: the value of the
// registered message "StavrionIcon") and one temperature icon per disk j
// with identifier TEMPERATURE_ICON_ID + j. With "Resident" off there is no
// icon and no balloon.
//
// Beyond what the icons used to do: a balloon always goes to an icon that is
// shown (the main icon, else the temperature icon of the highest disk), and
// whenever the program is resident with no icon left, the main icon comes
// back, so a resident program never ends up with a hidden window and
// nothing to open it with. Temperature icons that are not shown are not
// modified (each failed modify would block the window for ~300 ms), nor are
// icons whose image and tooltip did not change.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "engine/AtaSmart.h"
#include "monitor/AlarmEvent.h"
#include "os/Clock.h"

namespace monitor {

constexpr uint32_t TEMPERATURE_ICON_ID = 0x9200;
// Menu commands: per disk i, and the two of the program.
constexpr uint32_t TRAY_ALARM_TEMPERATURE = 0xA014;  // + 100 x i
constexpr uint32_t TRAY_ALARM_HEALTH = 0x9900;       // + i
constexpr uint32_t TRAY_TEMPERATURE_ICON = 0x9200;   // + i
constexpr uint32_t TRAY_AUTO_REFRESH = 0x9400;       // + i
constexpr uint32_t TRAY_SHOW_MAIN_WINDOW = 0x9101;
constexpr uint32_t TRAY_EXIT = 0x9100;

// Longest texts the shell takes, in characters.
constexpr size_t TRAY_TIP_MAX = 127;
constexpr size_t BALLOON_TITLE_MAX = 63;
constexpr size_t BALLOON_TEXT_MAX = 255;

// The temperature a disk with no upper alarm gets when the menu turns it on.
constexpr int32_t TRAY_DEFAULT_ALARM_TEMPERATURE = 50;

enum class TrayImage : uint8_t { MAIN, GOOD, CAUTION, BAD, UNKNOWN };

// What an icon shows. A temperature icon carries the figure drawn on it, in
// the unit of the "Temperature" setting.
struct TrayIconLook {
  TrayImage Image = TrayImage::MAIN;
  int32_t Temperature = 0;
  bool Fahrenheit = false;
  bool operator==(const TrayIconLook&) const = default;
};

// The notification area of the shell. Each call is one attempt; the result
// says whether the shell took it. Texts are UTF-8 and already cut to the
// shell's limits (in characters).
class ITrayShell {
 public:
  virtual ~ITrayShell() = default;
  // `disk` is the disk of a temperature icon (its callback message), -1 for
  // the main icon.
  virtual bool Add(uint32_t id, int32_t disk, const TrayIconLook& look, const std::string& tip) = 0;
  virtual bool Modify(uint32_t id, const TrayIconLook& look, const std::string& tip) = 0;
  virtual bool SetTip(uint32_t id, const std::string& tip) = 0;
  // `level` is BALLOON_INFORMATION or BALLOON_WARNING.
  virtual bool Balloon(uint32_t id, int32_t level, const std::string& title,
                       const std::string& text) = 0;
  virtual bool Delete(uint32_t id) = 0;
};

// What the tray reads and changes of the disks: the monitor in the program.
class ITrayDisks {
 public:
  virtual ~ITrayDisks() = default;
  virtual const CDiskArray& Disks() const = 0;
  virtual bool IsAutoRefreshTarget(int32_t index) const = 0;
  // Sets the flag and writes it to the disk's "AutoRefreshTarget".
  virtual void SetAutoRefreshTarget(int32_t index, bool on) = 0;
  // Sets the record's alarm limit and writes it to the disk's setting.
  virtual void SetAlarmTemperature(int32_t index, int32_t celsius) = 0;
  virtual void SetAlarmHealthStatus(int32_t index, int32_t percent) = 0;
  // "Temperature" as applied: 0 Celsius, 1 Fahrenheit.
  virtual int32_t TemperatureUnit() const = 0;
};

// Section/key lookup of the current language.
using TrayTextLookup = std::function<std::string(const std::string&, const std::string&)>;
// The drive-letter text of a disk at most `maxLength` bytes long.
using TrayDriveLetters = std::function<std::string(const ATA_SMART_INFO&, size_t maxLength)>;

// ---- the decisions, one function each -------------------------------------

// Temperature icon image by status and temperature in Celsius: a good disk
// shows caution from 51 and bad from 66, a caution disk bad from 66.
TrayImage TemperatureIconImage(int32_t diskStatus, int32_t celsius);
// "(n) Model [Status] 40 °C" (or °F), a line break and the drive letters,
// trailing blanks removed.
std::string TemperatureIconTip(const ATA_SMART_INFO& disk, int32_t index,
                               const std::string& statusText, bool fahrenheit,
                               const std::string& driveLetters);
// The main icon's tooltip over all disks: the long form (model, size,
// status, temperature) when it fits in TRAY_TIP_MAX characters, else the
// medium one (model and temperature or status), else the short one, cut.
std::string MainIconTip(const CDiskArray& disks, bool fahrenheit,
                        const std::function<std::string(int32_t status)>& statusText);
// A text cut to at most `max` characters (UTF-8 code points), whole
// characters only.
std::string CutToCharacters(const std::string& text, size_t max);

struct TrayMenuItem {
  std::string Text;
  uint32_t Command = 0;  // 0 for a submenu or a separator
  bool Checked = false;
  bool Grayed = false;
  bool Separator = false;
  std::vector<TrayMenuItem> Submenu;
};

// What the window does after a click or a menu command.
enum class WindowAction : uint8_t {
  NONE,
  RESTORE,   // show it in its normal size and bring it to the front
  MINIMIZE,  // minimize it
  HIDE,      // hide it
  EXIT,      // leave the program (when CanExit allows it)
};

// Closing the window (close box, Escape) in resident mode: minimize with
// "ResidentMinimize" on, else hide.
WindowAction ResidentCloseAction(bool residentMinimize);
// A left click on the main icon.
WindowAction MainIconClickAction(bool residentMinimize, bool visible, bool minimized);
// Whether the window stays hidden after start-up: resident without
// "ResidentMinimize".
bool StartsHidden(bool resident, bool residentMinimize);
// Whether the first position change after start-up minimizes the window.
bool StartsMinimized(bool resident, bool residentMinimize);
// Whether the 500 ms performance sampling waits for the window to be
// restored: a program that starts minimized in the tray (resident with
// "ResidentMinimize") samples nothing until the user first opens it. Once
// the window has been restored every start samples at once (after a rescan
// too), and a program that is not resident never waits.
bool SamplerWaitsForRestore(bool resident, bool residentMinimize, bool restoredOnce);

// ---- the state of the icons ------------------------------------------------

class CTray : public IAlarmSink {
 public:
  // `mainIconId` is the value of the registered message "StavrionIcon".
  // Everything handed in must outlive the tray.
  CTray(ITrayShell& shell, ITrayDisks& disks, app::CSettings& settings, os::IClock& clock,
        uint32_t mainIconId, TrayTextLookup text, TrayDriveLetters driveLetters = {});

  bool IsResident() const { return m_ResidentMode; }
  bool IsMainIconShown() const { return m_MainIconShown; }
  bool IsTemperatureIconShown(int32_t disk) const;
  uint32_t BalloonIconId() const { return m_BalloonIconId; }
  uint32_t MainIconId() const { return m_MainIconId; }
  const std::string& Tooltip() const { return m_TrayTooltip; }
  bool ResidentMinimize() const { return m_ResidentMinimize; }
  // "Startup" as last applied: icon adds are tried 20 times instead of 10.
  void SetStartupFlag(bool on) { m_StartupFlag = on; }

  // First disk initialisation: reads "Resident"; when on, adds the
  // temperature icons and the main icon (none with
  // "ShowTemperatureIconOnly" while a temperature icon is shown).
  void CheckResident();
  // The settings dialog wrote the file: icons appear or disappear.
  void RecheckResident();
  // A rescan changed the disk set: every possible temperature icon goes and
  // the icons are made again from the per-disk settings.
  void OnDiskListChanged();
  // The taskbar was made again: the icons shown before are added again.
  void OnTaskbarCreated();
  // The tooltips after a selection or a refresh that changed something.
  void UpdateTrayTooltip();
  // The temperature icons after such a refresh.
  void RefreshTemperatureIcons();
  // Every icon goes (exit, log-off).
  void RemoveAllTrayIcons();

  bool AddMainIcon();
  bool RemoveMainIcon();
  bool AddTemperatureIcon(int32_t disk);
  bool ModifyTemperatureIcon(int32_t disk);
  bool RemoveTemperatureIcon(int32_t disk);
  void CreateTemperatureIcons();

  // A balloon on the icon that carries them; only when resident.
  bool ShowBalloon(int32_t level, const std::string& title, const std::string& text);
  // IAlarmSink: the balloon of an alarm check.
  void OnAlarm(const AlarmEvent& event) override;

  // The context menu: per disk a submenu with its four settings, then
  // "show the main window", a separator and "exit".
  std::vector<TrayMenuItem> BuildMenu() const;
  // A command of that menu. Returns what the window has to do; per-disk
  // commands change the setting and return NONE. `alarmsChanged` is set
  // when an alarm setting changed (the settings pane reloads them).
  WindowAction OnMenuCommand(uint32_t command, bool* alarmsChanged = nullptr);

 private:
  bool AddIcon(uint32_t id, int32_t disk, const TrayIconLook& look, const std::string& tip);
  bool Retry(const std::function<bool()>& attempt);
  TrayIconLook LookOf(const ATA_SMART_INFO& disk) const;
  std::string TipOf(int32_t disk) const;
  std::string StatusText(int32_t status) const;
  int32_t DiskCount() const { return m_Disks.Disks().GetCount(); }
  int32_t ShownTemperatureIcons() const;
  // Resident with no icon shown: the main icon comes back.
  void EnsureAnIcon();
  void ReadSettings();

  ITrayShell& m_Shell;
  ITrayDisks& m_Disks;
  app::CSettings& m_Settings;
  os::IClock& m_Clock;
  uint32_t m_MainIconId;
  TrayTextLookup m_Text;
  TrayDriveLetters m_DriveLetters;

  bool m_ResidentMode = false;
  bool m_MainIconShown = false;
  std::array<bool, MAX_DISK> m_TemperatureIconShown{};
  // What the shell was last given for each icon.
  std::array<TrayIconLook, MAX_DISK> m_ShownLook{};
  std::array<std::string, MAX_DISK> m_ShownTip;
  std::string m_ShownMainTip;
  uint32_t m_BalloonIconId;
  std::string m_TrayTooltip;
  bool m_StartupFlag = false;
  bool m_ShowTemperatureIconOnly = false;
  bool m_ResidentMinimize = false;
};

}  // namespace monitor
