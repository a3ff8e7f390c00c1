// Arbitrary bytes as a history item file, read for a window chosen by the
// first bytes. Whatever the bytes, the reader must end, keep its promises
// (no more points than asked for, in time order, inside the window, the
// newest reading last, within the smallest and largest) and, for a file
// whose well-formed lines are in time order, find exactly the readings a
// reading of the whole file finds: the search for the window's start may
// skip only lines older than the window.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "monitor/HistoryCsv.h"
#include "monitor/HistoryWindow.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  // Window: from 2026/03/01 00:00:00 on, shifted by up to ~9 hours, lasting
  // up to ~18 hours; a budget of 1 to 16 points; one of four value rules.
  const int64_t base = *monitor::ParseHistoryTime("2026/03/01 00:00:00");
  const int64_t from = base + (data[0] | (data[1] << 8)) / 2;
  const int64_t to = from + (data[2] << 8);
  const size_t budget = 1 + (data[3] & 15);
  monitor::HistoryValueRule rule;
  rule.Unsigned32 = (data[3] & 16) != 0;
  rule.NegativeIsUnknown = (data[3] & 32) != 0;
  if (data[3] & 64) rule.UnknownValue = -127;
  data += 4;
  size -= 4;

  os::CMemoryReadableFile file(std::vector<uint8_t>(data, data + size));
  std::optional<monitor::HistoryWindow> window =
      monitor::ReadHistoryWindow(file, {from, to, budget, rule});
  if (!window) std::abort();
  const monitor::HistoryWindow& w = *window;
  if (w.Points.size() > budget || w.Points.size() > w.SampleCount) std::abort();
  if (w.SampleCount > 0 && w.Points.empty()) std::abort();
  for (size_t i = 0; i < w.Points.size(); ++i) {
    const monitor::HistorySample& p = w.Points[i];
    if (p.Time < from || p.Time > to || p.Value < w.Min || p.Value > w.Max) std::abort();
    if (i > 0 && p.Time < w.Points[i - 1].Time) std::abort();
  }

  // The same file read whole, line by line.
  const monitor::HistoryReadResult all = monitor::ReadHistoryCsv(data, size);
  const bool inOrder =
      std::is_sorted(all.Points.begin(), all.Points.end(),
                     [](const monitor::HistoryPoint& a, const monitor::HistoryPoint& b) {
                       return a.Time < b.Time;
                     });
  if (!inOrder) return 0;
  std::vector<monitor::HistorySample> want;
  for (const monitor::HistoryPoint& p : all.Points) {
    if (p.Time < from || p.Time > to) continue;
    if (std::optional<int64_t> v = rule.Read(p.Value)) want.push_back({p.Time, *v});
  }
  if (w.SampleCount != want.size()) std::abort();
  if (want.size() <= budget && w.Points != want) std::abort();
  if (!want.empty() && !(w.Points.back() == want.back())) std::abort();
  return 0;
}
