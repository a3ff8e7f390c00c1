// The chart's arithmetic, free of any window system: where the ticks of a
// value axis and of a date-time axis go and what their labels say, how far
// a value axis reaches beyond its data, where a sample lands in pixels and
// which sample lies under the mouse.
//
// Times are calendar seconds (seconds since 1970-01-01 00:00:00 counted as
// if every day had 86,400 seconds, with no time zone): the history files
// hold local stamps, and the chart shows them as they were written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace chart {

// ---- value axes ----------------------------------------------------------

struct ValueRange {
  double Min = 0, Max = 1;
  bool operator==(const ValueRange&) const = default;
};

// The range a value axis shows for data from `smallest` to `largest`:
// widened by the margins below and above. Never empty: when the data and
// the margins leave no room, it is widened by 1 on each side.
ValueRange AxisRange(double smallest, double largest, double bottomMargin, double topMargin);

struct Tick {
  double Value = 0;
  std::string Label;
  bool operator==(const Tick&) const = default;
};

// Ticks of a value axis over `range`, each a multiple of the step. With a
// fixed step (> 0) that step is used unless it would make more than
// `maxTicks` ticks; otherwise (and with step 0, automatic) the step is the
// smallest of 1, 2 and 5 times a power of ten that makes at most
// `maxTicks` ticks. Labels carry as many decimals as the step needs.
std::vector<Tick> ValueTicks(const ValueRange& range, double fixedStep, size_t maxTicks);

// The automatic step alone.
double NiceStep(double span, size_t maxTicks);

// ---- date-time axes -------------------------------------------------------

enum class DateUnit { Second, Minute, Hour, Day, Month, Year };

struct DateStep {
  DateUnit Unit = DateUnit::Day;
  int32_t Count = 1;
  bool operator==(const DateStep&) const = default;
};

// "%Y", "%m", "%d", "%H", "%M", "%S" and "%%" of a calendar time; any
// other character is copied.
std::string FormatDate(int64_t calendarSeconds, const std::string& format);

// Calendar fields of calendar seconds, and back (fields may run over:
// month 13 is January of the next year).
struct CalendarTime {
  int64_t Year = 1970;
  int32_t Month = 1, Day = 1, Hour = 0, Minute = 0, Second = 0;
};
CalendarTime ToCalendar(int64_t calendarSeconds);
int64_t FromCalendar(const CalendarTime& time);

// Ticks of a date-time axis from `from` to `to`: at whole steps of the
// calendar (hours at multiples of the count from midnight, days at
// midnight on day numbers that are multiples of the count, months on the
// 1st of months whose number from year 0 is a multiple of the count), so
// ticks stay put as the window moves. A step that would make more than
// `maxTicks` ticks is multiplied until it does not.
std::vector<Tick> DateTicks(int64_t from, int64_t to, DateStep step, const std::string& format,
                            size_t maxTicks);

// The automatic date step: the smallest of a ladder of calendar steps
// (1, 5, 15, 30 minutes; 1, 2, 4, 6, 12 hours; 1, 2, 5, 10 days; 1, 2, 3,
// 6 months; 1, 2, 5, 10 years) that makes at most `maxTicks` ticks.
DateStep AutoDateStep(int64_t from, int64_t to, size_t maxTicks);

// The graph pane's time windows.
struct TimeInterval {
  int64_t Seconds = 0;  // 0 for the live view
  const char* LabelKey = "";
  const char* Format = "";
  DateStep Step;
};
constexpr size_t TIME_INTERVAL_COUNT = 7;
constexpr size_t TIME_INTERVAL_LIVE = 6;
const TimeInterval& GetTimeInterval(size_t index);  // index < TIME_INTERVAL_COUNT

// ---- pixels ---------------------------------------------------------------

// A linear map from values to pixels and back. `pixelFrom` is where
// `valueFrom` lands; a vertical axis passes its bottom pixel as `pixelFrom`,
// so larger values go up.
class CAxisMap {
 public:
  CAxisMap(double valueFrom, double valueTo, double pixelFrom, double pixelTo);
  double ToPixel(double value) const;
  double ToValue(double pixel) const;
  // ToPixel rounded and held within the axis's pixels (values far outside
  // would overflow what a drawing call takes).
  int32_t ToPixelClamped(double value) const;

 private:
  double m_ValueFrom, m_PixelFrom, m_PixelTo, m_Scale;
};

struct PixelPoint {
  int32_t X = 0, Y = 0;
  bool operator==(const PixelPoint&) const = default;
};

// The index of the point nearest to (x, y) within `radius` pixels, or
// nullopt. `points` must be sorted by X (a series over time is); only the
// points within `radius` horizontally are looked at.
std::optional<size_t> NearestPoint(const std::vector<PixelPoint>& points, int32_t x, int32_t y,
                                   int32_t radius);

struct Rect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Contains(int32_t x, int32_t y) const {
    return x >= Left && x < Right && y >= Top && y < Bottom;
  }
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool operator==(const Rect&) const = default;
};

// What a chart shows at a point of its window.
enum class ChartPart { None, Title, Legend, Plot, LeftAxis, TopAxis, BottomAxis };

// Where the parts of a chart go in a client area of `width` x `height`,
// given the text sizes it has to fit: the title across the top, the top
// axis's labels under it, the left axis's labels (and its label text,
// turned) at the left, the bottom axis's labels at the bottom, and the
// plot in what is left (never smaller than 1 x 1).
struct ChartLayoutInput {
  int32_t Width = 0, Height = 0;
  int32_t Padding = 8;
  int32_t TitleHeight = 0;        // 0: no title
  int32_t TopLabelHeight = 0;     // 0: no top axis
  int32_t LeftLabelWidth = 0;     // widest left-axis label; 0: no left axis
  int32_t LeftTitleWidth = 0;     // height of the turned axis text; 0: none
  int32_t BottomLabelHeight = 0;  // 0: no bottom axis
  Rect Legend;                    // where the legend is placed; empty: none
};
struct ChartLayout {
  Rect Title, TopAxis, LeftAxis, BottomAxis, Plot, Legend;
};
ChartLayout LayOutChart(const ChartLayoutInput& input);
ChartPart HitTest(const ChartLayout& layout, int32_t x, int32_t y);

// ---- the live view --------------------------------------------------------

// The live view's value axis: transfer rates (bytes per second) are drawn in
// KiB/s, and temperatures are stretched so they stay visible next to them.
struct LiveScale {
  double Top = 110;              // the value axis runs from 0 to Top
  int32_t TemperatureScale = 1;  // temperatures are drawn this many times their value
};
LiveScale ComputeLiveScale(uint32_t peakRate);

// The point of the temperature series that carries the average-temperature
// label: the one matching the latest but one rate sample where rates are
// known, held within the temperatures there are; nullopt with no
// temperatures.
std::optional<size_t> LiveLabelPoint(size_t temperatureCount, size_t rateCount);

}  // namespace chart
