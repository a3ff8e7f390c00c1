#include "monitor/HistoryCsv.h"

#include <cstdint>
#include <cstdio>

#include "base/CivilDate.h"

namespace monitor {
namespace {

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int64_t y, int64_t m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// `count` digits at `at`; -1 when any is not a digit.
int64_t Digits(std::string_view text, size_t at, size_t count) {
  int64_t v = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    v = v * 10 + (text[i] - '0');
  }
  return v;
}

std::optional<int32_t> ParseValue(std::string_view text) {
  bool negative = false;
  size_t i = 0;
  if (!text.empty() && text[0] == '-') {
    negative = true;
    i = 1;
  }
  if (i == text.size() || text.size() - i > 10) return std::nullopt;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    v = v * 10 + (text[i] - '0');
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(v);
}

}  // namespace

std::string FormatHistoryTime(const std::tm& local) {
  int year = local.tm_year + 1900;
  if (year < 0) year = 0;
  if (year > 9999) year = 9999;
  char text[64];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", year, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

int64_t CalendarSeconds(const std::tm& local) {
  const int64_t days = base::DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  return days * 86400 + local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

std::optional<int64_t> ParseHistoryTime(std::string_view text) {
  if (text.size() != HISTORY_TIME_LENGTH || text[4] != '/' || text[7] != '/' || text[10] != ' ' ||
      text[13] != ':' || text[16] != ':') {
    return std::nullopt;
  }
  const int64_t y = Digits(text, 0, 4), mo = Digits(text, 5, 2), d = Digits(text, 8, 2);
  const int64_t h = Digits(text, 11, 2), mi = Digits(text, 14, 2), s = Digits(text, 17, 2);
  if (y < 0 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h < 0 || h > 23 || mi < 0 ||
      mi > 59 || s < 0 || s > 60) {
    return std::nullopt;
  }
  return base::DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}

std::optional<HistoryPoint> ParseHistoryLine(std::string_view line) {
  if (line.size() <= HISTORY_TIME_LENGTH + 1 || line[HISTORY_TIME_LENGTH] != ',') {
    return std::nullopt;
  }
  const std::optional<int64_t> time = ParseHistoryTime(line.substr(0, HISTORY_TIME_LENGTH));
  if (!time) return std::nullopt;
  const std::optional<int32_t> value = ParseValue(line.substr(HISTORY_TIME_LENGTH + 1));
  if (!value) return std::nullopt;
  return HistoryPoint{*time, *value};
}

HistoryReadResult ReadHistoryCsv(const uint8_t* data, size_t size) {
  HistoryReadResult result;
  std::string_view all(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  while (start < all.size()) {
    const size_t end = all.find('\n', start);
    if (end == std::string_view::npos) {
      result.TornTail = true;
      break;
    }
    std::string_view line = all.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    if (std::optional<HistoryPoint> point = ParseHistoryLine(line)) {
      result.Points.push_back(*point);
    } else {
      ++result.SkippedLines;
    }
  }
  return result;
}

}  // namespace monitor
