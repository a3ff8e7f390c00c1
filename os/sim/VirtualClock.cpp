#include "os/sim/VirtualClock.h"

namespace os::sim {
namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, int64_t* m, int64_t* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = yoe + era * 400 + (*m <= 2);
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

CVirtualClock::CVirtualClock(int64_t now, uint64_t tick, int32_t utcOffsetSeconds)
    : m_Now(now), m_Tick(tick), m_Offset(utcOffsetSeconds) {}

void CVirtualClock::Advance(uint64_t milliseconds) {
  m_Tick += milliseconds;
  m_SubSecondMs += milliseconds;
  m_Now += static_cast<int64_t>(m_SubSecondMs / 1000);
  m_SubSecondMs %= 1000;
}

std::tm CVirtualClock::LocalTime(int64_t t) {
  int64_t local = t + m_Offset;
  int64_t days = FloorDiv(local, 86400);
  int64_t secs = local - days * 86400;
  int64_t y = 0, m = 0, d = 0;
  CivilFromDays(days, &y, &m, &d);
  std::tm tm{};
  tm.tm_year = static_cast<int>(y - 1900);
  tm.tm_mon = static_cast<int>(m - 1);
  tm.tm_mday = static_cast<int>(d);
  tm.tm_hour = static_cast<int>(secs / 3600);
  tm.tm_min = static_cast<int>(secs / 60 % 60);
  tm.tm_sec = static_cast<int>(secs % 60);
  tm.tm_wday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  tm.tm_yday = static_cast<int>(days - DaysFromCivil(y, 1, 1));
  tm.tm_isdst = 0;
  return tm;
}

int64_t CVirtualClock::MakeLocalTime(const std::tm& local) {
  // Normalises out-of-range fields the way mktime does.
  int64_t month = local.tm_mon;
  int64_t year = local.tm_year + 1900 + FloorDiv(month, 12);
  month -= FloorDiv(month, 12) * 12;
  int64_t days = DaysFromCivil(year, month + 1, 1) + local.tm_mday - 1;
  return days * 86400 + local.tm_hour * 3600LL + local.tm_min * 60LL + local.tm_sec - m_Offset;
}

}  // namespace os::sim
