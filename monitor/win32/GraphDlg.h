// CGraphDlg: the graph pane, a child of the main window. For one disk at a
// time it draws the recorded history of one figure over a chosen time
// window (read from the disk's history files through monitor/HistoryWindow)
// or a live view of the disk's temperature and, where the performance
// sampler has the disk's counters, its read and write rates.
//
// The disk combo lists the monitor's disks as they are now: it is filled
// again whenever the pane is shown and after every rescan, and a disk's
// history is found by its own model and serial number, so an entry never
// draws another disk's history or reads past the disk list.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>

#include "app/Settings.h"
#include "chart/win32/ChartCtrl.h"
#include "monitor/Monitor.h"
#include "os/FileSystem.h"
#include "tools/PerformanceSampler.h"
#include "ui/win32/DialogCx.h"
#include "ui/win32/ListCtrlEx.h"
#include "ui/win32/SkinControl.h"

namespace monitor {

class CGraphDlg : public ui::CDialogCx {
 public:
  // Everything handed in must outlive the pane. `historyRoot` holds the
  // disks' history folders and ends with a separator.
  // `live` gives the sampler's live lists of a disk, or null where the
  // disk has no counters (the live view then keeps its own temperatures).
  using LiveFn = std::function<const LiveSamples*(int32_t disk)>;
  CGraphDlg(const CMonitor& monitor, app::CSettings& settings, os::IFileSystem& files,
            std::string historyRoot, ui::TextFn text, LiveFn live = {});
  ~CGraphDlg() override;

  bool Create(HWND parent, double zoom, const std::wstring& face);
  // The disks again (when shown, after a rescan): the disk shown stays
  // shown if it is still there, else the monitor's selected disk is.
  void FillDiskCombo();
  // Shows the item `code` over interval `interval` (as if chosen in the
  // combos); an unknown code or interval changes nothing.
  void Choose(int32_t code, int32_t interval);
  // Draws again (new figures were read).
  void Refresh();
  void ApplyLanguage();

  void RelayoutDialog() override;

 protected:
  BOOL OnInitDialog() override;
  void OnCommand(int id, int code, HWND control) override;
  void OnCancel() override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) override;

 private:
  void FillItemCombo();
  void FillIntervalCombo();
  void SelectDisk(int32_t disk);
  void ChangeInterval(int32_t interval);
  void Draw();
  void DrawHistory();
  void StartLive();
  void DrawLive();
  // The current local time as calendar seconds.
  static int64_t LocalNow();

  const CMonitor& m_Monitor;
  app::CSettings& m_Settings;
  os::IFileSystem& m_Files;
  std::string m_HistoryRoot;
  int32_t m_Disk = 0;
  std::string m_DiskKey;  // ModelSerial of the disk shown
  int32_t m_Code = 300;
  int32_t m_Interval = 0;
  bool m_Ready = false;
  LiveFn m_Live;
  // The live view's temperatures (one per tick, oldest first).
  std::deque<int32_t> m_LiveTemperatures;

  HWND m_DiskCombo = nullptr;
  HWND m_ItemCombo = nullptr;
  HWND m_IntervalCombo = nullptr;
  ui::CComboBoxCx m_DiskComboCx, m_ItemComboCx, m_IntervalComboCx;
  ui::CButtonCx m_Back;
  chart::CChartCtrl m_Chart;
};

}  // namespace monitor
