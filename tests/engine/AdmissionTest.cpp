// Admission of ATA disks on a simulated machine: the probing order, the
// decoding into a record, the first S.M.A.R.T. reads, duplicates and the
// reasons a disk is refused.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "os/wire/WinIoctl.h"
#include "tests/support/SimEngine.h"

using os::sim::FaultKind;
using os::sim::SimOp;
using os::sim::SimPath;
using testutil::AtaDisk;
using testutil::Attr;
using testutil::CSimEngine;
using testutil::IdentifyBuilder;
using testutil::Sector;
using testutil::SmartDataBuilder;
using testutil::ThresholdBuilder;

namespace {

Sector HardDiskData(uint8_t temperature = 35, uint32_t hours = 1000) {
  return SmartDataBuilder()
      .Add({0x01, 100, 100, 0})
      .Add({0x05, 100, 100, 0})
      .Add({0x09, 90, 90, hours})
      .Add({0x0C, 100, 100, 321})
      .Add({0xC2, 100, 100, temperature})
      .Build();
}

Sector HardDiskThresholds() {
  return ThresholdBuilder()
      .Add(0x01, 51)
      .Add(0x05, 36)
      .Add(0x09, 0)
      .Add(0x0C, 0)
      .Add(0xC2, 0)
      .Build();
}

// A different attribute list, as a disk answering a garbled read would give.
Sector OtherData() { return SmartDataBuilder().Add({0x01}).Add({0x09}).Build(); }

os::sim::SimDisk Disk(int32_t pd, const IdentifyBuilder& id = IdentifyBuilder()) {
  return AtaDisk(pd, id.Build(), {HardDiskData()}, HardDiskThresholds());
}

TEST(Admission, PhysicalDriveDiskBecomesARecord) {
  CSimEngine e({Disk(0, IdentifyBuilder().Model("TEST DISK").Serial("ABC123").Firmware("1.0"))});
  ASSERT_TRUE(e.Admit(0));
  ASSERT_EQ(e.Ata().vars.GetCount(), 1);
  const ATA_SMART_INFO& asi = e.Ata().vars[0];
  EXPECT_EQ(asi.Model, "TEST DISK");
  EXPECT_EQ(asi.SerialNumber, "ABC123");
  EXPECT_EQ(asi.FirmwareRev, "1.0");
  EXPECT_EQ(asi.ModelSerial, "TEST DISKABC123");
  EXPECT_EQ(asi.PhysicalDriveId, 0);
  EXPECT_EQ(asi.CommandType, CMD_TYPE_PHYSICAL_DRIVE);
  EXPECT_EQ(asi.CommandTypeText, "pd1");
  EXPECT_EQ(asi.Target, 0xA0);
  EXPECT_EQ(asi.Interface, "Serial ATA");
  EXPECT_EQ(asi.InterfaceType, INTERFACE_TYPE_SATA);
  EXPECT_EQ(asi.IsSmartEnabled, 1);
  EXPECT_EQ(asi.IsSmartCorrect, 1);
  EXPECT_EQ(asi.IsThresholdCorrect, 1);
  EXPECT_EQ(asi.AttributeCount, 5);
  EXPECT_EQ(asi.Threshold[1].ThresholdValue, 36);
  EXPECT_EQ(asi.Temperature, 35);
  EXPECT_EQ(asi.PowerOnRawValue, 1000);
  EXPECT_EQ(asi.PowerOnStartRawValue, 1000);
  EXPECT_EQ(asi.DetectedPowerOnHours, 1000);
  EXPECT_EQ(asi.PowerOnCount, 321);
  EXPECT_EQ(asi.TotalDiskSize, 476891u);
  // The record keeps the sector as the disk sent it.
  EXPECT_EQ(asi.IdentifyDevice, e.Disk(0).Identify.value());
}

TEST(Admission, DiskWithoutSmartKeepsEveryUnknownMarker) {
  CSimEngine e({Disk(0, IdentifyBuilder().Word(82, 0))});
  ASSERT_TRUE(e.Admit(0));
  const ATA_SMART_INFO& asi = e.Ata().vars[0];
  EXPECT_EQ(asi.IsSmartEnabled, 0);
  EXPECT_EQ(asi.AttributeCount, 0);
  EXPECT_EQ(asi.Temperature, -127);
  EXPECT_EQ(asi.Life, -1);
  EXPECT_EQ(asi.PowerOnRawValue, -1);
  EXPECT_EQ(asi.PowerOnStartRawValue, -1);
  EXPECT_EQ(asi.DetectedPowerOnHours, -1);
  EXPECT_EQ(asi.MeasuredPowerOnHours, -1);
  EXPECT_EQ(asi.HostWrites, -1);
  EXPECT_EQ(asi.HostReads, -1);
  EXPECT_EQ(asi.NandWrites, -1);
  EXPECT_EQ(asi.GBytesErased, -1);
  EXPECT_EQ(asi.WearLevelingCount, -1);
  EXPECT_EQ(asi.SpareBlockCount, 99999);
  EXPECT_EQ(asi.AverageEraseCount, 99999);
  EXPECT_EQ(asi.WriteAmplification, 0.0f);
  EXPECT_EQ(asi.TemperatureMultiplier, 1.0);
  EXPECT_EQ(asi.FlashType, 1);
}

TEST(Admission, SmartAssumedDiskIsAskedAnyway) {
  CSimEngine e({Disk(0, IdentifyBuilder().Word(82, 0).Sectors28(0x01100003))});
  ASSERT_TRUE(e.Admit(0));
  EXPECT_EQ(e.Ata().vars[0].IsSmartAssumed, 1);
  EXPECT_EQ(e.Ata().vars[0].IsSmartCorrect, 1);
}

TEST(Admission, SecondDeviceIsRecordedAsTheFirst) {
  os::sim::SimDisk d = Disk(0);
  d.Target = 0xB0;
  CSimEngine e({d});
  ASSERT_TRUE(e.Admit(0));
  EXPECT_EQ(e.Ata().vars[0].Target, 0xA0);
  EXPECT_EQ(e.Ata().vars[0].CommandTypeText, "pd1");
}

TEST(Admission, DriveAlreadyListedIsNotProbed) {
  CSimEngine e({Disk(0)});
  ASSERT_TRUE(e.Admit(0));
  e.Sim().Devices().ClearRequests();
  EXPECT_FALSE(e.Admit(0));
  EXPECT_TRUE(e.Sim().Devices().Requests().empty());
  EXPECT_EQ(e.Ata().vars.GetCount(), 1);
}

TEST(Admission, NoAnswerNoRecord) {
  os::sim::SimDisk d = Disk(0);
  d.Paths = {};
  CSimEngine e({d});
  EXPECT_FALSE(e.Admit(0));
  EXPECT_FALSE(e.Admit(7));  // no such drive at all
  EXPECT_EQ(e.Ata().vars.GetCount(), 0);
}

TEST(Admission, ScsiMiniportPaths) {
  os::sim::SimDisk d = Disk(-1);
  d.Paths = {};
  d.Paths[static_cast<size_t>(SimPath::ScsiMiniport)] = true;
  d.ScsiPort = 2;
  d.ScsiTarget = 1;
  CSimEngine e({d});
  // Without a physical drive the port is asked directly.
  ASSERT_TRUE(e.Ata().GetDiskInfo(-1, 2, 1, 0, 0, 0, -1, 0, false, false, "", false));
  const ATA_SMART_INFO& asi = e.Ata().vars[0];
  EXPECT_EQ(asi.CommandType, CMD_TYPE_SCSI_MINIPORT);
  EXPECT_EQ(asi.CommandTypeText, "sm");
  EXPECT_EQ(asi.ScsiPort, 2);
  EXPECT_EQ(asi.ScsiTargetId, 1);
  EXPECT_EQ(asi.IsSmartCorrect, 1);
  EXPECT_EQ(asi.IsThresholdCorrect, 1);
}

TEST(Admission, MiniportFallbackOnlyBehindKnownControllers) {
  // A physical drive that does not answer ATA commands, on a port that does.
  struct Case {
    bool Nvidia, Marvell, Advanced, Admitted;
  };
  for (const Case& c : {Case{false, false, false, false}, Case{true, false, false, true},
                        Case{false, true, false, true}, Case{false, false, true, true}}) {
    os::sim::SimDisk d = Disk(3);
    d.Paths = {};
    d.Paths[static_cast<size_t>(SimPath::ScsiMiniport)] = true;
    d.ScsiPort = 1;
    d.ScsiTarget = 0;
    CSimEngine e({d});
    e.Ata().m_FlagAdvancedDiskSearch = c.Advanced;
    EXPECT_EQ(e.Ata().GetDiskInfo(3, 1, 0, 0, 0, 0, -1, 0, c.Nvidia, c.Marvell, "", false),
              c.Admitted);
    if (c.Admitted) {
      EXPECT_EQ(e.Ata().vars[0].CommandType, CMD_TYPE_SCSI_MINIPORT);
      EXPECT_EQ(e.Ata().vars[0].PhysicalDriveId, 3);
    }
  }
}

TEST(Admission, SiliconImageController) {
  os::sim::SimDisk d = Disk(1);
  d.Paths = {};
  d.Paths[static_cast<size_t>(SimPath::SiliconImage)] = true;
  d.Paths[static_cast<size_t>(SimPath::PredictFailure)] = true;
  d.Paths[static_cast<size_t>(SimPath::AtaPassThrough)] = true;
  d.ScsiPort = 4;
  d.ScsiBus = 1;
  d.SiliconImageType = 3112;
  CSimEngine e({d});
  ASSERT_TRUE(e.Ata().GetDiskInfo(1, 4, 0, 0, 0, 0, 1, 3112, false, false, "", false));
  const ATA_SMART_INFO& asi = e.Ata().vars[0];
  EXPECT_EQ(asi.CommandType, CMD_TYPE_SILICON_IMAGE);
  EXPECT_EQ(asi.SiliconImageType, 3112);
  EXPECT_EQ(asi.IsSmartEnabled, 1);
  EXPECT_EQ(asi.IsSmartCorrect, 1);
  EXPECT_EQ(asi.IsThresholdCorrect, 1);
}

// The double read: which sequences of answers give trusted data.
struct DoubleReadCase {
  const char* Name;
  std::vector<Sector> Reads;
  int32_t Correct;
};

class DoubleReadTest : public testing::TestWithParam<DoubleReadCase> {};

TEST_P(DoubleReadTest, Decides) {
  CSimEngine e({AtaDisk(0, IdentifyBuilder().Build(), GetParam().Reads, HardDiskThresholds())});
  ASSERT_TRUE(e.Admit(0));
  const ATA_SMART_INFO& asi = e.Ata().vars[0];
  EXPECT_EQ(asi.IsSmartCorrect, GetParam().Correct);
  EXPECT_EQ(asi.IsSmartEnabled, 1);
  if (GetParam().Correct == 0) {
    // Untrusted data: every figure is unknown again, the table stays.
    EXPECT_EQ(asi.Temperature, -127);
    EXPECT_EQ(asi.PowerOnRawValue, -1);
    EXPECT_EQ(asi.PowerOnStartRawValue, -1);
    EXPECT_EQ(asi.PowerOnCount, 0);
    EXPECT_GT(asi.AttributeCount, 0);
    EXPECT_EQ(asi.DiskStatus, DISK_STATUS_UNKNOWN);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Reads, DoubleReadTest,
    testing::Values(DoubleReadCase{"agree", {HardDiskData()}, 1},
                    // Values may move between the reads; only the list counts.
                    DoubleReadCase{"values_move", {HardDiskData(35), HardDiskData(36)}, 1},
                    // One disagreement is cured by enabling S.M.A.R.T. and reading again.
                    DoubleReadCase{"disagree_once", {HardDiskData(), OtherData()}, 1},
                    DoubleReadCase{"disagree_twice",
                                   {HardDiskData(), OtherData(), HardDiskData(), OtherData()},
                                   0}),
    [](const testing::TestParamInfo<DoubleReadCase>& i) { return std::string(i.param.Name); });

TEST(Admission, DataEqualToThresholdsIsNoSmart) {
  // A bridge answering every command with the same buffer.
  os::sim::SimDisk d = Disk(0);
  d.Faults[0][static_cast<size_t>(SimOp::SmartThresholds)].Kind = FaultKind::EchoData;
  CSimEngine e({d});
  ASSERT_TRUE(e.Admit(0));
  const ATA_SMART_INFO& asi = e.Ata().vars[0];
  EXPECT_EQ(asi.SmartReadData, asi.SmartReadThreshold);
  EXPECT_EQ(asi.IsSmartEnabled, 0);
  EXPECT_EQ(asi.IsSmartCorrect, 0);
  EXPECT_EQ(asi.IsThresholdCorrect, 0);
  EXPECT_EQ(asi.Temperature, -127);
}

TEST(Admission, IndilinxMayEchoItsData) {
  // The Indilinx family (found by its attribute list) really sends the same
  // bytes for both sectors; it keeps its data.
  Sector data = SmartDataBuilder()
                    .Add({0x01})
                    .Add({0x09, 0x10, 0x00})
                    .Add({0x0C})
                    .Add({0xB8})
                    .Add({0xC3})
                    .Add({0xC4})
                    .Build();
  os::sim::SimDisk d = AtaDisk(0, IdentifyBuilder().Model("X25 DISK").Build(), {data}, data);
  CSimEngine e({d});
  ASSERT_TRUE(e.Admit(0));
  const ATA_SMART_INFO& asi = e.Ata().vars[0];
  ASSERT_EQ(asi.DiskVendorId, 3);
  EXPECT_EQ(asi.IsSmartCorrect, 1);
  EXPECT_EQ(asi.IsSmartEnabled, 1);
  // Its power-on count lives in current and worst, which the first parse,
  // made before the family was known, did not know; the first refresh does.
  EXPECT_EQ(asi.PowerOnRawValue, 0);
}

TEST(Admission, DeleteCharacterInTheModelRefuses) {
  CSimEngine e({Disk(0, IdentifyBuilder().Model("BAD\x7FMODEL"))});
  EXPECT_FALSE(e.Admit(0));
  EXPECT_EQ(e.Ata().vars.GetCount(), 0);
}

TEST(Admission, EmptyModelOrFirmwareRefuses) {
  for (const IdentifyBuilder& id : {IdentifyBuilder().Model(""), IdentifyBuilder().Firmware("   "),
                                    IdentifyBuilder().Model("\x01")}) {
    CSimEngine e({Disk(0, id)});
    EXPECT_FALSE(e.Admit(0));
  }
}

TEST(Admission, ZeroGeometryRefuses) {
  CSimEngine e({Disk(0, IdentifyBuilder().Word(3, 0))});
  EXPECT_FALSE(e.Admit(0));
}

struct ClampCase {
  const char* Name;
  bool Advanced;
  int32_t CommandType;
  bool Admitted;
};

class ClampedGeometryTest : public testing::TestWithParam<ClampCase> {};

TEST_P(ClampedGeometryTest, KeptOnlyWithAdvancedSearchOnDirectPaths) {
  const ClampCase& c = GetParam();
  CSimEngine e({Disk(0, IdentifyBuilder().Word(1, 20000))});
  e.Ata().m_FlagAdvancedDiskSearch = c.Advanced;
  Sector id = e.Disk(0).Identify.value();
  EXPECT_EQ(e.Ata().AddDisk(0, -1, -1, -1, 0xA0, c.CommandType, id.data(), 0, nullptr, ""),
            c.Admitted);
  if (c.Admitted) {
    EXPECT_EQ(e.Ata().vars[0].Cylinder, 16383u);
    EXPECT_EQ(e.Ata().vars[0].IsIdInfoIncorrect, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ClampedGeometryTest,
    testing::Values(ClampCase{"plain", false, CMD_TYPE_PHYSICAL_DRIVE, false},
                    ClampCase{"advanced", true, CMD_TYPE_PHYSICAL_DRIVE, true},
                    ClampCase{"advanced_miniport", true, CMD_TYPE_SCSI_MINIPORT, true},
                    ClampCase{"advanced_usb", true, CMD_TYPE_SAT, false},
                    ClampCase{"advanced_wmi", true, CMD_TYPE_WMI, false}),
    [](const testing::TestParamInfo<ClampCase>& i) { return std::string(i.param.Name); });

TEST(Admission, FortyNinthDiskIsRefused) {
  CSimEngine e({Disk(0)});
  for (int i = 0; i < MAX_DISK; ++i) {
    ATA_SMART_INFO r = e.Ata().NewRecord();
    r.PhysicalDriveId = 100 + i;
    ASSERT_TRUE(e.Ata().vars.Add(r));
  }
  EXPECT_FALSE(e.Admit(0));
  EXPECT_EQ(e.Ata().vars.GetCount(), MAX_DISK);
}

// Two physical drives with the same model and serial number.
struct DuplicateCase {
  const char* Name;
  bool SecondTrusted;
  std::vector<int32_t> Drives;  // PhysicalDriveId of the records, in order
};

class DuplicateTest : public testing::TestWithParam<DuplicateCase> {};

TEST_P(DuplicateTest, SecondReplacesFirstOnlyWhenTrusted) {
  IdentifyBuilder same = IdentifyBuilder().Model("TWIN").Serial("S1");
  os::sim::SimDisk second = Disk(2, same);
  if (!GetParam().SecondTrusted) {
    second.SmartData = {HardDiskData(), OtherData(), HardDiskData(), OtherData()};
  }
  CSimEngine e({Disk(0, same), Disk(1, IdentifyBuilder().Serial("S2")), second});
  ASSERT_TRUE(e.Admit(0));
  ASSERT_TRUE(e.Admit(1));
  EXPECT_EQ(e.Admit(2), GetParam().SecondTrusted);
  std::vector<int32_t> drives;
  for (const ATA_SMART_INFO& r : e.Ata().vars) drives.push_back(r.PhysicalDriveId);
  EXPECT_EQ(drives, GetParam().Drives);
}

INSTANTIATE_TEST_SUITE_P(Reads, DuplicateTest,
                         testing::Values(DuplicateCase{"trusted", true, {1, 2}},
                                         DuplicateCase{"untrusted", false, {0, 1}}),
                         [](const testing::TestParamInfo<DuplicateCase>& i) {
                           return std::string(i.param.Name);
                         });

TEST(Admission, DuplicateConfirmedByWmiIsNeverReplaced) {
  IdentifyBuilder same = IdentifyBuilder().Model("TWIN").Serial("S1");
  CSimEngine e({Disk(0, same), Disk(1, same)});
  ASSERT_TRUE(e.Admit(0));
  e.Ata().vars[0].ModelWmi = "TWIN";
  EXPECT_FALSE(e.Admit(1));
  ASSERT_EQ(e.Ata().vars.GetCount(), 1);
  EXPECT_EQ(e.Ata().vars[0].PhysicalDriveId, 0);
}

TEST(Admission, SameModelOtherSerialIsNoDuplicate) {
  CSimEngine e({Disk(0, IdentifyBuilder().Serial("A")), Disk(1, IdentifyBuilder().Serial("a"))});
  ASSERT_TRUE(e.Admit(0));
  ASSERT_TRUE(e.Admit(1));
  EXPECT_EQ(e.Ata().vars.GetCount(), 2);
}

struct CsmiCase {
  const char* Name;
  int32_t CsmiType;
  bool NewTrusted;
  bool Admitted;
  int32_t CommandType;  // of the one record left
  int32_t PhysicalDriveId;
};

class CsmiDuplicateTest : public testing::TestWithParam<CsmiCase> {};

TEST_P(CsmiDuplicateTest, OneRecordIsLeft) {
  const CsmiCase& c = GetParam();
  IdentifyBuilder same = IdentifyBuilder().Model("RAID MEMBER").Serial("R1");
  os::sim::SimDisk d = Disk(5, same);
  if (!c.NewTrusted) d.SmartData = {HardDiskData(), OtherData(), HardDiskData(), OtherData()};
  CSimEngine e({d});
  e.Ata().m_CsmiType = c.CsmiType;
  // The disk as the RAID controller scan recorded it.
  ATA_SMART_INFO csmi = e.Ata().NewRecord();
  csmi.Model = "RAID MEMBER";
  csmi.SerialNumber = "R1";
  csmi.CommandType = CMD_TYPE_CSMI;
  csmi.CommandTypeText = "cs";
  csmi.PhysicalDriveId = -1;
  ASSERT_TRUE(e.Ata().vars.Add(csmi));

  EXPECT_EQ(e.Admit(5), c.Admitted);
  ASSERT_EQ(e.Ata().vars.GetCount(), 1);
  const ATA_SMART_INFO& left = e.Ata().vars[0];
  EXPECT_EQ(left.CommandType, c.CommandType);
  EXPECT_EQ(left.PhysicalDriveId, c.PhysicalDriveId);
  if (c.CommandType == CMD_TYPE_CSMI_PHYSICAL_DRIVE) {
    EXPECT_EQ(left.CommandTypeText, "cp");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Scans, CsmiDuplicateTest,
    testing::Values(CsmiCase{"trusted", 1, true, true, CMD_TYPE_PHYSICAL_DRIVE, 5},
                    CsmiCase{"untrusted", 1, false, false, CMD_TYPE_CSMI_PHYSICAL_DRIVE, 5},
                    // Without the CSMI scan mode the record only learns its drive.
                    CsmiCase{"no_scan", 0, true, false, CMD_TYPE_CSMI, 5}),
    [](const testing::TestParamInfo<CsmiCase>& i) { return std::string(i.param.Name); });

TEST(Admission, ThresholdBugModels) {
  struct Case {
    const char* Model;
    const char* Firmware;
    int32_t Bug;
  };
  for (const Case& c : {Case{"SSD G2 Series", "3.6.5", 1}, Case{"SSD G2 Series", "3.6.6", 0},
                        Case{"OCZ-VERTEX2", "1.27", 1}, Case{"OCZ-VERTEX2", "1.28", 0}}) {
    CSimEngine e({Disk(0, IdentifyBuilder().Model(c.Model).Firmware(c.Firmware))});
    ASSERT_TRUE(e.Admit(0));
    EXPECT_EQ(e.Ata().vars[0].IsThresholdBug, c.Bug) << c.Model << " " << c.Firmware;
  }
}

TEST(Admission, IntelOffsetAppliedOnce) {
  // An Intel SSD whose counter carries the offset keeps hours below it.
  CSimEngine e({AtaDisk(0, IdentifyBuilder().Model("Intel X25-M").Build(),
                        {SmartDataBuilder().Add({0x09, 100, 100, 894803 + 50}).Build()},
                        ThresholdBuilder().Add(0x09, 0).Build())});
  ASSERT_TRUE(e.Admit(0));
  EXPECT_EQ(e.Ata().vars[0].PowerOnRawValue, 50);
  EXPECT_EQ(e.Ata().vars[0].MeasuredTimeUnitType, TIME_UNIT_HOURS_OFFSET);
  EXPECT_EQ(e.Ata().vars[0].MeasuredPowerOnHours, 50);
}

// SET FEATURES on the record's path: the task file that reached the disk.
struct SetFeaturesCase {
  const char* Name;
  bool (*Call)(CAtaSmart&);
  uint8_t Feature, Count;
};

class SetFeaturesTest : public testing::TestWithParam<SetFeaturesCase> {};

TEST_P(SetFeaturesTest, SendsTheTaskFile) {
  const SetFeaturesCase& c = GetParam();
  CSimEngine e({Disk(0, IdentifyBuilder().Word(83, 0x0608).Word(86, 0x0208))});
  ASSERT_TRUE(e.Admit(0));
  e.Sim().Devices().ClearRequests();
  EXPECT_TRUE(c.Call(e.Ata()));
  const auto sent = e.Sim().Devices().RequestsWithCode(winio::CTL_ATA_PASS_THROUGH);
  ASSERT_GE(sent.size(), 1u);
  const uint8_t* tf = sent[0].In.data() + winio::APT_LAYOUT.CurrentTaskFileAt;
  EXPECT_EQ(tf[winio::TASK_COMMAND], 0xEF);
  EXPECT_EQ(tf[winio::TASK_FEATURES], c.Feature);
  EXPECT_EQ(tf[winio::TASK_SECTOR_COUNT], c.Count);
  EXPECT_EQ(tf[winio::TASK_DEVICE], 0xA0);
  // IDENTIFY is read again after the command.
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[1].In[winio::APT_LAYOUT.CurrentTaskFileAt + winio::TASK_COMMAND], 0xEC);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, SetFeaturesTest,
    testing::Values(
        SetFeaturesCase{"enable_aam", [](CAtaSmart& a) { return a.EnableAam(0, 0x80); }, 0x42,
                        0x80},
        SetFeaturesCase{"disable_aam", [](CAtaSmart& a) { return a.DisableAam(0); }, 0xC2, 0},
        SetFeaturesCase{"enable_apm", [](CAtaSmart& a) { return a.EnableApm(0, 0xFE); }, 0x05,
                        0xFE},
        SetFeaturesCase{"disable_apm", [](CAtaSmart& a) { return a.DisableApm(0); }, 0x85, 0}),
    [](const testing::TestParamInfo<SetFeaturesCase>& i) { return std::string(i.param.Name); });

TEST(Admission, SetFeaturesNotOnMiniportPaths) {
  CSimEngine e({Disk(0)});
  ASSERT_TRUE(e.Admit(0));
  e.Ata().vars[0].CommandType = CMD_TYPE_SCSI_MINIPORT;
  e.Sim().Devices().ClearRequests();
  EXPECT_FALSE(e.Ata().SendSetFeatures(0, 0x42, 0x80));
  EXPECT_TRUE(e.Sim().Devices().RequestsWithCode(winio::CTL_ATA_PASS_THROUGH).empty());
  EXPECT_THROW(e.Ata().SendSetFeatures(1, 0x42, 0x80), std::out_of_range);
}

TEST(Admission, RefreshIdentifyTakesNewFlagsAndKeepsOldOnFailure) {
  CSimEngine e({Disk(0, IdentifyBuilder().Word(83, 0x0608).Word(86, 0x0000))});
  ASSERT_TRUE(e.Admit(0));
  EXPECT_EQ(e.Ata().vars[0].IsAamEnabled, 0);
  // The disk now reports AAM and APM enabled.
  e.Disk(0).Identify = IdentifyBuilder().Word(83, 0x0608).Word(86, 0x0208).Build();
  EXPECT_TRUE(e.Ata().RefreshIdentify(0));
  EXPECT_EQ(e.Ata().vars[0].IsAamEnabled, 1);
  EXPECT_EQ(e.Ata().vars[0].IsApmEnabled, 1);
  // A disk that stops answering keeps the sector it last sent.
  const Sector before = e.Ata().vars[0].IdentifyDevice;
  e.Disk(0).Paths = {};
  EXPECT_FALSE(e.Ata().RefreshIdentify(0));
  EXPECT_EQ(e.Ata().vars[0].IdentifyDevice, before);
  EXPECT_EQ(e.Ata().vars[0].IsAamSupported, 1);
}

// The six real disks: what admission derives from the sectors they sent.
struct RealDiskCase {
  const char* Folder;
  const char* Model;
  const char* Serial;
  const char* Firmware;
  int32_t Major;
  const char* MajorText;
  const char* MinorText;
  uint32_t TransferMode;
  const char* Current;
  const char* Max;
  const char* Interface;
  uint32_t TotalDiskSize;
  int32_t Temperature;
  int32_t PowerOnHours;
  int32_t PowerOnCount;
  int32_t AttributeCount;
};

class RealDiskTest : public testing::TestWithParam<RealDiskCase> {};

Sector ReadSector(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() != 512) throw std::runtime_error("not a sector: " + path);
  Sector s{};
  std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char*>(s.data()));
  return s;
}

TEST_P(RealDiskTest, Admits) {
  const RealDiskCase& c = GetParam();
  const std::string dir = std::string(STAVRION_SOURCE_DIR) + "/fixtures/real-ata/" + c.Folder;
  CSimEngine e({AtaDisk(0, ReadSector(dir + "/identify.bin"), {ReadSector(dir + "/smart_data.bin")},
                        ReadSector(dir + "/smart_thresholds.bin"))});
  ASSERT_TRUE(e.Admit(0));
  const ATA_SMART_INFO& asi = e.Ata().vars[0];
  EXPECT_EQ(asi.Model, c.Model);
  EXPECT_EQ(asi.SerialNumber, c.Serial);
  EXPECT_EQ(asi.FirmwareRev, c.Firmware);
  EXPECT_EQ(asi.IsCheckSumError, 0);
  EXPECT_EQ(asi.MajorVersion, c.Major);
  EXPECT_EQ(asi.MajorVersionText, c.MajorText);
  EXPECT_EQ(asi.MinorVersionText, c.MinorText);
  EXPECT_EQ(asi.TransferModeType, c.TransferMode);
  EXPECT_EQ(asi.CurrentTransferMode, c.Current);
  EXPECT_EQ(asi.MaxTransferMode, c.Max);
  EXPECT_EQ(asi.Interface, c.Interface);
  // None of these models has a unit other than hours.
  EXPECT_EQ(asi.DetectedTimeUnitType, TIME_UNIT_HOURS);
  EXPECT_EQ(asi.TotalDiskSize, c.TotalDiskSize);
  EXPECT_EQ(asi.IsSmartCorrect, 1);
  EXPECT_EQ(asi.IsThresholdCorrect, 1);
  EXPECT_EQ(asi.AttributeCount, c.AttributeCount);
  EXPECT_EQ(asi.Temperature, c.Temperature);
  EXPECT_EQ(asi.DetectedPowerOnHours, c.PowerOnHours);
  EXPECT_EQ(asi.PowerOnCount, c.PowerOnCount);
}

// Capacity: the LBA count / 2048 less 49 MB. Temperature: raw byte 0 of C2
// (or BE). Power-on: raw32 of 09 in hours.
INSTANTIATE_TEST_SUITE_P(
    Disks, RealDiskTest,
    testing::Values(
        // FUJITSU with ATA8 counts hours; SATA/150 without a negotiated speed.
        RealDiskCase{"FUJITSU_MHY2120BH--0084000D", "FUJITSU MHY2120BH", "K434T81257SL", "0084000D",
                     8, "ATA8-ACS", "ATA8-ACS version 3f", 10, "----", "SATA/150", "Serial ATA",
                     114424, 28, 2208, 635, 21},
        RealDiskCase{"INTEL_SSDSA2CW120G3--4PC10302", "INTEL SSDSA2CW120G3", "CVPR109301UZ120LGN",
                     "4PC10302", 8, "ATA8-ACS", "ATA8-ACS version 4", 11, "----", "SATA/300",
                     "Serial ATA", 114424, -127, 45, 14, 19},
        // A parallel disk without 48-bit addressing: the 28-bit count.
        RealDiskCase{"MCCOE64GEMPP--2.9.09", "MCCOE64GEMPP", "SE808N0608", "2.9.09", 7,
                     "ATA/ATAPI-7", "ATA/ATAPI-7 T13 1532D version 4a", 7, "UDMA/66", "UDMA/66",
                     "Parallel ATA", 57192, -127, 1, 36, 16},
        // SATA/300 Samsung: hours, not half minutes.
        RealDiskCase{"SAMSUNG_HD501LJ--CR100-12", "SAMSUNG HD501LJ", "S0MUJ1NQ110060", "CR100-12",
                     8, "ATA8-ACS", "ATA8-ACS version 3b", 11, "----", "SATA/300", "Serial ATA",
                     476891, 47, 7326, 88, 23},
        // Seagate keeps more than the hours in raw bytes 4-5; raw32 is 4377.
        RealDiskCase{"ST9100821AS--3.CME", "ST9100821AS", "5NJ0R13A", "3.CME", 7, "ATA/ATAPI-7",
                     "----", 10, "----", "SATA/150", "Serial ATA", 95347, 34, 4377, 550, 24},
        RealDiskCase{"WDC_WD5000AAKS--00TMA0-12.01C01", "WDC WD5000AAKS-00TMA0", "WD-WCAPW0493929",
                     "12.01C01", 7, "ATA/ATAPI-7", "----", 11, "----", "SATA/300", "Serial ATA",
                     476891, 40, 14992, 56, 17}));

}  // namespace
