// What the S.M.A.R.T. detail pane shows, apart from its controls: the disk
// selector's entries and selection, and which disk the attribute list is
// of. The pane (monitor/win32/TslInfoDlg) follows the monitor through this
// object, so what happens after a rescan is decided here, where it is
// tested, and the pane only puts the entries and rows into its controls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "monitor/AttributeList.h"
#include "monitor/Monitor.h"

namespace monitor {

class CDetailPaneState {
 public:
  // What the pane draws again after a call.
  enum REDRAW : uint32_t {
    REDRAW_NONE = 0,
    REDRAW_ENTRIES = 1u << 0,    // the selector's entries
    REDRAW_SELECTION = 1u << 1,  // the selector's selection
    REDRAW_LIST = 1u << 2,       // the attribute list
  };

  // `monitor` must outlive the object.
  explicit CDetailPaneState(const CMonitor& monitor) : m_Monitor(monitor) {}

  // The selector filled again from the monitor's disks, showing the
  // monitor's selected disk.
  uint32_t Refill();
  // A selector entry picks disk `index`. An index that names no disk now
  // (an entry picked before a rescan found fewer disks) shows none: the
  // list is empty and the selector has no selection.
  uint32_t Pick(int32_t index);
  // The main window selected disk `index`: shown when it is one of the
  // disks, else nothing changes.
  uint32_t Select(int32_t index);
  // The monitor changed (MONITOR_CHANGE bits): a new disk list refills the
  // selector (no entry names a disk that is gone), a new selection is shown.
  uint32_t OnMonitorChanged(uint32_t changes);

  const std::vector<std::string>& Entries() const { return m_Entries; }
  // The selector's selection: the disk shown, or -1.
  int32_t Selection() const;
  // The disk the list is of (-1: none yet).
  int32_t Disk() const { return m_Disk; }
  // The rows of the disk shown; none when that is no disk of the monitor's.
  AttributeList List(const ListOptions& options, const ListTexts& texts) const;

 private:
  const CMonitor& m_Monitor;
  std::vector<std::string> m_Entries;
  int32_t m_Disk = -1;
};

}  // namespace monitor
