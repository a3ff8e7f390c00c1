// Arbitrary bytes as a history item file. The reader must take any input;
// what it keeps must be valid stamps and values; and a record appended the
// way the log appends (the cut line marked and ended first)
// must read back as one more point, whatever came before; the cut line is
// never read as a value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "monitor/HistoryCsv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  monitor::HistoryReadResult r = monitor::ReadHistoryCsv(data, size);
  size_t lines = 0;
  for (size_t i = 0; i < size; ++i) lines += data[i] == '\n' ? 1 : 0;
  if (r.Points.size() + r.SkippedLines > lines) std::abort();
  const bool torn = size > 0 && data[size - 1] != '\n';
  if (r.TornTail != torn) std::abort();
  // Years 0000-9999, from 1970 counted in seconds.
  constexpr int64_t LOWEST = -62167219200, HIGHEST = 253402300800;
  for (const auto& p : r.Points) {
    if (p.Time < LOWEST || p.Time >= HIGHEST) std::abort();
  }

  std::string file(reinterpret_cast<const char*>(data), size);
  if (torn) file += " [incomplete]\r\n";
  file += "2026/03/01 12:00:00,-42\r\n";
  monitor::HistoryReadResult after =
      monitor::ReadHistoryCsv(reinterpret_cast<const uint8_t*>(file.data()), file.size());
  if (after.TornTail || after.Points.size() != r.Points.size() + 1) std::abort();
  for (size_t i = 0; i < r.Points.size(); ++i) {
    if (!(after.Points[i] == r.Points[i])) std::abort();
  }
  if (after.Points.back().Value != -42 ||
      after.Points.back().Time != *monitor::ParseHistoryTime("2026/03/01 12:00:00")) {
    std::abort();
  }
  return 0;
}
