#include "tools/win32/MemoryDlg.h"

#include <commctrl.h>

#include "os/win32/WinText.h"
#include "resources/resource.h"
#include "tools/MemoryPane.h"
#include "ui/win32/Gdiplus.h"

namespace tools {
namespace {

// The pane's one-second timer; the available memory is written again every
// eleventh tick.
constexpr UINT_PTR TIMER_MEMORY_USAGE = 1;
constexpr UINT MEMORY_USAGE_MS = 1000;
constexpr int AVAILABLE_EVERY = 11;

// The rows in the order they stand: language key of section "Memory" (the
// speed grade's caption is fixed).
enum RowIndex {
  ROW_TYPE,
  ROW_CAPACITY,
  ROW_SPEED,
  ROW_MANUFACTURER,
  ROW_PART_NUMBER,
  ROW_SERIAL_NUMBER,
  ROW_DIMM_TYPE,
  ROW_CAS_LATENCY,
  ROW_CONFIGURE,
  ROW_GRADE,
  ROW_IC_BRAND,
  ROW_SPEED_GRADE,
  ROW_TOTAL,
  ROW_AVAILABLE,
  ROW_USAGE,
  ROW_COUNT
};
const char* const kRowKeys[ROW_COUNT] = {"MEMORY_TYPE",
                                         "MEMORY_CAPACITY",
                                         "MEMORY_SPEED",
                                         "MANUFACTURER",
                                         "PART_NUMBER",
                                         "SERIAL_NUMBER",
                                         "DIMM_TYPE",
                                         "CAS_LATENCY",
                                         "CONFIGURE",
                                         "GRADE",
                                         "IC_BRAND",
                                         nullptr,
                                         "PHYSICAL_MEMORY_TOTAL",
                                         "PHYSICAL_MEMORY_AVAILABLE",
                                         "USAGE"};

constexpr int ROW_TOP = 80;
constexpr int ROW_HEIGHT = 30;

}  // namespace

CMemoryDlg::CMemoryDlg(const MemoryModuleTable& slots, uint32_t ramSizeMb,
                       std::function<std::optional<int64_t>()> available, PaneText text,
                       std::function<void()> back)
    : CPaneCx(IDD_MEMORY, std::move(back)),
      m_Slots(slots),
      m_RamSizeMb(ramSizeMb),
      m_Available(std::move(available)),
      m_Text(std::move(text)) {}

CMemoryDlg::~CMemoryDlg() {
  if (m_Hwnd != nullptr) KillTimer(m_Hwnd, TIMER_MEMORY_USAGE);
  Destroy();
}

BOOL CMemoryDlg::OnInitDialog() {
  CreateBackButton(IDC_BACK);
  m_Combo = CreateChild(WC_COMBOBOXW, IDC_MEMORY_SLOT, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP);
  m_ComboCx.Attach(m_Hwnd, IDC_MEMORY_SLOT);
  CreateLabel(m_Title, IDC_MEMORY_TITLE);
  for (int i = 0; i < ROW_COUNT; ++i) {
    auto row = std::make_unique<Row>();
    CreateLabel(row->Label, IDC_MEMORY_LABEL_FIRST + i);
    CreateLabel(row->Value, IDC_MEMORY_VALUE_FIRST + i);
    m_Rows.push_back(std::move(row));
  }
  CreateLabel(m_UsageGauge, IDC_MEMORY_USAGE_BAR);
  m_UsageGauge.SetImageScaled(true);
  CreateLabel(m_GradeGauge, IDC_MEMORY_GRADE_IMAGE);
  m_GradeGauge.SetImageScaled(true);
  CreateLabel(m_Used, IDC_MEMORY_USED);
  RelayoutDialog();
  ApplyLanguage();
  SetTimer(m_Hwnd, TIMER_MEMORY_USAGE, MEMORY_USAGE_MS, nullptr);
  return TRUE;
}

void CMemoryDlg::RelayoutDialog() {
  PlacePane();
  SetBackgroundImage("memoryBackground", IDP_BACKGROUND_MEMORY);
  m_Title.Place(6, 29, 300, 30, m_Zoom);
  m_Title.SetControlFont(m_FontFace, 18, m_Zoom, 700, RGB(100, 100, 100));
  PlaceChild(IDC_MEMORY_SLOT, 320, 29, 300, 300);
  m_ComboCx.SetControlFont(m_FontFace, 18, m_Zoom);
  for (size_t i = 0; i < m_Rows.size(); ++i) {
    const int y = ROW_TOP + static_cast<int>(i) * ROW_HEIGHT;
    m_Rows[i]->Label.Place(6, y, 300, ROW_HEIGHT - 2, m_Zoom);
    m_Rows[i]->Label.SetControlFont(m_FontFace, 14, m_Zoom, 400, RGB(100, 100, 100));
    m_Rows[i]->Label.SetTextAlign(2);
    // The speed grade's text stands after its gauge.
    const int x = i == ROW_SPEED_GRADE ? 480 : 320;
    m_Rows[i]->Value.Place(x, y, 980 - x, ROW_HEIGHT - 2, m_Zoom);
    m_Rows[i]->Value.SetControlFont(m_FontFace, 14, m_Zoom, 700, RGB(20, 24, 30));
  }
  m_GradeGauge.Place(322, ROW_TOP + ROW_SPEED_GRADE * ROW_HEIGHT, 150, 28, m_Zoom);
  const int barTop = ROW_TOP + ROW_COUNT * ROW_HEIGHT + 6;
  m_UsageGauge.Place(320, barTop, 480, 24, m_Zoom);
  m_Used.Place(810, barTop, 170, 24, m_Zoom);
  m_Used.SetControlFont(m_FontFace, 14, m_Zoom, 400, RGB(60, 60, 60));
}

void CMemoryDlg::ApplyLanguage() {
  SetWindowTextW(m_Hwnd, os::Utf8ToWide(m_Text("WindowTitle", "MEMORY_INFORMATION")).c_str());
  m_BackButton.SetText(m_Text("Dialog", "BACK"));
  m_Title.SetText(m_Text("Memory", "INFORMATION"));
  for (int i = 0; i < ROW_COUNT; ++i) {
    m_Rows[static_cast<size_t>(i)]->Label.SetText(
        kRowKeys[i] != nullptr ? m_Text("Memory", kRowKeys[i]) : std::string("Speed Grade"));
  }
  const std::string total = m_RamSizeMb == 0 ? m_Text("Dialog", "UNKNOWN")
                                             : MemorySizeText(static_cast<int64_t>(m_RamSizeMb));
  m_Rows[ROW_TOTAL]->Value.SetText(total);
  FillSlots();
  UpdateUsage(true);
}

void CMemoryDlg::FillSlots() {
  const std::vector<MemorySlotEntry> entries = MemorySlotEntries(m_Slots, m_Text("Memory", "SLOT"));
  SendMessageW(m_Combo, CB_RESETCONTENT, 0, 0);
  m_EntrySlots.clear();
  for (const MemorySlotEntry& e : entries) {
    const std::wstring wide = os::Utf8ToWide(e.Text);
    SendMessageW(m_Combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    m_EntrySlots.push_back(e.Slot);
  }
  // No module known: nothing selected, and the rows stay empty.
  const std::optional<size_t> first = InitialMemorySlot(m_Slots, entries);
  SendMessageW(m_Combo, CB_SETCURSEL, first ? static_cast<WPARAM>(*first) : static_cast<WPARAM>(-1),
               0);
  ShowSlot();
}

void CMemoryDlg::ShowSlot() {
  // The slot comes from the entry's own record, not from the entry's text.
  const auto sel = static_cast<int32_t>(SendMessageW(m_Combo, CB_GETCURSEL, 0, 0));
  const MEMORY_MODULE_INFO* slot = nullptr;
  if (sel >= 0 && static_cast<size_t>(sel) < m_EntrySlots.size()) {
    const int32_t index = m_EntrySlots[static_cast<size_t>(sel)];
    if (index >= 0 && static_cast<size_t>(index) < m_Slots.size()) {
      slot = &m_Slots[static_cast<size_t>(index)];
    }
  }
  const MemorySlotView v = ShowMemorySlot(slot);
  const std::string* values[] = {&v.Type,       &v.Capacity,     &v.Speed,    &v.Manufacturer,
                                 &v.PartNumber, &v.SerialNumber, &v.DimmType, &v.CasLatency,
                                 &v.Configure,  &v.Grade,        &v.IcBrand};
  for (size_t i = 0; i < std::size(values); ++i) m_Rows[i]->Value.SetText(*values[i]);
  const bool present = slot != nullptr && slot->IsPresent;
  m_Rows[ROW_SPEED_GRADE]->Value.SetText(present ? SpeedGradeText(v.SpeedGrade) : std::string());
  // The grade's picture: the skin's, else the built-in one; none for an
  // empty slot.
  const int32_t grade = SpeedGradeStep(v.SpeedGrade);
  if (present && !m_GradeGauge.SetImageFile(FindSkinImage(SpeedGradeImageKey(grade)), 1)) {
    m_GradeGauge.SetImageResource(IDP_DRAM_GRADE_FIRST + grade - 1, 1);
  }
  ShowWindow(m_GradeGauge.Hwnd(), present ? SW_SHOWNA : SW_HIDE);
}

void CMemoryDlg::UpdateUsage(bool available) {
  const std::optional<int64_t> mb = m_Available ? m_Available() : std::nullopt;
  const MemoryUsageView u = ComputeMemoryUsage(m_RamSizeMb, mb);
  const std::string unknown = m_Text("Dialog", "UNKNOWN");
  m_Rows[ROW_USAGE]->Value.SetText(u.Percent ? u.PercentText : unknown);
  m_Used.SetText(u.UsedText);
  m_UsageGauge.SetImageResource(u.Image, 1);
  if (available) m_Rows[ROW_AVAILABLE]->Value.SetText(mb ? u.AvailableText : unknown);
}

void CMemoryDlg::OnPaneCommand(int id, int code, HWND /*control*/) {
  if (id == IDC_MEMORY_SLOT && code == CBN_SELCHANGE) ShowSlot();
}

bool CMemoryDlg::OnMessage(UINT msg, WPARAM wp, LPARAM /*lp*/, INT_PTR* result) {
  if (msg == WM_TIMER && wp == TIMER_MEMORY_USAGE) {
    ++m_Ticks;
    UpdateUsage(m_Ticks % AVAILABLE_EVERY == 0);
    *result = 0;
    return true;
  }
  return false;
}

}  // namespace tools
