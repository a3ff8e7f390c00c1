// CPerformanceDlg: the system-performance pane, a child of the main window.
// Three gauges with their percent texts: processor use, the system disk's
// activity and memory use, from the main window's performance sampler
// (tools/PerformanceSampler), redrawn on the first tick of its 500 ms timer
// and then every three seconds.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "tools/PerformanceSampler.h"
#include "tools/win32/SystemInfoDlg.h"
#include "ui/win32/PaneCx.h"
#include "ui/win32/SkinControl.h"

namespace tools {

class CPerformanceDlg : public ui::CPaneCx {
 public:
  // The callbacks must outlive the pane. `figures` computes what the gauges
  // show now; `back` is called when the user leaves the pane.
  CPerformanceDlg(std::function<PerformancePaneFigures()> figures, PaneText text,
                  std::function<void()> back);
  ~CPerformanceDlg() override;

  void ApplyLanguage() override;
  void RelayoutDialog() override;

 protected:
  BOOL OnInitDialog() override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) override;

 private:
  void Update();

  std::function<PerformancePaneFigures()> m_Figures;
  PaneText m_Text;
  int m_Ticks = 0;
  ui::CStaticCx m_Captions[3], m_Texts[3], m_Gauges[3];
};

}  // namespace tools
