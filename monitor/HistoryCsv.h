// The history files' line formats: the time stamp every line starts with,
// and the reader of an item file ("2026/03/01 12:00:00,42" per line).
//
// The files are appended to record by record and may be cut short by a
// crash or a full disk, and anyone may edit them: the reader takes any
// bytes, keeps each complete well-formed line and skips everything else
// (a last line without its line end, lines that do not parse).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace monitor {

// Length of a time stamp, "%Y/%m/%d %H:%M:%S".
constexpr size_t HISTORY_TIME_LENGTH = 19;

// "%Y/%m/%d %H:%M:%S" of a local broken-down time (years outside 0-9999
// are clamped so the stamp keeps its length).
std::string FormatHistoryTime(const std::tm& local);

// Seconds since 1970-01-01 00:00:00 of a stamp read as a calendar time
// with no time zone (what the stamp says, not an instant); nullopt unless
// the text is exactly a valid "%Y/%m/%d %H:%M:%S".
std::optional<int64_t> ParseHistoryTime(std::string_view text);

// The same count for a broken-down time.
int64_t CalendarSeconds(const std::tm& local);

struct HistoryPoint {
  int64_t Time = 0;  // CalendarSeconds of the line's stamp
  int32_t Value = 0;
  bool operator==(const HistoryPoint&) const = default;
};

struct HistoryReadResult {
  std::vector<HistoryPoint> Points;  // in file order
  size_t SkippedLines = 0;           // complete lines that did not parse
  bool TornTail = false;             // the file ended inside a line
};

// One line of an item file without its line end ("\n" or "\r\n"): a stamp, ',', a signed 32-bit
// decimal; nullopt for anything else.
std::optional<HistoryPoint> ParseHistoryLine(std::string_view line);

// Reads an item file: lines of a stamp, ',', a signed 32-bit decimal,
// ending with "\n" or "\r\n".
HistoryReadResult ReadHistoryCsv(const uint8_t* data, size_t size);

}  // namespace monitor
