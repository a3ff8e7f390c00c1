#include "monitor/DetailPaneState.h"

namespace monitor {

uint32_t CDetailPaneState::Refill() {
  m_Entries = DiskSelectorEntries(m_Monitor.Disks());
  m_Disk = m_Monitor.SelectedDisk();
  return REDRAW_ENTRIES | REDRAW_SELECTION | REDRAW_LIST;
}

uint32_t CDetailPaneState::Pick(int32_t index) {
  if (index == m_Disk) return REDRAW_NONE;
  m_Disk = index;
  return REDRAW_SELECTION | REDRAW_LIST;
}

uint32_t CDetailPaneState::Select(int32_t index) {
  if (index < 0 || index >= m_Monitor.DiskCount()) return REDRAW_NONE;
  m_Disk = index;
  return REDRAW_SELECTION | REDRAW_LIST;
}

uint32_t CDetailPaneState::OnMonitorChanged(uint32_t changes) {
  if (changes & CHANGE_DISK_LIST) return Refill();
  if (changes & CHANGE_SELECTION) return Select(m_Monitor.SelectedDisk());
  return REDRAW_NONE;
}

int32_t CDetailPaneState::Selection() const {
  const bool shown = m_Disk >= 0 && m_Disk < m_Monitor.DiskCount() &&
                     static_cast<size_t>(m_Disk) < m_Entries.size();
  return shown ? m_Disk : -1;
}

AttributeList CDetailPaneState::List(const ListOptions& options, const ListTexts& texts) const {
  return BuildAttributeList(m_Monitor.Disks(), m_Disk, options, texts);
}

}  // namespace monitor
