// CTslInfoDlg: the S.M.A.R.T. detail pane, a child of the main window. A
// disk selector, a back button and the attribute list of one disk. The
// rows come from monitor/AttributeList; the list control keeps them as its
// items, so screen readers and tests read them.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>

#include "monitor/AttributeList.h"
#include "monitor/DetailPaneState.h"
#include "monitor/Monitor.h"
#include "ui/win32/DialogCx.h"
#include "ui/win32/ListCtrlEx.h"
#include "ui/win32/SkinControl.h"

namespace monitor {

// Sent to the main window by a disk button or a pane: select the disk of
// absolute index wParam.
constexpr UINT WM_DISK_CHANGED = WM_USER + 101;
// Sent by the pane to its owner: show the disk panel again.
constexpr UINT WM_SHOW_PANEL = WM_USER + 120;

class CTslInfoDlg : public ui::CDialogCx {
 public:
  // `monitor` must outlive the pane; `texts` gives the lookups of the
  // current language and of English; `options` the list settings.
  CTslInfoDlg(const CMonitor& monitor, std::function<ListTexts()> texts,
              std::function<ListOptions()> options);

  ~CTslInfoDlg() override;

  bool Create(HWND parent, double zoom, const std::wstring& face);
  // Refills the selector from the monitor's disks and shows the monitor's
  // selected disk.
  void FillDiskSelector();
  // Follows the monitor (MONITOR_CHANGE bits): refilled after a rescan, the
  // newly selected disk shown.
  void OnMonitorChanged(uint32_t changes);
  // Rebuilds the list for disk `index`; 0 when there is no such disk (the
  // list is then empty), else 1.
  int UpdateListCtrl(int32_t index);
  // Texts again in the current language.
  void ApplyLanguage();
  int32_t CurrentDisk() const { return m_State.Disk(); }

  void RelayoutDialog() override;

 protected:
  BOOL OnInitDialog() override;
  void OnCommand(int id, int code, HWND control) override;
  void OnCancel() override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) override;

 private:
  void InitListColumns();
  // Puts what `what` (CDetailPaneState::REDRAW bits) names into the controls.
  void Redraw(uint32_t what);
  // The list of the disk shown; 0 when it shows none.
  int ShowList();

  CDetailPaneState m_State;
  std::function<ListTexts()> m_Texts;
  std::function<ListOptions()> m_Options;
  HWND m_List = nullptr;
  HWND m_Selector = nullptr;
  HIMAGELIST m_Images = nullptr;
  ui::CListCtrlEx m_ListCtrl;
  ui::CComboBoxCx m_SelectorCtrl;
  ui::CButtonCx m_Back;
};

}  // namespace monitor
