// Civil dates (proleptic Gregorian) and days since 1970-01-01, both ways,
// for every year an int64_t can count: the history files, the simulated
// clock and the chart's date axis all reckon in them.
#pragma once

#include <cstdint>

namespace base {

// a / b rounded toward minus infinity (b != 0).
constexpr int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Days since 1970-01-01 of year `y`, month `m` (1-12), day `d` (1-31).
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

struct CivilDate {
  int64_t Year = 1970;
  int32_t Month = 1;  // 1-12
  int32_t Day = 1;    // 1-31
};

// The civil date `days` days after 1970-01-01 (before it when negative).
constexpr CivilDate CivilFromDays(int64_t days) {
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  CivilDate c;
  c.Day = static_cast<int32_t>(doy - (153 * mp + 2) / 5 + 1);
  c.Month = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
  c.Year = yoe + era * 400 + (c.Month <= 2 ? 1 : 0);
  return c;
}

static_assert(DaysFromCivil(1970, 1, 1) == 0);
static_assert(DaysFromCivil(2000, 3, 1) == 11017);
static_assert(DaysFromCivil(1969, 12, 31) == -1);
static_assert(CivilFromDays(11016).Month == 2 && CivilFromDays(11016).Day == 29);
static_assert(CivilFromDays(-1).Year == 1969 && CivilFromDays(-1).Day == 31);

}  // namespace base
