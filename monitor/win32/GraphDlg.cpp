#include "monitor/win32/GraphDlg.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>

#include "chart/ChartAxis.h"
#include "monitor/GraphItems.h"
#include "monitor/HistoryCsv.h"
#include "monitor/HistoryWindow.h"
#include "monitor/SettingsModel.h"
#include "monitor/win32/TslInfoDlg.h"
#include "os/win32/WinText.h"
#include "resources/resource.h"
#include "ui/win32/Gdiplus.h"

namespace monitor {
namespace {

constexpr UINT_PTR TIMER_GRAPH_INIT = 1;
constexpr UINT_PTR TIMER_GRAPH_REAL_TIME = 3;
constexpr UINT GRAPH_INIT_MS = 100;
constexpr UINT GRAPH_REAL_TIME_MS = 1500;
// The live view keeps this many temperatures.
constexpr size_t LIVE_SAMPLES = 51;
// Points a history graph is reduced to.
constexpr size_t MAX_GRAPH_POINTS = 1000;

constexpr COLORREF BACKGROUND = RGB(239, 239, 239);
constexpr COLORREF ColourRef(uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}
constexpr COLORREF HISTORY_COLOR = ColourRef(GRAPH_AUTOMATIC_COLOUR);
constexpr COLORREF TEMPERATURE_COLOR = RGB(255, 201, 14);
constexpr COLORREF READ_COLOR = RGB(40, 120, 220);
constexpr COLORREF WRITE_COLOR = RGB(200, 40, 60);
constexpr COLORREF GREY = RGB(128, 128, 128);
constexpr COLORREF LIGHT_GREY = RGB(180, 180, 180);

std::wstring W(const std::string& s) { return os::Utf8ToWide(s); }

void AddEntries(HWND combo, const std::vector<std::string>& entries) {
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const std::string& e : entries) {
    const std::wstring wide = W(e);
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  }
}

std::wstring ComboText(HWND combo) {
  const auto sel = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (sel < 0) return {};
  const auto length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(sel), 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(sel),
               reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

int32_t ComboIndexOf(int32_t code) {
  for (size_t i = 0; i < GRAPH_COMBO_CODES.size(); ++i) {
    if (GRAPH_COMBO_CODES[i] == code) return static_cast<int32_t>(i);
  }
  return -1;
}

}  // namespace

CGraphDlg::CGraphDlg(const CMonitor& monitor, app::CSettings& settings, os::IFileSystem& files,
                     std::string historyRoot, ui::TextFn text, LiveFn live)
    : m_Monitor(monitor),
      m_Settings(settings),
      m_Files(files),
      m_HistoryRoot(std::move(historyRoot)),
      m_Live(std::move(live)) {
  m_BackgroundColor = BACKGROUND;
  SetTextLookup(std::move(text));
}

CGraphDlg::~CGraphDlg() { Destroy(); }

bool CGraphDlg::Create(HWND parent, double zoom, const std::wstring& face) {
  m_Zoom = zoom;
  m_FontFace = face;
  return CreateModeless(IDD_GRAPH, parent);
}

BOOL CGraphDlg::OnInitDialog() {
  const DWORD comboStyle = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
  m_DiskCombo = CreateChild(WC_COMBOBOXW, IDC_GRAPH_DISK, comboStyle);
  m_ItemCombo = CreateChild(WC_COMBOBOXW, IDC_GRAPH_ITEM, comboStyle);
  m_IntervalCombo = CreateChild(WC_COMBOBOXW, IDC_GRAPH_INTERVAL, comboStyle);
  m_DiskComboCx.Attach(m_Hwnd, IDC_GRAPH_DISK);
  m_ItemComboCx.Attach(m_Hwnd, IDC_GRAPH_ITEM);
  m_IntervalComboCx.Attach(m_Hwnd, IDC_GRAPH_INTERVAL);
  CreateChild(L"BUTTON", IDC_GRAPH_BACK, BS_PUSHBUTTON | WS_TABSTOP);
  m_Back.Attach(m_Hwnd, IDC_GRAPH_BACK);
  m_Back.SetBackground(m_BackgroundColor);
  m_Chart.Create(m_Hwnd, IDC_GRAPH_CHART);
  SetWindowTextW(m_Hwnd, W(Text("WindowTitle", "STATUS_GRAPH")).c_str());
  RelayoutDialog();
  FillItemCombo();
  FillIntervalCombo();
  m_Back.SetText(Text("Dialog", "BACK"));
  // The disks are listed once the window is up.
  SetTimer(m_Hwnd, TIMER_GRAPH_INIT, GRAPH_INIT_MS, nullptr);
  return TRUE;
}

void CGraphDlg::RelayoutDialog() {
  // The pane sits over the main window's disk panel.
  PlaceOverPanel();
  SetBackgroundImage("grayBackground", IDP_BACKGROUND_GRAY);
  PlaceChild(IDC_GRAPH_DISK, 6, 29, 424, 300);
  PlaceChild(IDC_GRAPH_ITEM, 450, 29, 225, 300);
  PlaceChild(IDC_GRAPH_INTERVAL, 696, 29, 120, 300);
  PlaceChild(IDC_GRAPH_CHART, 6, 74, 978, 550 - 4);
  m_Back.Place(835, 22, 150, 40, m_Zoom);
  m_Back.SetControlFont(m_FontFace, 16, m_Zoom, 400, RGB(0, 0, 0));
  m_Back.SetTextAlign(1);
  m_DiskComboCx.SetControlFont(m_FontFace, 18, m_Zoom);
  m_ItemComboCx.SetControlFont(m_FontFace, 18, m_Zoom);
  m_IntervalComboCx.SetControlFont(m_FontFace, 18, m_Zoom);
  m_Chart.SetFonts(m_FontFace, m_Zoom);
  if (m_Ready) Draw();
}

void CGraphDlg::ApplyLanguage() {
  SetWindowTextW(m_Hwnd, W(Text("WindowTitle", "STATUS_GRAPH")).c_str());
  m_Back.SetText(Text("Dialog", "BACK"));
  FillItemCombo();
  FillIntervalCombo();
  m_DiskComboCx.SetControlFont(m_FontFace, 18, m_Zoom);
  m_ItemComboCx.SetControlFont(m_FontFace, 18, m_Zoom);
  m_IntervalComboCx.SetControlFont(m_FontFace, 18, m_Zoom);
  m_Chart.SetFonts(m_FontFace, m_Zoom);
  if (m_Ready) Draw();
}

void CGraphDlg::FillItemCombo() {
  std::vector<std::string> labels;
  for (const int32_t code : GRAPH_COMBO_CODES) {
    labels.push_back(Text("Dialog", FindGraphItem(code)->LabelKey));
  }
  AddEntries(m_ItemCombo, labels);
  const int32_t index = ComboIndexOf(m_Code);
  SendMessageW(m_ItemCombo, CB_SETCURSEL, static_cast<WPARAM>(std::max(index, 0)), 0);
  if (m_Interval == static_cast<int32_t>(chart::TIME_INTERVAL_LIVE)) {
    // The live view draws its own series: no item to choose. The item
    // comes back (from m_Code) when the view is left.
    SendMessageW(m_ItemCombo, CB_RESETCONTENT, 0, 0);
  }
}

void CGraphDlg::FillIntervalCombo() {
  std::vector<std::string> labels;
  for (size_t i = 0; i < chart::TIME_INTERVAL_COUNT; ++i) {
    labels.push_back(Text("TslSettings", chart::GetTimeInterval(i).LabelKey));
  }
  AddEntries(m_IntervalCombo, labels);
  SendMessageW(m_IntervalCombo, CB_SETCURSEL, static_cast<WPARAM>(m_Interval), 0);
}

void CGraphDlg::FillDiskCombo() {
  if (m_DiskCombo == nullptr) return;
  AddEntries(m_DiskCombo, GraphDiskEntries(m_Monitor.Disks()));
  // The disk shown before stays shown wherever the list now has it; else
  // the monitor's selected disk.
  const int32_t count = m_Monitor.DiskCount();
  int32_t disk = -1;
  for (int32_t i = 0; i < count && !m_DiskKey.empty(); ++i) {
    if (m_Monitor.Disks()[i].ModelSerial == m_DiskKey) {
      disk = i;
      break;
    }
  }
  if (disk < 0) disk = m_Monitor.SelectedDisk();
  if (disk < 0 || disk >= count) disk = 0;
  m_Disk = disk;
  m_DiskKey = disk < count ? m_Monitor.Disks()[disk].ModelSerial : std::string();
  SendMessageW(m_DiskCombo, CB_SETCURSEL, static_cast<WPARAM>(disk), 0);
  m_Ready = true;
  if (m_Interval == static_cast<int32_t>(chart::TIME_INTERVAL_LIVE)) {
    StartLive();
  } else {
    Draw();
  }
}

void CGraphDlg::SelectDisk(int32_t disk) {
  // An index from before a rescan may name no disk at all.
  if (disk < 0 || disk >= m_Monitor.DiskCount() || disk == m_Disk) return;
  m_Disk = disk;
  m_DiskKey = m_Monitor.Disks()[disk].ModelSerial;
  SendMessageW(m_DiskCombo, CB_SETCURSEL, static_cast<WPARAM>(disk), 0);
  if (m_Interval == static_cast<int32_t>(chart::TIME_INTERVAL_LIVE)) {
    StartLive();
  } else {
    Draw();
  }
}

void CGraphDlg::Choose(int32_t code, int32_t interval) {
  if (interval < 0 || interval >= static_cast<int32_t>(chart::TIME_INTERVAL_COUNT)) return;
  const int32_t index = ComboIndexOf(code);
  if (index < 0) return;
  // The item first, so the view is drawn once, with it.
  m_Code = code;
  if (m_Interval != static_cast<int32_t>(chart::TIME_INTERVAL_LIVE)) {
    SendMessageW(m_ItemCombo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }
  ChangeInterval(interval);
}

void CGraphDlg::ChangeInterval(int32_t interval) {
  const int32_t live = static_cast<int32_t>(chart::TIME_INTERVAL_LIVE);
  KillTimer(m_Hwnd, TIMER_GRAPH_REAL_TIME);
  const bool wasLive = m_Interval == live;
  m_Interval = interval;
  SendMessageW(m_IntervalCombo, CB_SETCURSEL, static_cast<WPARAM>(interval), 0);
  if (interval == live) {
    SendMessageW(m_ItemCombo, CB_RESETCONTENT, 0, 0);
    EnableWindow(m_ItemCombo, FALSE);
    // Before the disks are listed the view starts with them, on the disk
    // the main window has selected (not on an entry not yet filled).
    if (m_Ready) StartLive();
    return;
  }
  if (wasLive) {
    // The item shown before the live view comes back.
    FillItemCombo();
    EnableWindow(m_ItemCombo, TRUE);
  }
  Draw();
}

void CGraphDlg::Refresh() {
  if (m_Ready && m_Interval != static_cast<int32_t>(chart::TIME_INTERVAL_LIVE)) Draw();
}

void CGraphDlg::Draw() {
  if (!m_Ready) return;
  if (m_Interval == static_cast<int32_t>(chart::TIME_INTERVAL_LIVE)) {
    DrawLive();
  } else {
    DrawHistory();
  }
}

int64_t CGraphDlg::LocalNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::tm local{};
  local.tm_year = now.wYear - 1900;
  local.tm_mon = now.wMonth - 1;
  local.tm_mday = now.wDay;
  local.tm_hour = now.wHour;
  local.tm_min = now.wMinute;
  local.tm_sec = now.wSecond;
  return CalendarSeconds(local);
}

void CGraphDlg::DrawHistory() {
  m_Chart.RemoveAll();
  m_Chart.SetXAxis(chart::AxisSide::Top);
  const std::optional<GraphItem> item = FindGraphItem(m_Code);
  if (!item || m_Disk < 0 || m_Disk >= m_Monitor.DiskCount()) {
    m_Chart.SetSummary(L"");
    m_Chart.Redraw();
    return;
  }
  const ATA_SMART_INFO& disk = m_Monitor.Disks()[m_Disk];
  const std::string path = GraphItemPath(m_HistoryRoot, disk.ModelSerial, *item, '\\');
  const chart::TimeInterval& interval = chart::GetTimeInterval(static_cast<size_t>(m_Interval));
  const int64_t now = LocalNow();
  HistoryWindowRequest request{now - interval.Seconds, now, MAX_GRAPH_POINTS, item->Rule};
  std::optional<HistoryWindow> window;
  if (std::unique_ptr<os::IReadableFile> file = m_Files.OpenForReading(path)) {
    window = ReadHistoryWindow(*file, request);
  }
  const std::wstring title = ComboText(m_ItemCombo);
  if (!window || window->Points.empty()) {
    const std::string message = Text("Message", "FUNCTION_NOT_AVAILABLE");
    m_Chart.SetEmptyText(W(message));
    m_Chart.SetSummary(title + L": " + W(message));
    m_Chart.Redraw();
    if (IsWindowVisible(m_Hwnd)) {
      MessageBoxW(m_Hwnd, W(message).c_str(), W(Text("WindowTitle", "WARNING")).c_str(),
                  MB_OK | MB_ICONEXCLAMATION | MB_SYSTEMMODAL);
    }
    return;
  }
  const std::vector<HistorySample>& points = window->Points;
  chart::AxisSpec& top = m_Chart.Axis(chart::AxisSide::Top);
  top.Visible = true;
  top.DateTime = true;
  top.Min = static_cast<double>(points.front().Time);
  top.Max = static_cast<double>(points.back().Time);
  if (top.Max <= top.Min) {
    // One sample: an hour either side of it.
    top.Min -= 3600;
    top.Max += 3600;
  }
  top.DateFormat = interval.Format;
  top.DateStep = interval.Step;
  top.LineColor = top.LabelColor = GREY;
  top.GridColor = LIGHT_GREY;

  chart::AxisSpec& left = m_Chart.Axis(chart::AxisSide::Left);
  left.Visible = true;
  const chart::ValueRange range =
      chart::AxisRange(static_cast<double>(window->Min), static_cast<double>(window->Max),
                       item->BottomMargin, item->TopMargin);
  left.Min = range.Min;
  left.Max = range.Max;
  left.Title = item->UnitKey.empty() ? L"" : W(Text(item->UnitSection, item->UnitKey));
  left.LineColor = left.LabelColor = GREY;
  left.GridColor = LIGHT_GREY;

  // The user's colour from the settings pane, else the built-in one.
  COLORREF lineColor = HISTORY_COLOR;
  if (const auto rgb = ParseColourText(m_Settings.GetText(app::Setting::GRAPH_COLOR))) {
    lineColor = ColourRef(*rgb);
  }
  chart::SeriesSpec series;
  series.Color = lineColor;
  series.Width = 2;
  series.Points.reserve(points.size());
  for (const HistorySample& p : points) {
    series.Points.emplace_back(static_cast<double>(p.Time), static_cast<double>(p.Value));
  }
  m_Chart.AddSeries(std::move(series));
  m_Chart.SetTitle(title, lineColor);

  // What the chart shows, in one line for readers.
  const HistorySample& last = points.back();
  wchar_t summary[512];
  std::swprintf(
      summary, std::size(summary),
      L"%ls: %zu points of %zu readings, %ls .. %ls, min %lld, max %lld, latest %lld at %ls",
      title.c_str(), points.size(), window->SampleCount,
      W(chart::FormatDate(points.front().Time, "%Y-%m-%d %H:%M")).c_str(),
      W(chart::FormatDate(last.Time, "%Y-%m-%d %H:%M")).c_str(),
      static_cast<long long>(window->Min), static_cast<long long>(window->Max),
      static_cast<long long>(last.Value),
      W(chart::FormatDate(last.Time, "%Y-%m-%d %H:%M")).c_str());
  m_Chart.SetSummary(summary);
  m_Chart.Redraw();
}

void CGraphDlg::StartLive() {
  m_LiveTemperatures.clear();
  KillTimer(m_Hwnd, TIMER_GRAPH_REAL_TIME);
  // The main window selects the disk whose figures the live view follows.
  SendMessageW(GetParent(m_Hwnd), WM_DISK_CHANGED, static_cast<WPARAM>(m_Disk), 0);
  SetTimer(m_Hwnd, TIMER_GRAPH_REAL_TIME, GRAPH_REAL_TIME_MS, nullptr);
  DrawLive();
}

void CGraphDlg::DrawLive() {
  // Where the sampler has the disk's counters, its lists (temperature, read
  // and write rate, one entry per 500 ms) are drawn; otherwise the
  // temperature as the monitor last read it, once per tick, and no rates.
  const LiveSamples* sampled =
      m_Live && m_Disk >= 0 && m_Disk < m_Monitor.DiskCount() ? m_Live(m_Disk) : nullptr;
  std::vector<int32_t> temperatures;
  std::vector<uint64_t> reads, writes;
  if (sampled != nullptr) {
    m_LiveTemperatures.clear();
    for (const int8_t t : sampled->TemperatureSamples) {
      if (t != TEMPERATURE_UNKNOWN) temperatures.push_back(t);
    }
    reads.assign(sampled->ReadRateSamples.begin(), sampled->ReadRateSamples.end());
    writes.assign(sampled->WriteRateSamples.begin(), sampled->WriteRateSamples.end());
  } else {
    if (m_Disk >= 0 && m_Disk < m_Monitor.DiskCount()) {
      const int32_t t = m_Monitor.Disks()[m_Disk].Temperature;
      if (t != TEMPERATURE_UNKNOWN) {
        m_LiveTemperatures.push_back(t);
        while (m_LiveTemperatures.size() > LIVE_SAMPLES) m_LiveTemperatures.pop_front();
      }
    }
    temperatures.assign(m_LiveTemperatures.begin(), m_LiveTemperatures.end());
  }
  uint64_t peak = 0;
  for (const uint64_t r : reads) peak = std::max(peak, r);
  for (const uint64_t w : writes) peak = std::max(peak, w);
  const uint32_t peak32 = static_cast<uint32_t>(std::min<uint64_t>(peak, UINT32_MAX));
  const chart::LiveScale scale = chart::ComputeLiveScale(peak32);
  // Rates above 1 KiB/s are drawn in KiB/s, as the axis runs.
  const bool kib = peak32 > 1024;
  const size_t count = std::max({temperatures.size(), reads.size(), writes.size()});

  m_Chart.RemoveAll();
  m_Chart.SetXAxis(chart::AxisSide::Bottom);
  chart::AxisSpec& bottom = m_Chart.Axis(chart::AxisSide::Bottom);
  bottom.Visible = true;
  bottom.Min = 0;
  bottom.Max = static_cast<double>(count + 1);
  bottom.FixedStep = 1;
  bottom.LineColor = GREY;
  bottom.LabelColor = GREY;
  bottom.GridColor = LIGHT_GREY;
  chart::AxisSpec& left = m_Chart.Axis(chart::AxisSide::Left);
  left.Visible = true;
  left.Min = 0;
  left.Max = scale.Top;
  left.Title = W(Text("TslSettings", "CELSIUS"));
  left.LineColor = left.LabelColor = GREY;
  left.GridColor = LIGHT_GREY;

  const auto addRates = [&](const std::vector<uint64_t>& rates, const char* key, COLORREF color) {
    if (rates.empty()) return;
    chart::SeriesSpec series;
    series.Name = W(Text("Grpahs", key));
    series.Color = color;
    series.Width = 2;
    for (size_t i = 0; i < rates.size(); ++i) {
      series.Points.emplace_back(static_cast<double>(i),
                                 static_cast<double>(kib ? rates[i] / 1024 : rates[i]));
    }
    m_Chart.AddSeries(std::move(series));
  };
  addRates(reads, "READ_SPEED_LABEL", READ_COLOR);
  addRates(writes, "WRITE_SPEED_LABEL", WRITE_COLOR);

  chart::SeriesSpec series;
  series.Name = W(Text("Grpahs", "TEMPERATURE_LABEL"));
  series.Color = TEMPERATURE_COLOR;
  series.Width = 3;
  int64_t sum = 0;
  for (size_t i = 0; i < temperatures.size(); ++i) {
    series.Points.emplace_back(static_cast<double>(i),
                               static_cast<double>(temperatures[i] * scale.TemperatureScale));
    sum += temperatures[i];
  }
  const size_t index = m_Chart.AddSeries(std::move(series));
  m_Chart.SetLegend(true, {70, 30});
  const std::optional<size_t> labelAt =
      chart::LiveLabelPoint(temperatures.size(), std::max(reads.size(), writes.size()));
  std::wstring summary = L"live: no temperature";
  if (labelAt) {
    const long long average = sum / static_cast<long long>(temperatures.size());
    m_Chart.SetBalloon(index, *labelAt, L" " + std::to_wstring(average) + L" \u00B0C ");
    summary = L"live: " + std::to_wstring(temperatures.size()) + L" temperatures, latest " +
              std::to_wstring(temperatures.back()) + L" \u00B0C, average " +
              std::to_wstring(average) + L" \u00B0C";
  } else if (reads.empty() && writes.empty()) {
    m_Chart.SetEmptyText(W(Text("Message", "FUNCTION_NOT_AVAILABLE")));
  }
  if (sampled == nullptr) {
    summary += L"; no transfer rates for this disk";
  } else if (!reads.empty() || !writes.empty()) {
    summary += L"; " + std::to_wstring(reads.size()) + L" rates, latest read " +
               std::to_wstring(reads.empty() ? 0 : reads.back()) + L" B/s, write " +
               std::to_wstring(writes.empty() ? 0 : writes.back()) + L" B/s";
  }
  m_Chart.SetSummary(summary);
  m_Chart.Redraw();
}

void CGraphDlg::OnCommand(int id, int code, HWND /*control*/) {
  if (code == CBN_SELCHANGE) {
    const auto sel = static_cast<int32_t>(SendMessageW(GetDlgItem(m_Hwnd, id), CB_GETCURSEL, 0, 0));
    if (sel < 0) return;
    if (id == IDC_GRAPH_DISK) {
      SelectDisk(sel);
    } else if (id == IDC_GRAPH_ITEM) {
      if (m_Interval == static_cast<int32_t>(chart::TIME_INTERVAL_LIVE)) return;
      if (sel >= static_cast<int32_t>(GRAPH_COMBO_CODES.size())) return;
      m_Code = GRAPH_COMBO_CODES[static_cast<size_t>(sel)];
      Draw();
      m_Settings.SetText(app::Setting::SELECTED_ATTRIBUTE_ID, std::to_string(m_Code));
    } else if (id == IDC_GRAPH_INTERVAL) {
      ChangeInterval(sel);
    }
  } else if (id == IDC_GRAPH_BACK) {
    SendMessageW(GetParent(m_Hwnd), WM_SHOW_PANEL, 0, 0);
  }
}

void CGraphDlg::OnCancel() { SendMessageW(GetParent(m_Hwnd), WM_SHOW_PANEL, 0, 0); }

bool CGraphDlg::OnMessage(UINT msg, WPARAM wp, LPARAM /*lp*/, INT_PTR* result) {
  if (msg == WM_TIMER) {
    if (wp == TIMER_GRAPH_INIT) {
      KillTimer(m_Hwnd, TIMER_GRAPH_INIT);
      FillDiskCombo();
    } else if (wp == TIMER_GRAPH_REAL_TIME) {
      DrawLive();
    }
    *result = 0;
    return true;
  }
  if (msg == WM_DISK_CHANGED) {
    SelectDisk(static_cast<int32_t>(wp));
    *result = 0;
    return true;
  }
  return false;
}

}  // namespace monitor
