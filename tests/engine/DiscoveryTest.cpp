// Disk discovery against simulated machines: the physical-drive pass, WMI's
// disk drives and controllers, the order of the list, drive letters, the
// change flag, hiding disks without S.M.A.R.T. and the WMI service start.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/DebugLog.h"
#include "engine/AtaSmart.h"
#include "os/IniProfile.h"
#include "os/sim/SimPlatform.h"
#include "os/sim/SimWmiTables.h"
#include "os/wire/WinIoctl.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SectorBuilder.h"
#include "tests/support/SimTestSupport.h"
#include "tests/support/StdFileSystem.h"

using os::sim::SimDisk;
using os::sim::SimMachine;
using os::sim::SimPath;
using testutil::Attr;
using testutil::IdentifyBuilder;
using testutil::SmartDataBuilder;
using testutil::ThresholdBuilder;

using testutil::CLogCapture;

namespace {

// A SATA hard disk with S.M.A.R.T.: model "<model>", serial "<serial>".
SimDisk AtaDisk(int32_t drive, const std::string& model, const std::string& serial) {
  SimDisk d;
  d.Name = model;
  d.PhysicalDrive = drive;
  for (SimPath p : {SimPath::AtaPassThrough, SimPath::SmartIoctl}) {
    d.Paths[static_cast<size_t>(p)] = true;
  }
  d.Identify = IdentifyBuilder().Model(model).Serial(serial).Firmware("FW01").Build();
  d.SmartData = {SmartDataBuilder()
                     .Add({0x01, 100, 100, 0})
                     .Add({0x05, 100, 100, 0})
                     .Add({0x09, 99, 99, 1234})
                     .Add({0xC2, 100, 100, 35})
                     .Build()};
  d.SmartThresholds = ThresholdBuilder().Add(0x01, 50).Add(0x05, 10).Build();
  return d;
}

os::WmiObject Row(std::initializer_list<std::pair<const char*, os::WmiValue>> properties) {
  os::WmiObject o;
  for (const auto& [name, value] : properties) o.Properties[name] = value;
  return o;
}

void AddRow(SimMachine& m, const char* cls, os::WmiObject object) {
  m.WmiRows.push_back({"root\\cimv2", cls, std::move(object)});
}

// Rows putting `device` on `controller` (a controller row of `controllerClass`
// named `name`, associated through `assocClass`).
void AddController(SimMachine& m, const char* controllerClass, const char* assocClass,
                   const std::string& id, const std::string& name,
                   const std::vector<std::pair<std::string, std::string>>& devices) {
  AddRow(m, controllerClass, Row({{"DeviceID", id}, {"Name", name}}));
  for (const auto& [deviceId, deviceName] : devices) {
    AddRow(m, assocClass, Row({{"Antecedent", id}, {"Dependent", deviceId}}));
    AddRow(m, "Win32_PnPEntity", Row({{"DeviceID", deviceId}, {"Name", deviceName}}));
  }
}

class Discovery : public testing::Test {
 protected:
  // Builds the platform for `machine` (replacing an earlier one) and a
  // fresh engine on it.
  CAtaSmart& Start(SimMachine machine) {
    m_Ata.reset();
    m_Sim = std::make_unique<os::sim::CSimPlatform>(std::move(machine), m_Files);
    m_Platform = std::make_unique<os::Platform>(m_Sim->Get());
    m_Ata = std::make_unique<CAtaSmart>(*m_Platform);
    m_Ata->SetUsbSupport(true);
    return *m_Ata;
  }
  os::sim::CSimPlatform& Sim() { return *m_Sim; }

  std::vector<int32_t> Drives() const {
    std::vector<int32_t> ids;
    for (const auto& asi : m_Ata->vars) ids.push_back(asi.PhysicalDriveId);
    return ids;
  }

  testutil::CStdFileSystem m_Files;
  std::unique_ptr<os::sim::CSimPlatform> m_Sim;
  std::unique_ptr<os::Platform> m_Platform;
  std::unique_ptr<CAtaSmart> m_Ata;
};

// ---- physical-drive pass and order ---------------------------------------

TEST_F(Discovery, WithoutWmiThePhysicalDrivesAreFoundInDriveOrder) {
  SimMachine m;
  m.WmiAvailable = false;
  m.Disks = {AtaDisk(5, "DISK FIVE", "S5"), AtaDisk(0, "DISK ZERO", "S0"),
             AtaDisk(2, "DISK TWO", "S2")};
  CAtaSmart& ata = Start(m);
  CLogCapture log;
  ata.Init(false, false, nullptr, false, false);
  EXPECT_EQ(Drives(), (std::vector<int32_t>{0, 2, 5}));
  for (const auto& asi : ata.vars) {
    EXPECT_EQ(asi.CommandType, CMD_TYPE_PHYSICAL_DRIVE);
    EXPECT_TRUE(asi.ModelWmi.empty()) << "no WMI, no WMI model";
    EXPECT_EQ(asi.DiskSizeWmi, 0u);
  }
  EXPECT_TRUE(log.Has("CAtaSmart::Init WMI off - Start"));
  EXPECT_TRUE(log.Has("OK:GetDiskInfo - PhysicalDrive"));
  EXPECT_TRUE(log.Has("OK:qsort"));
  EXPECT_TRUE(log.Has("CAtaSmart::Init - Complete"));
  EXPECT_TRUE(Sim().Wmi().Queries().empty());
}

TEST_F(Discovery, WmiDisksAreSortedByPhysicalDrive) {
  SimMachine m;
  m.Disks = {AtaDisk(3, "DISK THREE", "S3"), AtaDisk(1, "DISK ONE", "S1"),
             AtaDisk(0, "DISK ZERO", "S0")};
  CAtaSmart& ata = Start(m);
  ata.Init(true, false, nullptr, false, false);
  EXPECT_EQ(Drives(), (std::vector<int32_t>{0, 1, 3}));
  EXPECT_TRUE(ata.m_FlagWmiReady);
  for (const auto& asi : ata.vars) EXPECT_EQ(asi.ModelWmi, asi.Model);
}

TEST_F(Discovery, FixedDisksAreWokenBeforeWmiDisksAreProbed) {
  SimMachine m;
  m.Disks = {AtaDisk(0, "DISK ZERO", "S0"), AtaDisk(1, "STICK", "S1")};
  m.Disks[1].MediaType = 11;  // removable
  CAtaSmart& ata = Start(m);
  CLogCapture log;
  ata.Init(true, false, nullptr, false, false);
  EXPECT_TRUE(log.Has("FixedMedia, WakeUp(0)"));
  EXPECT_FALSE(log.Has("FixedMedia, WakeUp(1)"));
  EXPECT_TRUE(log.Has("GetIoCtrlHandle(2) fail"));
}

TEST_F(Discovery, TheFortyNinthDiskIsNeverAdded) {
  SimMachine m;
  m.WmiAvailable = false;
  for (int i = 0; i < 50; ++i) {
    char model[16], serial[8];
    std::snprintf(model, sizeof(model), "DISK %02d", i);
    std::snprintf(serial, sizeof(serial), "S%02d", i);
    m.Disks.push_back(AtaDisk(i, model, serial));
  }
  CAtaSmart& ata = Start(m);
  ata.Init(false, false, nullptr, false, false);
  ASSERT_EQ(ata.vars.GetCount(), MAX_DISK);
  EXPECT_EQ(ata.vars[MAX_DISK - 1].PhysicalDriveId, MAX_DISK - 1);
}

TEST_F(Discovery, ADiskWithoutFixedMediaOrGeometryIsSkippedByThePhysicalPass) {
  SimMachine m;
  m.WmiAvailable = false;
  m.Disks = {AtaDisk(0, "FIXED", "S0"), AtaDisk(1, "REMOVABLE", "S1"),
             AtaDisk(2, "NO GEOMETRY", "S2")};
  m.Disks[1].MediaType = 11;
  m.Disks[2].HasGeometry = false;
  CAtaSmart& ata = Start(m);
  ata.Init(false, false, nullptr, false, false);
  EXPECT_EQ(Drives(), (std::vector<int32_t>{0}));
}

TEST_F(Discovery, ByteSwappedMakerNamesAreTurnedBackByThePhysicalPass) {
  SimMachine m;
  m.WmiAvailable = false;
  // The disk sends its text unswapped: IDENTIFY decoding reads "DW CW...".
  m.Disks = {AtaDisk(0, "DW CDW05A0", "S0")};
  CAtaSmart& ata = Start(m);
  CLogCapture log;
  ata.Init(false, false, nullptr, false, false);
  ASSERT_EQ(ata.vars.GetCount(), 1);
  EXPECT_TRUE(log.Has("Reverse"));
  EXPECT_EQ(ata.vars[0].Model, ata.vars[0].ModelReverse);
  EXPECT_EQ(ata.vars[0].Model.rfind("WDC ", 0), 0u) << ata.vars[0].Model;
  EXPECT_EQ(ata.vars[0].ModelSerial,
            CAtaSmart::GetModelSerial(ata.vars[0].Model, ata.vars[0].SerialNumber));
}

// ---- exclusions and model rules -------------------------------------------

struct ExclusionCase {
  const char* Name;
  const char* Model;
  const char* Firmware;
  bool Workaround;
  bool Admitted;
};

class DiscoveryExclusion : public Discovery, public testing::WithParamInterface<ExclusionCase> {};

TEST_P(DiscoveryExclusion, ModelsLeftAloneOnEveryPass) {
  const ExclusionCase& c = GetParam();
  for (bool useWmi : {true, false}) {
    SimMachine m;
    m.Disks = {AtaDisk(0, c.Model, "S0")};
    m.Disks[0].Identify =
        IdentifyBuilder().Model(c.Model).Serial("S0").Firmware(c.Firmware).Build();
    CAtaSmart& ata = Start(m);
    ata.Init(useWmi, false, nullptr, c.Workaround, false);
    EXPECT_EQ(ata.vars.GetCount(), c.Admitted ? 1 : 0) << "useWmi " << useWmi;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Models, DiscoveryExclusion,
    testing::Values(
        ExclusionCase{"Hd204uiWithWorkaround", "SAMSUNG HD204UI", "1AN10002", true, false},
        ExclusionCase{"Hd155uiWithWorkaround", "SAMSUNG HD155UI", "1AN10002", true, false},
        ExclusionCase{"Hd204uiFixedFirmware", "SAMSUNG HD204UI", "1AQ10003", true, true},
        ExclusionCase{"Hd204uiWithoutWorkaround", "SAMSUNG HD204UI", "1AN10002", false, true},
        ExclusionCase{"FuzeDrive", "AMD FuzeDrive SSD", "FW01", false, false},
        ExclusionCase{"StoreMI", "AMD StoreMI Tier", "FW01", false, false},
        ExclusionCase{"PlainDisk", "SAMSUNG HD501LJ", "CR100-12", true, true}),
    [](const testing::TestParamInfo<ExclusionCase>& p) { return p.param.Name; });

TEST_F(Discovery, WmiModelInTheOtherByteOrderSwapsTheTexts) {
  SimMachine m;
  m.Disks = {AtaDisk(0, "OTHER BYTE ORDER", "ABCDEFGH")};
  os::WmiObject drive = os::sim::DerivedDiskDrive(m.Disks[0]);
  // Windows shows the model the other way round: the disk's bytes are
  // pairwise swapped against what IDENTIFY decoding assumes.
  drive.Properties["Model"] = std::string("TOEH RYBETO DRRE");
  AddRow(m, "Win32_DiskDrive", drive);
  CAtaSmart& ata = Start(m);
  ata.Init(true, false, nullptr, false, false);
  ASSERT_EQ(ata.vars.GetCount(), 1);
  const auto& asi = ata.vars[0];
  EXPECT_EQ(asi.Model, asi.ModelReverse);
  EXPECT_EQ(asi.SerialNumber, asi.SerialNumberReverse);
  EXPECT_EQ(asi.FirmwareRev, asi.FirmwareRevReverse);
  EXPECT_EQ(asi.ModelSerial, CAtaSmart::GetModelSerial(asi.Model, asi.SerialNumber));
}

TEST_F(Discovery, WmiModelUnlikeBothOrdersOnlyLogs) {
  SimMachine m;
  m.Disks = {AtaDisk(0, "REAL MODEL", "S0")};
  os::WmiObject drive = os::sim::DerivedDiskDrive(m.Disks[0]);
  drive.Properties["Model"] = std::string("SOMETHING ELSE");
  AddRow(m, "Win32_DiskDrive", drive);
  CAtaSmart& ata = Start(m);
  CLogCapture log;
  ata.Init(true, false, nullptr, false, false);
  ASSERT_EQ(ata.vars.GetCount(), 1);
  EXPECT_EQ(ata.vars[0].Model, "REAL MODEL");
  EXPECT_EQ(ata.vars[0].ModelWmi, "SOMETHING ELSE");
  EXPECT_TRUE(log.Has("DISABLED: vars.RemoveAt(index) - 2"));
}

struct SizeCase {
  const char* Name;
  uint64_t Sectors;  // what IDENTIFY says (LBA28)
  const char* Size;  // what WMI says, bytes
  uint32_t WmiMb;    // expected DiskSizeWmi
  uint32_t TotalMb;  // expected TotalDiskSize
};

class DiscoverySize : public Discovery, public testing::WithParamInterface<SizeCase> {};

TEST_P(DiscoverySize, WmiSizeReplacesSmallCapacities) {
  const SizeCase& c = GetParam();
  SimMachine m;
  m.Disks = {AtaDisk(0, "SIZED DISK", "S0")};
  m.Disks[0].Identify = IdentifyBuilder()
                            .Model("SIZED DISK")
                            .Serial("S0")
                            .Word(83, 0)  // no 48-bit addressing
                            .Sectors28(static_cast<uint32_t>(c.Sectors))
                            .Build();
  os::WmiObject drive = os::sim::DerivedDiskDrive(m.Disks[0]);
  drive.Properties["Size"] = std::string(c.Size);
  AddRow(m, "Win32_DiskDrive", drive);
  CAtaSmart& ata = Start(m);
  ata.Init(true, false, nullptr, false, false);
  ASSERT_EQ(ata.vars.GetCount(), 1);
  EXPECT_EQ(ata.vars[0].DiskSizeWmi, c.WmiMb);
  EXPECT_EQ(ata.vars[0].TotalDiskSize, c.TotalMb);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, DiscoverySize,
    testing::Values(
        // 4 GB by IDENTIFY (4096 - 49 MB): inside 1024..10239, WMI wins.
        SizeCase{"SmallDiskTakesWmiSize", 8388608, "5368709120", 5120 - 49, 5120 - 49},
        // 500 GB: IDENTIFY's capacity stays.
        SizeCase{"LargeDiskKeepsItsOwn", 0x0FFFFFFF, "500107862016", 476940 - 49, 131071 - 49},
        // A size below the 49 MB all capacities lose is no size at all.
        // (IDENTIFY's own figure is then the CHS one, 16383/16/63: 8063 - 49.)
        SizeCase{"TinyWmiSizeIsIgnored", 8388608, "1048576", 0, 8063 - 49},
        SizeCase{"GarbageWmiSizeIsIgnored", 8388608, "lots", 0, 8063 - 49}),
    [](const testing::TestParamInfo<SizeCase>& p) { return p.param.Name; });

// ---- removable media and controllers ----------------------------------------

TEST_F(Discovery, RemovableUsbStickIsSkippedAndItsLetterNotMapped) {
  SimMachine m;
  m.Disks = {AtaDisk(0, "FIXED DISK", "S0"), AtaDisk(1, "Generic Flash Disk", "S1")};
  m.Disks[0].DriveLetters = "C";
  m.Disks[1].MediaType = 11;
  m.Disks[1].BusType = winio::BUS_USB;
  m.Disks[1].DriveLetters = "E";
  CAtaSmart& ata = Start(m);
  ata.m_FlagUsbMemory = false;
  CLogCapture log;
  ata.Init(true, false, nullptr, false, false);
  EXPECT_EQ(Drives(), (std::vector<int32_t>{0}));
  EXPECT_EQ(ata.vars[0].DriveMapLine, "C:");
  // Never probed: no command reached the stick, only geometry.
  for (const auto& r : Sim().Devices().Requests()) {
    if (r.Device == "\\\\.\\PhysicalDrive1" && r.Type == os::sim::SimRequest::Kind::Control) {
      EXPECT_EQ(r.Code, winio::CTL_DISK_GET_DRIVE_GEOMETRY);
    }
  }
  // The removable letter was not even looked at.
  EXPECT_FALSE(log.Has("n = 0, pDiskExtent->DiskNumber = 1"));
}

TEST_F(Discovery, NamedUsbSticksAreProbedAndTheirLettersWanted) {
  SimMachine m;
  m.Disks = {AtaDisk(0, "FIXED DISK", "S0"), AtaDisk(1, "SanDisk Extreme", "S1")};
  m.Disks[1].MediaType = 11;
  m.Disks[1].BusType = winio::BUS_USB;
  m.Disks[1].DriveLetters = "E";
  CAtaSmart& ata = Start(m);
  ata.m_FlagUsbMemory = false;
  CLogCapture log;
  ata.Init(true, false, nullptr, false, false);
  EXPECT_TRUE(log.Has("DO:GetDiskInfo pd=1"));
  EXPECT_TRUE(log.Has("INTERFACE_TYPE_USB"));
  EXPECT_TRUE(log.Has("n = 0, pDiskExtent->DiskNumber = 1"));
}

TEST_F(Discovery, ControllerMapFlagsAndLists) {
  SimMachine m;
  m.Disks = {AtaDisk(0, "DISK ZERO", "S0")};
  AddController(m, "Win32_IDEController", "Win32_IDEControllerDevice", "PCIIDE\\IDECHANNEL\\4&1&0",
                "NVIDIA nForce Serial ATA Controller", {{"IDE\\DISK0", "DISK ZERO"}});
  AddController(m, "Win32_SCSIController", "Win32_SCSIControllerDevice", "PCI\\VEN_1095&DEV_3132",
                "Silicon Image SiI 3132 SATALink Controller", {{"SCSI\\DISK&SI\\1", "SI DISK"}});
  AddController(m, "Win32_SCSIController", "Win32_SCSIControllerDevice", "PCI\\VEN_1106&DEV_3164",
                "VIA VT6410 ATA RAID Controller", {{"SCSI\\DISK&VIA\\1", "VIA DISK"}});
  AddController(m, "Win32_SCSIController", "Win32_SCSIControllerDevice", "USB\\UAS\\1",
                "USB Attached SCSI (UAS) Mass Storage Device", {{"SCSI\\DISK&UAS\\1", "UAS"}});
  AddController(m, "Win32_SCSIController", "Win32_SCSIControllerDevice", "ROOT\\DVDFAB",
                "DVDFab Virtual Drive", {{"SCSI\\CDROM&DVDFAB", "DVDFab"}});
  AddController(m, "Win32_USBController", "Win32_USBControllerDevice", "PCI\\USB\\1",
                "Standard USB 3.0 eXtensible Host Controller",
                {{"USB\\ROOT_HUB30\\4&1", "Root Hub"},
                 {"USB\\VID_152D&PID_2329\\0123456789", "USB Mass Storage Device"},
                 {"USBSTOR\\DISK&VEN_WDC&PROD_WD50\\0123456789&0", "WDC WD5000AAKS USB Device"}});
  CAtaSmart& ata = Start(m);
  CLogCapture log;
  ata.Init(true, false, nullptr, false, false);

  EXPECT_TRUE(ata.m_FlagNvidiaController);
  EXPECT_FALSE(ata.m_FlagMarvellController);
  EXPECT_EQ(ata.m_SiliconImageControllerList, (std::vector<std::string>{"SCSI\\DISK&SI\\1"}));
  EXPECT_EQ(ata.m_SiliconImageTypeList, (std::vector<uint32_t>{3132}));
  EXPECT_EQ(ata.m_BlackScsiControllerList, (std::vector<std::string>{"SCSI\\DISK&VIA\\1"}));
  EXPECT_EQ(ata.m_UaspControllerList, (std::vector<std::string>{"SCSI\\DISK&UAS\\1"}));
  ASSERT_EQ(ata.m_ExternalDiskList.size(), 1u);
  EXPECT_EQ(ata.m_ExternalDiskList[0].Enclosure, "WDC WD5000AAKS USB Device");
  EXPECT_EQ(ata.m_ExternalDiskList[0].UsbVendorId, 0x152D);
  EXPECT_EQ(ata.m_ExternalDiskList[0].UsbProductId, 0x2329);
  EXPECT_TRUE(log.Has("VID=152Dh, PID=2329h"));

  EXPECT_NE(ata.m_ControllerMap.find("NVIDIA nForce Serial ATA Controller (0) [ATA]"),
            std::string::npos)
      << ata.m_ControllerMap;
  EXPECT_NE(ata.m_ControllerMap.find("VIA VT6410 ATA RAID Controller [SCSI]"), std::string::npos);
  EXPECT_EQ(ata.m_ControllerMap.find("DVDFab"), std::string::npos);
  // The device lists were asked for with doubled backslashes.
  bool asked = false;
  for (const auto& q : Sim().Wmi().Queries()) {
    asked =
        asked || q.Wql ==
                     "ASSOCIATORS OF {Win32_SCSIController.DeviceID=\"PCI\\\\VEN_1095&DEV_3132\"}"
                     " WHERE AssocClass = Win32_SCSIControllerDevice";
  }
  EXPECT_TRUE(asked);
}

TEST_F(Discovery, BlackListedControllerDiskIsNotProbedThroughWmi) {
  for (bool advanced : {false, true}) {
    SimMachine m;
    m.Disks = {AtaDisk(0, "VIA DISK", "S0")};
    m.Disks[0].PnpDeviceId = "SCSI\\DISK&VEN_VIA\\5&0";
    AddController(m, "Win32_SCSIController", "Win32_SCSIControllerDevice", "PCI\\VEN_1106",
                  "VIA VT6410 ATA RAID Controller", {{"SCSI\\DISK&VEN_VIA\\5&0", "VIA DISK"}});
    CAtaSmart& ata = Start(m);
    CLogCapture log;
    ata.Init(true, advanced, nullptr, false, false);
    EXPECT_EQ(log.Has("BlackScsiController:SCSI\\DISK&VEN_VIA\\5&0"), !advanced);
    // The physical-drive pass still finds it, but without WMI's model.
    ASSERT_EQ(ata.vars.GetCount(), 1);
    EXPECT_EQ(ata.vars[0].ModelWmi.empty(), !advanced) << "advanced " << advanced;
  }
}

TEST_F(Discovery, EmptyPnpIdIsOnNoController) {
  SimMachine m;
  m.Disks = {AtaDisk(0, "DISK", "S0")};
  os::WmiObject drive = os::sim::DerivedDiskDrive(m.Disks[0]);
  drive.Properties["PNPDeviceID"] = std::string();
  AddRow(m, "Win32_DiskDrive", drive);
  AddController(m, "Win32_SCSIController", "Win32_SCSIControllerDevice", "PCI\\VEN_1106",
                "VIA VT6410 ATA RAID Controller", {{"SCSI\\DISK&VEN_VIA\\5&0", "VIA DISK"}});
  CAtaSmart& ata = Start(m);
  ata.Init(true, false, nullptr, false, false);
  ASSERT_EQ(ata.vars.GetCount(), 1);
  EXPECT_EQ(ata.vars[0].ModelWmi, "DISK");
}

// ---- drive letters -----------------------------------------------------------

TEST_F(Discovery, VolumeSpanningTwoDisksGivesItsLetterToBoth) {
  SimMachine m;
  m.Disks = {AtaDisk(0, "DISK ZERO", "S0"), AtaDisk(1, "DISK ONE", "S1")};
  m.Disks[0].DriveLetters = "CD";
  m.Disks[1].DriveLetters = "D";
  CAtaSmart& ata = Start(m);
  ata.Init(true, false, nullptr, false, false);
  ASSERT_EQ(ata.vars.GetCount(), 2);
  EXPECT_EQ(ata.vars[0].DriveLetterMap, (1u << 2) | (1u << 3));
  EXPECT_EQ(ata.vars[0].DriveMap, "C: \nD:");
  EXPECT_EQ(ata.vars[0].DriveMapLine, "C: D:");
  EXPECT_EQ(ata.vars[1].DriveLetterMap, 1u << 3);
  EXPECT_EQ(ata.vars[1].DriveMap, "D:");
  EXPECT_EQ(ata.vars[1].DriveMapLine, "D:");
}

TEST_F(Discovery, WithoutDriveLettersNothingIsMapped) {
  SimMachine m;
  m.Disks = {AtaDisk(0, "DISK ZERO", "S0")};
  m.Disks[0].DriveLetters = "C";
  CAtaSmart& ata = Start(m);
  os::Platform noLetters = Sim().Get();
  noLetters.Volumes = nullptr;
  CAtaSmart bare(noLetters);
  bare.Init(true, false, nullptr, false, false);
  ASSERT_EQ(bare.vars.GetCount(), 1);
  EXPECT_EQ(bare.vars[0].DriveLetterMap, 0u);
  ata.Init(true, false, nullptr, false, false);
  EXPECT_EQ(ata.vars[0].DriveLetterMap, 1u << 2);
}

// A machine without drive letters whose platform knows each disk's mount
// points and device node, as on Linux: every request goes to the simulated
// machine.
class CMountedDevices : public os::IDeviceIo {
 public:
  CMountedDevices(os::IDeviceIo& inner, std::map<int32_t, std::vector<std::string>> mounts)
      : m_Inner(inner), m_Mounts(std::move(mounts)) {}
  std::unique_ptr<os::IDeviceHandle> Open(const std::string& name, os::Access access,
                                          uint32_t* error) override {
    return m_Inner.Open(name, access, error);
  }
  bool DefineRawDosDevice(const std::string& name, const std::string& target) override {
    return m_Inner.DefineRawDosDevice(name, target);
  }
  std::string DevicePath(int32_t drive) override { return "/dev/disk" + std::to_string(drive); }
  std::vector<std::string> MountPoints(int32_t drive) override {
    auto it = m_Mounts.find(drive);
    return it == m_Mounts.end() ? std::vector<std::string>{} : it->second;
  }

 private:
  os::IDeviceIo& m_Inner;
  std::map<int32_t, std::vector<std::string>> m_Mounts;
};

TEST_F(Discovery, MountPointsTakeThePlaceOfDriveLetters) {
  struct Case {
    std::vector<std::string> Mounts;
    const char* Map;
    const char* Line;
  };
  const Case cases[] = {
      {{}, "", ""},
      {{"/"}, "/", "/"},
      {{"/", "/boot/efi", "/home"}, "/\n/boot/efi\n/home", "/ /boot/efi /home"},
      {{"/mnt/backup disk"}, "/mnt/backup disk", "/mnt/backup disk"},
  };
  for (const Case& c : cases) {
    SimMachine m;
    m.Disks = {AtaDisk(0, "DISK ZERO", "S0"), AtaDisk(1, "DISK ONE", "S1")};
    Start(m);
    CMountedDevices devices(Sim().Get().Devices, {{1, c.Mounts}});
    os::Platform sim = Sim().Get();
    os::Platform linuxLike{devices, sim.Wmi, sim.Clock, sim.Files, sim.Profile, sim.System};
    CAtaSmart ata(linuxLike);
    ata.Init(true, false, nullptr, false, false);
    ASSERT_EQ(ata.vars.GetCount(), 2);
    EXPECT_EQ(ata.vars[0].DriveMap, "");
    EXPECT_EQ(ata.vars[0].DriveMapLine, "");
    EXPECT_EQ(ata.vars[0].DevicePath, "/dev/disk0");
    EXPECT_EQ(ata.vars[1].DriveMap, c.Map);
    EXPECT_EQ(ata.vars[1].DriveMapLine, c.Line);
    EXPECT_EQ(ata.vars[1].DriveLetterMap, 0u);
  }
}

TEST_F(Discovery, DriveLettersAndMountPointsBothCount) {
  // A platform with both (not one that exists today) lists the letters first.
  SimMachine m;
  m.Disks = {AtaDisk(0, "DISK ZERO", "S0")};
  m.Disks[0].DriveLetters = "C";
  Start(m);
  CMountedDevices devices(Sim().Get().Devices, {{0, {"/data"}}});
  os::Platform sim = Sim().Get();
  os::Platform both{devices,     sim.Wmi,    sim.Clock,    sim.Files,
                    sim.Profile, sim.System, sim.Services, sim.Volumes};
  CAtaSmart ata(both);
  ata.Init(true, false, nullptr, false, false);
  ASSERT_EQ(ata.vars.GetCount(), 1);
  EXPECT_EQ(ata.vars[0].DriveMap, "C: \n/data");
  EXPECT_EQ(ata.vars[0].DriveMapLine, "C: /data");
  EXPECT_EQ(ata.vars[0].DriveLetterMap, 1u << 2);
}

// ---- change flag and hiding ---------------------------------------------------

TEST_F(Discovery, ChangeFlagOnRemovalAndOnPortMove) {
  SimMachine m;
  m.Disks = {AtaDisk(0, "DISK ZERO", "S0"), AtaDisk(1, "DISK ONE", "S1")};
  m.Disks[0].ScsiPort = 0;
  m.Disks[1].ScsiPort = 1;
  CAtaSmart& ata = Start(m);
  int32_t changed = 7;
  ata.Init(true, false, &changed, false, false);
  EXPECT_EQ(changed, 1) << "from no disk to two";
  ata.Init(true, false, &changed, false, false);
  EXPECT_EQ(changed, 0) << "same disks in the same places";

  // The second disk moves to another SCSI port.
  Sim().Machine().Disks[1].ScsiPort = 4;
  ata.Init(true, false, &changed, false, false);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(ata.vars[1].ScsiPort, 4);
  ata.Init(true, false, &changed, false, false);
  EXPECT_EQ(changed, 0);

  // The second disk goes away.
  Sim().Machine().Disks.pop_back();
  ata.Init(true, false, &changed, false, false);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(ata.vars.GetCount(), 1);
}

TEST_F(Discovery, FirstRunWithoutFlagLeavesNothingToCompare) {
  SimMachine m;
  m.Disks = {AtaDisk(0, "DISK ZERO", "S0")};
  CAtaSmart& ata = Start(m);
  CLogCapture log;
  ata.Init(true, false, nullptr, false, false);
  EXPECT_FALSE(log.Has("flagChangeDisk != NULL"));
  int32_t changed = 5;
  ata.Init(true, false, &changed, false, false);
  EXPECT_EQ(changed, 0);
  EXPECT_TRUE(log.Has("flagChangeDisk != NULL"));
}

TEST_F(Discovery, HideDisksWithoutSmart) {
  SimMachine m;
  m.Disks = {AtaDisk(0, "WITH SMART", "S0"), AtaDisk(1, "WITHOUT SMART", "S1"),
             AtaDisk(2, "ALSO WITH", "S2")};
  m.Disks[1].Identify = IdentifyBuilder().Model("WITHOUT SMART").Serial("S1").Word(82, 0).Build();
  CAtaSmart& ata = Start(m);
  ata.Init(true, false, nullptr, false, false);
  EXPECT_EQ(Drives(), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(ata.vars[1].AttributeCount, 0);

  int32_t changed = 0;
  ata.Init(true, false, &changed, false, true);
  EXPECT_EQ(Drives(), (std::vector<int32_t>{0, 2}));
  EXPECT_EQ(changed, 1);
  // Rescanning the same machine with the same setting changes nothing: the
  // hidden disk is left out of the comparison as it was out of the list.
  ata.Init(true, false, &changed, false, true);
  EXPECT_EQ(changed, 0);
}

// ---- the WMI service ----------------------------------------------------------

TEST_F(Discovery, StoppedWmiServiceIsStartedAndUsed) {
  SimMachine m;
  m.Disks = {AtaDisk(0, "DISK ZERO", "S0")};
  CAtaSmart& ata = Start(m);
  Sim().Services().State = os::SERVICE_STATE_STOPPED;
  Sim().Services().RunsAfterStarts = 2;
  CLogCapture log;
  const uint64_t before = Sim().Clock().TickCount();
  ata.Init(true, false, nullptr, false, false);
  EXPECT_TRUE(log.Has("Waiting... Winmgmt"));
  EXPECT_TRUE(log.Has("StartService - 1"));
  EXPECT_TRUE(log.Has("StartService Completed : SERVICE_RUNNING"));
  EXPECT_TRUE(log.Has("OK:WMI Init"));
  EXPECT_TRUE(ata.m_FlagWmiReady);
  EXPECT_EQ(Sim().Services().AutoStartRuns, 1u) << "the second start comes after sc config";
  EXPECT_GE(Sim().Clock().TickCount() - before, 600u) << "polled 0+100+200+300 ms";
  ASSERT_EQ(ata.vars.GetCount(), 1);
  EXPECT_EQ(ata.vars[0].ModelWmi, "DISK ZERO");
}

TEST_F(Discovery, WmiServiceThatNeverStartsLeavesThePhysicalDrives) {
  SimMachine m;
  m.Disks = {AtaDisk(0, "DISK ZERO", "S0")};
  CAtaSmart& ata = Start(m);
  Sim().Services().State = os::SERVICE_STATE_STOPPED;
  Sim().Services().RunsAfterStarts = 0;
  CLogCapture log;
  const uint64_t before = Sim().Clock().TickCount();
  ata.Init(true, false, nullptr, false, false);
  EXPECT_TRUE(log.Has("NG:WMI Init 3"));
  EXPECT_FALSE(ata.m_FlagWmiReady);
  EXPECT_EQ(Sim().Services().Starts, 11u);
  EXPECT_EQ(Sim().Clock().TickCount() - before, 600u + 10 * 500u);
  EXPECT_TRUE(Sim().Wmi().Queries().empty());
  ASSERT_EQ(ata.vars.GetCount(), 1);
  EXPECT_TRUE(ata.vars[0].ModelWmi.empty());
}

TEST_F(Discovery, RunningServiceIsLeftAlone) {
  SimMachine m;
  CAtaSmart& ata = Start(m);
  CLogCapture log;
  ata.Init(true, false, nullptr, false, false);
  EXPECT_FALSE(log.Has("Waiting... Winmgmt"));
  EXPECT_EQ(Sim().Services().Starts, 0u);
  EXPECT_TRUE(ata.vars.GetCount() == 0);
}

TEST_F(Discovery, WithoutWmiTheUsbDiskIsKnownByItsBusType) {
  SimMachine m;
  m.WmiAvailable = false;
  m.Disks = {AtaDisk(0, "USB DISK", "S0")};
  m.Disks[0].BusType = winio::BUS_USB;
  CAtaSmart& ata = Start(m);
  CLogCapture log;
  ata.Init(false, false, nullptr, false, false);
  EXPECT_TRUE(log.Has("Bus Type = USB"));
}

// ---- the other paths through WMI's rows ------------------------------------

std::vector<uint8_t> Bytes(const testutil::Sector& s) { return {s.begin(), s.end()}; }

// A disk folder "NAME/" with the sectors of AtaDisk.
testutil::CMachineBuilder& AtaFiles(testutil::CMachineBuilder& b, const std::string& folder,
                                    const std::string& model) {
  SimDisk d = AtaDisk(0, model, "SN-" + model.substr(0, 4));
  return b.File(folder + "/identify.bin", Bytes(*d.Identify))
      .File(folder + "/smart_data.bin", Bytes(d.SmartData[0]))
      .File(folder + "/smart_thresholds.bin", Bytes(*d.SmartThresholds));
}

TEST_F(Discovery, NvmeDiskIsKnownByItsWmiPnpId) {
  std::vector<uint8_t> identify(4096, 0);
  const std::string model = "SIM NVME 1TB";
  std::memset(&identify[4], ' ', 20);
  std::memset(&identify[24], ' ', 40);
  std::memcpy(&identify[24], model.data(), model.size());
  std::memcpy(&identify[64], "1.0     ", 8);
  identify[82] = 1;  // NVMe 1.3
  identify[81] = 3;
  std::vector<uint8_t> health(512, 0);
  health[1] = 0x3C;  // 316 K
  health[2] = 0x01;
  health[3] = 100;
  testutil::CMachineBuilder b(
      "[machine]\nversion = 2\n[disk nvme]\nphysical_drive = 0\nbus = nvme\n"
      "nvme_paths = storage-query\n");
  b.File("nvme/nvme_identify.bin", identify).File("nvme/nvme_health.bin", health);
  CAtaSmart& ata = Start(b.Machine());
  CLogCapture log;
  ata.Init(true, false, nullptr, false, false);
  EXPECT_TRUE(log.Has("INTERFACE_TYPE_NVME"));
  ASSERT_EQ(ata.vars.GetCount(), 1);
  EXPECT_EQ(ata.vars[0].CommandType, CMD_TYPE_NVME_STORAGE_QUERY);
  EXPECT_EQ(ata.vars[0].ModelWmi, model);
  EXPECT_EQ(ata.vars[0].Interface, "NVM Express");
}

TEST_F(Discovery, UaspControllerWrapsTheInterface) {
  testutil::CMachineBuilder b(
      "[machine]\nversion = 2\n[disk uas]\nphysical_drive = 0\nbus = usb\n"
      "usb_bridge = sat\npnp_device_id = SCSI\\DISK&VEN_UAS&PROD_DISK\\7&1\n");
  AtaFiles(b, "uas", "UAS DISK");
  SimMachine m = b.Machine();
  AddController(m, "Win32_SCSIController", "Win32_SCSIControllerDevice", "USB\\VID_174C\\1",
                "USB Attached SCSI (UAS) Mass Storage Device",
                {{"SCSI\\DISK&VEN_UAS&PROD_DISK\\7&1", "UAS DISK USB Device"}});
  CAtaSmart& ata = Start(m);
  CLogCapture log;
  ata.Init(true, false, nullptr, false, false);
  EXPECT_TRUE(log.Has("UASPController:SCSI\\DISK&VEN_UAS&PROD_DISK\\7&1"));
  ASSERT_EQ(ata.vars.GetCount(), 1);
  EXPECT_EQ(ata.vars[0].Interface, "UASP (Serial ATA)");
  EXPECT_EQ(ata.vars[0].InterfaceType, INTERFACE_TYPE_USB);
  EXPECT_EQ(ata.vars[0].IsUasp, 1);
  EXPECT_EQ(ata.vars[0].CommandType, CMD_TYPE_SAT);
}

TEST_F(Discovery, UsbEnclosureTakesItsIdsFromTheUsbController) {
  testutil::CMachineBuilder b(
      "[machine]\nversion = 2\n[disk box]\nphysical_drive = 1\nbus = usb\n"
      "usb_bridge = sat\n");
  AtaFiles(b, "box", "BOXED DISK");
  SimMachine m = b.Machine();
  AddController(m, "Win32_USBController", "Win32_USBControllerDevice", "PCI\\VEN_8086&DEV_A12F",
                "USB xHCI Compliant Host Controller",
                {{"USB\\VID_152D&PID_0578\\0000000000", "USB Mass Storage Device"},
                 {"USBSTOR\\DISK&VEN_BOXED&PROD_DISK\\0000000000&0", "BOXED DISK USB Device"}});
  CAtaSmart& ata = Start(m);
  CLogCapture log;
  ata.Init(true, false, nullptr, false, false);
  EXPECT_TRUE(log.Has("usbVendorId=152D, usbProductId=0578"));
  EXPECT_TRUE(log.Has("usbVendorId == USB_VENDOR_JMICRON"));
  ASSERT_EQ(ata.vars.GetCount(), 1);
  const auto& asi = ata.vars[0];
  EXPECT_EQ(asi.ModelWmi, "BOXED DISK USB Device");
  EXPECT_EQ(asi.Interface, "USB (Serial ATA)");
  EXPECT_EQ(asi.Enclosure, "BOXED DISK USB Device");
  EXPECT_EQ(asi.UsbVendorId, 0x152D);
  EXPECT_EQ(asi.UsbProductId, 0x0578);
  EXPECT_EQ(asi.Model, "BOXED DISK");
}

TEST_F(Discovery, WithoutWmiAUsbDiskIsFoundThroughTheGenericBridgeOrder) {
  testutil::CMachineBuilder b(
      "[machine]\nversion = 2\nwmi = no\n[disk box]\nphysical_drive = 0\nbus = usb\n"
      "usb_bridge = jmicron\n");
  AtaFiles(b, "box", "BOXED DISK");
  CAtaSmart& ata = Start(b.Machine());
  CLogCapture log;
  ata.Init(false, false, nullptr, false, false);
  EXPECT_TRUE(log.Has("Bus Type = USB"));
  EXPECT_TRUE(log.Has("else (USB-HDD)"));
  ASSERT_EQ(ata.vars.GetCount(), 1);
  EXPECT_EQ(ata.vars[0].CommandType, CMD_TYPE_JMICRON);
  EXPECT_EQ(ata.vars[0].Interface, "USB (Serial ATA)");
  EXPECT_EQ(ata.vars[0].UsbVendorId, 0);
}

}  // namespace
