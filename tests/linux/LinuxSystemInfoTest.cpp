// The system information of a Linux machine, read from /proc, /sys and /etc
// trees built in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "os/linux/LinuxMachineInfo.h"
#include "os/linux/LinuxSystem.h"
#include "os/linux/LinuxWmi.h"
#include "tests/support/TempDir.h"
#include "tools/SystemInfo.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// /proc/cpuinfo of `packages` x86 sockets, each `cores` cores with
// `threads` threads per core.
std::string CpuInfo(int packages, int cores, int threads, bool ids = true) {
  std::string text;
  int n = 0;
  for (int p = 0; p < packages; ++p) {
    for (int t = 0; t < threads; ++t) {
      for (int c = 0; c < cores; ++c) {
        text += "processor\t: " + std::to_string(n++) + "\n";
        text += "model name\t: Intel(R) Xeon(R) Gold 6130 CPU @ 2.10GHz\n";
        if (ids) {
          text += "physical id\t: " + std::to_string(p) + "\n";
          text += "core id\t\t: " + std::to_string(c * 2) + "\n";
        }
        text += "\n";
      }
    }
  }
  return text;
}

struct Tree {
  testutil::CTempDir Dir;
  os::LinuxRoots Roots;

  Tree() {
    Roots.Sys = (Dir.Path() / "sys").string();
    Roots.Proc = (Dir.Path() / "proc").string();
    Roots.Etc = (Dir.Path() / "etc").string();
    Roots.Dev = (Dir.Path() / "dev").string();
    Roots.PciIds = {(Dir.Path() / "missing.ids").string(), (Dir.Path() / "pci.ids").string()};
  }
  fs::path Sys() const { return Dir.Path() / "sys"; }
  fs::path Proc() const { return Dir.Path() / "proc"; }

  void Interface(const std::string& name, int index, int type, const std::string& mac,
                 const std::string& driver = "", const std::string& pci = "") {
    const fs::path dir = Sys() / "class" / "net" / name;
    Write(dir / "ifindex", std::to_string(index) + "\n");
    Write(dir / "type", std::to_string(type) + "\n");
    Write(dir / "address", mac + "\n");
    if (!driver.empty()) {
      const fs::path device = Dir.Path() / "devices" / name;
      fs::create_directories(device);
      fs::create_directories(Dir.Path() / "drivers" / driver);
      fs::create_directory_symlink(Dir.Path() / "drivers" / driver, device / "driver");
      if (!pci.empty()) {
        Write(device / "vendor", "0x" + pci.substr(0, 4) + "\n");
        Write(device / "device", "0x" + pci.substr(5, 4) + "\n");
      }
      fs::create_directory_symlink(device, dir / "device");
    }
  }
};

TEST(LinuxSystemInfo, CpuPackages) {
  const struct {
    std::string CpuInfo;
    size_t Packages;
    uint32_t Cores, Logical;
  } cases[] = {
      {CpuInfo(1, 4, 2), 1, 4, 8},
      {CpuInfo(2, 16, 2), 2, 16, 32},      // one row per socket, as WMI has them
      {CpuInfo(1, 4, 1, false), 1, 4, 4},  // no ids: every processor a core
      // ARM: "Processor" names the chip on older kernels.
      {"Processor\t: ARMv7 Processor rev 4 (v7l)\nprocessor\t: 0\nprocessor\t: 1\n", 1, 2, 2},
      {"", 0, 0, 0},
  };
  for (const auto& c : cases) {
    Tree tree;
    Write(tree.Proc() / "cpuinfo", c.CpuInfo);
    const auto packages = os::ReadCpuPackages(tree.Roots.Proc);
    ASSERT_EQ(packages.size(), c.Packages) << c.CpuInfo;
    if (c.Packages == 0) continue;
    EXPECT_EQ(packages.back().Cores, c.Cores);
    EXPECT_EQ(packages.back().Logical, c.Logical);
  }
}

TEST(LinuxSystemInfo, MachineFacts) {
  const struct {
    const char* Machine;
    uint16_t Architecture;
  } arch[] = {
      {"x86_64", os::PROCESSOR_ARCH_X64},      {"i686", os::PROCESSOR_ARCH_X86},
      {"i386", os::PROCESSOR_ARCH_X86},        {"aarch64", os::PROCESSOR_ARCH_ARM64},
      {"riscv64", os::PROCESSOR_ARCH_UNKNOWN}, {"", os::PROCESSOR_ARCH_UNKNOWN},
  };
  for (const auto& c : arch) EXPECT_EQ(os::ArchitectureOfMachine(c.Machine), c.Architecture);

  Tree tree;
  Write(tree.Proc() / "meminfo", "MemTotal:       16307888 kB\nMemFree: 1 kB\n");
  EXPECT_EQ(os::ReadMemTotalBytes(tree.Roots.Proc), 16307888ull * 1024);
  Write(tree.Proc() / "meminfo", "MemFree: 1 kB\n");
  EXPECT_EQ(os::ReadMemTotalBytes(tree.Roots.Proc), 0u);

  EXPECT_EQ(os::ReadOsPrettyName(tree.Roots.Etc), "Linux");
  Write(tree.Dir.Path() / "usr" / "lib" / "os-release", "NAME=x\nPRETTY_NAME=\"From usr\"\n");
  EXPECT_EQ(os::ReadOsPrettyName(tree.Roots.Etc), "From usr");
  Write(tree.Dir.Path() / "etc" / "os-release", "PRETTY_NAME='Debian GNU/Linux 12 (bookworm)'\n");
  EXPECT_EQ(os::ReadOsPrettyName(tree.Roots.Etc), "Debian GNU/Linux 12 (bookworm)");
}

TEST(LinuxSystemInfo, PciNames) {
  Tree tree;
  Write(tree.Dir.Path() / "pci.ids",
        "# comment\n8086  Intel Corporation\n\t15bc  Ethernet Connection (7) I219-V\n"
        "\t\t8086 0001  subsystem line\n\t5917  UHD Graphics 620\n10de  NVIDIA Corporation\n"
        "\t1c82  GP107 [GeForce GTX 1050 Ti]\nC 01  Mass storage controller\n");
  const struct {
    uint16_t Vendor, Device;
    const char* Name;
  } cases[] = {
      {0x8086, 0x15BC, "Intel Corporation Ethernet Connection (7) I219-V"},
      {0x8086, 0x5917, "Intel Corporation UHD Graphics 620"},
      {0x10DE, 0x1C82, "NVIDIA Corporation GP107 [GeForce GTX 1050 Ti]"},
      {0x8086, 0x0001, ""},  // a subsystem id is not a device
      {0x1234, 0x5678, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(os::PciDeviceName(tree.Roots.PciIds, c.Vendor, c.Device), c.Name);
  }
}

TEST(LinuxSystemInfo, CollectedFromTheTrees) {
  Tree tree;
  Write(tree.Proc() / "cpuinfo", CpuInfo(1, 4, 2));
  Write(tree.Proc() / "meminfo", "MemTotal:       16307888 kB\n");
  Write(tree.Proc() / "sys" / "kernel" / "osrelease", "6.1.0-18-amd64\n");
  Write(tree.Proc() / "sys" / "kernel" / "hostname", "builder\n");
  Write(tree.Proc() / "net" / "route",
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n"
        "wlp2s0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\n"
        "wlp2s0\t0001A8C0\t00000000\t0001\t0\t0\t600\t00FFFFFF\n");
  Write(tree.Dir.Path() / "etc" / "os-release", "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
  const fs::path dmi = tree.Sys() / "class" / "dmi" / "id";
  Write(dmi / "bios_vendor", "LENOVO\n");
  Write(dmi / "bios_version", "N24ET56W (1.31 )\n");
  Write(dmi / "board_vendor", "LENOVO\n");
  Write(dmi / "board_name", "20L5CTO1WW\n");
  Write(tree.Dir.Path() / "pci.ids",
        "8086  Intel Corporation\n\t15d7  Ethernet Connection (4) I219-LM\n"
        "\t5917  UHD Graphics 620\n");
  const fs::path card = tree.Dir.Path() / "devices" / "gpu";
  Write(card / "vendor", "0x8086\n");
  Write(card / "device", "0x5917\n");
  fs::create_directories(tree.Sys() / "class" / "drm" / "card0");
  fs::create_directory_symlink(card, tree.Sys() / "class" / "drm" / "card0" / "device");
  fs::create_directories(tree.Sys() / "class" / "drm" / "card0-eDP-1");
  // Interfaces in name order differ from their index order.
  // A bridge made at start-up, with a random address, comes before the
  // devices by index, yet neither names the card nor the history root.
  tree.Interface("lo", 1, 772, "00:00:00:00:00:00");
  tree.Interface("docker0", 2, 1, "02:42:ac:11:00:02");
  tree.Interface("wlp2s0", 4, 1, "8c:16:45:00:11:33", "iwlwifi");
  tree.Interface("enp0s31f6", 3, 1, "8c:16:45:00:11:22", "e1000e", "8086:15d7");
  tree.Interface("tun0", 5, 65534, "");

  os::CLinuxWmi wmi(tree.Roots, [] {
    return std::vector<os::LinuxIpAddress>{{"wlp2s0", "fe80::1", true},
                                           {"wlp2s0", "192.168.1.23", false},
                                           {"tun0", "10.8.0.2", false}};
  });
  os::CLinuxSystem system(tree.Roots);
  const SystemInfo info = CollectSystemInfo(wmi, system, "Unknown");
  const SYSTEM_INFO_TEXT& t = info.Text;
  EXPECT_NE(t.WindowsEdition.find("Debian GNU/Linux 12 (bookworm) "), std::string::npos)
      << t.WindowsEdition;
  EXPECT_NE(t.WindowsEdition.find(" Linux 6.1.0-18-amd64"), std::string::npos) << t.WindowsEdition;
  EXPECT_EQ(t.Bios, "LENOVO Ver:N24ET56W (1.31 )");
  EXPECT_EQ(t.Cpu, "Intel(R) Xeon(R) Gold 6130 CPU @ 2.10GHz  4C / 8T");
  EXPECT_EQ(t.RamSizeMb, 15925u);
  EXPECT_EQ(t.Ram, "15 GBytes");  // no SMBIOS table here: no module sizes
  EXPECT_EQ(t.MotherBoard, "LENOVO 20L5CTO1WW");
  EXPECT_EQ(t.Graphics, "Intel Corporation UHD Graphics 620");
  EXPECT_EQ(t.NetCard, "Intel Corporation Ethernet Connection (4) I219-LM");
  // tun0 has an address but no gateway, and comes last: WMI's last row.
  EXPECT_EQ(t.Ip, "10.8.0.2 / ");
  EXPECT_EQ(t.Computer.rfind("builder ", 0), 0u) << t.Computer;
  ASSERT_TRUE(info.AdapterAddress);
  EXPECT_EQ((*info.AdapterAddress)[5], 0x22);

  // The condition picks the adapters with an address; IPv4 first.
  auto rows = wmi.Query("root\\cimv2",
                        "Select * from Win32_NetworkAdapterConfiguration where IPEnabled = 'True'");
  ASSERT_TRUE(rows);
  ASSERT_EQ(rows->size(), 2u);
  EXPECT_EQ(WmiPropertyText(rows->front(), "Description"), "wlp2s0 (iwlwifi)");
  EXPECT_EQ(WmiPropertyText(rows->front(), "IPAddress"), "192.168.1.23");
  EXPECT_EQ(WmiPropertyText(rows->front(), "DefaultIPGateway"), "192.168.1.1");
  EXPECT_EQ(WmiPropertyText(rows->front(), "MACAddress"), "8C:16:45:00:11:33");
  rows = wmi.Query("root\\cimv2", "Select * from Win32_NetworkAdapterConfiguration");
  ASSERT_TRUE(rows);
  EXPECT_EQ(rows->size(), 4u);
  EXPECT_FALSE(wmi.Query("root\\cimv2", "Select * from Win32_Processor where Name"));

  // Without /sys/class/net the adapters cannot be listed.
  fs::remove_all(tree.Sys() / "class" / "net");
  std::vector<os::NetworkAdapter> adapters;
  EXPECT_FALSE(system.GetNetworkAdapters(&adapters));
}

}  // namespace
