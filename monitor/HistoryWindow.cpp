#include "monitor/HistoryWindow.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "monitor/HistoryCsv.h"

namespace monitor {
namespace {

// Bytes read per step of the forward scan.
constexpr size_t SCAN_CHUNK = 256 * 1024;
// Bytes looked at around a place the search probes: a hundred lines or so.
constexpr size_t PROBE_BYTES = 4096;
// No line the log writes is near this long; a longer one is garbage and is
// skipped without being held in memory.
constexpr size_t MAX_LINE = 4096;
// Below this many bytes the search stops and the scan takes over.
constexpr uint64_t SCAN_BELOW = 64 * 1024;
// This many records in a row stamped after the window end the scan: the
// file is in time order, so the rest is later still. A few such records
// (a clock that was wrong for a while) do not hide what follows them.
constexpr size_t LATER_RUN_ENDS_SCAN = 1024;

std::string_view TrimLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

struct Probe {
  bool Found = false;
  int64_t Time = 0;
  uint64_t End = 0;  // offset just after the line's end
};

// The first well-formed line that starts at or after `at` and ends before
// `limit`, looking at PROBE_BYTES at most.
std::optional<Probe> ProbeAt(os::IReadableFile& file, uint64_t at, uint64_t limit,
                             uint64_t* bytesRead) {
  // Starting one byte early tells whether `at` itself starts a line.
  const uint64_t begin = at == 0 ? 0 : at - 1;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(PROBE_BYTES, limit - begin));
  uint8_t buffer[PROBE_BYTES];
  std::optional<size_t> got = file.ReadAt(begin, buffer, want);
  if (!got) return std::nullopt;
  *bytesRead += *got;
  std::string_view text(reinterpret_cast<const char*>(buffer), *got);
  size_t start = 0;
  if (at != 0) {
    start = text.find('\n');
    if (start == std::string_view::npos) return Probe{};
    ++start;
  }
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string_view::npos) break;
    if (std::optional<HistoryPoint> point =
            ParseHistoryLine(TrimLine(text.substr(start, end - start)))) {
      return Probe{true, point->Time, begin + end + 1};
    }
    start = end + 1;
  }
  return Probe{};
}

// A line start at or before the first line of the window (in a file in
// time order), found without reading the lines before it.
std::optional<uint64_t> WindowStart(os::IReadableFile& file, uint64_t size, int64_t from,
                                    uint64_t* bytesRead) {
  uint64_t lo = 0, hi = size;
  while (hi - lo > SCAN_BELOW) {
    const uint64_t mid = lo + (hi - lo) / 2;
    std::optional<Probe> probe = ProbeAt(file, mid, hi, bytesRead);
    if (!probe) return std::nullopt;
    if (probe->Found && probe->Time < from) {
      // Every line up to this one is older than the window.
      lo = probe->End;
    } else {
      // The window starts before `mid`, or the lines there are damaged:
      // the scan from `lo` reads through them either way.
      hi = mid;
    }
  }
  return lo;
}

}  // namespace

std::optional<int64_t> HistoryValueRule::Read(int32_t written) const {
  const int64_t value =
      Unsigned32 ? static_cast<int64_t>(static_cast<uint32_t>(written)) : int64_t{written};
  if (UnknownValue && value == *UnknownValue) return std::nullopt;
  if (NegativeIsUnknown && written < 0) return std::nullopt;
  return value;
}

CHistoryDecimator::CHistoryDecimator(int64_t from, int64_t to, size_t maxPoints)
    : m_From(from),
      m_Span(to >= from ? to - from + 1 : 1),
      m_MaxPoints(std::max<size_t>(maxPoints, 1)),
      m_Buckets((m_MaxPoints - 1) / 2) {
  m_Raw.reserve(std::min<size_t>(m_MaxPoints, 4096));
}

void CHistoryDecimator::Add(const HistorySample& sample) {
  ++m_Count;
  m_Newest = sample;
  if (m_Raw.size() < m_MaxPoints) m_Raw.push_back(sample);
  if (m_Buckets.empty()) return;
  // Bucket of the sample; computed in floating point so any window fits.
  const double where = static_cast<double>(sample.Time - m_From) / static_cast<double>(m_Span);
  const double scaled = where * static_cast<double>(m_Buckets.size());
  const size_t index =
      scaled <= 0 ? 0 : std::min(static_cast<size_t>(scaled), m_Buckets.size() - 1);
  Bucket& b = m_Buckets[index];
  if (!b.Used) {
    b.Used = true;
    b.Min = b.Max = sample;
    return;
  }
  if (sample.Value < b.Min.Value) b.Min = sample;
  if (sample.Value > b.Max.Value) b.Max = sample;
}

std::vector<HistorySample> CHistoryDecimator::Points() const {
  if (m_Count <= m_MaxPoints) return m_Raw;
  std::vector<HistorySample> points;
  points.reserve(m_MaxPoints);
  for (const Bucket& b : m_Buckets) {
    if (!b.Used) continue;
    const bool minFirst = b.Min.Time <= b.Max.Time;
    points.push_back(minFirst ? b.Min : b.Max);
    if (!(b.Min == b.Max)) points.push_back(minFirst ? b.Max : b.Min);
  }
  if (points.empty() || !(points.back() == m_Newest)) {
    // The newest sample shares its bucket with the bucket's extremes; it
    // follows them, as it is the latest of the bucket.
    points.push_back(m_Newest);
  }
  return points;
}

std::optional<HistoryWindow> ReadHistoryWindow(os::IReadableFile& file,
                                               const HistoryWindowRequest& request) {
  HistoryWindow window;
  if (request.To < request.From) return window;
  const uint64_t size = file.Size();
  std::optional<uint64_t> start = WindowStart(file, size, request.From, &window.BytesRead);
  if (!start) return std::nullopt;

  CHistoryDecimator decimator(request.From, request.To, request.MaxPoints);
  bool any = false;
  int64_t lastTime = 0;
  size_t laterRun = 0;
  auto take = [&](std::string_view line) {
    line = TrimLine(line);
    if (line.empty()) return;
    std::optional<HistoryPoint> point = ParseHistoryLine(line);
    if (!point) {
      ++window.SkippedLines;
      return;
    }
    // Lines outside the window are not damage (a middle window of a file,
    // or records stamped after a clock was set back).
    if (point->Time > request.To) {
      ++laterRun;
      return;
    }
    laterRun = 0;
    if (point->Time < request.From) return;
    if (any && point->Time < lastTime) {
      ++window.SkippedLines;
      return;
    }
    std::optional<int64_t> value = request.Rule.Read(point->Value);
    if (!value) {
      ++window.UnknownValues;
      return;
    }
    if (!any || *value < window.Min) window.Min = *value;
    if (!any || *value > window.Max) window.Max = *value;
    any = true;
    lastTime = point->Time;
    decimator.Add({point->Time, *value});
  };

  std::vector<uint8_t> buffer(SCAN_CHUNK + MAX_LINE);
  size_t held = 0;        // bytes of an unfinished line at the buffer's start
  bool dropping = false;  // inside an overlong line, skipping to its end
  uint64_t offset = *start;
  while (offset < size && laterRun < LATER_RUN_ENDS_SCAN) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(SCAN_CHUNK, size - offset));
    std::optional<size_t> got = file.ReadAt(offset, buffer.data() + held, want);
    if (!got) return std::nullopt;
    window.BytesRead += *got;
    offset += *got;
    const bool atEnd = *got < want || offset >= size;
    std::string_view text(reinterpret_cast<const char*>(buffer.data()), held + *got);
    size_t begin = 0;
    for (;;) {
      const size_t end = text.find('\n', begin);
      if (end == std::string_view::npos) break;
      if (dropping) {
        dropping = false;
      } else {
        take(text.substr(begin, end - begin));
      }
      begin = end + 1;
    }
    held = text.size() - begin;
    if (held > MAX_LINE || (dropping && held > 0)) {
      if (!dropping) ++window.SkippedLines;
      dropping = true;
      held = 0;
    } else if (held > 0) {
      std::memmove(buffer.data(), buffer.data() + begin, held);
    }
    if (atEnd) break;
  }
  // A last line without its end was cut short by a crash: not a reading.
  if (offset >= size && held > 0 && !dropping) ++window.SkippedLines;

  window.SampleCount = decimator.Count();
  window.Points = decimator.Points();
  return window;
}

}  // namespace monitor
