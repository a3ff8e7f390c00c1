// The NVMe, USB bridge and CSMI paths against simulated machines: the
// engine's requests meet the simulated drivers, bridges and controllers.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "engine/AtaSmart.h"
#include "os/sim/DemoMachine.h"
#include "os/sim/SimPlatform.h"
#include "os/wire/WinIoctlPaths.h"
#include "tests/support/FamilyTestSupport.h"
#include "tests/support/SimTestSupport.h"

using os::sim::CSimPlatform;
using os::sim::SimRequest;
using testutil::CMachineBuilder;

namespace {

std::vector<uint8_t> NvmeIdentify(const std::string& model, uint16_t vendor, uint8_t major,
                                  uint8_t minor) {
  std::vector<uint8_t> page(4096, 0);
  page[0] = static_cast<uint8_t>(vendor);
  page[1] = static_cast<uint8_t>(vendor >> 8);
  std::memset(&page[4], ' ', 20);
  std::memcpy(&page[4], "SIMNVME0001", 11);
  std::memset(&page[24], ' ', 40);
  std::memcpy(&page[24], model.data(), std::min<size_t>(model.size(), 40));
  std::memcpy(&page[64], "1.0     ", 8);
  page[81] = minor;
  page[82] = major;
  return page;
}

std::vector<uint8_t> Health(uint16_t kelvin, uint8_t spare, uint8_t warning = 0) {
  std::vector<uint8_t> page(512, 0);
  page[0] = warning;
  page[1] = static_cast<uint8_t>(kelvin);
  page[2] = static_cast<uint8_t>(kelvin >> 8);
  page[3] = spare;
  page[49] = 0x10;  // 4096 data units written
  page[112] = 5;
  page[128] = 100;
  return page;
}

// An ATA disk with S.M.A.R.T. data the engine trusts.
CMachineBuilder& AtaDiskFiles(CMachineBuilder& b, const std::string& folder,
                              const std::string& model, const std::string& serial) {
  auto identify = testutil::Identify(model, "FW1", serial);
  identify[164] = 0x01;  // word 82: S.M.A.R.T. supported
  identify[160] = 0xF0;  // word 80: ATA8-ACS
  identify[161] = 0x01;
  std::vector<uint8_t> data(512, 0);
  const uint8_t ids[] = {0x01, 0x05, 0x09, 0x0C, 0xC2};
  for (size_t k = 0; k < sizeof(ids); ++k) {
    data[2 + 12 * k] = ids[k];
    data[2 + 12 * k + 3] = 100;
    data[2 + 12 * k + 4] = 100;
  }
  std::vector<uint8_t> thresholds(512, 0);
  for (size_t k = 0; k < sizeof(ids); ++k) thresholds[2 + 12 * k] = ids[k];
  return b.File(folder + "/identify.bin", identify)
      .File(folder + "/smart_data.bin", data)
      .File(folder + "/smart_thresholds.bin", thresholds);
}

struct Engine {
  explicit Engine(os::sim::SimMachine machine) : Sim(std::move(machine), Files), Ata(Sim.Get()) {}
  testutil::NullFiles Files;
  CSimPlatform Sim;
  CAtaSmart Ata;
};

// First byte of the CDB of every pass-through request, in order.
std::vector<std::pair<uint8_t, uint8_t>> PassThroughOpcodes(CSimPlatform& sim) {
  std::vector<std::pair<uint8_t, uint8_t>> ops;
  for (const SimRequest& r : sim.Devices().RequestsWithCode(winio::CTL_SCSI_PASS_THROUGH)) {
    ops.push_back({r.In[winio::SPT_LAYOUT.CdbAt], r.In[winio::SPT_LAYOUT.CdbAt + 1]});
  }
  return ops;
}

}  // namespace

TEST(PathsSim, UsbEnclosureOfUnknownMakeFindsItsForm) {
  struct Case {
    const char* Forms;
    const char* Target;
    const char* Text;
    int32_t Type;
  };
  const Case cases[] = {
      {"sat", "A0", "sa1", CMD_TYPE_SAT},           {"jmicron", "B0", "jm2", CMD_TYPE_JMICRON},
      {"sunplus", "A0", "sp1", CMD_TYPE_SUNPLUS},   {"cypress", "B0", "cy2", CMD_TYPE_CYPRESS},
      {"logitec1", "A0", "l11", CMD_TYPE_LOGITEC1}, {"logitec2", "B0", "l22", CMD_TYPE_LOGITEC2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Forms);
    CMachineBuilder b(std::string("[machine]\nversion = 2\n[disk usb]\nphysical_drive = 1\n") +
                      "bus = usb\ntarget = " + c.Target + "\nusb_bridge = " + c.Forms +
                      "\nusb_unknown_form = zeros\n");
    AtaDiskFiles(b, "usb", "SIM USB DISK", "USB0001");
    Engine e(b.Machine());
    ASSERT_TRUE(e.Ata.GetDiskInfo(1, -1, -1, INTERFACE_TYPE_USB, 0xFFFF, 0, -1, 0, false, false, "",
                                  false));
    ASSERT_EQ(e.Ata.vars.GetCount(), 1);
    EXPECT_EQ(e.Ata.vars[0].CommandType, c.Type);
    EXPECT_EQ(e.Ata.vars[0].CommandTypeText, c.Text);
    EXPECT_EQ(e.Ata.vars[0].IsSmartCorrect, 1);
    EXPECT_EQ(e.Ata.vars[0].AttributeCount, 5);
  }
}

TEST(PathsSim, GenericOrderOfTheBridgeForms) {
  CMachineBuilder b(
      "[machine]\nversion = 2\n[disk usb]\nphysical_drive = 1\nbus = usb\ntarget = B0\n"
      "usb_bridge = logitec2\n");
  AtaDiskFiles(b, "usb", "SIM USB DISK", "USB0001");
  Engine e(b.Machine());
  ASSERT_TRUE(
      e.Ata.GetDiskInfo(1, -1, -1, INTERFACE_TYPE_USB, 0xFFFF, 0, -1, 0, false, false, "", false));
  // The identify probes until the answer: SAT, JMicron, Sunplus, Cypress,
  // Logitec 1 and 2 with A0 (no Prolific follow-up: SAT did not answer),
  // then SAT, JMicron, Sunplus, Cypress, Logitec 1, Logitec 2 with B0.
  std::vector<uint8_t> firsts;
  for (auto [op, second] : PassThroughOpcodes(e.Sim)) firsts.push_back(op);
  firsts.resize(12);
  const std::vector<uint8_t> expected = {0xA1, 0xDF, 0xF8, 0x24, 0xE0, 0xD8,
                                         0xA1, 0xDF, 0xF8, 0x24, 0xE0, 0xD8};
  EXPECT_EQ(firsts, expected);
  EXPECT_EQ(e.Ata.vars[0].CommandTypeText, "l22");
}

TEST(PathsSim, ProlificBridgeKeepsOneRecordInItsOwnForm) {
  CMachineBuilder b(
      "[machine]\nversion = 2\n[disk usb]\nphysical_drive = 1\nbus = usb\n"
      "usb_bridge = sat, prolific\n");
  AtaDiskFiles(b, "usb", "SIM PROLIFIC DISK", "USB0002");
  Engine e(b.Machine());
  ASSERT_TRUE(
      e.Ata.GetDiskInfo(1, -1, -1, INTERFACE_TYPE_USB, 0xFFFF, 0, -1, 0, false, false, "", false));
  ASSERT_EQ(e.Ata.vars.GetCount(), 1);
  EXPECT_EQ(e.Ata.vars[0].CommandType, CMD_TYPE_PROLIFIC);
  EXPECT_EQ(e.Ata.vars[0].CommandTypeText, "pr1");
}

TEST(PathsSim, IoDataProduct0122TriesJMicronThenSat) {
  CMachineBuilder b(
      "[machine]\nversion = 2\n[disk usb]\nphysical_drive = 1\nbus = usb\nusb_bridge = sat\n");
  AtaDiskFiles(b, "usb", "SIM IODATA DISK", "USB0003");
  Engine e(b.Machine());
  ASSERT_TRUE(e.Ata.GetDiskInfo(1, -1, -1, INTERFACE_TYPE_USB, USB_VENDOR_IO_DATA, 0x0122, -1, 0,
                                false, false, "", false));
  EXPECT_EQ(e.Ata.vars[0].CommandTypeText, "sa1");
  EXPECT_EQ(PassThroughOpcodes(e.Sim)[0].first, 0xDF);  // JMicron form first
}

TEST(PathsSim, BridgeCommandsAfterAdmissionUseTheFoundForm) {
  CMachineBuilder b(
      "[machine]\nversion = 2\n[disk usb]\nphysical_drive = 1\nbus = usb\nusb_bridge = cypress\n");
  AtaDiskFiles(b, "usb", "SIM USB DISK", "USB0001");
  Engine e(b.Machine());
  ASSERT_TRUE(
      e.Ata.GetDiskInfo(1, -1, -1, INTERFACE_TYPE_USB, 0xFFFF, 0, -1, 0, false, false, "", false));
  e.Sim.Devices().ClearRequests();
  EXPECT_EQ(e.Ata.UpdateSmartInfo(0), SMART_STATUS_CHANGED);
  EXPECT_TRUE(e.Ata.SendSetFeatures(0, 0x42, 0x80));
  EXPECT_TRUE(e.Ata.RefreshIdentify(0));
  for (auto [op, second] : PassThroughOpcodes(e.Sim)) EXPECT_EQ(op, 0x24);
  EXPECT_EQ(PassThroughOpcodes(e.Sim).size(), 3u);
}

TEST(PathsSim, JMicronNvmeEchoIsNotAnAnswer) {
  // A USB enclosure whose bridge passes any unknown block back untouched:
  // the JMicron identify block (sum 317) comes back as the "answer".
  CMachineBuilder b(
      "[machine]\nversion = 2\n[disk nvme]\nphysical_drive = 2\nbus = usb\n"
      "usb_bridge = sat\nusb_unknown_form = echo\nnvme_paths = asmedia-bridge\n");
  b.File("nvme/nvme_identify.bin", NvmeIdentify("CT500P1SSD8", 0xC0A9, 1, 3))
      .File("nvme/nvme_health.bin", Health(320, 100));
  Engine e(b.Machine());
  uint8_t identify[512];
  EXPECT_FALSE(e.Ata.DoIdentifyDeviceNVMeJMicron(2, identify));
  ASSERT_TRUE(
      e.Ata.GetDiskInfo(2, -1, -1, INTERFACE_TYPE_USB, 0xFFFF, 0, -1, 0, false, false, "", true));
  ASSERT_EQ(e.Ata.vars.GetCount(), 1);
  EXPECT_EQ(e.Ata.vars[0].CommandTypeText, "na");
  EXPECT_EQ(e.Ata.vars[0].Model, "CT500P1SSD8");
  EXPECT_EQ(e.Ata.vars[0].Temperature, 47);
}

TEST(PathsSim, NvmeDiskOnEachPath) {
  struct Case {
    const char* Paths;
    const char* Text;
    int32_t InterfaceType;
  };
  const Case cases[] = {
      {"storage-query, samsung, nvme-miniport", "sq", INTERFACE_TYPE_NVME},
      {"samsung, nvme-miniport", "ns", INTERFACE_TYPE_NVME},
      {"nvme-miniport", "ni", INTERFACE_TYPE_NVME},
      {"jmicron-bridge, asmedia-bridge", "nj", INTERFACE_TYPE_USB},
      {"asmedia-bridge", "na", INTERFACE_TYPE_USB},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Paths);
    CMachineBuilder b(
        std::string("[machine]\nversion = 2\n[disk nvme]\nphysical_drive = 3\nscsi_port = 4\n") +
        "scsi_target = 0\nbus = nvme\npnp_device_id = SCSI\\DISK&VEN_NVME&PROD_SIM\\5&1\n" +
        "pcie_controller = PCI\\VEN_144D&DEV_A808\\4&1\npcie_link = 3 4 3 2\nnvme_paths = " +
        c.Paths + "\n");
    b.File("nvme/nvme_identify.bin", NvmeIdentify("Samsung SSD 970 EVO 1TB", 0x144D, 1, 3))
        .File("nvme/nvme_health.bin", Health(321, 99));
    Engine e(b.Machine());
    ASSERT_TRUE(
        e.Ata.GetDiskInfo(3, 4, 0, c.InterfaceType, 0xFFFF, 0, 0, 0, false, false, "", true));
    ASSERT_EQ(e.Ata.vars.GetCount(), 1);
    const ATA_SMART_INFO& asi = e.Ata.vars[0];
    EXPECT_EQ(asi.CommandTypeText, c.Text);
    EXPECT_EQ(asi.Model, "Samsung SSD 970 EVO 1TB");
    EXPECT_EQ(asi.Controller, "Samsung Phoenix");
    EXPECT_EQ(asi.MajorVersionText, "NVM Express 1.3");
    EXPECT_EQ(asi.Temperature, 48);
    EXPECT_EQ(asi.Life, 99);
    EXPECT_EQ(asi.HostWrites, 2);
    EXPECT_EQ(asi.MaxTransferMode, "PCIe 3.0 x4");
    EXPECT_EQ(asi.CurrentTransferMode, "PCIe 3.0 x2");
    EXPECT_EQ(asi.AttributeCount, 19);
    EXPECT_EQ(e.Ata.CheckDiskStatus(0), DISK_STATUS_GOOD);
  }
}

TEST(PathsSim, StorageQueryUnavailableOnWindows7) {
  CMachineBuilder b(
      "[machine]\nversion = 2\nos = 6.1.7601\n[disk nvme]\nphysical_drive = 0\nbus = nvme\n"
      "nvme_paths = storage-query, samsung\n");
  b.File("nvme/nvme_identify.bin", NvmeIdentify("Samsung SSD 950 PRO 256GB", 0x144D, 1, 1))
      .File("nvme/nvme_health.bin", Health(300, 100));
  Engine e(b.Machine());
  EXPECT_FALSE(e.Ata.m_FlagNVMeStorageQuery);
  ASSERT_TRUE(
      e.Ata.GetDiskInfo(0, -1, -1, INTERFACE_TYPE_NVME, 0, 0, -1, 0, false, false, "", true));
  EXPECT_EQ(e.Ata.vars[0].CommandTypeText, "ns");  // the query was never asked
  EXPECT_TRUE(e.Sim.Devices().RequestsWithCode(winio::CTL_STORAGE_QUERY_PROPERTY).empty());
  // A disk recorded on the query path reads nothing there.
  uint8_t identify[512];
  ASSERT_TRUE(e.Ata.DoIdentifyDeviceNVMeStorageQuery(0, identify));
  ASSERT_TRUE(e.Ata.AddDiskNVMe(0, -1, -1, -1, 0, CMD_TYPE_NVME_STORAGE_QUERY, identify, ""));
  EXPECT_EQ(e.Ata.vars[1].AttributeCount, 0);
  EXPECT_EQ(e.Ata.vars[1].Temperature, 24);
  EXPECT_EQ(e.Ata.vars[1].Interface, "");
}

TEST(PathsSim, NvmeRefreshWalksTheHealthQueue) {
  CMachineBuilder b(
      "[machine]\nversion = 2\n[disk nvme]\nphysical_drive = 0\nbus = nvme\n"
      "nvme_paths = storage-query\nnvme_health = day1.bin day2.bin\n");
  b.File("nvme/nvme_identify.bin", NvmeIdentify("Samsung SSD 970 PRO 1TB", 0x144D, 1, 3))
      .File("nvme/day1.bin", Health(310, 100))
      .File("nvme/day2.bin", Health(0, 60, 0x08));  // not reporting, media read-only
  Engine e(b.Machine());
  ASSERT_TRUE(
      e.Ata.GetDiskInfo(0, -1, -1, INTERFACE_TYPE_NVME, 0, 0, -1, 0, false, false, "", true));
  EXPECT_EQ(e.Ata.vars[0].Temperature, 37);
  EXPECT_EQ(e.Ata.UpdateSmartInfo(0), SMART_STATUS_CHANGED);
  EXPECT_EQ(e.Ata.vars[0].Temperature, TEMPERATURE_UNKNOWN);
  EXPECT_EQ(e.Ata.vars[0].Life, 60);
  EXPECT_EQ(e.Ata.vars[0].DiskStatus, DISK_STATUS_BAD);
}

TEST(PathsSim, CsmiControllers) {
  struct Case {
    const char* Name;
    const char* Controller;
    size_t Identifies;
    int32_t Disks;
  };
  const Case cases[] = {
      {"one member", "", 1, 1},
      {"33 phys", "phys = 33\n", 0, 0},
      {"four phys, one attached", "phys = 4\n", 4, 1},
      {"no CSMI in the driver", "error = 1\n", 0, 0},
      {"RAID configuration refused", "fail = raid-config 50\n", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    CMachineBuilder b(std::string("[machine]\nversion = 2\n[csmi raid]\nscsi_port = 2\n") +
                      c.Controller + "[disk member]\nscsi_port = 2\ncsmi_phy = 0\n");
    AtaDiskFiles(b, "member", "SIM RAID MEMBER", "RAID0001");
    Engine e(b.Machine());
    e.Ata.m_CsmiType = 1;
    e.Ata.AddDiskCsmi(2);
    size_t identifies = 0;
    size_t requests = 0;
    for (const SimRequest& r : e.Sim.Devices().RequestsWithCode(winio::CTL_SCSI_MINIPORT)) {
      ++requests;
      if (winio::Load32(&r.In[16]) == winio::CC_CSMI_SAS_STP_PASSTHRU && r.In[44 + 2] == 0xEC) {
        ++identifies;
      }
    }
    EXPECT_EQ(identifies, c.Identifies);
    EXPECT_EQ(e.Ata.vars.GetCount(), c.Disks);
    if (std::string(c.Controller) == "error = 1\n") {
      EXPECT_EQ(requests, 1u);
    }
    if (c.Disks == 1) {
      const ATA_SMART_INFO& asi = e.Ata.vars[0];
      EXPECT_EQ(asi.CommandTypeText, "cs");
      EXPECT_EQ(asi.PhysicalDriveId, -1);
      EXPECT_EQ(asi.IsSmartCorrect, 1);
      EXPECT_EQ(asi.IsThresholdCorrect, 1);
      EXPECT_EQ(asi.SasPhyEntity[36 + 20], 0);  // attached phy identifier
      EXPECT_EQ(e.Ata.UpdateSmartInfo(0), SMART_STATUS_CHANGED);
      EXPECT_TRUE(e.Ata.SendSetFeatures(0, 0x42, 0xFE));
      EXPECT_TRUE(e.Ata.RefreshIdentify(0));
    }
  }
}

TEST(PathsSim, CsmiDiskIsListedFirst) {
  CMachineBuilder b(
      "[machine]\nversion = 2\n[csmi raid]\nscsi_port = 5\n"
      "[disk member]\nscsi_port = 5\ncsmi_phy = 1\n"
      "[disk a]\nphysical_drive = 0\n[disk b]\nphysical_drive = 1\n[disk c]\nphysical_drive = 2\n");
  AtaDiskFiles(b, "member", "SIM RAID MEMBER", "RAID0001");
  AtaDiskFiles(b, "a", "SIM DISK A", "A0001");
  AtaDiskFiles(b, "b", "SIM DISK B", "B0001");
  AtaDiskFiles(b, "c", "SIM DISK C", "C0001");
  Engine e(b.Machine());
  e.Ata.Init(true, false, nullptr, false, false);
  ASSERT_EQ(e.Ata.vars.GetCount(), 4);
  EXPECT_EQ(e.Ata.vars[0].Model, "SIM RAID MEMBER");
  EXPECT_EQ(e.Ata.vars[0].CommandTypeText, "cs");
  EXPECT_EQ(e.Ata.vars[1].PhysicalDriveId, 0);
  EXPECT_EQ(e.Ata.vars[2].PhysicalDriveId, 1);
  EXPECT_EQ(e.Ata.vars[3].PhysicalDriveId, 2);
}

TEST(PathsSim, CsmiDiskAlsoSeenAsPhysicalDrive) {
  // The physical drive does not give trusted S.M.A.R.T. data, so the CSMI
  // record stays, now with the drive number.
  CMachineBuilder b(
      "[machine]\nversion = 2\n[csmi raid]\nscsi_port = 5\n"
      "[disk member]\nphysical_drive = 0\nscsi_port = 5\ncsmi_phy = 3\n"
      "paths = ata-pass-through\nfault.ata-pass-through.smart-data = error 1117\n");
  AtaDiskFiles(b, "member", "SIM RAID MEMBER", "RAID0001");
  Engine e(b.Machine());
  e.Ata.Init(true, false, nullptr, false, false);
  ASSERT_EQ(e.Ata.vars.GetCount(), 1);
  EXPECT_EQ(e.Ata.vars[0].PhysicalDriveId, 0);
  EXPECT_EQ(e.Ata.vars[0].CommandTypeText, "cp");
  // The refresh finds the physical drive silent and goes through the
  // controller from then on.
  EXPECT_EQ(e.Ata.UpdateSmartInfo(0), SMART_STATUS_CHANGED);
  EXPECT_EQ(e.Ata.vars[0].CommandType, CMD_TYPE_CSMI);
}

TEST(PathsSim, ManifestRejectsBadPathKeys) {
  const std::string h = "[machine]\nversion = 2\n";
  const std::pair<std::string, std::string> cases[] = {
      {h + "[disk a]\nphysical_drive = 0\nnvme_paths = storage-query, carrier-pigeon\n",
       "unknown NVMe path 'carrier-pigeon'"},
      {h + "[disk a]\nphysical_drive = 0\nusb_bridge = sat, acme\n", "unknown bridge form 'acme'"},
      {h + "[disk a]\nphysical_drive = 0\nusb_unknown_form = maybe\n",
       "usb_unknown_form must be refuse, zeros or echo"},
      {h + "[disk a]\nphysical_drive = 0\ncsmi_phy = 32\n", "csmi_phy must be a phy number"},
      {h + "[disk a]\nphysical_drive = 0\npcie_link = 3 4\n", "pcie_link needs four numbers"},
      {h + "[disk a]\nscsi_port = 1\ncsmi_phy = 0\n", "no [csmi] section has scsi_port 1"},
      {h + "[csmi r]\nphys = 2\n", "[csmi r] needs scsi_port"},
      {h + "[csmi r]\nscsi_port = 1\nflavour = mint\n", "unknown key 'flavour' in [csmi r]"},
      {h + "[disk a]\nphysical_drive = 0\nnvme_paths = samsung\nnvme_identify = ../x.bin\n",
       "must be a relative path inside the machine folder"},
      {h + "[disk a]\nphysical_drive = 0\nnvme_paths = samsung\nnvme_health = h.bin\n",
       "a health log page is 512 bytes"},
  };
  for (const auto& [manifest, error] : cases) {
    os::sim::LoadResult r = CMachineBuilder(manifest).Load();
    EXPECT_FALSE(r.Machine.has_value()) << manifest;
    EXPECT_NE(r.Error.find(error), std::string::npos) << r.Error;
  }
  // Version 1 machines still load.
  EXPECT_TRUE(CMachineBuilder("[machine]\nversion = 1\n[disk a]\nphysical_drive = 0\n")
                  .Load()
                  .Machine.has_value());
}

// The demo machine shows a disk on every path the engine can admit a disk by
// (nothing admits a disk as "WMI only").
TEST(PathsSim, DemoMachineReachesDisksByEveryPath) {
  os::sim::LoadResult r = os::sim::LoadDemoMachine();
  ASSERT_TRUE(r.Machine.has_value()) << r.Error;
  Engine e(std::move(*r.Machine));
  e.Ata.Init(true, false, nullptr, false, false);
  std::set<int32_t> types;
  for (const ATA_SMART_INFO& asi : e.Ata.vars) types.insert(asi.CommandType);
  for (int32_t t = CMD_TYPE_PHYSICAL_DRIVE; t < CMD_TYPE_COUNT; ++t) {
    if (t == CMD_TYPE_WMI) continue;
    EXPECT_TRUE(types.count(t)) << CommandTypeName(t);
  }
  // Disks reached only through the RAID controller come first.
  EXPECT_EQ(e.Ata.vars[0].CommandType, CMD_TYPE_CSMI);
  EXPECT_EQ(e.Ata.vars[0].PhysicalDriveId, -1);
}
