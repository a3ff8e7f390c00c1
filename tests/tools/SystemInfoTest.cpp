// The system information of a simulated machine: its WMI rows and the
// machine's own facts in, the rows of the page and the report out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/HistoryLog.h"
#include "os/sim/DemoMachine.h"
#include "os/sim/SimMachine.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/StdFileSystem.h"
#include "tools/SystemInfo.h"
#include "tools/SystemReport.h"

using os::sim::CMemorySource;
using os::sim::LoadMachine;

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

const char* const MACHINE = R"([machine]
version = 2
os = 10.0.19045
architecture = x64
cpu = Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz
memory = 16303

[wmi root\cimv2 Win32_OperatingSystem]
Caption = Microsoft Windows 10 Pro
CSDVersion =

[wmi root\cimv2 Win32_BIOS]
Manufacturer = LENOVO
SMBIOSBIOSVersion = N24ET56W (1.31 )

[wmi root\cimv2 Win32_Processor]
NumberOfCores = int:4
NumberOfLogicalProcessors = int:8

[wmi root\cimv2 Win32_BaseBoard]
Manufacturer = LENOVO
Product = 20L5CTO1WW

[wmi root\cimv2 Win32_DisplayConfiguration]
DeviceName = Intel(R) UHD Graphics 620

[wmi root\cimv2 Win32_NetworkAdapterConfiguration]
Description = WAN Miniport (IP)
IPEnabled = bool:no

[wmi root\cimv2 Win32_NetworkAdapterConfiguration]
Description = Intel(R) Ethernet Connection (4) I219-V
MACAddress = 8C:16:45:00:11:22
IPEnabled = bool:yes
IPAddress = list:192.168.1.20 | fe80::1
DefaultIPGateway = list:192.168.1.1

[wmi root\cimv2 Win32_NetworkAdapterConfiguration]
Description = Intel(R) Dual Band Wireless-AC 8265
MACAddress = 8C-16-45-00-11-33
IPEnabled = True
IPAddress = list:10.0.0.7
DefaultIPGateway = list:10.0.0.1

[wmi root\cimv2 Win32_PnPEntity]
DeviceID = ROOT\0
SystemName = THINKPAD
SystemCreationClassName = Win32_ComputerSystem

[wmi root\cimv2 Win32_IDEController]
Name = Standard SATA AHCI Controller
PNPDeviceID = PCI\VEN_8086&DEV_9D03\3&11583659&0&B8

[wmi root\cimv2 Win32_SCSIController]
Name = Standard NVM Express Controller
PNPDeviceID = PCI\VEN_144D&DEV_A808\4&1

[wmi root\cimv2 Win32_USBController]
Name = USB xHCI Compliant Host Controller

[wmi root\cimv2 Win32_PhysicalMemory]
Tag = Physical Memory 0
Manufacturer = Samsung
Capacity = 8589934592

[wmi root\cimv2 Win32_PhysicalMemory]
Tag = Physical Memory 1
Manufacturer = Samsung
Capacity = 8589934592
)";

SystemInfo Collect(const std::string& manifest, void (*adjust)(os::sim::CSimPlatform&) = nullptr) {
  CMemorySource source("m", {{"machine.ini", Bytes(manifest)}});
  auto loaded = LoadMachine(source);
  EXPECT_TRUE(loaded.Machine) << loaded.Error;
  if (!loaded.Machine) return {};
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), files);
  if (adjust) adjust(sim);
  os::Platform platform = sim.Get();
  SystemInfo info = CollectSystemInfo(platform.Wmi, platform.System, "Unknown");
  // The window reads the address on its own before anything else (it names
  // the history root the services are made with): the same address.
  EXPECT_EQ(ReadHistoryAdapterAddress(platform.System), info.AdapterAddress);
  return info;
}

TEST(SystemInfo, RecordOfASimulatedMachine) {
  const SystemInfo info = Collect(MACHINE);
  const SYSTEM_INFO_TEXT& t = info.Text;
  EXPECT_EQ(t.WindowsEdition, "Microsoft Windows 10 Pro 64-bit ");
  EXPECT_EQ(t.Bios, "LENOVO Ver:N24ET56W (1.31 )");
  // Cores first, then logical processors.
  EXPECT_EQ(t.Cpu, "Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz  4C / 8T");
  EXPECT_EQ(t.RamSizeMb, 16303u);
  // The SMBIOS table is missing: the modules come from WMI, in bytes.
  EXPECT_FALSE(info.ModulesFromSmbios);
  EXPECT_EQ(t.Ram, "16 GBytes [8192 MB/8192 MB]");
  EXPECT_EQ(t.MotherBoard, "LENOVO 20L5CTO1WW");
  EXPECT_EQ(t.Graphics, "Intel(R) UHD Graphics 620");
  // The first adapter the system lists; address and gateway of the last
  // IP-enabled one WMI returns.
  EXPECT_EQ(t.NetCard, "Intel(R) Ethernet Connection (4) I219-V");
  EXPECT_EQ(t.Ip, "10.0.0.7 / 10.0.0.1");
  EXPECT_EQ(t.Computer, "THINKPAD Win32_ComputerSystem");
  EXPECT_EQ(t.IdeController,
            "Standard SATA AHCI Controller PCI\\VEN_8086&DEV_9D03\\3&11583659&0&B8");
  EXPECT_EQ(t.ScsiController, "Standard NVM Express Controller PCI\\VEN_144D&DEV_A808\\4&1");
  EXPECT_EQ(t.UsbController, "USB xHCI Compliant Host Controller");
  ASSERT_TRUE(info.AdapterAddress);
  EXPECT_EQ(monitor::CHistoryLog::HistoryRoot("D\\Smart", info.AdapterAddress, '\\'),
            "D\\Smart-8C-16-45-00-11-22\\");

  const auto rows = SystemInfoRows(t, false);
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[0].Key, "WINDOWS_EDITION");
  EXPECT_EQ(rows[7].Key, "IP");
  EXPECT_EQ(SystemInfoRows(t, true).size(), 12u);
}

TEST(SystemInfo, WhatCannotBeReadLeavesItsPartEmpty) {
  // Nothing but the version: every WMI value is empty.
  const SystemInfo info =
      Collect("[machine]\nversion = 2\narchitecture = arm64\n",
              [](os::sim::CSimPlatform& sim) { sim.System().SetNetworkAdaptersFail(true); });
  const SYSTEM_INFO_TEXT& t = info.Text;
  EXPECT_EQ(t.WindowsEdition, "  ");
  EXPECT_EQ(t.Bios, " Ver:");
  EXPECT_EQ(t.Cpu, "C / T");
  EXPECT_EQ(t.RamSizeMb, 0u);
  EXPECT_EQ(t.Ram, "Unknown");
  EXPECT_EQ(t.MotherBoard, " ");
  EXPECT_EQ(t.NetCard, "-----");
  EXPECT_EQ(t.Ip, " / ");
  EXPECT_FALSE(info.AdapterAddress);

  // Without WMI at all the same.
  EXPECT_EQ(Collect("[machine]\nversion = 2\nwmi = no\n").Text.Bios, " Ver:");
}

TEST(SystemInfo, WindowsEdition) {
  os::OsVersion seven;
  seven.MajorVersion = 6;
  seven.MinorVersion = 1;
  seven.BuildNumber = 7601;
  seven.CSDVersion = "Service Pack 1  garbage after the double blank";
  os::OsVersion ten;
  ten.BuildNumber = 19045;
  const struct {
    os::OsVersion Version;
    uint16_t Architecture;
    const char* Expected;
  } cases[] = {
      // Windows 7 names itself, whatever WMI's caption says.
      {seven, os::PROCESSOR_ARCH_X64, "Microsoft Windows 7 64-bit Service Pack 1"},
      {seven, os::PROCESSOR_ARCH_X86, "Microsoft Windows 7 32-bit Service Pack 1"},
      {ten, os::PROCESSOR_ARCH_X64, "Caption 64-bit CSD"},
      {ten, os::PROCESSOR_ARCH_ARM64, "Caption  CSD"},
      {ten, os::PROCESSOR_ARCH_UNKNOWN, "Caption  CSD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WindowsEditionText(c.Version, c.Architecture, "Caption", "CSD"), c.Expected);
  }
  // The service-pack text is cut at 128 characters.
  seven.CSDVersion = std::string(200, 'x');
  EXPECT_EQ(WindowsEditionText(seven, 9, "", "").size(),
            std::string("Microsoft Windows 7 64-bit ").size() + 128);
}

TEST(SystemInfo, CpuText) {
  // Leading blanks of the brand string go; it ends at its first NUL.
  EXPECT_EQ(CpuText(std::string("       Intel(R) Xeon(R)\0junk", 29), "8", "4"),
            "Intel(R) Xeon(R)  4C / 8T");
  EXPECT_EQ(CpuText("", "8", "4"), "4C / 8T");
}

TEST(SystemInfo, RamSize) {
  const struct {
    uint64_t Bytes;
    uint32_t Mb;
  } cases[] = {
      {0, 0},
      {1024 * 1024 - 1, 0},
      {16303ull * 1024 * 1024 + 1023, 16303},
      {UINT64_MAX, UINT32_MAX},  // capped, never wrapped to a small size
  };
  for (const auto& c : cases) EXPECT_EQ(RamSizeMbOf(c.Bytes), c.Mb) << c.Bytes;
  MemoryModuleTable none;
  EXPECT_EQ(RamText(999, none, "?"), "999 MBytes");
  EXPECT_EQ(RamText(16303, none, "?"), "16 GBytes");
  EXPECT_EQ(RamText(0, none, "?"), "?");
}

TEST(SystemInfo, HistoryAddressSurvivesAdaptersWithoutOne) {
  using A = os::NetworkAdapter;
  const std::vector<uint8_t> mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  const struct {
    std::vector<A> Adapters;
    bool Found;
  } cases[] = {
      {{{"LAN", mac}}, true},
      // A VPN or PPP adapter with no hardware address listed first does not
      // move the history to a new root.
      {{{"VPN", {}}, {"LAN", mac}}, true},
      {{{"Tunnel", {0, 0, 0, 0, 0, 0, 0, 0xE0}}, {"LAN", mac}}, true},
      {{{"VPN", {}}}, false},
      {{}, false},
  };
  for (const auto& c : cases) {
    const auto address = HistoryAdapterAddress(c.Adapters);
    ASSERT_EQ(address.has_value(), c.Found);
    if (c.Found) {
      EXPECT_EQ(std::vector<uint8_t>(address->begin(), address->end()), mac);
    }
  }
  // The network-card row still names the first adapter.
  EXPECT_EQ(NetCardText(true, {{"VPN", {}}, {"LAN", mac}}), "VPN");
  EXPECT_EQ(NetCardText(true, {}), "-----");
  EXPECT_EQ(NetCardText(false, {{"LAN", mac}}), "-----");
}

TEST(SystemInfo, ManifestKeys) {
  const struct {
    const char* Lines;
    const char* Error;  // nullptr: loads
  } cases[] = {
      {"architecture = x86\ncpu = X\nmemory = 4096\n", nullptr},
      {"architecture = sparc\n", "architecture must be"},
      {"memory = -1\n", "memory must be"},
      {"memory = 4294967297\n", "memory must be"},
      {"cpu = a\ncpu = b\n", "given twice"},
  };
  for (const auto& c : cases) {
    CMemorySource source(
        "m", {{"machine.ini", Bytes(std::string("[machine]\nversion = 2\n") + c.Lines)}});
    const auto loaded = LoadMachine(source);
    if (c.Error == nullptr) {
      EXPECT_TRUE(loaded.Machine) << loaded.Error;
    } else {
      EXPECT_FALSE(loaded.Machine) << c.Lines;
      EXPECT_NE(loaded.Error.find(c.Error), std::string::npos) << loaded.Error;
    }
  }
}

TEST(SystemInfo, DemoMachineReport) {
  auto loaded = os::sim::LoadDemoMachine();
  ASSERT_TRUE(loaded.Machine) << loaded.Error;
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), files);
  os::Platform platform = sim.Get();
  const SystemInfo info = CollectSystemInfo(platform.Wmi, platform.System, "Unknown");
  EXPECT_TRUE(info.ModulesFromSmbios);
  EXPECT_NE(info.Text.Cpu.find("C / "), std::string::npos);
  EXPECT_NE(info.Text.Ram.find("GBytes ["), std::string::npos) << info.Text.Ram;
  EXPECT_NE(info.Text.NetCard, "-----");
  const std::string text = SystemInfoText(info, nullptr);
  EXPECT_NE(text.find("Processor"), std::string::npos) << text;
  EXPECT_NE(text.find("Memory modules (SMBIOS table)"), std::string::npos) << text;
  const std::string json = SystemInfoJson(info);
  EXPECT_NE(json.find("\"RamSizeMb\": "), std::string::npos) << json;
  EXPECT_NE(json.find("\"WindowsEdition\": "), std::string::npos) << json;
  EXPECT_NE(json.find("\"PartInfo\""), std::string::npos) << json;
}

}  // namespace
