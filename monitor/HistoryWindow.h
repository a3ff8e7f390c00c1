// Reading a time window of a history item file for the graph, and reducing
// it to the points a chart can draw.
//
// Item files are appended record by record in time order and grow for
// years (a five-year file of one record every 150 s holds about a million
// lines), so the reader finds the window's first line by a binary search on
// byte offsets, resynchronising at line starts, and reads only from there.
// Damage is skipped line by line, never fatal: a blank or garbage line, a
// date that does not exist, a line cut short at the end by a crash, and a
// line stamped earlier than the one before it (the clock was set back, or
// local time went back an hour) all leave the rest of the file readable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "os/FileSystem.h"

namespace monitor {

// How the values of an item file are to be understood. The log writes
// every value as a signed 32-bit decimal, and files of older versions hold
// the unknown markers of the derived figures.
struct HistoryValueRule {
  // Raw counters: the low 32 bits of a raw value written as signed; read
  // back as unsigned (a written -1 is 4294967295).
  bool Unsigned32 = false;
  // The figure's unknown markers, which are not readings: negative values
  // (-1 hours, counters and life) ...
  bool NegativeIsUnknown = false;
  // ... and one marker value (-127 for a temperature, 99999 for spare
  // blocks and erase counts).
  std::optional<int64_t> UnknownValue;

  // The value as a reading, or nullopt for a marker.
  std::optional<int64_t> Read(int32_t written) const;
};

struct HistorySample {
  int64_t Time = 0;  // CalendarSeconds of the line's stamp
  int64_t Value = 0;
  bool operator==(const HistorySample&) const = default;
};

// Reduces the samples of a window [From, To], added oldest first, to at
// most `maxPoints` points. Up to `maxPoints` samples are kept as they are;
// beyond that the window is cut into (maxPoints - 1) / 2 equal time buckets
// and each bucket keeps its smallest and largest sample (in time order), so
// a short spike stays visible, and the newest sample is always the last
// point. Memory does not grow with the number of samples added.
class CHistoryDecimator {
 public:
  // `maxPoints` of at least 1; `to` not before `from`.
  CHistoryDecimator(int64_t from, int64_t to, size_t maxPoints);

  // Samples must come in time order and lie in [from, to].
  void Add(const HistorySample& sample);
  size_t Count() const { return m_Count; }
  // The points, oldest first.
  std::vector<HistorySample> Points() const;

 private:
  struct Bucket {
    bool Used = false;
    HistorySample Min, Max;
  };

  int64_t m_From;
  int64_t m_Span;  // to - from + 1
  size_t m_MaxPoints;
  size_t m_Count = 0;
  std::vector<HistorySample> m_Raw;  // the first maxPoints samples
  std::vector<Bucket> m_Buckets;
  HistorySample m_Newest;
};

struct HistoryWindowRequest {
  // The window, in CalendarSeconds, both ends included. Lines stamped
  // after `To` (a clock set back) are not shown.
  int64_t From = 0;
  int64_t To = 0;
  size_t MaxPoints = 1000;
  HistoryValueRule Rule;
};

struct HistoryWindow {
  std::vector<HistorySample> Points;  // oldest first, at most MaxPoints
  size_t SampleCount = 0;             // readings in the window before reduction
  int64_t Min = 0, Max = 0;           // smallest and largest reading; 0 when none
  size_t SkippedLines = 0;            // damaged or out-of-order lines seen
  size_t UnknownValues = 0;           // lines holding an unknown marker
  uint64_t BytesRead = 0;             // bytes read from the file
};

// Reads the window of an item file; nullopt when the file could not be
// read (a file without a sample in the window gives an empty window).
std::optional<HistoryWindow> ReadHistoryWindow(os::IReadableFile& file,
                                               const HistoryWindowRequest& request);

}  // namespace monitor
