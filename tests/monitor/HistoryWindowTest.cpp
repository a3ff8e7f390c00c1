// Reading a window of a history item file: the search for the window's
// start on generated and damaged files, the value rules of the items, and
// the reduction to the points the chart draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "monitor/GraphItems.h"
#include "monitor/HistoryCsv.h"
#include "monitor/HistoryWindow.h"

namespace {

using monitor::HistorySample;

const int64_t T0 = *monitor::ParseHistoryTime("2026/01/01 00:00:00");

// Calendar seconds count like seconds of UTC, so gmtime gives their fields.
std::string Stamp(int64_t t) {
  const std::time_t tt = static_cast<std::time_t>(t);
  return monitor::FormatHistoryTime(*std::gmtime(&tt));
}

std::string Line(int64_t t, int64_t value, const char* end = "\r\n") {
  return Stamp(t) + "," + std::to_string(value) + end;
}

// `count` records `step` seconds apart from T0, value = index % 97.
std::string Generated(size_t count, int64_t step) {
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += Line(T0 + static_cast<int64_t>(i) * step, static_cast<int64_t>(i % 97));
  }
  return text;
}

monitor::HistoryWindow Read(const std::string& text, int64_t from, int64_t to,
                            size_t maxPoints = 1000000, monitor::HistoryValueRule rule = {}) {
  os::CMemoryReadableFile file(std::vector<uint8_t>(text.begin(), text.end()));
  monitor::HistoryWindowRequest request{from, to, maxPoints, rule};
  std::optional<monitor::HistoryWindow> window = monitor::ReadHistoryWindow(file, request);
  EXPECT_TRUE(window.has_value());
  return window.value_or(monitor::HistoryWindow{});
}

std::vector<int64_t> Values(const monitor::HistoryWindow& w) {
  std::vector<int64_t> v;
  for (const HistorySample& s : w.Points) v.push_back(s.Value);
  return v;
}

TEST(HistoryWindow, FindsEveryWindowOfAGeneratedFile) {
  // 40,000 records 150 s apart (~69 days, ~1 MB): the search has work to do.
  const size_t count = 40000;
  const int64_t step = 150;
  const std::string text = Generated(count, step);
  const int64_t last = T0 + static_cast<int64_t>(count - 1) * step;
  struct Case {
    const char* Name;
    int64_t From, To;
  } cases[] = {
      {"whole file", T0 - 86400, last + 86400},
      {"starts on a record", T0 + 1000 * step, last},
      {"starts between records", T0 + 1000 * step + 1, last},
      {"last day", last - 86400, last},
      {"only the last record", last, last + 10},
      {"only the first record", T0 - 5, T0},
      {"middle", T0 + 12345 * step - 7, T0 + 23456 * step + 7},
      {"before the file", T0 - 10 * 86400, T0 - 1},
      {"after the file", last + 1, last + 86400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<int64_t> want;
    for (size_t i = 0; i < count; ++i) {
      const int64_t t = T0 + static_cast<int64_t>(i) * step;
      if (t >= c.From && t <= c.To) want.push_back(static_cast<int64_t>(i % 97));
    }
    const monitor::HistoryWindow w = Read(text, c.From, c.To);
    EXPECT_EQ(Values(w), want);
    EXPECT_EQ(w.SampleCount, want.size());
    EXPECT_EQ(w.SkippedLines, 0u);
    if (!w.Points.empty()) {
      EXPECT_GE(w.Points.front().Time, c.From);
      EXPECT_LE(w.Points.back().Time, c.To);
    }
  }
  // The last day is found without reading the file, and a day in the
  // middle without reading the rest of it.
  const monitor::HistoryWindow lastDay = Read(text, last - 86400, last);
  EXPECT_LT(lastDay.BytesRead, text.size() / 5);
  const monitor::HistoryWindow middleDay = Read(text, T0 + 20000 * step, T0 + 20576 * step);
  EXPECT_EQ(middleDay.SampleCount, 577u);
  EXPECT_LT(middleDay.BytesRead, text.size() / 2);
}

TEST(HistoryWindow, SkipsDamagedLinesAndKeepsTheRest) {
  const int64_t from = T0, to = T0 + 86400;
  auto at = [](int64_t minutes, int64_t value) { return Line(T0 + minutes * 60, value); };
  struct Case {
    const char* Name;
    std::string Text;
    std::vector<int64_t> Want;
    size_t Skipped;
  } cases[] = {
      {"clean, LF and CRLF", at(1, 1) + Stamp(T0 + 120) + ",2\n" + at(3, 3), {1, 2, 3}, 0},
      {"torn last line", at(1, 1) + at(2, 2) + Stamp(T0 + 180) + ",3", {1, 2}, 1},
      {"torn inside the stamp", at(1, 1) + "2026/01/0", {1}, 1},
      {"cut line marked by the log",
       at(1, 1) + Stamp(T0 + 90) + ",1 [incomplete]\r\n" + at(2, 2),
       {1, 2},
       1},
      {"blank lines", "\r\n" + at(1, 1) + "\n\n\r\n" + at(2, 2), {1, 2}, 0},
      {"garbage line", at(1, 1) + "hello, world\r\n" + at(2, 2), {1, 2}, 1},
      {"date that does not exist", at(1, 1) + "2026/02/30 10:00:00,9\r\n" + at(2, 2), {1, 2}, 1},
      {"hour 24", at(1, 1) + "2026/01/01 24:00:00,9\r\n" + at(2, 2), {1, 2}, 1},
      {"value not a number", at(1, 1) + Stamp(T0 + 90) + ",12a\r\n" + at(2, 2), {1, 2}, 1},
      {"value beyond 32 bits", at(1, 1) + Stamp(T0 + 90) + ",4294967296\r\n" + at(2, 2), {1, 2}, 1},
      {"out of order", at(1, 1) + at(5, 5) + at(3, 3) + at(6, 6), {1, 5, 6}, 1},
      {"stamped after the window", at(1, 1) + Line(to + 1, 9) + at(2, 2), {1, 2}, 0},
      {"older lines are not damage", Line(from - 60, 9) + at(1, 1), {1}, 0},
      {"NUL bytes", at(1, 1) + std::string("\0\0\0\n", 4) + at(2, 2), {1, 2}, 1},
      {"overlong line", at(1, 1) + std::string(100000, 'x') + "\n" + at(2, 2), {1, 2}, 1},
      {"overlong torn tail", at(1, 1) + std::string(300000, 'x'), {1}, 1},
      {"empty file", "", {}, 0},
      {"signed values",
       at(1, -5) + at(2, -2147483648LL) + at(3, 2147483647),
       {-5, -2147483648LL, 2147483647},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const monitor::HistoryWindow w = Read(c.Text, from, to);
    EXPECT_EQ(Values(w), c.Want);
    EXPECT_EQ(w.SkippedLines, c.Skipped);
  }
}

TEST(HistoryWindow, DamageWhereTheSearchLooksDoesNotHideLines) {
  // Blocks of junk (longer than one look of the search) spread over a
  // large file, and a stretch recorded with the clock set back: every good
  // line of the window is still found.
  std::string text;
  std::vector<std::pair<int64_t, int64_t>> good;
  int64_t t = T0;
  for (int i = 0; i < 30000; ++i) {
    if (i % 5000 == 2500) text += std::string(9000, '#') + "\n";
    if (i % 7000 == 3500) text += std::string(5000, 'z');  // junk run into the next line
    t += 150;
    text += Line(t, i);
    good.emplace_back(t, i);
  }
  // Lines that sit on a junk run's end are lost with it.
  const monitor::HistoryWindow all = Read(text, T0, t);
  for (const int64_t from : {T0 + 150 * 7000, T0 + 150 * 12500, T0 + 150 * 24999}) {
    SCOPED_TRACE(from);
    const monitor::HistoryWindow w = Read(text, from, t);
    std::vector<int64_t> want;
    for (const HistorySample& s : all.Points) {
      if (s.Time >= from) want.push_back(s.Value);
    }
    EXPECT_EQ(Values(w), want);
  }
  EXPECT_GE(all.SampleCount, good.size() - 5);
}

TEST(HistoryWindow, ItemsReadTheirValuesAndSkipUnknownMarkers) {
  struct Case {
    int32_t Code;
    std::vector<int64_t> Written;
    std::vector<int64_t> Plotted;
  } cases[] = {
      {300, {35, -127, -5, 0}, {35, -5, 0}},                            // temperature
      {301, {1000, -1, 1001}, {1000, 1001}},                            // power-on hours
      {302, {99, -1, 98}, {99, 98}},                                    // life
      {303, {100, 99999, 99, -1}, {100, 99}},                           // spare blocks
      {304, {12, 99999, -1}, {12, 4294967295LL}},                       // average erase count
      {305, {0, 8, 65535}, {0, 8, 65535}},                              // reallocated sectors
      {307, {-1, 5000, 2147483647}, {5000, 2147483647}},                // host writes
      {0x05, {-1, -2147483648LL, 7}, {4294967295LL, 2147483648LL, 7}},  // raw attribute
      {0xC5, {1, 2}, {1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Code);
    std::optional<monitor::GraphItem> item = monitor::FindGraphItem(c.Code);
    ASSERT_TRUE(item.has_value());
    std::string text;
    for (size_t i = 0; i < c.Written.size(); ++i) {
      text += Line(T0 + static_cast<int64_t>(i) * 150, c.Written[i]);
    }
    const monitor::HistoryWindow w = Read(text, T0, T0 + 86400, 1000, item->Rule);
    EXPECT_EQ(Values(w), c.Plotted);
    EXPECT_EQ(w.UnknownValues, c.Written.size() - c.Plotted.size());
    if (!c.Plotted.empty()) {
      EXPECT_EQ(w.Min, *std::min_element(c.Plotted.begin(), c.Plotted.end()));
      EXPECT_EQ(w.Max, *std::max_element(c.Plotted.begin(), c.Plotted.end()));
    }
  }
  for (const int32_t code : {-1, 256, 299, 313}) EXPECT_FALSE(monitor::FindGraphItem(code));
  EXPECT_EQ(monitor::FindGraphItem(0x0C)->Stem, "0C");
  for (const int32_t code : monitor::GRAPH_COMBO_CODES) {
    EXPECT_FALSE(monitor::FindGraphItem(code)->LabelKey.empty()) << code;
  }
  EXPECT_EQ(monitor::GraphItemPath("/h/Smart-", "WDC WD10WX1", *monitor::FindGraphItem(300), '/'),
            "/h/Smart-/WDC WD10WX1/Temperature.csv");
  // The folder the log writes for a name that cannot be a folder.
  EXPECT_EQ(monitor::GraphItemPath("C:\\S\\", "A/B", *monitor::FindGraphItem(5), '\\'),
            "C:\\S\\Disk-412F42\\05.csv");
}

TEST(HistoryWindow, DiskComboEntries) {
  CDiskArray disks;
  ATA_SMART_INFO a;
  a.Model = "WDC WD10EZEX";
  a.DriveMapLine = "C: D:";
  ATA_SMART_INFO b;
  b.Model = "ZaziDavod 480";
  b.PhysicalDriveId = 3;
  ATA_SMART_INFO c;
  c.Model = "X";
  c.PhysicalDriveId = -1;
  disks.Add(a);
  disks.Add(b);
  disks.Add(c);
  EXPECT_EQ(monitor::GraphDiskEntries(disks),
            (std::vector<std::string>{"(1) WDC WD10EZEX (C: D:)", "(2) Tessaly 2.5\" SSD (Disk 3)",
                                      "(3) X "}));
}

TEST(HistoryWindow, ReductionKeepsExtremesAndTheNewestSample) {
  // A week of records every 150 s (4,032) with a flat value, one spike up
  // and one down lasting a single record each, and a last value that is
  // neither the smallest nor the largest of its bucket.
  const int64_t week = 7 * 86400;
  const int64_t to = T0 + week;
  std::string text;
  int64_t newest = 0;
  for (int64_t t = T0 + 150; t <= to; t += 150) {
    int64_t v = 40;
    if (t == T0 + 150 * 1000) v = 90;
    if (t == T0 + 150 * 3000) v = 5;
    if (t == to - 300) v = 60;
    if (t == to - 150) v = 10;
    if (t == to) v = 41;
    text += Line(t, v);
    newest = t;
  }
  const monitor::HistoryWindow w = Read(text, T0, to, 1000);
  EXPECT_EQ(w.SampleCount, 4032u);
  EXPECT_LE(w.Points.size(), 1000u);
  EXPECT_GT(w.Points.size(), 400u);  // the whole window, not its first part
  EXPECT_EQ(w.Points.back(), (HistorySample{newest, 41}));
  EXPECT_EQ(w.Points.front().Time, T0 + 150);
  auto has = [&](int64_t t, int64_t v) {
    return std::find(w.Points.begin(), w.Points.end(), HistorySample{t, v}) != w.Points.end();
  };
  EXPECT_TRUE(has(T0 + 150 * 1000, 90));
  EXPECT_TRUE(has(T0 + 150 * 3000, 5));
  EXPECT_TRUE(has(to - 300, 60));
  EXPECT_TRUE(has(to - 150, 10));
  EXPECT_EQ(w.Min, 5);
  EXPECT_EQ(w.Max, 90);
  EXPECT_TRUE(std::is_sorted(
      w.Points.begin(), w.Points.end(),
      [](const HistorySample& a, const HistorySample& b) { return a.Time < b.Time; }));
  // At most as many samples as points: all of them, unchanged.
  const monitor::HistoryWindow small = Read(Generated(1000, 150), T0, T0 + week, 1000);
  EXPECT_EQ(small.Points.size(), 1000u);
  EXPECT_EQ(small.Points[999].Value, 999 % 97);
}

TEST(HistoryWindow, ReductionBoundsForAnyPointBudget) {
  for (const size_t budget : {1u, 2u, 3u, 4u, 7u, 1000u}) {
    SCOPED_TRACE(budget);
    monitor::CHistoryDecimator d(0, 99999, budget);
    for (int64_t t = 0; t < 100000; t += 7) d.Add({t, (t * 7919) % 1000});
    const std::vector<HistorySample> points = d.Points();
    EXPECT_LE(points.size(), budget);
    ASSERT_FALSE(points.empty());
    EXPECT_EQ(points.back().Time, 99995);
  }
}

}  // namespace
