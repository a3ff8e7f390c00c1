// The maker's own disks: recognised by the part number the maker writes into
// the vendor-specific IDENTIFY words, or by the form of its serial numbers,
// which also carry the manufacture date and the form-factor letter.
#include <ctime>
#include <string_view>

#include "engine/AtaSmart.h"
#include "engine/FamilyText.h"
#include "engine/SmartFamily.h"

using family_text::CharAt;
using family_text::CharCount;
using family_text::CharInRange;
using family_text::CharIsOneOf;

namespace {

// Part number: "M", a letter, a digit 1-6, a series letter, ..., and at
// position 12 the grade letter; 12 to 16 characters in all.
bool IsPartNumber(std::string_view text) {
  const size_t length = CharCount(text);
  return length >= 12 && length <= 16 && CharAt(text, 0) == U'M' &&
         CharInRange(text, 1, 'A', 'Z') && CharInRange(text, 2, '1', '6') &&
         CharIsOneOf(text, 3, "SMXGAB") && CharIsOneOf(text, 12, "SWE");
}

// The leading decimal digits of two characters of the serial number, as a
// C library reads a number: reading stops at the first non-digit.
int TwoDigits(std::string_view serial, size_t at, int leading = 0) {
  int value = leading;
  for (size_t k = at; k < at + 2; ++k) {
    char32_t c = CharAt(serial, k);
    if (c < U'0' || c > U'9') break;
    value = value * 10 + static_cast<int>(c - U'0');
  }
  return value;
}

}  // namespace

int32_t CAtaSmart::RecognizeMakerDisk(ATA_SMART_INFO& asi) {
  const std::string_view serial = asi.SerialNumber;
  const size_t p = CharAt(serial, 0) == U'M' ? 1 : 0;

  int32_t level = SUPPORT_NONE;
  if (IsPartNumber(asi.VendorSpecificText)) {
    level = SUPPORT_PART_NUMBER;
  } else {
    if (CharCount(serial) < 20 || !CharInRange(serial, p, '0', '9')) return SUPPORT_NONE;
    level = p == 1 ? SUPPORT_SERIAL_M : SUPPORT_SERIAL;
  }

  // Serial numbers begin with the manufacture date as YYMMDD.
  const int year = TwoDigits(serial, p, 20);  // "20" followed by two characters
  const int month = TwoDigits(serial, p + 2);
  const int day = TwoDigits(serial, p + 4);
  if (month == 0 || day == 0 || year < 2015 || month > 12 || day > 31) return SUPPORT_NONE;

  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = 12;
  local.tm_min = 1;
  local.tm_isdst = -1;  // the system decides daylight saving
  asi.ManufactureDate = m_Platform.Clock.MakeLocalTime(local);
  return level;
}

int32_t CAtaSmart::GetFormFactorCode(const ATA_SMART_INFO& asi) {
  if (asi.VendorSpecificText.empty()) return 0;
  char32_t letter = 0;
  if (asi.SupportLevel == SUPPORT_SERIAL) {
    letter = CharAt(asi.SerialNumber, 6);
  } else if (asi.SupportLevel == SUPPORT_SERIAL_M) {
    letter = CharAt(asi.SerialNumber, 11);
  } else {
    letter = CharAt(asi.VendorSpecificText, 1);
  }
  // A..F, I..N, P..U: the letters G, H and O are not used.
  if (letter >= U'A' && letter <= U'F') return static_cast<int32_t>(letter - U'A') + 1;
  if (letter >= U'I' && letter <= U'N') return static_cast<int32_t>(letter - U'I') + 7;
  if (letter >= U'P' && letter <= U'U') return static_cast<int32_t>(letter - U'P') + 13;
  return 0;
}
