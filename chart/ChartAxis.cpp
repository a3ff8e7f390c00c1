#include "chart/ChartAxis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/CivilDate.h"

namespace chart {
namespace {

constexpr int64_t DAY = 86400;

// Decimals a label needs to tell ticks `step` apart.
int Decimals(double step) {
  if (step >= 1) return 0;
  return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 12);
}

std::string FormatValue(double v, int decimals) {
  if (std::fabs(v) < 0.5 * std::pow(10.0, -decimals)) v = 0;  // no "-0"
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

int64_t StepSeconds(DateStep step) {
  switch (step.Unit) {
    case DateUnit::Second:
      return step.Count;
    case DateUnit::Minute:
      return 60 * int64_t{step.Count};
    case DateUnit::Hour:
      return 3600 * int64_t{step.Count};
    case DateUnit::Day:
      return DAY * step.Count;
    case DateUnit::Month:
      return 2629746 * int64_t{step.Count};  // an average month
    case DateUnit::Year:
      return 31556952 * int64_t{step.Count};
  }
  return DAY;
}

// The first tick at or after `t`.
int64_t FirstDateTick(int64_t t, DateStep step) {
  if (step.Unit == DateUnit::Month || step.Unit == DateUnit::Year) {
    const int64_t months = step.Unit == DateUnit::Year ? 12 * int64_t{step.Count} : step.Count;
    CalendarTime c = ToCalendar(t);
    int64_t index = c.Year * 12 + (c.Month - 1);
    if (FromCalendar({c.Year, c.Month, 1, 0, 0, 0}) < t) ++index;
    index = base::FloorDiv(index + months - 1, months) * months;
    return FromCalendar({base::FloorDiv(index, 12),
                         static_cast<int32_t>(index - base::FloorDiv(index, 12) * 12 + 1), 1, 0, 0,
                         0});
  }
  const int64_t s = StepSeconds(step);
  return base::FloorDiv(t + s - 1, s) * s;
}

int64_t NextDateTick(int64_t tick, DateStep step) {
  if (step.Unit == DateUnit::Month || step.Unit == DateUnit::Year) {
    const int64_t months = step.Unit == DateUnit::Year ? 12 * int64_t{step.Count} : step.Count;
    CalendarTime c = ToCalendar(tick);
    const int64_t index = c.Year * 12 + (c.Month - 1) + months;
    return FromCalendar({base::FloorDiv(index, 12),
                         static_cast<int32_t>(index - base::FloorDiv(index, 12) * 12 + 1), 1, 0, 0,
                         0});
  }
  return tick + StepSeconds(step);
}

size_t CountDateTicks(int64_t from, int64_t to, DateStep step, size_t limit) {
  size_t n = 0;
  for (int64_t t = FirstDateTick(from, step); t <= to; t = NextDateTick(t, step)) {
    if (++n > limit) break;
  }
  return n;
}

}  // namespace

ValueRange AxisRange(double smallest, double largest, double bottomMargin, double topMargin) {
  if (smallest > largest) std::swap(smallest, largest);
  ValueRange r{smallest - std::max(bottomMargin, 0.0), largest + std::max(topMargin, 0.0)};
  if (!(r.Max > r.Min)) {
    r.Min -= 1;
    r.Max += 1;
  }
  return r;
}

double NiceStep(double span, size_t maxTicks) {
  if (!(span > 0) || !std::isfinite(span)) return 1;
  maxTicks = std::max<size_t>(maxTicks, 2);
  // ticks = floor(span / step) + 1 at most.
  const double rough = span / static_cast<double>(maxTicks - 1);
  double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (;;) {
    for (const double m : {1.0, 2.0, 5.0}) {
      const double step = m * power;
      if (std::floor(span / step + 1e-9) + 1 <= static_cast<double>(maxTicks)) return step;
    }
    power *= 10;
  }
}

std::vector<Tick> ValueTicks(const ValueRange& range, double fixedStep, size_t maxTicks) {
  std::vector<Tick> ticks;
  const double span = range.Max - range.Min;
  if (!(span >= 0) || !std::isfinite(span)) return ticks;
  double step = fixedStep;
  if (!(step > 0) || span / step + 1 > static_cast<double>(std::max<size_t>(maxTicks, 2))) {
    step = NiceStep(span, maxTicks);
  }
  const int decimals = Decimals(step);
  const double first = std::ceil(range.Min / step - 1e-9);
  for (double k = first;; ++k) {
    const double v = k * step;
    if (v > range.Max + step * 1e-9) break;
    ticks.push_back({v, FormatValue(v, decimals)});
  }
  return ticks;
}

CalendarTime ToCalendar(int64_t calendarSeconds) {
  const int64_t days = base::FloorDiv(calendarSeconds, DAY);
  const int64_t rest = calendarSeconds - days * DAY;
  CalendarTime c;
  const base::CivilDate date = base::CivilFromDays(days);
  c.Year = date.Year;
  c.Month = date.Month;
  c.Day = date.Day;
  c.Hour = static_cast<int32_t>(rest / 3600);
  c.Minute = static_cast<int32_t>(rest / 60 % 60);
  c.Second = static_cast<int32_t>(rest % 60);
  return c;
}

int64_t FromCalendar(const CalendarTime& time) {
  const int64_t monthIndex = time.Year * 12 + (time.Month - 1);
  const int64_t year = base::FloorDiv(monthIndex, 12);
  const int64_t month = monthIndex - year * 12 + 1;
  return base::DaysFromCivil(year, month, 1) * DAY + (time.Day - 1) * DAY +
         time.Hour * int64_t{3600} + time.Minute * int64_t{60} + time.Second;
}

std::string FormatDate(int64_t calendarSeconds, const std::string& format) {
  const CalendarTime c = ToCalendar(calendarSeconds);
  std::string out;
  char field[32];
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 == format.size()) {
      out += format[i];
      continue;
    }
    switch (format[++i]) {
      case 'Y':
        std::snprintf(field, sizeof field, "%04lld", static_cast<long long>(c.Year));
        break;
      case 'm':
        std::snprintf(field, sizeof field, "%02d", c.Month);
        break;
      case 'd':
        std::snprintf(field, sizeof field, "%02d", c.Day);
        break;
      case 'H':
        std::snprintf(field, sizeof field, "%02d", c.Hour);
        break;
      case 'M':
        std::snprintf(field, sizeof field, "%02d", c.Minute);
        break;
      case 'S':
        std::snprintf(field, sizeof field, "%02d", c.Second);
        break;
      case '%':
        std::snprintf(field, sizeof field, "%%");
        break;
      default:
        std::snprintf(field, sizeof field, "%%%c", format[i]);
        break;
    }
    out += field;
  }
  return out;
}

std::vector<Tick> DateTicks(int64_t from, int64_t to, DateStep step, const std::string& format,
                            size_t maxTicks) {
  std::vector<Tick> ticks;
  if (to < from || step.Count <= 0) return ticks;
  maxTicks = std::max<size_t>(maxTicks, 1);
  while (CountDateTicks(from, to, step, maxTicks) > maxTicks) {
    // Too dense for the axis: a step of the same unit, twice as long.
    step.Count *= 2;
  }
  for (int64_t t = FirstDateTick(from, step); t <= to; t = NextDateTick(t, step)) {
    ticks.push_back({static_cast<double>(t), FormatDate(t, format)});
  }
  return ticks;
}

DateStep AutoDateStep(int64_t from, int64_t to, size_t maxTicks) {
  static const DateStep kLadder[] = {
      {DateUnit::Minute, 1}, {DateUnit::Minute, 5}, {DateUnit::Minute, 15}, {DateUnit::Minute, 30},
      {DateUnit::Hour, 1},   {DateUnit::Hour, 2},   {DateUnit::Hour, 4},    {DateUnit::Hour, 6},
      {DateUnit::Hour, 12},  {DateUnit::Day, 1},    {DateUnit::Day, 2},     {DateUnit::Day, 5},
      {DateUnit::Day, 10},   {DateUnit::Month, 1},  {DateUnit::Month, 2},   {DateUnit::Month, 3},
      {DateUnit::Month, 6},  {DateUnit::Year, 1},   {DateUnit::Year, 2},    {DateUnit::Year, 5},
      {DateUnit::Year, 10}};
  maxTicks = std::max<size_t>(maxTicks, 1);
  for (const DateStep& s : kLadder) {
    // A cheap estimate first, the exact count near the limit.
    if (static_cast<double>(to - from) / static_cast<double>(StepSeconds(s)) >
        static_cast<double>(maxTicks) + 2) {
      continue;
    }
    if (CountDateTicks(from, to, s, maxTicks) <= maxTicks) return s;
  }
  DateStep years{DateUnit::Year, 10};
  while (CountDateTicks(from, to, years, maxTicks) > maxTicks) years.Count *= 2;
  return years;
}

const TimeInterval& GetTimeInterval(size_t index) {
  static const TimeInterval kIntervals[TIME_INTERVAL_COUNT] = {
      {86400, "TIME_INTERVAL_01_DAY", "%m-%d %H:%M", {DateUnit::Hour, 4}},
      {604800, "TIME_INTERVAL_01_WEEK", "%Y-%m-%d", {DateUnit::Day, 1}},
      {2592000, "TIME_INTERVAL_01_MONTH", "%Y-%m-%d", {DateUnit::Day, 5}},
      {7776000, "TIME_INTERVAL_03_MONTHS", "%Y-%m-%d", {DateUnit::Day, 10}},
      {15552000, "TIME_INTERVAL_06_MONTHS", "%Y-%m-%d", {DateUnit::Day, 30}},
      {31536000, "TIME_INTERVAL_01_YEAR", "%Y-%m-%d", {DateUnit::Month, 2}},
      {0, "TIME_INTERVAL_REAL_TIME", "", {DateUnit::Second, 1}},
  };
  return kIntervals[std::min(index, TIME_INTERVAL_COUNT - 1)];
}

CAxisMap::CAxisMap(double valueFrom, double valueTo, double pixelFrom, double pixelTo)
    : m_ValueFrom(valueFrom),
      m_PixelFrom(pixelFrom),
      m_PixelTo(pixelTo),
      m_Scale(valueTo != valueFrom ? (pixelTo - pixelFrom) / (valueTo - valueFrom) : 0) {}

double CAxisMap::ToPixel(double value) const {
  return m_PixelFrom + (value - m_ValueFrom) * m_Scale;
}

double CAxisMap::ToValue(double pixel) const {
  return m_Scale != 0 ? m_ValueFrom + (pixel - m_PixelFrom) / m_Scale : m_ValueFrom;
}

int32_t CAxisMap::ToPixelClamped(double value) const {
  const double lo = std::min(m_PixelFrom, m_PixelTo), hi = std::max(m_PixelFrom, m_PixelTo);
  double p = ToPixel(value);
  if (std::isnan(p)) p = lo;
  return static_cast<int32_t>(std::lround(std::clamp(p, lo, hi)));
}

std::optional<size_t> NearestPoint(const std::vector<PixelPoint>& points, int32_t x, int32_t y,
                                   int32_t radius) {
  if (radius < 0) return std::nullopt;
  auto first = std::lower_bound(points.begin(), points.end(), x - radius,
                                [](const PixelPoint& p, int32_t v) { return p.X < v; });
  std::optional<size_t> best;
  int64_t bestDistance = int64_t{radius} * radius;
  for (auto it = first; it != points.end() && it->X <= x + radius; ++it) {
    const int64_t dx = it->X - x, dy = it->Y - y;
    const int64_t d = dx * dx + dy * dy;
    if (d <= bestDistance && (!best || d < bestDistance)) {
      best = static_cast<size_t>(it - points.begin());
      bestDistance = d;
    }
  }
  return best;
}

ChartLayout LayOutChart(const ChartLayoutInput& in) {
  ChartLayout l;
  const int32_t pad = std::max(in.Padding, 0);
  int32_t top = pad, left = pad, right = in.Width - pad, bottom = in.Height - pad;
  if (in.TitleHeight > 0) {
    l.Title = {left, top, right, top + in.TitleHeight};
    top += in.TitleHeight + pad / 2;
  }
  if (in.TopLabelHeight > 0) {
    l.TopAxis = {left, top, right, top + in.TopLabelHeight};
    top += in.TopLabelHeight + pad / 2;
  }
  if (in.BottomLabelHeight > 0) {
    l.BottomAxis = {left, bottom - in.BottomLabelHeight, right, bottom};
    bottom -= in.BottomLabelHeight + pad / 2;
  }
  const int32_t leftWidth = (in.LeftLabelWidth > 0 ? in.LeftLabelWidth + pad / 2 : 0) +
                            (in.LeftTitleWidth > 0 ? in.LeftTitleWidth + pad / 2 : 0);
  if (leftWidth > 0) {
    l.LeftAxis = {left, top, left + leftWidth, bottom};
    left += leftWidth;
  }
  // Labels of the date axis reach half their width past the plot's ends.
  right -= pad;
  if (right <= left) right = left + 1;
  if (bottom <= top) bottom = top + 1;
  l.Plot = {left, top, right, bottom};
  l.TopAxis.Left = l.BottomAxis.Left = left;
  l.TopAxis.Right = l.BottomAxis.Right = right;
  l.LeftAxis.Top = top;
  l.LeftAxis.Bottom = bottom;
  l.Legend = in.Legend;
  return l;
}

ChartPart HitTest(const ChartLayout& l, int32_t x, int32_t y) {
  // The legend floats above the plot, so it is tested first.
  if (l.Legend.Contains(x, y)) return ChartPart::Legend;
  if (l.Plot.Contains(x, y)) return ChartPart::Plot;
  if (l.Title.Contains(x, y)) return ChartPart::Title;
  if (l.LeftAxis.Contains(x, y)) return ChartPart::LeftAxis;
  if (l.TopAxis.Contains(x, y)) return ChartPart::TopAxis;
  if (l.BottomAxis.Contains(x, y)) return ChartPart::BottomAxis;
  return ChartPart::None;
}

LiveScale ComputeLiveScale(uint32_t peakRate) {
  if (peakRate < 100) return {110, 1};
  if (peakRate <= 1024) return {static_cast<double>(peakRate) + 10, 2};
  return {static_cast<double>(peakRate >> 10) + 10, 10};
}

std::optional<size_t> LiveLabelPoint(size_t temperatureCount, size_t rateCount) {
  if (temperatureCount == 0) return std::nullopt;
  const size_t last = temperatureCount - 1;
  if (rateCount < 2) return last;
  return std::min(rateCount - 2, last);
}

}  // namespace chart
