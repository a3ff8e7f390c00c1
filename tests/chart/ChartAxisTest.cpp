// The chart's arithmetic: value and date ticks with their labels, the
// value axis's margins, pixels, hit testing and the live view's scale.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "chart/ChartAxis.h"

namespace {

using chart::DateStep;
using chart::DateUnit;

int64_t At(const char* text) {
  // "YYYY-MM-DD hh:mm:ss"
  chart::CalendarTime c;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  std::sscanf(text, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
  c.Year = y;
  c.Month = mo;
  c.Day = d;
  c.Hour = h;
  c.Minute = mi;
  c.Second = s;
  return chart::FromCalendar(c);
}

std::vector<std::string> Labels(const std::vector<chart::Tick>& ticks) {
  std::vector<std::string> labels;
  for (const chart::Tick& t : ticks) labels.push_back(t.Label);
  return labels;
}

TEST(ChartAxis, ValueAxisRangeWidensByTheItemsMargins) {
  struct Case {
    double Smallest, Largest, Bottom, Top;
    chart::ValueRange Want;
  } cases[] = {
      {5, 5, 0, 10, {5, 15}},                       // spare blocks, constant 5
      {1000, 1200, 100, 100, {900, 1300}},          // power-on hours
      {35, 41, 1, 1, {34, 42}},                     // temperature
      {7, 7, 0, 0, {6, 8}},                         // no room at all: widened
      {9, 3, 1, 1, {2, 10}},                        // given the wrong way round
      {0, 4294967295.0, 0, 50, {0, 4294967345.0}},  // a raw counter near 2^32
      {-5, 3, 1, 1, {-6, 4}},                       // below freezing
  };
  for (const Case& c : cases) {
    EXPECT_EQ(chart::AxisRange(c.Smallest, c.Largest, c.Bottom, c.Top), c.Want)
        << c.Smallest << ".." << c.Largest;
  }
}

TEST(ChartAxis, ValueTicksAreRoundAndFitTheAxis) {
  struct Case {
    chart::ValueRange Range;
    double Fixed;
    size_t MaxTicks;
    std::vector<std::string> Want;
  } cases[] = {
      {{34, 42}, 0, 10, {"34", "35", "36", "37", "38", "39", "40", "41", "42"}},
      {{34, 42}, 0, 5, {"34", "36", "38", "40", "42"}},
      {{900, 1300}, 0, 6, {"900", "1000", "1100", "1200", "1300"}},
      {{0, 110}, 0, 6, {"0", "20", "40", "60", "80", "100"}},
      {{0, 110}, 0, 4, {"0", "50", "100"}},
      {{0, 110}, 0, 12, {"0", "10", "20", "30", "40", "50", "60", "70", "80", "90", "100", "110"}},
      {{-6, 4}, 0, 6, {"-6", "-4", "-2", "0", "2", "4"}},
      {{0, 1}, 0, 6, {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}},
      {{0.001, 0.0042}, 0, 5, {"0.001", "0.002", "0.003", "0.004"}},
      {{0, 5}, 1, 10, {"0", "1", "2", "3", "4", "5"}},             // fixed step
      {{0, 500}, 1, 6, {"0", "100", "200", "300", "400", "500"}},  // fixed step too dense
      {{-0.05, 0.05}, 0.05, 10, {"-0.05", "0.00", "0.05"}},
      {{5, 5}, 0, 5, {"5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Range.Min) + ".." + std::to_string(c.Range.Max));
    const std::vector<chart::Tick> ticks = chart::ValueTicks(c.Range, c.Fixed, c.MaxTicks);
    EXPECT_EQ(Labels(ticks), c.Want);
    EXPECT_LE(ticks.size(), std::max<size_t>(c.MaxTicks, 2));
  }
}

TEST(ChartAxis, DateLabelsInTheIntervalsFormats) {
  struct Case {
    const char* Time;
    const char* Format;
    const char* Want;
  } cases[] = {
      {"2026-03-01 16:05:09", "%m-%d %H:%M", "03-01 16:05"},
      {"2026-03-01 16:05:09", "%Y-%m-%d", "2026-03-01"},
      {"2024-02-29 23:59:59", "%Y/%m/%d %H:%M:%S", "2024/02/29 23:59:59"},
      {"2000-12-31 00:00:00", "%d.%m.%Y 100%%", "31.12.2000 100%"},
      {"1969-12-31 23:00:00", "%Y-%m-%d %H", "1969-12-31 23"},
      {"2026-01-01 00:00:00", "%q%", "%q%"},
  };
  for (const Case& c : cases) EXPECT_EQ(chart::FormatDate(At(c.Time), c.Format), c.Want) << c.Time;
  // Fields that run over carry into the next month or year.
  EXPECT_EQ(chart::FromCalendar({2025, 13, 1, 0, 0, 0}), At("2026-01-01 00:00:00"));
  EXPECT_EQ(chart::FromCalendar({2026, 2, 29, 0, 0, 0}), At("2026-03-01 00:00:00"));
}

TEST(ChartAxis, DateTicksOfEachInterval) {
  struct Case {
    size_t Interval;
    const char* From;
    const char* To;
    std::vector<std::string> Want;
  } cases[] = {
      // One day, every 4 hours on the clock.
      {0,
       "2026-03-01 09:10:00",
       "2026-03-02 09:10:00",
       {"03-01 12:00", "03-01 16:00", "03-01 20:00", "03-02 00:00", "03-02 04:00", "03-02 08:00"}},
      // One week, every midnight.
      {1,
       "2026-03-01 09:10:00",
       "2026-03-08 09:10:00",
       {"2026-03-02", "2026-03-03", "2026-03-04", "2026-03-05", "2026-03-06", "2026-03-07",
        "2026-03-08"}},
      // A year, every 2 months on the 1st, across the new year.
      {5,
       "2025-06-15 00:00:00",
       "2026-06-15 00:00:00",
       {"2025-07-01", "2025-09-01", "2025-11-01", "2026-01-01", "2026-03-01", "2026-05-01"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Interval);
    const chart::TimeInterval& in = chart::GetTimeInterval(c.Interval);
    EXPECT_EQ(Labels(chart::DateTicks(At(c.From), At(c.To), in.Step, in.Format, 50)), c.Want);
  }
  // Every interval's ticks sit at whole steps and fit its window.
  for (size_t i = 0; i < chart::TIME_INTERVAL_LIVE; ++i) {
    const chart::TimeInterval& in = chart::GetTimeInterval(i);
    const int64_t to = At("2026-03-01 12:34:56"), from = to - in.Seconds;
    const std::vector<chart::Tick> ticks = chart::DateTicks(from, to, in.Step, in.Format, 50);
    ASSERT_GE(ticks.size(), 4u) << i;
    EXPECT_LE(ticks.size(), 13u) << i;
    for (const chart::Tick& t : ticks) {
      const int64_t s = static_cast<int64_t>(t.Value);
      EXPECT_GE(s, from);
      EXPECT_LE(s, to);
      EXPECT_EQ(s % 3600, 0) << t.Label;
    }
  }
  // The same tick stays put as the window moves on.
  const chart::TimeInterval& month = chart::GetTimeInterval(2);
  const auto a = chart::DateTicks(At("2026-03-01 00:00:00"), At("2026-03-31 00:00:00"), month.Step,
                                  month.Format, 50);
  const auto b = chart::DateTicks(At("2026-03-02 07:00:00"), At("2026-04-01 07:00:00"), month.Step,
                                  month.Format, 50);
  ASSERT_FALSE(a.empty());
  EXPECT_NE(std::find(b.begin(), b.end(), a.back()), b.end());
  // Too many ticks for the axis: the step doubles.
  EXPECT_EQ(chart::DateTicks(At("2026-03-01 00:00:00"), At("2026-03-31 00:00:00"),
                             {DateUnit::Hour, 1}, "%H", 40)
                    .size() <= 40,
            true);
  EXPECT_TRUE(chart::DateTicks(10, 5, {DateUnit::Day, 1}, "%d", 10).empty());
}

TEST(ChartAxis, AutomaticDateStep) {
  struct Case {
    const char* From;
    const char* To;
    size_t MaxTicks;
    DateStep Want;
  } cases[] = {
      {"2026-03-01 00:00:00", "2026-03-01 00:10:00", 12, {DateUnit::Minute, 1}},
      {"2026-03-01 00:00:00", "2026-03-02 00:00:00", 7, {DateUnit::Hour, 4}},
      {"2026-03-01 00:00:00", "2026-03-08 00:00:00", 8, {DateUnit::Day, 1}},
      {"2026-01-01 00:00:00", "2026-12-31 00:00:00", 7, {DateUnit::Month, 2}},
      {"2021-01-01 00:00:00", "2026-01-01 00:00:00", 6, {DateUnit::Year, 1}},
      {"1900-01-01 00:00:00", "2100-01-01 00:00:00", 5, {DateUnit::Year, 40}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(chart::AutoDateStep(At(c.From), At(c.To), c.MaxTicks), c.Want) << c.From << c.To;
  }
}

TEST(ChartAxis, MapsSamplesToPixelsAndFindsThePointUnderTheMouse) {
  // A plot 100 pixels high from y = 110 (bottom) to y = 10, values 0..50.
  const chart::CAxisMap y(0, 50, 110, 10);
  const chart::CAxisMap x(1000, 2000, 20, 220);
  struct Case {
    const chart::CAxisMap* Map;
    double Value, Pixel;
    int32_t Clamped;
  } cases[] = {
      {&y, 0, 110, 110},    {&y, 50, 10, 10},         {&y, 25, 60, 60},
      {&y, 100, -90, 10},   {&y, -1e300, 2e300, 110}, {&x, 1000, 20, 20},
      {&x, 1500, 120, 120}, {&x, 2000, 220, 220},     {&x, 999, 19.8, 20},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(c.Map->ToPixel(c.Value), c.Pixel) << c.Value;
    EXPECT_EQ(c.Map->ToPixelClamped(c.Value), c.Clamped) << c.Value;
  }
  EXPECT_DOUBLE_EQ(y.ToValue(60), 25);
  EXPECT_DOUBLE_EQ(x.ToValue(120), 1500);
  const chart::CAxisMap flat(5, 5, 0, 100);  // a range of one value
  EXPECT_DOUBLE_EQ(flat.ToPixel(5), 0);
  EXPECT_DOUBLE_EQ(flat.ToValue(50), 5);

  const std::vector<chart::PixelPoint> points = {{10, 50}, {20, 40}, {21, 90}, {30, 45}, {60, 50}};
  struct Hit {
    int32_t X, Y, Radius;
    std::optional<size_t> Want;
  } hits[] = {
      {20, 41, 5, 1},
      {21, 88, 5, 2},
      {24, 42, 6, 1},
      {26, 44, 6, 3},
      {45, 50, 5, std::nullopt},
      {60, 50, 0, 4},
      {0, 0, 3, std::nullopt},
      {9, 50, -1, std::nullopt},
  };
  for (const Hit& h : hits) {
    EXPECT_EQ(chart::NearestPoint(points, h.X, h.Y, h.Radius), h.Want) << h.X << "," << h.Y;
  }
  EXPECT_EQ(chart::NearestPoint({}, 1, 1, 10), std::nullopt);
}

TEST(ChartAxis, LayoutAndHitTesting) {
  chart::ChartLayoutInput in;
  in.Width = 978;
  in.Height = 550;
  in.TitleHeight = 20;
  in.TopLabelHeight = 14;
  in.LeftLabelWidth = 40;
  in.LeftTitleWidth = 14;
  in.BottomLabelHeight = 0;
  in.Legend = {700, 480, 900, 520};
  const chart::ChartLayout l = chart::LayOutChart(in);
  EXPECT_EQ(l.Title, (chart::Rect{8, 8, 970, 28}));
  EXPECT_EQ(l.Plot.Top, l.TopAxis.Bottom + 4);
  EXPECT_EQ(l.Plot.Left, 8 + 44 + 18);
  EXPECT_EQ(l.Plot.Bottom, 542);
  struct Case {
    int32_t X, Y;
    chart::ChartPart Want;
  } cases[] = {
      {500, 15, chart::ChartPart::Title},    {500, 40, chart::ChartPart::TopAxis},
      {30, 300, chart::ChartPart::LeftAxis}, {500, 300, chart::ChartPart::Plot},
      {800, 500, chart::ChartPart::Legend},  {2, 2, chart::ChartPart::None},
      {977, 300, chart::ChartPart::None},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(chart::HitTest(l, c.X, c.Y), c.Want) << c.X << "," << c.Y;
  }
  // A window too small for its labels still gets a plot.
  in.Width = 30;
  in.Height = 20;
  const chart::ChartLayout tiny = chart::LayOutChart(in);
  EXPECT_GE(tiny.Plot.Width(), 1);
  EXPECT_GE(tiny.Plot.Height(), 1);
}

TEST(ChartAxis, LiveViewScaleAndLabelPoint) {
  struct Case {
    uint32_t Peak;
    double Top;
    int32_t Scale;
  } cases[] = {
      {0, 110, 1},     {50, 110, 1},   {99, 110, 1},        {100, 110, 2},
      {1024, 1034, 2}, {1025, 11, 10}, {5000000, 4892, 10}, {0xFFFFFFFFu, 4194313, 10},
  };
  for (const Case& c : cases) {
    const chart::LiveScale s = chart::ComputeLiveScale(c.Peak);
    EXPECT_DOUBLE_EQ(s.Top, c.Top) << c.Peak;
    EXPECT_EQ(s.TemperatureScale, c.Scale) << c.Peak;
  }
  // The label goes on a point that exists: never before the first or after
  // the last temperature, and nowhere without temperatures.
  struct Label {
    size_t Temperatures, Rates;
    std::optional<size_t> Want;
  } labels[] = {
      {0, 0, std::nullopt},
      {0, 5, std::nullopt},
      {1, 0, 0},
      {5, 0, 4},
      {5, 1, 4},
      {5, 2, 0},
      {5, 4, 2},
      {3, 51, 2},
  };
  for (const Label& l : labels) {
    EXPECT_EQ(chart::LiveLabelPoint(l.Temperatures, l.Rates), l.Want)
        << l.Temperatures << " " << l.Rates;
  }
}

}  // namespace
