#include <gtest/gtest.h>

#include <string>

#include "engine/AtaSmart.h"
#include "engine/SmartFamily.h"
#include "tests/support/FamilyTestSupport.h"

using namespace testutil;

namespace {

struct MakerCase {
  const char* Name;
  std::string PartNumber;  // VendorSpecificText
  std::string Serial;
  int32_t Level;
  int Year, Month, Day;  // 0 when no date is set
};

const MakerCase kMakerCases[] = {
    {"SerialPlain", "", "17122500000000000001", 2, 2017, 12, 25},
    {"SerialWithM", "", "M17122500000000000001", 3, 2017, 12, 25},
    {"SerialYearBefore2015", "", "14122500000000000001", 0, 0, 0, 0},
    {"SerialYear2015", "", "15010100000000000001", 2, 2015, 1, 1},
    {"SerialMonthZero", "", "17002500000000000001", 0, 0, 0, 0},
    {"SerialMonth13", "", "17132500000000000001", 0, 0, 0, 0},
    {"SerialDayZero", "", "17120000000000000001", 0, 0, 0, 0},
    {"SerialDay31", "", "17123100000000000001", 2, 2017, 12, 31},
    {"SerialDay32", "", "17123200000000000001", 0, 0, 0, 0},
    {"Serial19Characters", "", "1712250000000000001", 0, 0, 0, 0},
    {"SerialNotADigit", "", "A7122500000000000001", 0, 0, 0, 0},
    {"SerialMThenLetter", "", "MA7122500000000000001", 0, 0, 0, 0},
    // The digits are read as a C library reads a number: up to a non-digit.
    {"SerialMonthWithLetter", "", "171A2500000000000001", 2, 2017, 1, 25},
    {"PartNumber", "MT3S00000000S", "18010100", 1, 2018, 1, 1},
    {"PartNumber16", "MZ6B00000000W000", "M18010100", 1, 2018, 1, 1},
    {"PartNumberGradeE", "MA1X00000000E", "19063000", 1, 2019, 6, 30},
    {"PartNumberDateFromShortSerial", "MT3S00000000S", "", 0, 0, 0, 0},
    {"PartNumberTooShort", "MT3S", "17122500000000000001", 2, 2017, 12, 25},
    {"PartNumber17", "MT3S0000000S00000", "1712", 0, 0, 0, 0},
    {"PartNumberDigit7", "MT7S00000000S", "1712250", 0, 0, 0, 0},
    {"PartNumberSeriesC", "MT3C00000000S", "1712250", 0, 0, 0, 0},
    {"PartNumberGradeX", "MT3S00000000X", "1712250", 0, 0, 0, 0},
    {"PartNumberLowerLetter", "Mt3S00000000S", "1712250", 0, 0, 0, 0},
};

class RecognizeMakerDiskTest : public ::testing::TestWithParam<MakerCase> {};

TEST_P(RecognizeMakerDiskTest, LevelAndDate) {
  const MakerCase& c = GetParam();
  NullMachine machine;
  ATA_SMART_INFO asi = machine.Ata.NewRecord();
  const int64_t initialDate = asi.ManufactureDate;
  const int callsBefore = machine.Clock.Calls;
  asi.VendorSpecificText = c.PartNumber;
  asi.SerialNumber = c.Serial;

  EXPECT_EQ(machine.Ata.RecognizeMakerDisk(asi), c.Level);

  if (c.Level == 0) {
    EXPECT_EQ(asi.ManufactureDate, initialDate);
    EXPECT_EQ(machine.Clock.Calls, callsBefore);
    return;
  }
  const std::tm& t = machine.Clock.Last;
  EXPECT_EQ(t.tm_year + 1900, c.Year);
  EXPECT_EQ(t.tm_mon + 1, c.Month);
  EXPECT_EQ(t.tm_mday, c.Day);
  EXPECT_EQ(t.tm_hour, 12);
  EXPECT_EQ(t.tm_min, 1);
  EXPECT_EQ(t.tm_sec, 0);
  EXPECT_EQ(t.tm_isdst, -1);
  EXPECT_EQ(asi.ManufactureDate, machine.Clock.MakeLocalTime(t));
}

INSTANTIATE_TEST_SUITE_P(Forms, RecognizeMakerDiskTest, ::testing::ValuesIn(kMakerCases),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST(RecognizeMakerDisk, NonAsciiTextIsCountedByCharacters) {
  NullMachine machine;
  ATA_SMART_INFO asi = machine.Ata.NewRecord();
  // Twelve characters, fourteen bytes: still a part number by its length,
  // but the grade letter sits at character 12, which does not exist.
  asi.VendorSpecificText =
      "MT3S\xC3\xA9\xC3\xA9"
      "000000S";
  asi.SerialNumber = "18010100";
  EXPECT_EQ(machine.Ata.RecognizeMakerDisk(asi), 1);
  asi.VendorSpecificText =
      "MT3S\xC3\xA9\xC3\xA9"
      "00000S";
  EXPECT_EQ(machine.Ata.RecognizeMakerDisk(asi), 0);
}

struct FormFactorCase {
  int32_t SupportLevel;
  std::string Serial;
  std::string PartNumber;
  int32_t Code;
};

TEST(GetFormFactorCode, LetterBySupportLevel) {
  const FormFactorCase cases[] = {
      {1, "", "", 0},          // no part-number text at all
      {2, "171225A", "x", 1},  // serial letter 6
      {2, "171225F", "x", 6},
      {2, "171225G", "x", 0},  // G, H and O are not used
      {2, "171225H", "x", 0},
      {2, "171225I", "x", 7},
      {2, "171225N", "x", 12},
      {2, "171225O", "x", 0},
      {2, "171225P", "x", 13},
      {2, "171225U", "x", 18},
      {2, "171225V", "x", 0},
      {2, "171225", "x", 0},         // letter beyond the end
      {3, "M1712250000P", "x", 13},  // serial letter 11
      {3, "M171225000", "x", 0},
      {1, "171225A", "MC3S", 3},  // part-number letter 1
      {0, "", "MU", 18},
      {5, "", "Ma", 0},  // lower case is no code
      {4, "", "M", 0},
  };
  for (const FormFactorCase& c : cases) {
    ATA_SMART_INFO asi;
    asi.SupportLevel = c.SupportLevel;
    asi.SerialNumber = c.Serial;
    asi.VendorSpecificText = c.PartNumber;
    EXPECT_EQ(CAtaSmart::GetFormFactorCode(asi), c.Code)
        << c.SupportLevel << " " << c.Serial << " " << c.PartNumber;
  }
}

}  // namespace
