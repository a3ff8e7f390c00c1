// CAdvancedSettings: the small dialog of the advanced settings, a window of
// its own owned by the main window. One switch, "AutoUpdate" of section
// "Setting": OK writes it and asks the main window to apply the settings
// again; Cancel (or Escape) closes without writing. The main window owns the
// object; the dialog only destroys its window.
#pragma once

#include <windows.h>

#include <functional>

#include "app/Settings.h"
#include "tools/win32/SystemInfoDlg.h"
#include "ui/win32/DialogCx.h"
#include "ui/win32/ListCtrlEx.h"
#include "ui/win32/SkinControl.h"

namespace tools {

class CAdvancedSettings : public ui::CDialogCx {
 public:
  // `applied` runs after OK wrote the file.
  CAdvancedSettings(app::CSettings& settings, PaneText text, std::function<void()> applied);
  ~CAdvancedSettings() override;

  bool Create(HWND owner, double zoom, const std::wstring& face, const std::wstring& skin);
  void RelayoutDialog() override;

 protected:
  BOOL OnInitDialog() override;
  void OnCommand(int id, int code, HWND control) override;
  void OnOK() override;
  void OnCancel() override;

 private:
  app::CSettings& m_Settings;
  PaneText m_Text;
  std::function<void()> m_Applied;
  ui::CStaticCx m_Heading, m_Label;
  ui::CComboBoxCx m_Combo;
  ui::CButtonCx m_Ok, m_Cancel;
};

}  // namespace tools
