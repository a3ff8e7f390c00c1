#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/AtaSmart.h"
#include "engine/DiskStatus.h"
#include "engine/SmartFamily.h"
#include "tests/support/FamilyTestSupport.h"

using namespace testutil;

namespace {

struct Attr {
  uint8_t Id;
  uint8_t Current;
  uint8_t Threshold;
  uint64_t Raw = 0;
};

// A disk whose data was read twice and agreed, with thresholds.
ATA_SMART_INFO Disk(int32_t family, bool ssd, const std::vector<Attr>& attrs) {
  ATA_SMART_INFO asi;
  asi.SupportLevel = SUPPORT_CONTROLLER;
  asi.DiskVendorId = family;
  asi.IsSsd = ssd ? 1 : 0;
  asi.IsSmartCorrect = 1;
  asi.IsThresholdCorrect = 1;
  int32_t i = 0;
  for (const Attr& a : attrs) {
    asi.Attribute[i].Id = a.Id;
    asi.Attribute[i].CurrentValue = a.Current;
    asi.Attribute[i].WorstValue = a.Current;
    SetRaw(asi.Attribute[i], a.Raw);
    asi.Threshold[i].Id = a.Id;
    asi.Threshold[i].ThresholdValue = a.Threshold;
    ++i;
  }
  asi.AttributeCount = i;
  return asi;
}

const std::vector<Attr> kHealthyHardDisk = {
    {0x01, 100, 51},   {0x05, 100, 10, 0}, {0x09, 99, 0, 1234},
    {0xC2, 30, 0, 30}, {0xC5, 100, 0, 0},  {0xC6, 100, 0, 0},
};

TEST(CheckDiskStatus, HardDiskByThresholdsAndReallocationCounters) {
  struct Case {
    const char* Name;
    std::vector<Attr> Attrs;
    uint16_t Limit05;
    int32_t Status;
  };
  const Case cases[] = {
      {"Healthy", kHealthyHardDisk, 1, DISK_STATUS_GOOD},
      {"OneReallocatedSector", {{0x01, 100, 51}, {0x05, 100, 10, 1}}, 1, DISK_STATUS_CAUTION},
      {"LimitOffSwitchesTheTestOff", {{0x01, 100, 51}, {0x05, 100, 10, 1}}, 0, DISK_STATUS_GOOD},
      {"BelowLimit", {{0x05, 100, 10, 4}}, 5, DISK_STATUS_GOOD},
      {"AtLimit", {{0x05, 100, 10, 5}}, 5, DISK_STATUS_CAUTION},
      // Only raw bytes 0 and 1 count; bytes 2 and up are vendor noise.
      {"HighRawBytesIgnored", {{0x05, 100, 10, 0x0000FFFF0000}}, 1, DISK_STATUS_GOOD},
      {"SaturatedCounterIgnored", {{0x05, 100, 10, 0xFFFFFFFF}}, 1, DISK_STATUS_GOOD},
      {"PendingSectors", {{0x05, 100, 10}, {0xC5, 100, 0, 2}}, 1, DISK_STATUS_CAUTION},
      {"Uncorrectable", {{0x05, 100, 10}, {0xC6, 100, 0, 1}}, 1, DISK_STATUS_CAUTION},
      {"CriticalBelowThreshold", {{0x01, 40, 51}, {0x05, 100, 10}}, 1, DISK_STATUS_BAD},
      {"CriticalAtThreshold", {{0x01, 51, 51}, {0x05, 100, 10}}, 1, DISK_STATUS_GOOD},
      {"BadBeatsCaution", {{0x03, 10, 21}, {0x05, 100, 10, 9}}, 1, DISK_STATUS_BAD},
      // Not in the critical set of a hard disk: no verdict from it.
      {"NonCriticalBelowThreshold", {{0xBE, 10, 45}, {0x05, 100, 10}}, 1, DISK_STATUS_GOOD},
      {"TemperatureNeverJudged", {{0xC2, 10, 45}, {0x05, 100, 10}}, 1, DISK_STATUS_GOOD},
      // Without a reallocation counter a hard disk cannot be judged.
      {"NoCounters", {{0x01, 100, 51}, {0x09, 100, 0}}, 1, DISK_STATUS_UNKNOWN},
      {"NoCountersButBad", {{0x01, 10, 51}, {0x09, 100, 0}}, 1, DISK_STATUS_BAD},
      {"Empty", {}, 1, DISK_STATUS_UNKNOWN},
      {"DuplicateId", {{0x05, 100, 10}, {0x01, 10, 51}, {0x01, 100, 51}}, 1, DISK_STATUS_UNKNOWN},
  };
  for (const Case& c : cases) {
    ATA_SMART_INFO asi = Disk(FAMILY_SEAGATE, false, c.Attrs);
    asi.Threshold05 = c.Limit05;
    EXPECT_EQ(EvaluateDiskStatus(asi), c.Status) << c.Name;
  }
}

TEST(CheckDiskStatus, SsdByThresholdsAndLifeAttribute) {
  struct Case {
    const char* Name;
    int32_t Family;
    std::vector<Attr> Attrs;
    uint16_t LimitFF;
    int32_t Status;
  };
  const Case cases[] = {
      // The reallocation counters set no caution on an SSD.
      {"CounterOnSsd", FAMILY_UNKNOWN, {{0x05, 100, 10, 7}, {0x09, 100, 0}}, 10, DISK_STATUS_GOOD},
      {"AllThresholdsZeroNoLife",
       FAMILY_UNKNOWN,
       {{0x05, 100, 0, 7}, {0x09, 100, 0}},
       10,
       DISK_STATUS_UNKNOWN},
      {"AnyAttributeBelowThreshold", FAMILY_UNKNOWN, {{0xAB, 5, 10}}, 10, DISK_STATUS_BAD},
      {"SandForceLifeBad", FAMILY_SANDFORCE, {{0x05, 100, 3}, {0xE7, 8, 10}}, 10, DISK_STATUS_BAD},
      {"SandForceLifeCaution",
       FAMILY_SANDFORCE,
       {{0x05, 100, 3}, {0xE7, 10, 10}},
       10,
       DISK_STATUS_CAUTION},
      {"SandForceLifeGood",
       FAMILY_SANDFORCE,
       {{0x05, 100, 3}, {0xE7, 11, 10}},
       10,
       DISK_STATUS_GOOD},
      {"LifeLimitOff", FAMILY_SANDFORCE, {{0xE7, 5, 0}}, 0, DISK_STATUS_GOOD},
      {"LifeZeroIsBad", FAMILY_SANDFORCE, {{0xE7, 0, 0}}, 10, DISK_STATUS_BAD},
      // A life attribute decides even when every threshold is zero.
      {"LifeWithZeroThresholds",
       FAMILY_INTEL,
       {{0x05, 100, 0}, {0xE8, 50, 0}},
       10,
       DISK_STATUS_GOOD},
      {"IntelLifeCaution", FAMILY_INTEL, {{0xE8, 9, 0}}, 10, DISK_STATUS_CAUTION},
      // SandForce shows 0/0 for a clean read error rate.
      {"SandForceIdleErrorRate",
       FAMILY_SANDFORCE,
       {{0x01, 0, 50}, {0xE7, 90, 10}},
       10,
       DISK_STATUS_GOOD},
      {"SandForceRealErrorRate",
       FAMILY_SANDFORCE,
       {{0x01, 0, 50, 0x0100}, {0xE7, 90, 10}},
       10,
       DISK_STATUS_BAD},
      {"OtherFamilyZeroErrorRate", FAMILY_UNKNOWN, {{0x01, 0, 50}}, 10, DISK_STATUS_BAD},
      {"SamsungB1", FAMILY_SAMSUNG, {{0xB1, 8, 0}}, 10, DISK_STATUS_CAUTION},
      {"MtronBB", FAMILY_MTRON, {{0xBB, 50, 0}}, 10, DISK_STATUS_GOOD},
      {"IndilinxD1", FAMILY_INDILINX, {{0xD1, 50, 0}}, 10, DISK_STATUS_GOOD},
      {"MicronCA", FAMILY_MICRON, {{0xCA, 5, 0}}, 10, DISK_STATUS_CAUTION},
      {"BarefootE9", FAMILY_BAREFOOT3_M10, {{0xE9, 5, 0}}, 10, DISK_STATUS_CAUTION},
      // E8 is not the life of a Micron disk.
      {"WrongLifeAttribute", FAMILY_MICRON, {{0xE8, 5, 0}}, 10, DISK_STATUS_UNKNOWN},
  };
  for (const Case& c : cases) {
    ATA_SMART_INFO asi = Disk(c.Family, true, c.Attrs);
    asi.ThresholdFF = c.LimitFF;
    EXPECT_EQ(EvaluateDiskStatus(asi), c.Status) << c.Name;
  }
}

TEST(CheckDiskStatus, EarlyControllersAreNotJudgedByThresholds) {
  ATA_SMART_INFO asi = Disk(FAMILY_JMICRON, true, {{0xAA, 20, 50}, {0x09, 5, 10}});
  asi.IsEarlyController = 1;
  // No threshold verdict, and AA is no life attribute on the early
  // controller; the thresholds seen decide the disk is judged: good.
  EXPECT_EQ(EvaluateDiskStatus(asi), DISK_STATUS_GOOD);
  asi.IsEarlyController = 0;
  EXPECT_EQ(EvaluateDiskStatus(asi), DISK_STATUS_BAD);
}

TEST(CheckDiskStatus, LifeRatedFamilies) {
  const std::pair<int32_t, int32_t> cases[] = {
      {100, DISK_STATUS_GOOD},   {70, DISK_STATUS_GOOD}, {69, DISK_STATUS_CAUTION},
      {30, DISK_STATUS_CAUTION}, {29, DISK_STATUS_BAD},  {0, DISK_STATUS_BAD},
      {-1, DISK_STATUS_UNKNOWN},
  };
  for (int32_t family : {21, 22, 23, 25, 26, 31, 32, 36, 37, 38, 47, 48, 49, 50, 51, 52, 65}) {
    for (const auto& [life, status] : cases) {
      // Attributes below their thresholds do not matter on these families.
      ATA_SMART_INFO asi = Disk(family, true, {{0x01, 1, 50}});
      asi.Life = life;
      EXPECT_EQ(EvaluateDiskStatus(asi), status) << family << " " << life;
    }
  }
  EXPECT_FALSE(IsLifeRatedFamily(FAMILY_SAMSUNG_MJX));
  EXPECT_FALSE(IsLifeRatedFamily(FAMILY_INTEL));
}

TEST(CheckDiskStatus, NvmeByAvailableSpare) {
  const std::pair<int32_t, int32_t> cases[] = {
      {100, DISK_STATUS_GOOD}, {11, DISK_STATUS_GOOD}, {10, DISK_STATUS_CAUTION},
      {9, DISK_STATUS_BAD},    {0, DISK_STATUS_BAD},   {-1, DISK_STATUS_UNKNOWN},
  };
  for (const auto& [life, status] : cases) {
    ATA_SMART_INFO asi;
    asi.SupportLevel = SUPPORT_CONTROLLER;
    asi.DiskVendorId = FAMILY_NVME;
    asi.IsSmartCorrect = 0;  // not looked at for NVMe
    asi.Life = life;
    EXPECT_EQ(EvaluateDiskStatus(asi), status) << life;
  }
}

TEST(CheckDiskStatus, NvmeCriticalWarningMakesItBadAtEverySupportLevel) {
  // Bits 2-4 of the health log's critical warning (byte 0) are the disk
  // stating its own failure; the other bits (spare low, temperature) leave
  // the verdict to the spare figure, and a disk this program does not rate
  // (support level 0) stays unknown then.
  struct Case {
    int32_t SupportLevel;
    uint8_t Warning;
    int32_t Life;
    int32_t Status;
  };
  const Case cases[] = {
      {SUPPORT_NONE, 0x04, 100, DISK_STATUS_BAD},
      {SUPPORT_NONE, 0x08, 100, DISK_STATUS_BAD},
      {SUPPORT_NONE, 0x10, 100, DISK_STATUS_BAD},
      {SUPPORT_NONE, 0x1C, -1, DISK_STATUS_BAD},
      {SUPPORT_NONE, 0x00, 100, DISK_STATUS_UNKNOWN},
      {SUPPORT_NONE, 0x01, 5, DISK_STATUS_UNKNOWN},
      {SUPPORT_NONE, 0x02, 100, DISK_STATUS_UNKNOWN},
      {SUPPORT_NONE, 0xE3, 100, DISK_STATUS_UNKNOWN},
      {SUPPORT_CONTROLLER, 0x04, 100, DISK_STATUS_BAD},
      {SUPPORT_CONTROLLER, 0x10, 10, DISK_STATUS_BAD},
      {SUPPORT_CONTROLLER, 0x02, 100, DISK_STATUS_GOOD},
      {SUPPORT_CONTROLLER, 0x00, 10, DISK_STATUS_CAUTION},
  };
  for (const Case& c : cases) {
    ATA_SMART_INFO asi;
    asi.SupportLevel = c.SupportLevel;
    asi.DiskVendorId = FAMILY_NVME;
    asi.SmartReadData[0] = c.Warning;
    asi.Life = c.Life;
    EXPECT_EQ(EvaluateDiskStatus(asi), c.Status)
        << "level " << c.SupportLevel << " warning " << int{c.Warning} << " life " << c.Life;
  }
  // The same byte on an ATA disk is part of its attribute table, not a warning.
  ATA_SMART_INFO ata = Disk(FAMILY_SEAGATE, false, kHealthyHardDisk);
  ata.SupportLevel = SUPPORT_NONE;
  ata.SmartReadData[0] = 0x1C;
  EXPECT_EQ(EvaluateDiskStatus(ata), DISK_STATUS_UNKNOWN);
}

TEST(CheckDiskStatus, UntrustedDataIsUnknown) {
  ATA_SMART_INFO bad = Disk(FAMILY_SEAGATE, false, {{0x01, 1, 51}, {0x05, 100, 10}});
  ASSERT_EQ(EvaluateDiskStatus(bad), DISK_STATUS_BAD);

  ATA_SMART_INFO asi = bad;
  asi.SupportLevel = SUPPORT_NONE;
  EXPECT_EQ(EvaluateDiskStatus(asi), DISK_STATUS_UNKNOWN);
  asi = bad;
  asi.IsSmartCorrect = 0;
  EXPECT_EQ(EvaluateDiskStatus(asi), DISK_STATUS_UNKNOWN);
  asi = bad;
  asi.IsThresholdCorrect = 0;  // a hard disk needs its thresholds
  EXPECT_EQ(EvaluateDiskStatus(asi), DISK_STATUS_UNKNOWN);
  asi.IsSsd = 1;  // an SSD does not
  EXPECT_EQ(EvaluateDiskStatus(asi), DISK_STATUS_BAD);
  asi.IsThresholdBug = 1;
  EXPECT_EQ(EvaluateDiskStatus(asi), DISK_STATUS_UNKNOWN);
}

TEST(CheckDiskStatus, ByIndexInTheDiskList) {
  NullMachine machine;
  EXPECT_EQ(machine.Ata.CheckDiskStatus(0), DISK_STATUS_UNKNOWN);  // empty list
  ASSERT_TRUE(machine.Ata.vars.Add(Disk(FAMILY_SEAGATE, false, kHealthyHardDisk)));
  EXPECT_EQ(machine.Ata.CheckDiskStatus(0), DISK_STATUS_GOOD);
  EXPECT_THROW(machine.Ata.CheckDiskStatus(1), std::invalid_argument);
  EXPECT_THROW(machine.Ata.CheckDiskStatus(-1), std::invalid_argument);
}

TEST(TemperatureClass, ByGrade) {
  struct Case {
    int32_t Grade;
    int32_t Celsius;
    int32_t Class;
  };
  const Case cases[] = {
      {0, 70, TEMPERATURE_CLASS_BAD},
      {0, 69, TEMPERATURE_CLASS_CAUTION},
      {0, 55, TEMPERATURE_CLASS_CAUTION},
      {0, 54, TEMPERATURE_CLASS_GOOD},
      {0, 6, TEMPERATURE_CLASS_GOOD},
      {0, 5, TEMPERATURE_CLASS_CAUTION},
      {0, 1, TEMPERATURE_CLASS_CAUTION},
      {0, 0, TEMPERATURE_CLASS_BAD},
      {0, -10, TEMPERATURE_CLASS_BAD},
      {0, 127, TEMPERATURE_CLASS_BAD},
      {1, 85, TEMPERATURE_CLASS_BAD},
      {1, 70, TEMPERATURE_CLASS_CAUTION},
      {1, 69, TEMPERATURE_CLASS_GOOD},
      {1, -19, TEMPERATURE_CLASS_GOOD},
      {1, -20, TEMPERATURE_CLASS_CAUTION},
      {1, -25, TEMPERATURE_CLASS_BAD},
      {2, 85, TEMPERATURE_CLASS_BAD},
      {2, 70, TEMPERATURE_CLASS_CAUTION},
      {2, -34, TEMPERATURE_CLASS_GOOD},
      {2, -35, TEMPERATURE_CLASS_CAUTION},
      {2, -40, TEMPERATURE_CLASS_BAD},
      {3, -35, TEMPERATURE_CLASS_CAUTION},
      {4, -34, TEMPERATURE_CLASS_GOOD},
      // An undefined grade takes the narrowest range.
      {5, 70, TEMPERATURE_CLASS_BAD},
      {-1, 0, TEMPERATURE_CLASS_BAD},
      {5, 30, TEMPERATURE_CLASS_GOOD},
  };
  const char* const images[] = {"temperatureUnknown", "temperatureGood", "temperatureCaution",
                                "temperatureBad"};
  for (const Case& c : cases) {
    TemperatureClass t = GetTemperatureClass(c.Celsius, c.Grade);
    EXPECT_EQ(t.Class, c.Class) << c.Grade << " " << c.Celsius;
    EXPECT_EQ(t.Image, images[c.Class]) << c.Grade << " " << c.Celsius;
  }
}

TEST(TemperatureClass, NoReadingIsUnknownNotBad) {
  ATA_SMART_INFO asi;
  asi.IsSmartCorrect = 1;
  asi.Temperature = TEMPERATURE_UNKNOWN;
  for (int32_t grade = 0; grade <= 4; ++grade) {
    asi.TemperatureGrade = grade;
    TemperatureClass t = GetTemperatureClass(asi);
    EXPECT_EQ(t.Class, TEMPERATURE_CLASS_UNKNOWN) << grade;
    EXPECT_EQ(t.Image, "temperatureUnknown") << grade;
  }
  EXPECT_EQ(GetTemperatureClass(-128, 0).Class, TEMPERATURE_CLASS_UNKNOWN);
  // The coldest real reading is still judged.
  EXPECT_EQ(GetTemperatureClass(-126, 2).Class, TEMPERATURE_CLASS_BAD);
}

TEST(TemperatureClass, UntrustedDataIsUnknown) {
  ATA_SMART_INFO asi;
  asi.Temperature = 40;
  asi.IsSmartCorrect = 0;
  EXPECT_EQ(GetTemperatureClass(asi).Class, TEMPERATURE_CLASS_UNKNOWN);
  asi.IsSmartCorrect = 1;
  EXPECT_EQ(GetTemperatureClass(asi).Class, TEMPERATURE_CLASS_GOOD);
  asi.Temperature = 60;
  EXPECT_EQ(GetTemperatureClass(asi).Image, "temperatureCaution");
}

TEST(DiskStatusNames, KeysAndImages) {
  EXPECT_EQ(DISK_STATUS_SECTION, "DiskStatus");
  EXPECT_EQ(DiskStatusTextKey(DISK_STATUS_GOOD), "GOOD");
  EXPECT_EQ(DiskStatusTextKey(DISK_STATUS_CAUTION), "CAUTION");
  EXPECT_EQ(DiskStatusTextKey(DISK_STATUS_BAD), "BAD");
  EXPECT_EQ(DiskStatusTextKey(DISK_STATUS_UNKNOWN), "UNKNOWN");
  EXPECT_EQ(DiskStatusTextKey(7), "UNKNOWN");
  EXPECT_EQ(DiskStatusImage(DISK_STATUS_GOOD, false), "diskStatusGood");
  EXPECT_EQ(DiskStatusImage(DISK_STATUS_GOOD, true), "diskStatusGoodGreen");
  EXPECT_EQ(DiskStatusImage(DISK_STATUS_CAUTION, true), "diskStatusCaution");
  EXPECT_EQ(DiskStatusImage(DISK_STATUS_BAD, false), "diskStatusBad");
  EXPECT_EQ(DiskStatusImage(DISK_STATUS_UNKNOWN, true), "diskStatusUnknown");
  EXPECT_EQ(DiskStatusImage(-3, false), "diskStatusUnknown");
}

}  // namespace
