#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "os/linux/LinuxWmi.h"

namespace {

os::LinuxRoots Tree(const std::string& name) {
  std::string base = std::string(STAVRION_SOURCE_DIR) + "/fixtures/sysfs/" + name;
  return os::LinuxRoots{base + "/sys", base + "/dev", base + "/proc/self/mounts",
                        base + "/proc/self/status"};
}

const char* CIMV2 = "root\\cimv2";

struct DriveCase {
  const char* Tree;
  int Index;
  const char* Model;
  const char* Firmware;
  const char* Interface;
  const char* Media;
  const char* Pnp;
  int64_t Port;
  const char* Path;
};

TEST(LinuxWmi, DiskDrivesOfCapturedTrees) {
  const DriveCase cases[] = {
      {"sata-laptop", 0, "INTEL SSDSA2CW120G3", "4PC10302", "IDE", "Fixed hard disk media",
       "SCSI\\DISK&VEN_ATA&PROD_INTEL_SSDSA2CW12\\SDA", 0, "/dev/sda"},
      {"nvme-desktop", 0, "WDC WD5000AAKS-00TMA0", "12.01C01", "IDE", "Fixed hard disk media",
       "SCSI\\DISK&VEN_ATA&PROD_WDC_WD5000AAKS-0\\SDA", 2, "/dev/sda"},
      {"nvme-desktop", 1, "Samsung SSD 970 EVO Plus 1TB", "2B2QEXM7", "SCSI",
       "Fixed hard disk media", "SCSI\\DISK&VEN_NVME&PROD_SAMSUNG_SSD_970_\\NVME0N1", 3,
       "/dev/nvme0n1"},
      {"nvme-desktop", 2, "Sabrent Rocket 4.0 500GB", "RKT401.3", "SCSI", "Fixed hard disk media",
       "SCSI\\DISK&VEN_NVME&PROD_SABRENT_ROCKET_4\\NVME1N1", 4, "/dev/nvme1n1"},
      {"usb-enclosure", 1, "JMicron Tech USB Device", "0204", "USB", "External hard disk media",
       "USBSTOR\\DISK&VEN_JMICRON&PROD_TECH&REV_0204\\0123456789ABCDEF&0", 6, "/dev/sdb"},
      {"usb-enclosure", 2, "Samsung Portable SSD T5 SCSI Disk Device", "0", "SCSI",
       "External hard disk media", "SCSI\\DISK&VEN_SAMSUNG&PROD_PORTABLE_SSD_T5\\SDC", 7,
       "/dev/sdc"},
      {"usb-enclosure", 3, "SanDisk Ultra USB Device", "1.00", "USB", "Removable Media",
       "USBSTOR\\DISK&VEN_SANDISK&PROD_ULTRA&REV_1.00\\4C530001230528117283&0", 8, "/dev/sdd"},
  };
  for (const auto& c : cases) {
    os::CLinuxWmi wmi(Tree(c.Tree));
    auto drives = wmi.Query(CIMV2, "SELECT * FROM Win32_DiskDrive");
    ASSERT_TRUE(drives) << c.Tree;
    ASSERT_GT(drives->size(), static_cast<size_t>(c.Index)) << c.Tree;
    const os::WmiObject& d = (*drives)[static_cast<size_t>(c.Index)];
    std::string where = std::string(c.Tree) + " #" + std::to_string(c.Index);
    EXPECT_EQ(d.String("DeviceID"), "\\\\.\\PHYSICALDRIVE" + std::to_string(c.Index)) << where;
    EXPECT_EQ(d.String("Model"), c.Model) << where;
    EXPECT_EQ(d.String("FirmwareRevision"), c.Firmware) << where;
    EXPECT_EQ(d.String("InterfaceType"), c.Interface) << where;
    EXPECT_EQ(d.String("MediaType"), c.Media) << where;
    EXPECT_EQ(d.String("PNPDeviceID"), c.Pnp) << where;
    EXPECT_EQ(d.Int("SCSIPort", -1), c.Port) << where;
    EXPECT_EQ(d.String("DevicePath"), c.Path) << where;
  }
}

TEST(LinuxWmi, SizeIsWholeCylindersAsWindowsReportsIt) {
  os::CLinuxWmi wmi(Tree("sata-laptop"));
  auto drives = wmi.Query(CIMV2, "SELECT * FROM Win32_DiskDrive");
  ASSERT_TRUE(drives);
  ASSERT_EQ(drives->size(), 1u);
  // 234441648 sectors: 14593 cylinders of 255 x 63 x 512 bytes.
  EXPECT_EQ((*drives)[0].String("Size"), "120031511040");
  EXPECT_EQ((*drives)[0].Int("Size"), 120031511040);
}

TEST(LinuxWmi, ControllersAndTheirDevices) {
  os::CLinuxWmi wmi(Tree("nvme-desktop"));
  auto ide = wmi.Query(CIMV2, "select Name, DeviceID from Win32_IDEController");
  ASSERT_TRUE(ide);
  ASSERT_EQ(ide->size(), 1u);
  EXPECT_EQ((*ide)[0].String("Name"), "Standard SATA AHCI Controller");
  std::string ahci = (*ide)[0].String("DeviceID");
  EXPECT_EQ(ahci, "PCI\\VEN_8086&DEV_A282&CC_010601\\0000:00:17.0");

  // Discovery doubles the backslashes of the id inside the query.
  std::string escaped;
  for (char c : ahci) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
  auto devices = wmi.Query(CIMV2, "ASSOCIATORS OF {Win32_IDEController.DeviceID=\"" + escaped +
                                      "\"} WHERE AssocClass = Win32_IDEControllerDevice");
  ASSERT_TRUE(devices);
  ASSERT_EQ(devices->size(), 1u);
  EXPECT_EQ((*devices)[0].String("DeviceID"), "SCSI\\DISK&VEN_ATA&PROD_WDC_WD5000AAKS-0\\SDA");

  auto scsi = wmi.Query(CIMV2, "select Name, DeviceID from Win32_SCSIController");
  ASSERT_TRUE(scsi);
  ASSERT_EQ(scsi->size(), 2u);
  for (const auto& c : *scsi) {
    EXPECT_EQ(c.String("Name"), "Standard NVM Express Controller");
    // Nothing that discovery would take for a USB controller.
    EXPECT_EQ(c.String("Name").find("USB"), std::string::npos);
  }
  auto usb = wmi.Query(CIMV2, "select Name, DeviceID from Win32_USBController");
  ASSERT_TRUE(usb);
  EXPECT_TRUE(usb->empty());
}

TEST(LinuxWmi, UsbControllerListsEachDeviceBeforeItsDisk) {
  os::CLinuxWmi wmi(Tree("usb-enclosure"));
  auto usb = wmi.Query(CIMV2, "select Name, DeviceID from Win32_USBController");
  ASSERT_TRUE(usb);
  ASSERT_EQ(usb->size(), 1u);
  EXPECT_EQ((*usb)[0].String("Name"), "USB xHCI Compliant Host Controller");
  auto devices = wmi.Query(CIMV2, "ASSOCIATORS OF {Win32_USBController.DeviceID=\"" +
                                      (*usb)[0].String("DeviceID") +
                                      "\"} WHERE AssocClass = Win32_USBControllerDevice");
  ASSERT_TRUE(devices);
  std::vector<std::string> ids;
  for (const auto& d : *devices) ids.push_back(d.String("DeviceID"));
  EXPECT_EQ(ids, (std::vector<std::string>{
                     "USB\\VID_152D&PID_0578\\0123456789ABCDEF",
                     "USBSTOR\\DISK&VEN_JMICRON&PROD_TECH&REV_0204\\0123456789ABCDEF&0",
                     "USB\\VID_04E8&PID_61F5\\1234567DE1F2",
                     "USB\\VID_0781&PID_5581\\4C530001230528117283",
                     "USBSTOR\\DISK&VEN_SANDISK&PROD_ULTRA&REV_1.00\\4C530001230528117283&0",
                 }));
  // The disk's device carries the same name as the disk drive, so the
  // enclosure is found by the model.
  EXPECT_EQ((*devices)[1].String("Name"), "JMicron Tech USB Device");

  // The UAS device is a SCSI controller of its own with the disk below it.
  auto scsi = wmi.Query(CIMV2, "select Name, DeviceID from Win32_SCSIController");
  ASSERT_TRUE(scsi);
  ASSERT_EQ(scsi->size(), 1u);
  EXPECT_NE((*scsi)[0].String("Name").find("UAS"), std::string::npos);
  auto below = wmi.Query(CIMV2, "ASSOCIATORS OF {Win32_SCSIController.DeviceID=\"" +
                                    (*scsi)[0].String("DeviceID") +
                                    "\"} WHERE AssocClass = Win32_SCSIControllerDevice");
  ASSERT_TRUE(below);
  ASSERT_EQ(below->size(), 1u);
  EXPECT_EQ((*below)[0].String("DeviceID"), "SCSI\\DISK&VEN_SAMSUNG&PROD_PORTABLE_SSD_T5\\SDC");
}

TEST(LinuxWmi, NvmeDiskLeadsToItsController) {
  os::CLinuxWmi wmi(Tree("nvme-desktop"));
  auto entity = wmi.Query(CIMV2,
                          "ASSOCIATORS OF {Win32_DiskDrive.DeviceID='\\\\.\\PhysicalDrive2'} "
                          "WHERE ResultClass=Win32_PnPEntity");
  ASSERT_TRUE(entity);
  ASSERT_EQ(entity->size(), 1u);
  std::string pnp = (*entity)[0].String("DeviceID");
  EXPECT_EQ(pnp, "SCSI\\DISK&VEN_NVME&PROD_SABRENT_ROCKET_4\\NVME1N1");
  auto controller = wmi.Query(CIMV2, "ASSOCIATORS OF {Win32_PnPEntity.DeviceID='" + pnp +
                                         "'} WHERE AssocClass=Win32_SCSIControllerDevice");
  ASSERT_TRUE(controller);
  ASSERT_EQ(controller->size(), 1u);
  EXPECT_EQ((*controller)[0].String("DeviceID"), "PCI\\VEN_1987&DEV_5012&CC_010802\\0000:04:00.0");
}

TEST(LinuxWmi, QueriesThisSystemCannotAnswer) {
  os::CLinuxWmi wmi(Tree("sata-laptop"));
  auto predict = wmi.Query("root\\WMI", "SELECT * FROM MSStorageDriver_FailurePredictData");
  ASSERT_TRUE(predict);
  EXPECT_TRUE(predict->empty());
  EXPECT_FALSE(wmi.Query(CIMV2, "SELECT * FROM Win32_Fan"));
  EXPECT_FALSE(wmi.Query(CIMV2, "SELECT * FROM Win32_DiskDrive WHERE Index = 0"));
  EXPECT_FALSE(wmi.Query("root\\default", "SELECT * FROM Win32_DiskDrive"));
  EXPECT_FALSE(wmi.Query(CIMV2, "ASSOCIATORS OF {broken"));
  auto none = wmi.Query(CIMV2,
                        "ASSOCIATORS OF {Win32_IDEController.DeviceID=\"PCI\\\\NOPE\"} WHERE "
                        "AssocClass = Win32_IDEControllerDevice");
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
}

TEST(LinuxWmi, NoSysfsMeansNoDisksNotAFailure) {
  os::LinuxRoots roots = Tree("does-not-exist");
  os::CLinuxWmi wmi(roots);
  auto drives = wmi.Query(CIMV2, "SELECT * FROM Win32_DiskDrive");
  ASSERT_TRUE(drives);
  EXPECT_TRUE(drives->empty());
}

}  // namespace

#include "os/linux/LinuxDeviceSetup.h"

namespace {

const char* SCSI_ADAPTERS = "{4D36E97B-E325-11CE-BFC1-08002BE10318}";
const char* PCI_PROPERTIES = "{3AB22E31-8264-4B4E-9AF5-A8D2D8E33E62}";

TEST(LinuxDeviceSetup, NvmeControllersAndTheirLinks) {
  os::CLinuxDeviceSetup setup(Tree("nvme-desktop"));
  auto devices = setup.PresentDevices(SCSI_ADAPTERS);
  // The AHCI controller is not a SCSI adapter.
  ASSERT_EQ(devices, (std::vector<std::string>{"PCI\\VEN_144D&DEV_A808&CC_010802\\0000:01:00.0",
                                               "PCI\\VEN_1987&DEV_5012&CC_010802\\0000:04:00.0"}));
  EXPECT_TRUE(setup.PresentDevices("{4D36E96A-E325-11CE-BFC1-08002BE10318}").empty());

  struct Case {
    size_t Device;
    uint32_t Property;
    uint8_t Value;
  };
  const Case cases[] = {{0, 9, 3}, {0, 10, 4}, {0, 11, 3}, {0, 12, 4},
                        {1, 9, 2}, {1, 10, 2}, {1, 11, 4}, {1, 12, 4}};
  for (const auto& c : cases) {
    auto v = setup.DeviceProperty(devices[c.Device], PCI_PROPERTIES, c.Property);
    ASSERT_TRUE(v) << c.Device << " " << c.Property;
    ASSERT_EQ(v->size(), 4u);
    EXPECT_EQ((*v)[0], c.Value) << c.Device << " " << c.Property;
  }
  EXPECT_FALSE(setup.DeviceProperty(devices[0], PCI_PROPERTIES, 13));
  EXPECT_FALSE(setup.DeviceProperty(devices[0], "{00000000-0000-0000-0000-000000000000}", 9));
  EXPECT_FALSE(setup.DeviceProperty("PCI\\VEN_144D&DEV_A808&CC_010802\\..", PCI_PROPERTIES, 9));
  EXPECT_FALSE(setup.DeviceProperty("PCI\\VEN_0000&DEV_0000&CC_010802\\0000:01:00.0",
                                    PCI_PROPERTIES, 9));  // not that device
  // The SATA controller has no link files in this tree.
  EXPECT_FALSE(
      setup.DeviceProperty("PCI\\VEN_8086&DEV_A282&CC_010601\\0000:00:17.0", PCI_PROPERTIES, 9));
}

TEST(LinuxDeviceSetup, TheWmiControllerIdLeadsToTheLink) {
  // The engine takes the controller id from the associations and looks it
  // up among the present devices by exact text.
  os::CLinuxWmi wmi(Tree("nvme-desktop"));
  auto entity = wmi.Query("root\\cimv2",
                          "ASSOCIATORS OF {Win32_DiskDrive.DeviceID='\\\\.\\PhysicalDrive1'} "
                          "WHERE ResultClass=Win32_PnPEntity");
  ASSERT_TRUE(entity && !entity->empty());
  auto controller = wmi.Query("root\\cimv2", "ASSOCIATORS OF {Win32_PnPEntity.DeviceID='" +
                                                 entity->back().String("DeviceID") +
                                                 "'} WHERE AssocClass=Win32_SCSIControllerDevice");
  ASSERT_TRUE(controller && !controller->empty());
  os::CLinuxDeviceSetup setup(Tree("nvme-desktop"));
  auto devices = setup.PresentDevices(SCSI_ADAPTERS);
  EXPECT_NE(std::find(devices.begin(), devices.end(), controller->back().String("DeviceID")),
            devices.end());
}

}  // namespace
