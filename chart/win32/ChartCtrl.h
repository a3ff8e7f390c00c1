// CChartCtrl: a chart window of plain Win32 and GDI. Value axes at the left
// (and bottom), a date-time axis at the top or bottom, line and bar series,
// grid, legend, title and a balloon label on one point; the arithmetic is
// chart/ChartAxis. It draws double-buffered, shows the point under the
// mouse, and keeps a one-line summary of what it shows as its window text,
// so screen readers and tests can read it.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "chart/ChartAxis.h"

namespace chart {

enum class AxisSide { Left = 0, Bottom = 1, Top = 2 };

struct AxisSpec {
  bool Visible = false;
  bool DateTime = false;
  double Min = 0, Max = 1;
  double FixedStep = 0;              // value axes: 0 automatic
  std::optional<DateStep> DateStep;  // date axes: nullopt automatic
  std::string DateFormat = "%Y-%m-%d";
  std::wstring Title;  // the axis's text (left axis: turned)
  COLORREF LineColor = RGB(128, 128, 128);
  COLORREF LabelColor = RGB(128, 128, 128);
  COLORREF GridColor = RGB(180, 180, 180);
  bool Grid = true;
  bool Labels = true;
};

struct SeriesSpec {
  enum class Kind { Line, Bar };
  Kind Type = Kind::Line;
  std::wstring Name;  // empty: not in the legend
  COLORREF Color = RGB(0, 0, 0);
  int Width = 1;  // pixels at zoom 1
  // x on the horizontal axis (a calendar time for a date axis), y on the
  // left axis.
  std::vector<std::pair<double, double>> Points;
};

class CChartCtrl {
 public:
  CChartCtrl() = default;
  ~CChartCtrl();
  CChartCtrl(const CChartCtrl&) = delete;
  CChartCtrl& operator=(const CChartCtrl&) = delete;

  // Creates the chart as child `id` of `parent`. False on failure.
  bool Create(HWND parent, int id);
  HWND Hwnd() const { return m_Hwnd; }

  // Forgets every series, axis, label and the title.
  void RemoveAll();
  AxisSpec& Axis(AxisSide side) { return m_Axes[static_cast<size_t>(side)]; }
  // The horizontal axis the series are drawn against.
  void SetXAxis(AxisSide side) { m_XAxis = side; }
  size_t AddSeries(SeriesSpec series);
  // A balloon with `text` on point `point` of series `series`; ignored
  // when there is no such point.
  void SetBalloon(size_t series, size_t point, const std::wstring& text);
  void SetLegend(bool visible, POINT topLeft);
  void SetTitle(const std::wstring& text, COLORREF color);
  // Fonts of the face at `zoom`: title and labels.
  void SetFonts(const std::wstring& face, double zoom);
  // Text shown in the middle when there is nothing to draw.
  void SetEmptyText(const std::wstring& text) { m_EmptyText = text; }
  // The window text: what the chart shows, for readers.
  void SetSummary(const std::wstring& text);
  // Draws again after changes.
  void Redraw();

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void Paint(HDC dc, const RECT& client);
  void DrawHover(HDC dc);
  void DeleteFonts();
  int Scaled(int v) const;

  HWND m_Hwnd = nullptr;
  std::array<AxisSpec, 3> m_Axes;
  AxisSide m_XAxis = AxisSide::Bottom;
  std::vector<SeriesSpec> m_Series;
  struct Balloon {
    size_t Series = 0, Point = 0;
    std::wstring Text;
  };
  std::optional<Balloon> m_Balloon;
  bool m_Legend = false;
  POINT m_LegendAt{0, 0};
  std::wstring m_Title;
  COLORREF m_TitleColor = RGB(0, 0, 0);
  std::wstring m_EmptyText;
  std::wstring m_Face = L"Tahoma";
  double m_Zoom = 1.0;
  HFONT m_TitleFont = nullptr;
  HFONT m_LabelFont = nullptr;
  HFONT m_TurnedFont = nullptr;

  // Where the last paint put things, for the mouse.
  ChartLayout m_Layout;
  std::vector<std::vector<PixelPoint>> m_Pixels;     // per series
  std::optional<std::pair<size_t, size_t>> m_Hover;  // series, point
  bool m_Tracking = false;
};

}  // namespace chart
