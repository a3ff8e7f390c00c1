// The refresh of one disk (UpdateSmartInfo and its change baseline) and the
// one-shot measurement of the power-on time unit, on a simulated machine.
#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/support/SimEngine.h"

using testutil::AtaDisk;
using testutil::Attr;
using testutil::CSimEngine;
using testutil::IdentifyBuilder;
using testutil::Sector;
using testutil::SmartDataBuilder;
using testutil::ThresholdBuilder;

namespace {

struct Reading {
  uint32_t Hours = 6000;
  uint32_t Cycles = 10;
  uint8_t Temperature = 35;
  uint32_t HostWrites = 100;
};

Sector Data(const Reading& r) {
  return SmartDataBuilder()
      .Add({0x05, 100, 100, 0})
      .Add({0x09, 99, 99, r.Hours})
      .Add({0x0C, 99, 99, r.Cycles})
      .Add({0xC2, 100, 100, r.Temperature})
      .Add({0xF1, 100, 100, r.HostWrites})
      .Build();
}

Sector Thresholds() {
  return ThresholdBuilder()
      .Add(0x05, 36)
      .Add(0x09, 0)
      .Add(0x0C, 0)
      .Add(0xC2, 0)
      .Add(0xF1, 0)
      .Build();
}

// An engine with one admitted disk whose S.M.A.R.T. reads return `base`
// (admission reads it twice) and then `refreshes` in turn.
std::unique_ptr<CSimEngine> Admitted(const std::vector<Reading>& refreshes,
                                     const IdentifyBuilder& id = IdentifyBuilder(),
                                     Reading base = Reading()) {
  std::vector<Sector> reads = {Data(base), Data(base)};
  for (const Reading& r : refreshes) reads.push_back(Data(r));
  auto e = std::make_unique<CSimEngine>(
      std::vector<os::sim::SimDisk>{AtaDisk(0, id.Build(), reads, Thresholds())});
  if (!e->Admit(0)) throw std::runtime_error("disk not admitted");
  return e;
}

TEST(UpdateSmartInfo, EmptyListAndBadIndex) {
  CSimEngine empty({});
  EXPECT_EQ(empty.Ata().UpdateSmartInfo(0), SMART_STATUS_NO_CHANGE);
  auto e = Admitted({});
  EXPECT_THROW(e->Ata().UpdateSmartInfo(1), std::invalid_argument);
  EXPECT_THROW(e->Ata().UpdateSmartInfo(-1), std::invalid_argument);
  EXPECT_THROW(e->Ata().GetPowerOnHoursEx(1, TIME_UNIT_HOURS), std::invalid_argument);
}

TEST(UpdateSmartInfo, ReadsAndStoresTheStatus) {
  Reading later;
  later.Temperature = 41;
  later.Hours = 6120;
  auto e = Admitted({later});
  ATA_SMART_INFO& asi = e->Ata().vars[0];
  asi.DiskStatus = 77;
  EXPECT_EQ(e->Ata().UpdateSmartInfo(0), SMART_STATUS_CHANGED);
  EXPECT_EQ(asi.Temperature, 41);
  EXPECT_EQ(asi.PowerOnRawValue, 6120);
  EXPECT_EQ(asi.PowerOnStartRawValue, 6000);
  EXPECT_EQ(asi.DiskStatus, e->Ata().CheckDiskStatus(0));
  EXPECT_EQ(e->Ata().GetPowerOnHoursEx(0, TIME_UNIT_MINUTES), 102u);
}

// Successive refreshes and what each reports. The baseline starts zeroed,
// so the first refresh always reports a change.
struct ChangeCase {
  const char* Name;
  std::vector<Reading> Reads;
  std::vector<int32_t> Results;
};

class ChangeTest : public testing::TestWithParam<ChangeCase> {};

TEST_P(ChangeTest, Reports) {
  // Minutes: a power-on raw that moves within one hour is no change.
  auto e = Admitted(GetParam().Reads, IdentifyBuilder().Model("HITACHI_DK23EA-30"));
  ASSERT_EQ(e->Ata().vars[0].DetectedTimeUnitType, TIME_UNIT_MINUTES);
  std::vector<int32_t> results;
  for (size_t i = 0; i < GetParam().Results.size(); ++i) {
    results.push_back(e->Ata().UpdateSmartInfo(0));
  }
  EXPECT_EQ(results, GetParam().Results);
}

Reading With(uint32_t hours, uint32_t cycles, uint8_t temperature, uint32_t writes) {
  return Reading{hours, cycles, temperature, writes};
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ChangeTest,
    testing::Values(
        ChangeCase{"same", {With(6000, 10, 35, 100)}, {2, 0, 0}},
        // Host writes alone: reported, but the baseline stays, so the same
        // reading is reported again.
        ChangeCase{"writes_only", {With(6000, 10, 35, 100), With(6000, 10, 35, 101)}, {2, 2, 2}},
        ChangeCase{"temperature", {With(6000, 10, 35, 100), With(6000, 10, 36, 100)}, {2, 2, 0}},
        ChangeCase{"cycles", {With(6000, 10, 35, 100), With(6000, 11, 35, 100)}, {2, 2, 0}},
        // 6000 and 6059 minutes are the same hour; 6060 is the next.
        ChangeCase{"same_hour", {With(6000, 10, 35, 100), With(6059, 10, 35, 100)}, {2, 2, 2}},
        ChangeCase{"next_hour", {With(6000, 10, 35, 100), With(6060, 10, 35, 100)}, {2, 2, 0}}),
    [](const testing::TestParamInfo<ChangeCase>& i) { return std::string(i.param.Name); });

TEST(UpdateSmartInfo, FailedReadChangesNothing) {
  Reading later;
  later.Temperature = 50;
  auto e = Admitted({later});
  e->Disk(0).Paths = {};
  ATA_SMART_INFO before = e->Ata().vars[0];
  EXPECT_EQ(e->Ata().UpdateSmartInfo(0), SMART_STATUS_NO_CHANGE);
  const ATA_SMART_INFO& after = e->Ata().vars[0];
  EXPECT_EQ(after.Temperature, before.Temperature);
  EXPECT_EQ(after.SmartReadData, before.SmartReadData);
  EXPECT_EQ(after.DiskStatus, before.DiskStatus);
}

TEST(UpdateSmartInfo, UntrustedDiskIsNotRead) {
  auto e = Admitted({});
  e->Ata().vars[0].IsSmartCorrect = 0;
  e->Sim().Devices().ClearRequests();
  EXPECT_EQ(e->Ata().UpdateSmartInfo(0), SMART_STATUS_NO_CHANGE);
  EXPECT_TRUE(e->Sim().Devices().Requests().empty());
}

TEST(UpdateSmartInfo, NvmeDiskIsAlwaysReportedChanged) {
  auto e = Admitted({});
  ATA_SMART_INFO& asi = e->Ata().vars[0];
  asi.DiskVendorId = 19;
  asi.Life = 11;
  asi.DiskStatus = 77;
  EXPECT_EQ(e->Ata().UpdateSmartInfo(0), SMART_STATUS_CHANGED);
  EXPECT_EQ(asi.DiskStatus, e->Ata().CheckDiskStatus(0));
}

// The power-on unit from how far the counter moved in about two minutes.
struct UnitCase {
  const char* Name;
  const char* Model;
  uint32_t Moved;  // raw power-on units counted after admission
  int32_t Unit;
  int32_t Maxtor21;
};

class MeasureUnitTest : public testing::TestWithParam<UnitCase> {};

TEST_P(MeasureUnitTest, FromTheCounter) {
  const UnitCase& c = GetParam();
  Reading later;
  later.Hours = 6000 + c.Moved;
  auto e = Admitted({later}, IdentifyBuilder().Model(c.Model));
  e->Ata().m_LastInitTick = e->Sim().Clock().TickCount();
  e->Sim().Clock().Advance(130000);
  EXPECT_TRUE(e->Ata().MeasurePowerOnTimeUnit());
  EXPECT_EQ(e->Ata().vars[0].MeasuredTimeUnitType, c.Unit);
  EXPECT_EQ(e->Ata().vars[0].IsMaxtor21, c.Maxtor21);
}

INSTANTIATE_TEST_SUITE_P(
    Models, MeasureUnitTest,
    testing::Values(UnitCase{"hours", "ST3500630AS", 0, 1, 0},
                    UnitCase{"hours_one", "ST3500630AS", 1, 1, 0},
                    UnitCase{"minutes", "ST3500630AS", 2, 2, 0},
                    UnitCase{"samsung_hours", "SAMSUNG HD501LJ", 1, 1, 0},
                    UnitCase{"samsung_half_minutes", "SAMSUNG HD501LJ", 4, 3, 0},
                    UnitCase{"fujitsu_seconds", "FUJITSU MHY2120BH", 6, 4, 0},
                    UnitCase{"fujitsu_half_minutes", "FUJITSU MHY2120BH", 4, 3, 0},
                    UnitCase{"fujitsu_minutes", "FUJITSU MHY2120BH", 3, 2, 0},
                    UnitCase{"fujitsu_hours", "FUJITSU MHY2120BH", 1, 1, 0},
                    UnitCase{"maxtor_minutes", "MAXTOR STM3500630AS", 2, 2, 1},
                    UnitCase{"maxtor_hours", "MAXTOR STM3500630AS", 0, 1, 0},
                    // A detected offset unit is certain.
                    UnitCase{"intel_offset", "INTEL SSDSC2CW120A3", 9, 6, 0}),
    [](const testing::TestParamInfo<UnitCase>& i) { return std::string(i.param.Name); });

TEST(MeasurePowerOnTimeUnit, OnlyInsideItsWindow) {
  struct Case {
    uint64_t After;
    bool Runs;
  };
  for (const Case& c : {Case{100000, false}, Case{124999, false}, Case{125000, true},
                        Case{155000, true}, Case{155001, false}}) {
    Reading later;
    later.Hours = 6005;
    auto e = Admitted({later});
    e->Ata().m_LastInitTick = e->Sim().Clock().TickCount();
    e->Sim().Clock().Advance(c.After);
    EXPECT_EQ(e->Ata().MeasurePowerOnTimeUnit(), c.Runs) << c.After;
    EXPECT_EQ(e->Ata().vars[0].MeasuredTimeUnitType, c.Runs ? 2 : 0) << c.After;
  }
}

TEST(MeasurePowerOnTimeUnit, DiskWithoutPowerOnValueIsLeftAlone) {
  auto e = Admitted({});
  e->Ata().vars[0].PowerOnRawValue = -1;
  e->Ata().m_LastInitTick = e->Sim().Clock().TickCount();
  e->Sim().Clock().Advance(130000);
  e->Sim().Devices().ClearRequests();
  EXPECT_TRUE(e->Ata().MeasurePowerOnTimeUnit());
  EXPECT_EQ(e->Ata().vars[0].MeasuredTimeUnitType, TIME_UNIT_UNKNOWN);
  EXPECT_TRUE(e->Sim().Devices().Requests().empty());
}

}  // namespace
