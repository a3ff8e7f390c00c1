// S.M.A.R.T. parsing: the attribute table, the rules by attribute and family,
// thresholds, the double-read check, power-on conversions and NVMe figures.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/AtaSmart.h"
#include "engine/SmartFamily.h"
#include "tests/support/SectorBuilder.h"

using testutil::Attr;
using testutil::SmartDataBuilder;
using testutil::ThresholdBuilder;

namespace {

ATA_SMART_INFO Record(int32_t family = 0, int32_t unit = HOST_READS_WRITES_NONE) {
  ATA_SMART_INFO asi;
  asi.DiskVendorId = family;
  asi.HostReadsWritesUnit = unit;
  asi.DetectedTimeUnitType = TIME_UNIT_HOURS;
  asi.MeasuredTimeUnitType = TIME_UNIT_HOURS;
  return asi;
}

// Parses a data sector made of `attrs` in order.
ATA_SMART_INFO Parse(ATA_SMART_INFO asi, std::initializer_list<Attr> attrs) {
  SmartDataBuilder b;
  for (const Attr& a : attrs) b.Add(a);
  asi.SmartReadData = b.Build();
  CAtaSmart::FillSmartData(asi);
  return asi;
}

TEST(FillSmartData, SqueezesOutEmptyEntries) {
  ATA_SMART_INFO asi = Record();
  asi.SmartReadData =
      SmartDataBuilder().At(0, {0x01}).At(2, {0x05, 90}).At(5, {0xC2, 100, 100, 40}).Build();
  EXPECT_TRUE(CAtaSmart::FillSmartData(asi));
  ASSERT_EQ(asi.AttributeCount, 3);
  EXPECT_EQ(asi.Attribute[0].Id, 0x01);
  EXPECT_EQ(asi.Attribute[1].Id, 0x05);
  EXPECT_EQ(asi.Attribute[1].CurrentValue, 90);
  EXPECT_EQ(asi.Attribute[2].Id, 0xC2);
  EXPECT_EQ(uint16_t{asi.Attribute[2].StatusFlags}, 0x0032);  // a copy: the field is packed
  EXPECT_EQ(asi.Temperature, 40);
}

TEST(FillSmartData, EmptySectorFindsNothing) {
  ATA_SMART_INFO asi = Record();
  EXPECT_FALSE(CAtaSmart::FillSmartData(asi));
  EXPECT_EQ(asi.AttributeCount, 0);
  EXPECT_EQ(asi.Temperature, TEMPERATURE_UNKNOWN);
  EXPECT_EQ(asi.WriteAmplification, 0.0f);
}

TEST(FillSmartData, ThirtyEntriesFillTheTable) {
  SmartDataBuilder b;
  for (int i = 0; i < 30; ++i) b.Add({static_cast<uint8_t>(0x70 + i)});
  ATA_SMART_INFO asi = Record();
  asi.SmartReadData = b.Build();
  EXPECT_TRUE(CAtaSmart::FillSmartData(asi));
  EXPECT_EQ(asi.AttributeCount, 30);
  EXPECT_EQ(asi.Attribute[29].Id, 0x70 + 29);
}

struct PowerOnCase {
  const char* Name;
  int32_t Family;
  int32_t Detected;
  const char* Model;
  Attr Entry;
  int32_t Raw, DetectedHours, MeasuredUnit, MeasuredHours;
};

class PowerOnTest : public testing::TestWithParam<PowerOnCase> {};

TEST_P(PowerOnTest, Attribute09) {
  const PowerOnCase& c = GetParam();
  ATA_SMART_INFO asi = Record(c.Family);
  asi.Model = c.Model;
  asi.DetectedTimeUnitType = c.Detected;
  asi.MeasuredTimeUnitType = TIME_UNIT_HOURS;
  asi = Parse(asi, {c.Entry});
  EXPECT_EQ(asi.PowerOnRawValue, c.Raw);
  EXPECT_EQ(asi.DetectedPowerOnHours, c.DetectedHours);
  EXPECT_EQ(asi.MeasuredTimeUnitType, c.MeasuredUnit);
  EXPECT_EQ(asi.MeasuredPowerOnHours, c.MeasuredHours);
}

INSTANTIATE_TEST_SUITE_P(
    Raw, PowerOnTest,
    testing::Values(
        PowerOnCase{"hours", 0, 1, "X", {0x09, 99, 99, 800000}, 800000, 800000, 1, 800000},
        // A counter that carries the offset of some SSD firmware.
        PowerOnCase{"offset", 0, 1, "X", {0x09, 99, 99, 900000}, 5197, 5197, 6, 5197},
        PowerOnCase{"offset_limit", 0, 1, "X", {0x09, 99, 99, 892927}, 892927, 892927, 1, 892927},
        // Only raw24 carries the counter; below the offset it reads 0.
        PowerOnCase{"offset_raw24", 0, 6, "X", {0x09, 99, 99, 0x01000010}, 0, 0, 6, 0},
        PowerOnCase{"intel", 0, 2, "Intel X25", {0x09, 99, 99, 894903}, 100, 1, 6, 100},
        PowerOnCase{"minutes", 0, 2, "X", {0x09, 99, 99, 6000}, 6000, 100, 1, 6000},
        // The Indilinx family keeps the count in current and worst.
        PowerOnCase{"indilinx", 3, 1, "X", {0x09, 0x10, 0x02, 999999}, 0x0210, 0x0210, 1, 0x0210}),
    [](const testing::TestParamInfo<PowerOnCase>& i) { return std::string(i.param.Name); });

TEST(FillSmartData, PowerCycleCount) {
  EXPECT_EQ(Parse(Record(0), {{0x0C, 100, 100, 1234}}).PowerOnCount, 1234);
  EXPECT_EQ(Parse(Record(3), {{0x0C, 0x34, 0x12, 1}}).PowerOnCount, 0x1234);
}

struct TemperatureCase {
  const char* Name;
  const char* Model;
  double Multiplier;
  Attr Entry;
  int32_t Temperature;
};

class TemperatureTest : public testing::TestWithParam<TemperatureCase> {};

TEST_P(TemperatureTest, Reads) {
  const TemperatureCase& c = GetParam();
  ATA_SMART_INFO asi = Record();
  asi.Model = c.Model;
  asi.TemperatureMultiplier = c.Multiplier;
  EXPECT_EQ(Parse(asi, {c.Entry}).Temperature, c.Temperature);
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, TemperatureTest,
    testing::Values(
        TemperatureCase{"c2", "X", 1.0, {0xC2, 100, 100, 0x0000002D00000025ull}, 37},
        // Some Samsung disks count tenths of a degree.
        TemperatureCase{"samsung_tenths", "SAMSUNG SV0802N", 1.0, {0xC2, 100, 100, 0x012D}, 30},
        TemperatureCase{"samsung_plain", "SAMSUNG SV0802N", 1.0, {0xC2, 100, 100, 0x002D}, 45},
        TemperatureCase{"samsung_71", "SAMSUNG SV0802N", 1.0, {0xC2, 100, 100, 0x0047}, 7},
        TemperatureCase{"doubled", "ADATA SSD S510", 0.5, {0xC2, 100, 100, 61}, 30},
        TemperatureCase{"doubled_zero", "ADATA SSD S510", 0.5, {0xC2, 100, 100, 0}, 0},
        TemperatureCase{"be", "X", 1.0, {0xBE, 100, 100, 44}, 44},
        TemperatureCase{"be_zero", "X", 1.0, {0xBE, 100, 100, 0}, TEMPERATURE_UNKNOWN},
        TemperatureCase{"be_100", "X", 1.0, {0xBE, 100, 100, 100}, TEMPERATURE_UNKNOWN},
        // The byte is signed: 0x81 is the unknown marker itself.
        TemperatureCase{"c2_high_byte", "X", 1.0, {0xC2, 100, 100, 0x81}, -127}),
    [](const testing::TestParamInfo<TemperatureCase>& i) { return std::string(i.param.Name); });

TEST(FillSmartData, TemperatureFollowsSectorOrder) {
  EXPECT_EQ(Parse(Record(), {{0xBE, 100, 100, 30}, {0xC2, 100, 100, 41}}).Temperature, 41);
  EXPECT_EQ(Parse(Record(), {{0xC2, 100, 100, 41}, {0xBE, 100, 100, 30}}).Temperature, 30);
}

struct EraseLifeCase {
  uint32_t EraseCount;
  int32_t FlashType;
  int32_t Life;
};

class EraseLifeTest : public testing::TestWithParam<EraseLifeCase> {};

TEST_P(EraseLifeTest, JMicronAD) {
  const EraseLifeCase& c = GetParam();
  for (int32_t family : {4, 27, 28, 36, 37, 50, 51, 52}) {
    ATA_SMART_INFO asi = Record(family);
    asi.FlashType = c.FlashType;
    // The erase count sits in raw bytes 2 and 3.
    asi = Parse(asi, {{0xAD, 100, 100, static_cast<uint64_t>(c.EraseCount) << 16 | 0xFFFF}});
    EXPECT_EQ(asi.Life, c.Life) << family;
  }
}

INSTANTIATE_TEST_SUITE_P(Counts, EraseLifeTest,
                         testing::Values(EraseLifeCase{1500, 1, 50}, EraseLifeCase{1500, 2, 1},
                                         EraseLifeCase{0, 1, 100}, EraseLifeCase{14, 1, 100},
                                         EraseLifeCase{16, 1, 99}, EraseLifeCase{3000, 1, 0},
                                         EraseLifeCase{3001, 1, 1}, EraseLifeCase{250, 2, 50}));

TEST(FillSmartData, AttributeADByFamily) {
  EXPECT_EQ(Parse(Record(8), {{0xAD, 100, 100, 77}}).WearLevelingCount, 77);
  EXPECT_EQ(Parse(Record(30), {{0xAD, 100, 100, 77}}).AverageEraseCount, 77);
  EXPECT_EQ(Parse(Record(32), {{0xAD, 100, 100, 77}}).AverageEraseCount, 77);
  ATA_SMART_INFO other = Parse(Record(0), {{0xAD, 100, 100, 77}});
  EXPECT_EQ(other.Life, -1);
  EXPECT_EQ(other.AverageEraseCount, ERASE_COUNT_UNKNOWN);
}

// One rule of the table: the attribute, the family and unit, and the field
// it must set (read back through `field`).
struct RuleCase {
  const char* Name;
  int32_t Family;
  int32_t Unit;
  Attr Entry;
  int32_t ATA_SMART_INFO::*Field;
  int32_t Expected;
};

class RuleTest : public testing::TestWithParam<RuleCase> {};

TEST_P(RuleTest, Sets) {
  const RuleCase& c = GetParam();
  ATA_SMART_INFO asi = Parse(Record(c.Family, c.Unit), {c.Entry});
  EXPECT_EQ(asi.*(c.Field), c.Expected);
}

using R = RuleCase;
constexpr auto HW = &ATA_SMART_INFO::HostWrites;
constexpr auto HR = &ATA_SMART_INFO::HostReads;
constexpr auto NW = &ATA_SMART_INFO::NandWrites;
constexpr auto LIFE = &ATA_SMART_INFO::Life;
constexpr uint64_t BIG = 0x0000123456789ABCull;  // raw48; raw32 0x56789ABC

INSTANTIATE_TEST_SUITE_P(
    Table, RuleTest,
    testing::Values(
        R{"64_sandforce", 7, 0, {0x64, 1, 1, 321}, &ATA_SMART_INFO::GBytesErased, 321},
        R{"64_other", 6, 0, {0x64, 1, 1, 321}, &ATA_SMART_INFO::GBytesErased, -1},
        R{"a1_spare", 0, 0, {0xA1, 1, 1, 0x30005}, &ATA_SMART_INFO::SpareBlockCount, 5},
        R{"a7_erase", 0, 0, {0xA7, 1, 1, 44}, &ATA_SMART_INFO::AverageEraseCount, 44},
        R{"a7_excluded", 30, 0, {0xA7, 1, 1, 44}, &ATA_SMART_INFO::AverageEraseCount, 99999},
        R{"a9_smi_raw", 21, 0, {0xA9, 5, 5, 97}, LIFE, 97},
        R{"a9_current", 18, 0, {0xA9, 88, 88, 97}, LIFE, 88},
        R{"a9_over_100", 20, 0, {0xA9, 101, 88, 97}, LIFE, -1},
        R{"aa_jmicron", 4, 0, {0xAA, 77, 77, 0}, LIFE, 77},
        R{"b1_samsung", 6, 0, {0xB1, 90, 90, 1200}, &ATA_SMART_INFO::WearLevelingCount, 1200},
        R{"b3_samsung", 6, 0, {0xB3, 93, 93, 0}, LIFE, 93},
        R{"b4_samsung", 6, 0, {0xB4, 94, 94, 0}, LIFE, 94},
        R{"bb_mtron", 2, 0, {0xBB, 95, 95, 0}, LIFE, 95},
        R{"bb_other", 0, 0, {0xBB, 95, 95, 0}, LIFE, -1},
        R{"c3_smi", 22, 0, {0xC3, 1, 1, 4242}, &ATA_SMART_INFO::AttributeC3Raw, 4242},
        R{"c6_reads", 14, 0, {0xC6, 1, 1, 55}, HR, 55},
        R{"c7_smi", 26, 0, {0xC7, 1, 1, 66}, &ATA_SMART_INFO::AttributeC7Raw, 66},
        R{"c7_writes", 14, 0, {0xC7, 1, 1, 66}, HW, 66},
        R{"ca_micron", 8, 0, {0xCA, 96, 96, 0}, LIFE, 96},
        R{"ca_marvell", 57, 0, {0xCA, 96, 96, 0}, LIFE, 96},
        R{"d1_indilinx", 3, 0, {0xD1, 97, 97, 0}, LIFE, 97},
        R{"e1_intel", 5, 0, {0xE1, 1, 1, 3200}, HW, 100},
        R{"e7_sandforce", 7, 0, {0xE7, 98, 98, 0}, LIFE, 98},
        R{"e8_plextor", 12, 0, {0xE8, 99, 99, 0}, LIFE, 99},
        R{"e8_sage", 25, 0, {0xE8, 99, 99, 87}, LIFE, 87},
        R{"e8_ocz", 9, 0, {0xE8, 1, 1, 10ull << 21}, HW, 10},
        R{"e9_intel", 5, 0, {0xE9, 91, 91, 0}, LIFE, 91},
        R{"e9_barefoot", 45, 0, {0xE9, 91, 91, 0}, LIFE, 91},
        R{"e9_nand", 17, 0, {0xE9, 91, 91, 5000}, NW, 5000},
        R{"e9_sandisk_gb", 13, 3, {0xE9, 91, 91, 5000}, NW, 5000},
        R{"e9_sandisk_other", 13, 1, {0xE9, 91, 91, 5000}, NW, -1},
        // F1 host writes, row by row.
        R{"f1_toshiba_gb", 15, 3, {0xF1, 1, 1, 700}, HW, 700},
        R{"f1_toshiba_other", 15, 1, {0xF1, 1, 1, 3200}, HW, 100},
        R{"f1_sage", 25, 0, {0xF1, 1, 1, 700}, HW, 700},
        R{"f1_intel", 5, 3, {0xF1, 1, 1, 3200}, HW, 100},
        R{"f1_sandforce_gb", 7, 3, {0xF1, 1, 1, 700}, HW, 700},
        R{"f1_sandforce_32mb", 7, 2, {0xF1, 1, 1, 700}, HW, -1},
        R{"f1_samsung_gb", 6, 3, {0xF1, 1, 1, 700}, HW, 700},
        R{"f1_samsung_sectors", 6, 1, {0xF1, 1, 1, 3ull << 21}, HW, 3},
        R{"f1_wdc", 11, 0, {0xF1, 1, 1, 3ull << 21}, HW, 3},
        R{"f1_smi", 21, 2, {0xF1, 1, 1, 64}, HW, 2},
        // 32 MB units in signed 32 bits: the product wraps.
        R{"f1_smi_wraps", 21, 2, {0xF1, 1, 1, 0x04000000}, HW, -2097152},
        R{"f1_sandisk_gb", 13, 3, {0xF1, 1, 1, 700}, HW, 700},
        R{"f1_sandisk_sectors", 13, 1, {0xF1, 1, 1, 3ull << 21}, HW, 3},
        R{"f1_unit_gb", 0, 3, {0xF1, 1, 1, 700}, HW, 700},
        R{"f1_unit_32mb", 0, 2, {0xF1, 1, 1, 64}, HW, 2},
        R{"f1_unit_16mb", 0, 4, {0xF1, 1, 1, 64}, HW, 1},
        R{"f1_unit_sectors", 0, 1, {0xF1, 1, 1, BIG}, HW, static_cast<int32_t>(BIG >> 21)},
        R{"f1_unit_none", 0, 0, {0xF1, 1, 1, 700}, HW, -1},
        // F2 host reads: the same, but two rows differ.
        R{"f2_sandforce_any_unit", 7, 2, {0xF2, 1, 1, 700}, HR, 700},
        R{"f2_micron_life", 8, 1, {0xF2, 85, 85, 700}, LIFE, 85},
        R{"f2_micron_no_reads", 8, 1, {0xF2, 85, 85, 700}, HR, -1},
        R{"f2_unit_32mb", 0, 2, {0xF2, 1, 1, 64}, HR, 2},
        R{"f5_micron", 8, 0, {0xF5, 1, 1, 5ull << 17}, NW, 5},
        R{"f5_smi", 23, 0, {0xF5, 1, 1, 64}, NW, 2},
        R{"f6_micron", 54, 0, {0xF6, 1, 1, 5ull << 21}, HW, 5},
        R{"f7_kingston", 17, 0, {0xF7, 92, 92, 0}, LIFE, 92},
        R{"f9_intel", 5, 0, {0xF9, 1, 1, 1234}, NW, 1234},
        R{"f9_barefoot3", 14, 0, {0xF9, 1, 1, 7ull << 16}, NW, 7}),
    [](const testing::TestParamInfo<RuleCase>& i) { return std::string(i.param.Name); });

TEST(FillSmartData, NandWritesAddUpInSectorOrder) {
  // Family 20 keeps NAND writes in two attributes: F9 sets, FA adds.
  EXPECT_EQ(Parse(Record(20), {{0xF9, 1, 1, 100}, {0xFA, 1, 1, 20}}).NandWrites, 120);
  EXPECT_EQ(Parse(Record(20), {{0xFA, 1, 1, 20}, {0xF9, 1, 1, 100}}).NandWrites, 100);
  // Adding to the unknown marker.
  EXPECT_EQ(Parse(Record(20), {{0xFA, 1, 1, 20}}).NandWrites, 19);
  // Near the top of the range the sum wraps rather than overflowing.
  EXPECT_EQ(Parse(Record(20), {{0xF9, 1, 1, 0x7FFFFFFF}, {0xFA, 1, 1, 1}}).NandWrites, INT32_MIN);
}

struct WaCase {
  int32_t Unit;
  int32_t HostWrites, NandWrites, AverageErase;
  uint32_t Size;
  float Expected;
};

class WriteAmplificationTest : public testing::TestWithParam<WaCase> {};

TEST_P(WriteAmplificationTest, Computes) {
  const WaCase& c = GetParam();
  ATA_SMART_INFO asi = Record(0, c.Unit);
  asi.HostWrites = c.HostWrites;
  asi.NandWrites = c.NandWrites;
  asi.AverageEraseCount = c.AverageErase;
  asi.TotalDiskSize = c.Size;
  asi.WriteAmplification = ComputeWriteAmplification(asi);
  EXPECT_FLOAT_EQ(asi.WriteAmplification, c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Counters, WriteAmplificationTest,
    testing::Values(WaCase{1, 100, 150, 99999, 0, 1.5f},
                    // No host writes: 0 whatever the NAND writes.
                    WaCase{1, 0, 150, 5, 100000, 0.0f}, WaCase{1, -1, 150, 5, 100000, 0.0f},
                    // From the erase count: 5 x 100000 + 100000 x 5 / 10.
                    WaCase{1, 1000, -1, 5, 100000, 0.55f}, WaCase{1, 1000, -1, 20, 100000, 2.0f},
                    WaCase{0, 1000, -1, 20, 100000, 0.0f}, WaCase{1, 1000, -1, 99999, 100000, 0.0f},
                    WaCase{1, 1000, -1, 0, 100000, 0.0f},
                    // Host writes large enough to overflow x 1000 in 32 bits.
                    WaCase{1, 0x7FFFFFFF, -1, 20, 100000,
                           static_cast<float>(2000000.0 / (2147483647.0 * 1000.0))}));

TEST(FillSmartData, WriteAmplificationAfterTheWalk) {
  // Intel: NAND writes in F9, host writes in E1 (32 MB units).
  ATA_SMART_INFO asi = Parse(Record(5), {{0xE1, 1, 1, 3200}, {0xF9, 1, 1, 250}});
  EXPECT_FLOAT_EQ(asi.WriteAmplification, 2.5f);
}

struct SageCase {
  int32_t LifeRaw;  // E8
  int32_t Life;
};

class SageLifeTest : public testing::TestWithParam<SageCase> {};

TEST_P(SageLifeTest, EstimatesFromHostWrites) {
  // 1000 MB written 100 GB: candidates 93.17 (x2), 91.47 (x2.5), 94.88 (x1.5).
  ATA_SMART_INFO asi = Record(25);
  asi.TotalDiskSize = 1000;
  asi = Parse(asi, {{0xE8, 1, 1, static_cast<uint64_t>(static_cast<uint32_t>(GetParam().LifeRaw))},
                    {0xF1, 1, 1, 100}});
  EXPECT_EQ(asi.HostWrites, 100);
  EXPECT_EQ(asi.Life, GetParam().Life);
}

INSTANTIATE_TEST_SUITE_P(Lives, SageLifeTest,
                         testing::Values(SageCase{90, 93}, SageCase{85, 93}, SageCase{92, 93},
                                         SageCase{94, 95}, SageCase{80, 80}, SageCase{95, 95},
                                         SageCase{100, 100}, SageCase{-5, -5}));

TEST(FillSmartData, SageLifeNeedsTheLifeFirst) {
  ATA_SMART_INFO asi = Record(25);
  asi.TotalDiskSize = 1000;
  asi = Parse(asi, {{0xF1, 1, 1, 100}, {0xE8, 1, 1, 90}});
  EXPECT_EQ(asi.Life, 90);
  // No capacity: nothing to estimate from.
  ATA_SMART_INFO empty = Record(25);
  empty = Parse(empty, {{0xE8, 1, 1, 90}, {0xF1, 1, 1, 100}});
  EXPECT_EQ(empty.Life, 90);
}

TEST(FillSmartThreshold, AlignsByIdNotPosition) {
  ATA_SMART_INFO asi = Parse(Record(), {{0x01}, {0x05}, {0x09}, {0xC2}});
  asi.SmartReadThreshold = ThresholdBuilder().Add(0x09, 0).Add(0x05, 36).Add(0x01, 51).Build();
  EXPECT_TRUE(CAtaSmart::FillSmartThreshold(asi));
  EXPECT_EQ(asi.Threshold[0].Id, 0x01);
  EXPECT_EQ(asi.Threshold[0].ThresholdValue, 51);
  EXPECT_EQ(asi.Threshold[1].Id, 0x05);
  EXPECT_EQ(asi.Threshold[1].ThresholdValue, 36);
  EXPECT_EQ(asi.Threshold[2].Id, 0x09);
  EXPECT_EQ(asi.Threshold[3].Id, 0);  // no threshold for C2
}

TEST(FillSmartThreshold, NoMatchIsAFailure) {
  ATA_SMART_INFO asi = Parse(Record(), {{0x01}});
  asi.SmartReadThreshold = ThresholdBuilder().Add(0x05, 36).Build();
  EXPECT_FALSE(CAtaSmart::FillSmartThreshold(asi));
}

TEST(FillSmartThreshold, DuplicateIdsTakeTheSameThreshold) {
  ATA_SMART_INFO asi = Parse(Record(), {{0x05}, {0x05}});
  asi.SmartReadThreshold = ThresholdBuilder().Add(0x05, 36).Build();
  EXPECT_TRUE(CAtaSmart::FillSmartThreshold(asi));
  EXPECT_EQ(asi.Threshold[0].ThresholdValue, 36);
  EXPECT_EQ(asi.Threshold[1].ThresholdValue, 36);
}

TEST(FillSmartThreshold, MicronKeepsThresholdsInTheAttribute) {
  Attr withThreshold{0x05, 100, 100, 0, 10};
  ATA_SMART_INFO micron = Parse(Record(8), {{0x01}, withThreshold});
  EXPECT_TRUE(CAtaSmart::FillSmartThreshold(micron));
  EXPECT_EQ(micron.Threshold[1].Id, 0x05);
  EXPECT_EQ(micron.Threshold[1].ThresholdValue, 10);
  EXPECT_EQ(micron.Threshold[0].Id, 0);
  // Other families do not look there.
  ATA_SMART_INFO other = Parse(Record(7), {{0x01}, withThreshold});
  EXPECT_FALSE(CAtaSmart::FillSmartThreshold(other));
}

TEST(CheckSmartAttributeCorrect, ComparesCountAndIdsOnly) {
  ATA_SMART_INFO a = Parse(Record(), {{0x01, 100}, {0x05, 100}});
  ATA_SMART_INFO sameIds = Parse(Record(), {{0x01, 50, 50, 7}, {0x05, 1}});
  ATA_SMART_INFO otherOrder = Parse(Record(), {{0x05}, {0x01}});
  ATA_SMART_INFO fewer = Parse(Record(), {{0x01}});
  EXPECT_TRUE(CAtaSmart::CheckSmartAttributeCorrect(a, sameIds));
  EXPECT_FALSE(CAtaSmart::CheckSmartAttributeCorrect(a, otherOrder));
  EXPECT_FALSE(CAtaSmart::CheckSmartAttributeCorrect(a, fewer));
}

TEST(GetPowerOnHours, ConvertsByUnit) {
  struct Case {
    uint32_t Raw;
    int32_t Unit;
    uint32_t Hours;
  };
  for (const Case& c :
       {Case{7200, 0, 0}, Case{7200, 1, 7200}, Case{7200, 2, 120}, Case{7200, 3, 60},
        Case{7200, 4, 2}, Case{7200, 5, 1200}, Case{7200, 6, 7200}, Case{7200, 7, 7200},
        Case{7200, -1, 7200}, Case{59, 2, 0}, Case{0xFFFFFFFF, 4, 1193046}}) {
    EXPECT_EQ(CAtaSmart::GetPowerOnHours(c.Raw, c.Unit), c.Hours) << c.Raw << " " << c.Unit;
  }
}

TEST(NvmeHealthLog, Figures) {
  ATA_SMART_INFO asi;
  auto& log = asi.SmartReadData;
  log[1] = 0x3F;  // 0x013F = 319 K = 46 C; the low byte alone is enough
  log[2] = 0x01;
  log[3] = 97;
  // Data units read: 4096 units -> 2 GB. Written: 1 << 40 units (the 8th byte ignored).
  log[33] = 0x10;
  log[53] = 0x01;
  log[55] = 0xFF;
  log[112] = 0x34;
  log[113] = 0x12;
  log[128] = 0x10;
  log[129] = 0x27;
  CAtaSmart::ApplyNvmeHealthLog(asi);
  EXPECT_EQ(asi.Temperature, 46);
  EXPECT_EQ(asi.Life, 97);
  EXPECT_EQ(asi.HostReads, 2);
  EXPECT_EQ(asi.HostWrites, 1 << 29);
  EXPECT_EQ(asi.PowerOnCount, 0x1234);
  EXPECT_EQ(asi.DetectedPowerOnHours, 10000);
  EXPECT_EQ(asi.MeasuredPowerOnHours, 10000);

  ATA_SMART_INFO cold;
  CAtaSmart::ApplyNvmeHealthLog(cold);
  // 0 K means the controller does not report it: unknown, not -17 C.
  EXPECT_EQ(cold.Temperature, TEMPERATURE_UNKNOWN);
  cold.SmartReadData[1] = 0x00;
  cold.SmartReadData[2] = 0x01;  // 256 K: a real (if odd) reading
  CAtaSmart::ApplyNvmeHealthLog(cold);
  EXPECT_EQ(cold.Temperature, -17);
}

TEST(RederiveSmartFigures, WalksAgainWithTheFamily) {
  // Parsed before the family was known, then classified as Micron (8).
  ATA_SMART_INFO asi = Parse(Record(0), {{0xAD, 100, 100, 33},
                                         {0xCA, 94, 94, 0},
                                         {0xF5, 1, 1, 5ull << 17},
                                         {0xF6, 1, 1, 2ull << 21},
                                         {0xC2, 100, 100, 40}});
  EXPECT_EQ(asi.Life, -1);
  asi.DiskVendorId = 8;
  asi.Temperature = 0;  // not revisited
  RederiveSmartFigures(asi);
  EXPECT_EQ(asi.WearLevelingCount, 33);
  EXPECT_EQ(asi.AverageEraseCount, 33);
  EXPECT_EQ(asi.Life, 94);
  EXPECT_EQ(asi.NandWrites, 5);
  EXPECT_EQ(asi.HostWrites, 2);
  EXPECT_FLOAT_EQ(asi.WriteAmplification, 2.5f);
  EXPECT_EQ(asi.Temperature, 0);
}

TEST(RederiveSmartFigures, Differences) {
  struct Case {
    const char* Name;
    int32_t Family;
    Attr Entry;
    int32_t ATA_SMART_INFO::*Field;
    int32_t Expected;
  };
  for (const Case& c : {
           Case{"a9_raw_byte", 21, {0xA9, 1, 1, 0x0163}, LIFE, 0x63},
           Case{"ad_jmicron_erase",
                4,
                {0xAD, 1, 1, 0x00170000},
                &ATA_SMART_INFO::AverageEraseCount,
                0x17},
           Case{"ad_jmicron_no_life", 4, {0xAD, 1, 1, 0x00170000}, LIFE, -1},
           Case{
               "ad_phison_nothing", 30, {0xAD, 1, 1, 5}, &ATA_SMART_INFO::AverageEraseCount, 99999},
           Case{"b1_life", 39, {0xB1, 88, 88, 5}, LIFE, 88},
           Case{"b1_wear", 65, {0xB1, 88, 88, 5}, &ATA_SMART_INFO::WearLevelingCount, 5},
           Case{"d0_indilinx", 3, {0xD0, 1, 1, 321}, &ATA_SMART_INFO::AverageEraseCount, 321},
           Case{"e6_sandisk", 13, {0xE6, 83, 83, 0}, LIFE, 83},
           Case{"e7_jmicron", 36, {0xE7, 84, 84, 0}, LIFE, 84},
           Case{"e7_phison", 30, {0xE7, 84, 84, 0x10055}, LIFE, 0x55},
           Case{"c7_smi_not_revisited", 21, {0xC7, 1, 1, 9}, &ATA_SMART_INFO::AttributeC7Raw, 0},
           Case{"bb_not_revisited", 2, {0xBB, 70, 70, 0}, LIFE, -1},
           Case{"a1_not_revisited", 0, {0xA1, 1, 1, 9}, &ATA_SMART_INFO::SpareBlockCount, 99999},
       }) {
    ATA_SMART_INFO asi = Record(c.Family);
    asi.SmartReadData = SmartDataBuilder().Add(c.Entry).Build();
    // The table as the first parse left it, without applying any rule.
    std::memcpy(&asi.Attribute[0], asi.SmartReadData.data() + 2, 12);
    asi.AttributeCount = 1;
    RederiveSmartFigures(asi);
    EXPECT_EQ(asi.*(c.Field), c.Expected) << c.Name;
  }
}

TEST(ResetSmartFigures, EveryUnknownMarker) {
  ATA_SMART_INFO asi = Parse(Record(5, 2), {{0x09, 1, 1, 100},
                                            {0x0C, 1, 1, 5},
                                            {0xC2, 1, 1, 40},
                                            {0xA1, 1, 1, 7},
                                            {0xA7, 1, 1, 7},
                                            {0xE1, 1, 1, 3200},
                                            {0xF9, 1, 1, 7},
                                            {0xE9, 90, 90, 0}});
  asi.TemperatureMultiplier = 0.5;
  CAtaSmart::ResetSmartFigures(asi);
  EXPECT_EQ(asi.Temperature, -127);
  EXPECT_EQ(asi.Life, -1);
  EXPECT_EQ(asi.PowerOnRawValue, -1);
  EXPECT_EQ(asi.DetectedPowerOnHours, -1);
  EXPECT_EQ(asi.MeasuredPowerOnHours, -1);
  EXPECT_EQ(asi.PowerOnCount, 0);
  EXPECT_EQ(asi.HostWrites, -1);
  EXPECT_EQ(asi.NandWrites, -1);
  EXPECT_EQ(asi.SpareBlockCount, 99999);
  EXPECT_EQ(asi.AverageEraseCount, 99999);
  EXPECT_EQ(asi.WriteAmplification, 0.0f);
  // Not a figure read from the disk.
  EXPECT_EQ(asi.TemperatureMultiplier, 0.5);
}

}  // namespace
