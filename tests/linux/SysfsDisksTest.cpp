#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "os/linux/MountTable.h"
#include "os/linux/SysfsDisks.h"
#include "tests/support/TempDir.h"

namespace {

os::LinuxRoots Tree(const std::string& name) {
  std::string base = std::string(STAVRION_SOURCE_DIR) + "/fixtures/sysfs/" + name;
  return os::LinuxRoots{base + "/sys", base + "/dev", base + "/proc/self/mounts",
                        base + "/proc/self/status"};
}

TEST(SysfsDisks, NameOrderPutsSdFirstThenNvmeThenTheRest) {
  std::vector<std::string> names = {"vda",     "nvme10n1", "sdb",     "nvme0n2", "sdaa",
                                    "nvme2n1", "sda",      "mmcblk0", "sdz",     "nvme0n1"};
  std::shuffle(names.begin(), names.end(), std::mt19937(7));
  std::sort(names.begin(), names.end(), os::LinuxDiskNameLess);
  EXPECT_EQ(names, (std::vector<std::string>{"sda", "sdb", "sdz", "sdaa", "nvme0n1", "nvme0n2",
                                             "nvme2n1", "nvme10n1", "mmcblk0", "vda"}));
}

TEST(SysfsDisks, IgnoredNames) {
  for (const char* n : {"loop0", "ram15", "zram0", "dm-3", "md127", "sr0", "fd0", "nbd4"}) {
    EXPECT_TRUE(os::IsIgnoredBlockName(n)) << n;
  }
  for (const char* n : {"sda", "nvme0n1", "vda", "mmcblk0", "hda", "xvda"}) {
    EXPECT_FALSE(os::IsIgnoredBlockName(n)) << n;
  }
}

struct ExpectedDisk {
  const char* Tree;
  std::vector<std::string> Names;
};

TEST(SysfsDisks, CapturedTreesListWholeDisksInDriveOrder) {
  const ExpectedDisk cases[] = {
      {"sata-laptop", {"sda"}},
      {"nvme-desktop", {"sda", "nvme0n1", "nvme1n1"}},
      {"usb-enclosure", {"sda", "sdb", "sdc", "sdd"}},
  };
  for (const auto& c : cases) {
    os::CSysfsDisks disks(Tree(c.Tree));
    EXPECT_EQ(disks.ListNames(), c.Names) << c.Tree;
  }
}

TEST(SysfsDisks, SataDiskTakesFullModelFromAtaInformationPage) {
  os::CSysfsDisks disks(Tree("sata-laptop"));
  auto d = disks.Describe("sda");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->Bus, os::LinuxDiskBus::Ata);
  EXPECT_EQ(d->Vendor, "ATA");
  EXPECT_EQ(d->Model, "INTEL SSDSA2CW120G3");  // INQUIRY says "INTEL SSDSA2CW12"
  EXPECT_EQ(d->Revision, "4PC10302");
  EXPECT_EQ(d->Serial, "CVPR109301UZ120LGN");
  EXPECT_EQ(d->Sectors, 234441648u);
  EXPECT_FALSE(d->Removable);
  EXPECT_EQ(d->ScsiHost, 0);
  EXPECT_EQ(d->ScsiTarget, 0);
  ASSERT_TRUE(d->Controller);
  EXPECT_EQ(d->Controller->Address, "0000:00:1f.2");
  EXPECT_EQ(d->Controller->ClassCode, 0x010601u);
  EXPECT_EQ(d->Controller->VendorId, 0x8086);
  EXPECT_FALSE(d->Usb);
  EXPECT_EQ(d->DevicePath, "/dev/sda");
}

TEST(SysfsDisks, NvmeDisksNameTheirControllers) {
  os::CSysfsDisks disks(Tree("nvme-desktop"));
  auto d0 = disks.Describe("nvme0n1");
  auto d1 = disks.Describe("nvme1n1");
  ASSERT_TRUE(d0 && d1);
  EXPECT_EQ(d0->Bus, os::LinuxDiskBus::Nvme);
  EXPECT_EQ(d0->NvmeController, "nvme0");
  EXPECT_EQ(d0->NvmeNamespace, 1u);
  EXPECT_EQ(d0->Model, "Samsung SSD 970 EVO Plus 1TB");
  EXPECT_EQ(d0->Serial, "S4EWNX0R123456A");
  EXPECT_EQ(d0->Revision, "2B2QEXM7");
  ASSERT_TRUE(d0->Controller);
  EXPECT_EQ(d0->Controller->Address, "0000:01:00.0");
  EXPECT_EQ(d0->Controller->ClassCode, 0x010802u);
  EXPECT_EQ(d1->NvmeController, "nvme1");
  ASSERT_TRUE(d1->Controller);
  EXPECT_EQ(d1->Controller->Address, "0000:04:00.0");
  EXPECT_EQ(d1->Controller->VendorId, 0x1987);
}

struct UsbCase {
  const char* Name;
  uint16_t Vid;
  uint16_t Pid;
  const char* Driver;
  bool Removable;
  const char* Vendor;
  const char* Model;
};

TEST(SysfsDisks, UsbDisksCarryTheirEnclosureIds) {
  const UsbCase cases[] = {
      {"sdb", 0x152d, 0x0578, "usb-storage", false, "JMicron", "Tech"},
      {"sdc", 0x04e8, 0x61f5, "uas", false, "Samsung", "Portable SSD T5"},
      {"sdd", 0x0781, 0x5581, "usb-storage", true, "SanDisk", "Ultra"},
  };
  os::CSysfsDisks disks(Tree("usb-enclosure"));
  for (const auto& c : cases) {
    auto d = disks.Describe(c.Name);
    ASSERT_TRUE(d) << c.Name;
    EXPECT_EQ(d->Bus, os::LinuxDiskBus::Usb) << c.Name;
    ASSERT_TRUE(d->Usb) << c.Name;
    EXPECT_EQ(d->Usb->VendorId, c.Vid) << c.Name;
    EXPECT_EQ(d->Usb->ProductId, c.Pid) << c.Name;
    EXPECT_EQ(d->Usb->Driver, c.Driver) << c.Name;
    EXPECT_EQ(d->Removable, c.Removable) << c.Name;
    EXPECT_EQ(d->Vendor, c.Vendor) << c.Name;
    EXPECT_EQ(d->Model, c.Model) << c.Name;
    ASSERT_TRUE(d->Controller) << c.Name;
    EXPECT_EQ(d->Controller->ClassCode, 0x0c0330u) << c.Name;
  }
  // The internal disk is not a USB disk.
  auto sda = disks.Describe("sda");
  ASSERT_TRUE(sda);
  EXPECT_EQ(sda->Bus, os::LinuxDiskBus::Ata);
  EXPECT_EQ(sda->Model, "ST9100821AS");
}

TEST(SysfsDisks, UnknownOrUnsafeNamesAreNotDescribed) {
  os::CSysfsDisks disks(Tree("sata-laptop"));
  EXPECT_FALSE(disks.Describe("sdq"));
  EXPECT_FALSE(disks.Describe("../block/sda"));
  EXPECT_FALSE(disks.Describe(""));
  EXPECT_FALSE(disks.Describe(".."));
}

struct MountCase {
  const char* Tree;
  const char* Disk;
  std::vector<std::string> Points;
};

TEST(MountTable, MountPointsGoToTheDisksBelowThem) {
  const MountCase cases[] = {
      // /home is on an encrypted volume whose slave is sda3.
      {"sata-laptop", "sda", {"/", "/boot/efi", "/home"}},
      {"nvme-desktop", "nvme0n1", {"/", "/boot/efi"}},
      // Two sub-volumes of one file system, one of them mounted twice.
      {"nvme-desktop", "nvme1n1", {"/home", "/var/lib/docker"}},
      {"nvme-desktop", "sda", {"/srv/data"}},
      {"usb-enclosure", "sdb", {"/media/user/Backup Disk"}},
      {"usb-enclosure", "sdd", {"/media/user/STICK"}},
      {"usb-enclosure", "sdc", {}},
  };
  for (const auto& c : cases) {
    os::CSysfsDisks disks(Tree(c.Tree));
    auto byDisk = os::MountPointsByDisk(disks);
    auto it = byDisk.find(c.Disk);
    std::vector<std::string> got = it == byDisk.end() ? std::vector<std::string>{} : it->second;
    EXPECT_EQ(got, c.Points) << c.Tree << " " << c.Disk;
  }
  // Loop devices, tmpfs and proc never show up as disks.
  os::CSysfsDisks laptop(Tree("sata-laptop"));
  auto byDisk = os::MountPointsByDisk(laptop);
  EXPECT_EQ(byDisk.size(), 1u);
}

TEST(MountTable, ParsesEscapesAndSkipsShortLines) {
  auto mounts = os::ParseMounts(
      "/dev/sdb1 /media/a\\040b\\011c ext4 rw 0 0\n"
      "garbage\n"
      "\n"
      "/dev/sda1 /x\\9 vfat rw 0 0\n");
  ASSERT_EQ(mounts.size(), 2u);
  EXPECT_EQ(mounts[0].MountPoint, "/media/a b\tc");
  EXPECT_EQ(mounts[1].MountPoint, "/x\\9");
  EXPECT_EQ(mounts[1].FsType, "vfat");
}

// Damaged trees: missing files and non-numbers leave defaults, never crash.
class DamagedTree : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Root =
        std::filesystem::temp_directory_path() /
        ("stavrion-sysfs-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_Root);
    std::filesystem::create_directories(m_Root / "sys/block");
  }
  void TearDown() override { std::filesystem::remove_all(m_Root); }
  void Write(const std::string& rel, const std::string& text) {
    auto p = m_Root / rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p) << text;
  }
  os::LinuxRoots Roots() {
    return os::LinuxRoots{(m_Root / "sys").string(), (m_Root / "dev").string(),
                          (m_Root / "mounts").string()};
  }
  std::filesystem::path m_Root;
};

TEST_F(DamagedTree, MissingAndMalformedAttributes) {
  Write("sys/block/sda/size", "lots\n");
  Write("sys/block/sda/removable", "");
  Write("sys/block/sda/queue/logical_block_size", "513\n");
  Write("sys/block/sda/device/model", std::string("\x01\xff"
                                                  "Disk\n",
                                                  7));
  Write("sys/block/sda/device/vpd_pg89", std::string(100, '\x89'));
  Write("sys/block/sda/device/vpd_pg80", std::string("\x00\x80\xff\xff"
                                                     "ABC",
                                                     7));
  Write("sys/block/nvme0n1/size", "18446744073709551616\n");  // one past 2^64-1
  Write("sys/block/vdb/hidden", "1\n");
  os::CSysfsDisks disks(Roots());
  EXPECT_EQ(disks.ListNames(), (std::vector<std::string>{"sda", "nvme0n1"}));
  auto sda = disks.Describe("sda");
  ASSERT_TRUE(sda);
  EXPECT_EQ(sda->Sectors, 0u);
  EXPECT_EQ(sda->LogicalBlockSize, 512u);
  EXPECT_FALSE(sda->Removable);
  EXPECT_EQ(sda->Model, "??Disk");
  EXPECT_EQ(sda->Serial, "ABC");  // the page claims more than it holds
  EXPECT_EQ(sda->ScsiHost, -1);   // "device" is not at a SCSI address
  auto nvme = disks.Describe("nvme0n1");
  ASSERT_TRUE(nvme);
  EXPECT_EQ(nvme->Sectors, 0u);
  EXPECT_EQ(nvme->NvmeController, "nvme0");  // taken from the name
  EXPECT_TRUE(nvme->Model.empty());
  // No mounts file: nothing mounted, no crash.
  EXPECT_TRUE(os::MountPointsByDisk(disks).empty());
}

TEST_F(DamagedTree, NvmeControllerOfAMultipathHeadAndOddNames) {
  Write("sys/block/nvme1n1/size", "100\n");
  Write("sys/block/nvme1n1/multipath/nvme1c3n1/size", "100\n");
  Write("sys/block/nvme2n99999999999999999999/size", "100\n");
  os::CSysfsDisks disks(Roots());
  auto head = disks.Describe("nvme1n1");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->NvmeController, "nvme3");
  EXPECT_EQ(head->NvmeNamespace, 1u);
  auto odd = disks.Describe("nvme2n99999999999999999999");
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->NvmeController, "nvme2");
  EXPECT_EQ(odd->NvmeNamespace, 0u);  // not a number that fits
}

TEST_F(DamagedTree, NoBlockFolderAtAll) {
  std::filesystem::remove_all(m_Root / "sys");
  os::CSysfsDisks disks(Roots());
  EXPECT_TRUE(disks.ListNames().empty());
  EXPECT_TRUE(disks.DescribeAll().empty());
}

TEST(SysfsNumbers, ParsesDecimalAndHexOnly) {
  auto dir = std::filesystem::temp_directory_path() / "stavrion-sysfs-numbers";
  std::filesystem::create_directories(dir);
  struct Case {
    const char* Text;
    std::optional<uint64_t> Value;
  };
  const Case cases[] = {{"42\n", 42},
                        {"0x010601\n", 0x010601},
                        {"0x\n", std::nullopt},
                        {"-1\n", std::nullopt},
                        {"12abc", std::nullopt},
                        {"", std::nullopt},
                        {"18446744073709551615", UINT64_MAX}};
  for (const auto& c : cases) {
    std::ofstream(dir / "n") << c.Text;
    EXPECT_EQ(os::ReadSysNumber((dir / "n").string()), c.Value) << c.Text;
  }
  EXPECT_EQ(os::ReadSysNumber((dir / "missing").string()), std::nullopt);
  std::filesystem::remove_all(dir);
}

// Attribute files that are not plain files, or too long: each read ends at
// once with what could be read, never waits for a writer.
TEST(SysfsText, OddFilesReadAsShortTextWithoutWaiting) {
  testutil::CTempDir dir;
  const std::string fifo = (dir.Path() / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(dir.Path() / "folder");
  std::ofstream(dir.Path() / "long") << std::string(5000, '7');
  std::ofstream(dir.Path() / "blanks") << "  text \n\n";

  struct Case {
    const char* Name;
    std::optional<std::string> Text;
  };
  const Case cases[] = {
      {"fifo", ""},
      {"folder", ""},
      {"long", std::string(4096, '7')},
      {"blanks", "  text"},
      {"missing", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(os::ReadSysText((dir.Path() / c.Name).string()), c.Text) << c.Name;
  }
  EXPECT_EQ(os::ReadSysNumber(fifo), std::nullopt);
  auto bytes = os::ReadSysBytes((dir.Path() / "long").string(), 10);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), 10u);
}

}  // namespace
