#include "tools/win32/PerformanceDlg.h"

#include <commctrl.h>

#include "os/win32/WinText.h"
#include "resources/resource.h"
#include "ui/win32/Gdiplus.h"

namespace tools {
namespace {

constexpr UINT_PTR TIMER_PERFORMANCE_PANE = 257;
constexpr UINT PERFORMANCE_PANE_MS = 500;
// The gauges are drawn on the first tick and then on every sixth.
constexpr int REDRAW_EVERY = 6;

const char* const kCaptionKeys[3] = {"CPU_USAGE", "ACTIVITY", "MEMORY_USAGE"};
// Caption rows of the three gauges, in pane pixels at zoom 1.
constexpr int kTops[3] = {46, 254, 457};

}  // namespace

CPerformanceDlg::CPerformanceDlg(std::function<PerformancePaneFigures()> figures, PaneText text,
                                 std::function<void()> back)
    : CPaneCx(IDD_PERFORMANCE, std::move(back)),
      m_Figures(std::move(figures)),
      m_Text(std::move(text)) {}

CPerformanceDlg::~CPerformanceDlg() {
  if (m_Hwnd != nullptr) KillTimer(m_Hwnd, TIMER_PERFORMANCE_PANE);
  Destroy();
}

BOOL CPerformanceDlg::OnInitDialog() {
  CreateBackButton(IDC_BACK);
  for (int i = 0; i < 3; ++i) {
    CreateLabel(m_Captions[i], IDC_PERFORMANCE_CAPTION_FIRST + i);
    CreateLabel(m_Gauges[i], IDC_PERFORMANCE_GAUGE_FIRST + i);
    m_Gauges[i].SetImageScaled(true);
    CreateLabel(m_Texts[i], IDC_PERFORMANCE_TEXT_FIRST + i);
    m_Texts[i].SetText("0%");
  }
  RelayoutDialog();
  ApplyLanguage();
  // The figures the sampler already has, rather than zeros until the first tick.
  Update();
  SetTimer(m_Hwnd, TIMER_PERFORMANCE_PANE, PERFORMANCE_PANE_MS, nullptr);
  return TRUE;
}

void CPerformanceDlg::RelayoutDialog() {
  PlacePane();
  SetBackgroundImage("systemBackground", IDP_BACKGROUND_SYSTEM);
  for (int i = 0; i < 3; ++i) {
    m_Captions[i].Place(23, kTops[i], 400, 25, m_Zoom);
    m_Captions[i].SetControlFont(m_FontFace, 18, m_Zoom, 400, RGB(100, 100, 100));
    m_Gauges[i].Place(23, kTops[i] + 40, 820, 50, m_Zoom);
    m_Texts[i].Place(860, kTops[i] + 40, 120, 50, m_Zoom);
    m_Texts[i].SetControlFont(m_FontFace, 28, m_Zoom, 400, RGB(127, 127, 127));
    m_Texts[i].SetTextAlign(1);
  }
}

void CPerformanceDlg::ApplyLanguage() {
  SetWindowTextW(m_Hwnd, os::Utf8ToWide(m_Text("WindowTitle", "SYSTEM_PERFORMANCE")).c_str());
  m_BackButton.SetText(m_Text("Dialog", "BACK"));
  for (int i = 0; i < 3; ++i) m_Captions[i].SetText(m_Text("SystemPerformance", kCaptionKeys[i]));
}

void CPerformanceDlg::Update() {
  if (!m_Figures) return;
  const PerformancePaneFigures f = m_Figures();
  const std::string* texts[3] = {&f.CpuText, &f.ActivityText, &f.MemoryText};
  const int32_t images[3] = {f.CpuImage, f.ActivityImage, f.MemoryImage};
  for (int i = 0; i < 3; ++i) {
    m_Texts[i].SetText(*texts[i]);
    // No system disk: the skin's own picture for it, if it has one.
    if (i != 1 || f.ActivityFound || !m_Gauges[i].SetImageFile(FindSkinImage("perfMeter10"), 1)) {
      m_Gauges[i].SetImageResource(images[i], 1);
    }
  }
}

bool CPerformanceDlg::OnMessage(UINT msg, WPARAM wp, LPARAM /*lp*/, INT_PTR* result) {
  if (msg == WM_TIMER && wp == TIMER_PERFORMANCE_PANE) {
    if (m_Ticks++ % REDRAW_EVERY == 0) Update();
    *result = 0;
    return true;
  }
  return false;
}

}  // namespace tools
