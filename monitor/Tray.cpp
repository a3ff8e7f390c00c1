#include "monitor/Tray.h"

#include <cstdio>

#include "engine/DiskStatus.h"

namespace monitor {

using app::DiskSetting;
using app::Setting;

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char buffer[512];
  std::snprintf(buffer, sizeof(buffer), format, args...);
  return buffer;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string TrimEnd(std::string s) {
  while (!s.empty() && IsBlank(s.back())) s.pop_back();
  return s;
}

std::string Trim(std::string s) {
  s = TrimEnd(std::move(s));
  size_t first = 0;
  while (first < s.size() && IsBlank(s[first])) ++first;
  return s.substr(first);
}

size_t CharacterCount(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) {
    if ((c & 0xC0) != 0x80) ++n;
  }
  return n;
}

// Fahrenheit as the panel shows it: the division truncates.
int32_t Shown(int32_t celsius, bool fahrenheit) {
  return fahrenheit ? celsius * 9 / 5 + 32 : celsius;
}

bool HasTemperature(const ATA_SMART_INFO& disk) { return disk.Temperature >= 1; }

}  // namespace

// ---- decisions --------------------------------------------------------------

TrayImage TemperatureIconImage(int32_t diskStatus, int32_t celsius) {
  switch (diskStatus) {
    case DISK_STATUS_GOOD:
      return celsius >= 66 ? TrayImage::BAD : celsius >= 51 ? TrayImage::CAUTION : TrayImage::GOOD;
    case DISK_STATUS_CAUTION:
      return celsius >= 66 ? TrayImage::BAD : TrayImage::CAUTION;
    case DISK_STATUS_BAD:
      return TrayImage::BAD;
    default:
      return TrayImage::UNKNOWN;
  }
}

std::string CutToCharacters(const std::string& text, size_t max) {
  size_t n = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (n == max) return text.substr(0, i);
    ++n;
  }
  return text;
}

std::string TemperatureIconTip(const ATA_SMART_INFO& disk, int32_t index,
                               const std::string& statusText, bool fahrenheit,
                               const std::string& driveLetters) {
  std::string tip =
      Format("(%d) %s [%s] %d \xC2\xB0%s\r\n", index + 1, disk.Model.c_str(), statusText.c_str(),
             Shown(disk.Temperature, fahrenheit), fahrenheit ? "F" : "C");
  return TrimEnd(tip + driveLetters);
}

std::string MainIconTip(const CDiskArray& disks, bool fahrenheit,
                        const std::function<std::string(int32_t status)>& statusText) {
  std::string longText, mediumText, shortText;
  const char* unit = fahrenheit ? "F" : "C";
  for (int32_t i = 0; i < disks.GetCount(); ++i) {
    const ATA_SMART_INFO& d = disks[i];
    const int32_t n = i + 1;
    const std::string size = d.TotalDiskSize < 1024
                                 ? Format("%d MB", static_cast<int32_t>(d.TotalDiskSize))
                                 : Format("%.1f GB", d.TotalDiskSize / 1024.0);
    const std::string status = statusText(d.DiskStatus);
    if (d.IsSmartEnabled != 0 && d.Temperature > 0) {
      const int32_t t = Shown(d.Temperature, fahrenheit);
      longText += Format("(%d) %s %s [%s] %d %s\r\n", n, d.Model.c_str(), size.c_str(),
                         status.c_str(), t, unit);
      mediumText += Format("(%d) %s %d %s\r\n", n, d.Model.c_str(), t, unit);
      shortText += Format("(%d)%d%s\r\n", n, t, unit);
    } else {
      longText += Format("(%d) %s %s [%s]\r\n", n, d.Model.c_str(), size.c_str(), status.c_str());
      mediumText += Format("(%d) %s [%s]\r\n", n, d.Model.c_str(), status.c_str());
      shortText += Format("(%d)[%s]\r\n", n, status.c_str());
    }
  }
  longText = Trim(longText);
  mediumText = Trim(mediumText);
  shortText = Trim(shortText);
  if (CharacterCount(longText) <= TRAY_TIP_MAX) return longText;
  if (CharacterCount(mediumText) <= TRAY_TIP_MAX) return mediumText;
  return CutToCharacters(shortText, TRAY_TIP_MAX);
}

WindowAction ResidentCloseAction(bool residentMinimize) {
  return residentMinimize ? WindowAction::MINIMIZE : WindowAction::HIDE;
}

WindowAction MainIconClickAction(bool residentMinimize, bool visible, bool minimized) {
  if (residentMinimize) return minimized ? WindowAction::RESTORE : WindowAction::MINIMIZE;
  return visible && !minimized ? WindowAction::HIDE : WindowAction::RESTORE;
}

bool StartsHidden(bool resident, bool residentMinimize) { return resident && !residentMinimize; }

bool StartsMinimized(bool resident, bool residentMinimize) { return resident && residentMinimize; }

bool SamplerWaitsForRestore(bool resident, bool residentMinimize, bool restoredOnce) {
  return StartsMinimized(resident, residentMinimize) && !restoredOnce;
}

// ---- icons ------------------------------------------------------------------

CTray::CTray(ITrayShell& shell, ITrayDisks& disks, app::CSettings& settings, os::IClock& clock,
             uint32_t mainIconId, TrayTextLookup text, TrayDriveLetters driveLetters)
    : m_Shell(shell),
      m_Disks(disks),
      m_Settings(settings),
      m_Clock(clock),
      m_MainIconId(mainIconId),
      m_Text(std::move(text)),
      m_DriveLetters(std::move(driveLetters)),
      m_BalloonIconId(mainIconId) {
  m_ShowTemperatureIconOnly = m_Settings.Get(Setting::SHOW_TEMPERATURE_ICON_ONLY) != 0;
  m_ResidentMinimize = m_Settings.Get(Setting::RESIDENT_MINIMIZE) != 0;
}

bool CTray::IsTemperatureIconShown(int32_t disk) const {
  return disk >= 0 && disk < MAX_DISK && m_TemperatureIconShown[static_cast<size_t>(disk)];
}

int32_t CTray::ShownTemperatureIcons() const {
  int32_t n = 0;
  for (bool shown : m_TemperatureIconShown) n += shown ? 1 : 0;
  return n;
}

std::string CTray::StatusText(int32_t status) const {
  const std::string key(DiskStatusTextKey(status));
  std::string text = m_Text ? m_Text(std::string(DISK_STATUS_SECTION), key) : std::string();
  return text.empty() ? key : text;
}

TrayIconLook CTray::LookOf(const ATA_SMART_INFO& disk) const {
  TrayIconLook look;
  look.Image = TemperatureIconImage(disk.DiskStatus, disk.Temperature);
  look.Fahrenheit = m_Settings.Get(Setting::TEMPERATURE) == 1;
  look.Temperature = Shown(disk.Temperature, look.Fahrenheit);
  return look;
}

std::string CTray::TipOf(int32_t disk) const {
  const ATA_SMART_INFO& d = m_Disks.Disks()[disk];
  const std::string letters = m_DriveLetters ? m_DriveLetters(d, 128) : std::string();
  return CutToCharacters(TemperatureIconTip(d, disk, StatusText(d.DiskStatus),
                                            m_Settings.Get(Setting::TEMPERATURE) == 1, letters),
                         TRAY_TIP_MAX);
}

bool CTray::AddIcon(uint32_t id, int32_t disk, const TrayIconLook& look, const std::string& tip) {
  if (!m_ResidentMode) return false;
  // The taskbar may not be there yet (log-on): tried again, a little longer
  // each time, for longer when started with the system.
  const int32_t attempts = m_StartupFlag ? 20 : 10;
  const std::string cut = CutToCharacters(tip, TRAY_TIP_MAX);
  for (int32_t n = 0; n < attempts; ++n) {
    if (m_Shell.Add(id, disk, look, cut)) return true;
    if (n > 0) m_Clock.Sleep(static_cast<uint32_t>(n) * 100);
  }
  return false;
}

bool CTray::Retry(const std::function<bool()>& attempt) {
  const uint32_t waits[] = {0, 100, 200};
  for (uint32_t wait : waits) {
    if (attempt()) return true;
    if (wait > 0) m_Clock.Sleep(wait);
  }
  return false;
}

bool CTray::AddMainIcon() {
  if (m_MainIconShown) return true;
  TrayIconLook look;
  look.Image = TrayImage::MAIN;
  if (!AddIcon(m_MainIconId, -1, look, m_TrayTooltip)) return false;
  m_MainIconShown = true;
  m_ShownMainTip = CutToCharacters(m_TrayTooltip, TRAY_TIP_MAX);
  m_BalloonIconId = m_MainIconId;
  return true;
}

bool CTray::RemoveMainIcon() {
  if (!m_MainIconShown) return true;
  if (!Retry([this] { return m_Shell.Delete(m_MainIconId); })) return false;
  m_MainIconShown = false;
  return true;
}

bool CTray::AddTemperatureIcon(int32_t disk) {
  if (disk < 0 || disk >= DiskCount() || disk >= MAX_DISK) return false;
  const ATA_SMART_INFO& d = m_Disks.Disks()[disk];
  if (!HasTemperature(d) || IsTemperatureIconShown(disk)) return false;
  const TrayIconLook look = LookOf(d);
  const std::string tip = TipOf(disk);
  if (!AddIcon(TEMPERATURE_ICON_ID + static_cast<uint32_t>(disk), disk, look, tip)) return false;
  const size_t k = static_cast<size_t>(disk);
  m_TemperatureIconShown[k] = true;
  m_ShownLook[k] = look;
  m_ShownTip[k] = CutToCharacters(tip, TRAY_TIP_MAX);
  return true;
}

bool CTray::ModifyTemperatureIcon(int32_t disk) {
  if (!m_ResidentMode || !IsTemperatureIconShown(disk) || disk >= DiskCount()) return false;
  const ATA_SMART_INFO& d = m_Disks.Disks()[disk];
  // An unknown temperature leaves the icon as it was.
  if (!HasTemperature(d)) return false;
  const TrayIconLook look = LookOf(d);
  const std::string tip = TipOf(disk);
  const size_t k = static_cast<size_t>(disk);
  // What the shell shows already is not sent again: each change is a round
  // trip to the shell and a new image.
  if (look == m_ShownLook[k] && tip == m_ShownTip[k]) return true;
  const uint32_t id = TEMPERATURE_ICON_ID + static_cast<uint32_t>(disk);
  if (!Retry([&] { return m_Shell.Modify(id, look, tip); })) return false;
  m_ShownLook[k] = look;
  m_ShownTip[k] = tip;
  return true;
}

bool CTray::RemoveTemperatureIcon(int32_t disk) {
  if (disk < 0 || disk >= MAX_DISK) return false;
  const uint32_t id = TEMPERATURE_ICON_ID + static_cast<uint32_t>(disk);
  if (!Retry([&] { return m_Shell.Delete(id); })) return false;
  m_TemperatureIconShown[static_cast<size_t>(disk)] = false;
  return true;
}

void CTray::CreateTemperatureIcons() {
  for (int32_t i = DiskCount() - 1; i >= 0; --i) {
    const ATA_SMART_INFO& d = m_Disks.Disks()[i];
    if (m_Settings.GetDisk(DiskSetting::TEMPERATURE_ICON, d.ModelSerial) != 0 &&
        d.Temperature > 0) {
      AddTemperatureIcon(i);
    }
  }
}

void CTray::RefreshTemperatureIcons() {
  for (int32_t i = 0; i < DiskCount(); ++i) {
    if (IsTemperatureIconShown(i)) ModifyTemperatureIcon(i);
  }
}

void CTray::RemoveAllTrayIcons() {
  if (m_MainIconShown && Retry([this] { return m_Shell.Delete(m_MainIconId); })) {
    m_MainIconShown = false;
  }
  // Only the icons this program added: a delete of one that is not there
  // would wait its three attempts for nothing.
  for (int32_t i = 0; i < MAX_DISK; ++i) {
    if (IsTemperatureIconShown(i)) RemoveTemperatureIcon(i);
  }
}

void CTray::EnsureAnIcon() {
  if (m_ResidentMode && !m_MainIconShown && ShownTemperatureIcons() == 0) AddMainIcon();
}

void CTray::UpdateTrayTooltip() {
  if (!m_ResidentMode) return;
  m_TrayTooltip = MainIconTip(m_Disks.Disks(), m_Disks.TemperatureUnit() == 1,
                              [this](int32_t status) { return StatusText(status); });
  const std::string tip = CutToCharacters(m_TrayTooltip, TRAY_TIP_MAX);
  if (m_MainIconShown && tip != m_ShownMainTip &&
      Retry([&] { return m_Shell.SetTip(m_MainIconId, tip); })) {
    m_ShownMainTip = tip;
  }
  RefreshTemperatureIcons();
}

// ---- resident mode ----------------------------------------------------------

void CTray::ReadSettings() {
  m_ResidentMode = m_Settings.Get(Setting::RESIDENT) != 0;
  m_ResidentMinimize = m_Settings.Get(Setting::RESIDENT_MINIMIZE) != 0;
}

void CTray::CheckResident() {
  ReadSettings();
  if (!m_ResidentMode) return;
  CreateTemperatureIcons();
  if (m_ShowTemperatureIconOnly && ShownTemperatureIcons() > 0) {
    for (int32_t i = MAX_DISK - 1; i >= 0; --i) {
      if (IsTemperatureIconShown(i)) {
        m_BalloonIconId = TEMPERATURE_ICON_ID + static_cast<uint32_t>(i);
        break;
      }
    }
  } else {
    AddMainIcon();
  }
}

void CTray::RecheckResident() {
  ReadSettings();
  if (m_ResidentMode) {
    CreateTemperatureIcons();
    if (!(m_ShowTemperatureIconOnly && ShownTemperatureIcons() > 0)) AddMainIcon();
    return;
  }
  if (m_MainIconShown && Retry([this] { return m_Shell.Delete(m_MainIconId); })) {
    m_MainIconShown = false;
  }
  for (int32_t i = 0; i < MAX_DISK; ++i) {
    if (IsTemperatureIconShown(i)) RemoveTemperatureIcon(i);
  }
}

void CTray::OnDiskListChanged() {
  if (!m_ResidentMode) return;
  for (int32_t i = 0; i < MAX_DISK; ++i) {
    if (IsTemperatureIconShown(i)) RemoveTemperatureIcon(i);
  }
  CreateTemperatureIcons();
  EnsureAnIcon();
}

void CTray::OnTaskbarCreated() {
  if (!m_ResidentMode) return;
  // The notice also comes while the shell still holds the icons (another
  // program broadcast it): an icon the shell still takes a change for is
  // kept, the others are added again. Adding one that is still there would
  // fail through all its attempts.
  for (int32_t i = 0; i < MAX_DISK && i < DiskCount(); ++i) {
    if (!IsTemperatureIconShown(i)) continue;
    const ATA_SMART_INFO& d = m_Disks.Disks()[i];
    const TrayIconLook look = LookOf(d);
    const std::string tip = TipOf(i);
    if (m_Shell.Modify(TEMPERATURE_ICON_ID + static_cast<uint32_t>(i), look, tip)) {
      m_ShownLook[static_cast<size_t>(i)] = look;
      m_ShownTip[static_cast<size_t>(i)] = tip;
      continue;
    }
    m_TemperatureIconShown[static_cast<size_t>(i)] = false;
    AddTemperatureIcon(i);
  }
  if (m_MainIconShown &&
      !m_Shell.SetTip(m_MainIconId, CutToCharacters(m_TrayTooltip, TRAY_TIP_MAX))) {
    m_MainIconShown = false;
    AddMainIcon();
  }
  EnsureAnIcon();
}

// ---- balloons ---------------------------------------------------------------

bool CTray::ShowBalloon(int32_t level, const std::string& title, const std::string& text) {
  if (!m_ResidentMode) return false;
  // The icon that carries balloons may have been hidden since it was
  // chosen: the balloon goes to one that is shown.
  const bool carrierShown = m_BalloonIconId == m_MainIconId
                                ? m_MainIconShown
                                : IsTemperatureIconShown(static_cast<int32_t>(m_BalloonIconId) -
                                                         static_cast<int32_t>(TEMPERATURE_ICON_ID));
  if (!carrierShown) {
    if (m_MainIconShown) {
      m_BalloonIconId = m_MainIconId;
    } else {
      bool found = false;
      for (int32_t i = MAX_DISK - 1; i >= 0 && !found; --i) {
        if (IsTemperatureIconShown(i)) {
          m_BalloonIconId = TEMPERATURE_ICON_ID + static_cast<uint32_t>(i);
          found = true;
        }
      }
      if (!found) AddMainIcon();
    }
  }
  const uint32_t id = m_BalloonIconId;
  const std::string cutTitle = CutToCharacters(title, BALLOON_TITLE_MAX);
  const std::string cutText = CutToCharacters(text, BALLOON_TEXT_MAX);
  return Retry([&] { return m_Shell.Balloon(id, level, cutTitle, cutText); });
}

void CTray::OnAlarm(const AlarmEvent& event) {
  if (event.ShowBalloon) ShowBalloon(event.BalloonLevel, event.BalloonTitle, event.BalloonText);
}

// ---- the menu ---------------------------------------------------------------

std::vector<TrayMenuItem> CTray::BuildMenu() const {
  auto text = [this](const char* key) { return m_Text ? m_Text("TrayMenu", key) : std::string(); };
  std::vector<TrayMenuItem> menu;
  for (int32_t i = 0; i < DiskCount(); ++i) {
    const ATA_SMART_INFO& d = m_Disks.Disks()[i];
    const uint32_t u = static_cast<uint32_t>(i);
    TrayMenuItem disk;
    disk.Text = Format("(%d) %s", i + 1, d.Model.c_str());
    TrayMenuItem item;
    item.Text = text("ALARM_SETTING_TEMPERATURE");
    item.Command = TRAY_ALARM_TEMPERATURE + 100 * u;
    item.Checked = d.AlarmTemperature != 0;
    disk.Submenu.push_back(item);
    item.Text = text("ALARM_SETTING_HEALTH_STATUS");
    item.Command = TRAY_ALARM_HEALTH + u;
    item.Checked = d.AlarmHealthStatus != 0;
    disk.Submenu.push_back(item);
    item.Text = text("SHOW_DISK_STATUS_ICON");
    item.Command = TRAY_TEMPERATURE_ICON + u;
    item.Checked = IsTemperatureIconShown(i);
    // A disk that gives no temperature can have no temperature icon.
    item.Grayed = !item.Checked && !HasTemperature(d);
    disk.Submenu.push_back(item);
    item.Grayed = false;
    item.Text = text("AUTO_REFRESH_TARGET");
    item.Command = TRAY_AUTO_REFRESH + u;
    item.Checked = m_Disks.IsAutoRefreshTarget(i);
    disk.Submenu.push_back(item);
    menu.push_back(std::move(disk));
  }
  TrayMenuItem show;
  show.Text = text("SHOW_MAIN_WINDOW");
  show.Command = TRAY_SHOW_MAIN_WINDOW;
  menu.push_back(show);
  TrayMenuItem separator;
  separator.Separator = true;
  menu.push_back(separator);
  TrayMenuItem exit;
  exit.Text = text("EXIT");
  exit.Command = TRAY_EXIT;
  menu.push_back(exit);
  return menu;
}

WindowAction CTray::OnMenuCommand(uint32_t command, bool* alarmsChanged) {
  if (alarmsChanged != nullptr) *alarmsChanged = false;
  // "Show the main window" shows it, whatever state it is in.
  if (command == TRAY_SHOW_MAIN_WINDOW) return WindowAction::RESTORE;
  // The icons stay until the exit is allowed (the window removes them
  // then): a refused exit must not leave a resident program without one.
  if (command == TRAY_EXIT) return WindowAction::EXIT;
  const uint32_t count = static_cast<uint32_t>(DiskCount());
  const CDiskArray& disks = m_Disks.Disks();
  if (command >= TRAY_ALARM_TEMPERATURE && (command - TRAY_ALARM_TEMPERATURE) % 100 == 0 &&
      (command - TRAY_ALARM_TEMPERATURE) / 100 < count) {
    const int32_t i = static_cast<int32_t>((command - TRAY_ALARM_TEMPERATURE) / 100);
    m_Disks.SetAlarmTemperature(
        i, disks[i].AlarmTemperature != 0 ? 0 : TRAY_DEFAULT_ALARM_TEMPERATURE);
    if (alarmsChanged != nullptr) *alarmsChanged = true;
  } else if (command >= TRAY_ALARM_HEALTH && command - TRAY_ALARM_HEALTH < count) {
    const int32_t i = static_cast<int32_t>(command - TRAY_ALARM_HEALTH);
    m_Disks.SetAlarmHealthStatus(i, disks[i].AlarmHealthStatus != 0 ? 0 : 1);
    if (alarmsChanged != nullptr) *alarmsChanged = true;
  } else if (command >= TRAY_TEMPERATURE_ICON && command - TRAY_TEMPERATURE_ICON < count) {
    const int32_t i = static_cast<int32_t>(command - TRAY_TEMPERATURE_ICON);
    const std::string& key = disks[i].ModelSerial;
    if (IsTemperatureIconShown(i)) {
      if (!RemoveTemperatureIcon(i)) return WindowAction::NONE;
      m_Settings.SetDisk(DiskSetting::TEMPERATURE_ICON, key, 0);
      if (ShownTemperatureIcons() == 0) AddMainIcon();
    } else {
      if (!AddTemperatureIcon(i)) return WindowAction::NONE;
      m_Settings.SetDisk(DiskSetting::TEMPERATURE_ICON, key, 1);
      if (m_ShowTemperatureIconOnly && RemoveMainIcon()) m_BalloonIconId = command;
    }
    EnsureAnIcon();
  } else if (command >= TRAY_AUTO_REFRESH && command - TRAY_AUTO_REFRESH < count) {
    const int32_t i = static_cast<int32_t>(command - TRAY_AUTO_REFRESH);
    m_Disks.SetAutoRefreshTarget(i, !m_Disks.IsAutoRefreshTarget(i));
  }
  return WindowAction::NONE;
}

}  // namespace monitor
