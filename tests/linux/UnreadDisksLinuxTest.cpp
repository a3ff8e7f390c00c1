// The report's unread disks on captured Linux trees: the inventory built from
// sysfs names every disk with its node, and a refused request says whether
// root would help.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "monitor/DiskReport.h"
#include "os/linux/LinuxDeviceIo.h"
#include "os/linux/LinuxWmi.h"
#include "tests/linux/ScriptedDiskSyscalls.h"

namespace {

os::LinuxRoots Tree(const std::string& name) {
  std::string base = std::string(STAVRION_SOURCE_DIR) + "/fixtures/sysfs/" + name;
  return os::LinuxRoots{base + "/sys", base + "/dev", base + "/proc/self/mounts",
                        base + "/proc/self/status"};
}

TEST(UnreadDisksOnLinux, EveryDiskOfTheTreeWithWhyItWasNotRead) {
  struct Case {
    const char* Tree;
    int ReadErrno;  // of the wake-up read; 0 when nothing was refused
    std::vector<std::string> Paths;
    monitor::UnreadCause Cause;
    monitor::ReportOutcome Outcome;
  };
  const Case cases[] = {
      {"sata-laptop",
       EACCES,
       {"/dev/sda"},
       monitor::UnreadCause::NotPrivileged,
       monitor::ReportOutcome::NotPrivileged},
      {"nvme-desktop",
       EPERM,
       {"/dev/sda", "/dev/nvme0n1", "/dev/nvme1n1"},
       monitor::UnreadCause::RefusedToPrivileged,
       monitor::ReportOutcome::RefusedToPrivileged},
      {"usb-enclosure",
       0,
       {"/dev/sda", "/dev/sdb", "/dev/sdc", "/dev/sdd"},
       monitor::UnreadCause::NoSmartCommand,
       monitor::ReportOutcome::DisksRead},
  };
  for (const Case& c : cases) {
    testutil::CScriptedDiskSyscalls sys;
    os::CLinuxDeviceIo devices(Tree(c.Tree), sys);
    os::CLinuxWmi wmi(Tree(c.Tree));
    if (c.ReadErrno != 0) {
      uint32_t error = 0;
      auto h = devices.Open("\\\\.\\PhysicalDrive0", os::Access::ReadWrite, &error);
      ASSERT_TRUE(h) << c.Tree;
      sys.ReadErrno = c.ReadErrno;
      std::vector<uint8_t> sector(512);
      uint32_t got = 0;
      EXPECT_FALSE(h->Read(sector.data(), 512, &got)) << c.Tree;
    }
    auto unread = monitor::FindUnreadDisks(CDiskArray(), wmi, devices);
    std::vector<std::string> paths;
    for (const auto& d : unread) {
      paths.push_back(d.DevicePath);
      EXPECT_FALSE(d.Model.empty()) << c.Tree << " " << d.DevicePath;
      EXPECT_GT(d.Size, 0u) << c.Tree << " " << d.DevicePath;
      EXPECT_EQ(d.Cause, c.Cause) << c.Tree << " " << d.DevicePath;
    }
    EXPECT_EQ(paths, c.Paths) << c.Tree;
    EXPECT_EQ(monitor::JudgeReport(0, unread.size(), devices.DeviceAccessDenial()), c.Outcome)
        << c.Tree;
  }
}

}  // namespace
