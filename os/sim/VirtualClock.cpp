#include "os/sim/VirtualClock.h"

#include "base/CivilDate.h"

namespace os::sim {

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
  int64_t days = base::FloorDiv(local, 86400);
  int64_t secs = local - days * 86400;
  const base::CivilDate date = base::CivilFromDays(days);
  const int64_t y = date.Year, m = date.Month, d = date.Day;
  std::tm tm{};
  tm.tm_year = static_cast<int>(y - 1900);
  tm.tm_mon = static_cast<int>(m - 1);
  tm.tm_mday = static_cast<int>(d);
  tm.tm_hour = static_cast<int>(secs / 3600);
  tm.tm_min = static_cast<int>(secs / 60 % 60);
  tm.tm_sec = static_cast<int>(secs % 60);
  tm.tm_wday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  tm.tm_yday = static_cast<int>(days - base::DaysFromCivil(y, 1, 1));
  tm.tm_isdst = 0;
  return tm;
}

int64_t CVirtualClock::MakeLocalTime(const std::tm& local) {
  // Normalises out-of-range fields the way mktime does.
  int64_t month = local.tm_mon;
  int64_t year = local.tm_year + 1900 + base::FloorDiv(month, 12);
  month -= base::FloorDiv(month, 12) * 12;
  int64_t days = base::DaysFromCivil(year, month + 1, 1) + local.tm_mday - 1;
  return days * 86400 + local.tm_hour * 3600LL + local.tm_min * 60LL + local.tm_sec - m_Offset;
}

}  // namespace os::sim
