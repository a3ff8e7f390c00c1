// CSettingDlg: the settings pane, a child of the main window. Four pages
// (General, Disk, Mail, About) over the settings model of
// monitor/SettingsModel: the pane shows the model's values, hands every
// change to it, and writes nothing before Save. Its values are read again
// each time it is shown, so changes made meanwhile (the tray menu, a
// rescan) are not overwritten by Save.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "monitor/MailQueue.h"
#include "monitor/SettingsModel.h"
#include "tools/SystemInfo.h"
#include "tools/win32/SystemInfoDlg.h"
#include "ui/win32/ColourPicker.h"
#include "ui/win32/DialogCx.h"
#include "ui/win32/ListCtrlEx.h"
#include "ui/win32/SkinControl.h"

namespace tools {

// WM_USER + 107: the main window asks for the About page; the pane answers
// the main window with WM_USER + 102.
constexpr UINT WM_SETTINGS_ABOUT = WM_USER + 107;
constexpr UINT WM_SETTINGS_ABOUT_SHOWN = WM_USER + 102;

class CSettingDlg : public ui::CDialogCx {
 public:
  struct Hooks {
    // The disk list now, in order.
    std::function<std::vector<monitor::SettingsDisk>()> Disks;
    // The language list ("Display, [Name]") and the language in use.
    std::function<std::vector<std::string>()> Languages;
    std::function<std::string()> CurrentLanguage;
    // After Save wrote the file (the pane then shows its message).
    std::function<void(const monitor::SettingsSaveResult&)> Saved;
    // Queues a mail; `done` runs on another thread. False when refused.
    std::function<bool(const monitor::AlarmMail&, monitor::CMailQueue::Done done)> SendMail;
    // Deletes a disk's history folder.
    std::function<bool(const std::string& modelSerial)> ClearLogs;
    std::function<void()> Back;
    // The About page's system rows (keys of section "SystemInformation").
    std::function<std::vector<SystemInfoRow>()> SystemRows;
  };

  CSettingDlg(app::CSettings& settings, PaneText text, Hooks hooks);
  ~CSettingDlg() override;

  bool Create(HWND parent, double zoom, const std::wstring& face);
  void ApplyLanguage();
  // Reads every value again from the settings file and the disk list.
  void Reload();
  void ShowPage(int page);

  void RelayoutDialog() override;

 protected:
  BOOL OnInitDialog() override;
  void OnCommand(int id, int code, HWND control) override;
  void OnCancel() override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) override;

 private:
  void FillCombos();
  void ShowValues();
  void ShowDisk();
  void ReadControls();
  void Save();
  void TestMail();
  void ClearLogs();
  void SetField(int index, const std::string& text);
  void ShowAboveChoice();
  void FillSystemList();
  std::string ControlText(int id) const;

  app::CSettings& m_Settings;
  PaneText m_Text;
  Hooks m_Hooks;
  monitor::CSettingsModel m_Model;
  int m_Page = 0;
  // While the pane itself writes a field, its change is not the user's.
  bool m_Writing = false;
  bool m_MailBusy = false;

  std::array<ui::CButtonCx, 4> m_Pages;
  ui::CButtonCx m_Save, m_TestMail, m_ClearLogs, m_Back;
  ui::CStaticCx m_Title, m_TemperatureGroup, m_HealthGroup, m_ColourCaption;
  // The graph's line colour.
  ui::CColourPicker m_Colour;
  static constexpr size_t COMBO_COUNT = monitor::SETTINGS_COMBO_COUNT + 1;  // + language
  std::array<ui::CStaticCx, COMBO_COUNT> m_Captions;
  std::array<ui::CComboBoxCx, COMBO_COUNT> m_Combos;
  ui::CComboBoxCx m_DiskCombo, m_AboveChoice;
  std::array<ui::CStaticCx, 6> m_MailCaptions;
  std::vector<std::unique_ptr<ui::CStaticCx>> m_About;
  ui::CListCtrlEx m_SystemListCtrl;
};

}  // namespace tools
