// CMemoryDlg: the memory-information pane, a child of the main window. A
// slot list of the present memory modules, the rows of the chosen module
// (from tools/MemoryPane), its speed grade, the installed and available
// memory, and the memory in use refreshed every second. With no module
// known the list is empty, nothing is selected and the rows stay empty; an
// unknown installed size shows as unknown.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "tools/MemoryInfo.h"
#include "tools/win32/SystemInfoDlg.h"
#include "ui/win32/PaneCx.h"
#include "ui/win32/SkinControl.h"

namespace tools {

class CMemoryDlg : public ui::CPaneCx {
 public:
  // `slots` and the callbacks must outlive the pane. `available` gives the
  // latest available memory in MiB (nullopt until read); `back` is called
  // when the user leaves the pane.
  CMemoryDlg(const MemoryModuleTable& slots, uint32_t ramSizeMb,
             std::function<std::optional<int64_t>()> available, PaneText text,
             std::function<void()> back);
  ~CMemoryDlg() override;

  void ApplyLanguage() override;
  void RelayoutDialog() override;

 protected:
  BOOL OnInitDialog() override;
  void OnPaneCommand(int id, int code, HWND control) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) override;

 private:
  void FillSlots();
  void ShowSlot();
  void UpdateUsage(bool available);

  const MemoryModuleTable& m_Slots;
  uint32_t m_RamSizeMb;
  std::function<std::optional<int64_t>()> m_Available;
  PaneText m_Text;
  // The slot each list entry stands for.
  std::vector<int32_t> m_EntrySlots;
  int m_Ticks = 0;
  HWND m_Combo = nullptr;
  ui::CComboBoxCx m_ComboCx;
  ui::CStaticCx m_Title, m_Used, m_UsageGauge, m_GradeGauge;
  struct Row {
    ui::CStaticCx Label, Value;
  };
  std::vector<std::unique_ptr<Row>> m_Rows;
};

}  // namespace tools
