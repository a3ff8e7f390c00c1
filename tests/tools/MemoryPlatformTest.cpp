// The memory modules of a simulated machine: its SMBIOS table answered as
// WMI's MSSMBios_RawSMBiosTables, or its Win32_PhysicalMemory rows picked by
// tag; and the report of the slots.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "os/sim/SimMachine.h"
#include "os/sim/SimWmi.h"
#include "tools/MemoryInfo.h"
#include "tools/MemoryReport.h"

using os::sim::CMemorySource;
using os::sim::LoadMachine;

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> FixtureTable(const std::string& name) {
  std::ifstream in(std::string(STAVRION_SOURCE_DIR) + "/fixtures/smbios/" + name + "/smbios.bin",
                   std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SimMachineSmbios, TableAnsweredAsRawSmbiosTables) {
  CMemorySource source("m", {{"machine.ini", Bytes("[machine]\nversion = 1\nsmbios = dmi.bin\n"
                                                   "smbios_version = 3.1\n")},
                             {"dmi.bin", FixtureTable("uroot-smbios-table-3.1")}});
  auto loaded = LoadMachine(source);
  ASSERT_TRUE(loaded.Machine) << loaded.Error;
  os::sim::CSimWmi wmi(*loaded.Machine);
  RAW_SMBIOS raw;
  ASSERT_TRUE(ReadRawSmbios(wmi, raw));
  EXPECT_EQ(raw.MajorVersion, 3);
  EXPECT_EQ(raw.MinorVersion, 1);
  EXPECT_EQ(raw.Table, FixtureTable("uroot-smbios-table-3.1"));

  MemoryModuleTable slots;
  EXPECT_TRUE(ReadMemoryModules(wmi, slots));
  EXPECT_EQ(slots[0].DeviceLocator, "ChannelA-DIMM0");
  EXPECT_EQ(slots[1].Size, "32768");

  const std::string json = MemoryModulesJson(slots, true);
  EXPECT_NE(json.find("\"Source\": \"SMBIOS\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"PartNumber\": \"M471A4G43MB1-CTD    \""), std::string::npos);
  EXPECT_NE(json.find("\"PartInfo\""), std::string::npos);
  const std::string text = MemoryModulesText(slots, true);
  EXPECT_NE(text.find("32768 MB"), std::string::npos) << text;
  EXPECT_NE(text.find("Slot #2: empty"), std::string::npos) << text;
}

TEST(SimMachineSmbios, ManifestErrors) {
  const struct {
    const char* Manifest;
    const char* Error;
  } cases[] = {
      {"smbios = missing.bin\n", "cannot read"},
      {"smbios = dmi.bin\nsmbios_version = 3\n", "MAJOR.MINOR"},
      {"smbios = dmi.bin\nsmbios_version = 3.256\n", "MAJOR.MINOR"},
      {"smbios = dmi.bin\nsmbios_version = x.1\n", "MAJOR.MINOR"},
      {"smbios_version = 3.0\n", "smbios_version without smbios"},
      {"smbios = ../dmi.bin\n", "cannot read"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Manifest);
    CMemorySource source(
        "m", {{"machine.ini", Bytes(std::string("[machine]\nversion = 1\n") + c.Manifest)},
              {"dmi.bin", Bytes("\x01\x04\0\0\0\0")}});
    auto loaded = LoadMachine(source);
    EXPECT_FALSE(loaded.Machine);
    EXPECT_NE(loaded.Error.find(c.Error), std::string::npos) << loaded.Error;
  }
}

TEST(SimMachineSmbios, WmiFallbackPicksRowsByTag) {
  CMemorySource source("m",
                       {{"machine.ini", Bytes("[machine]\nversion = 1\n"
                                              "[wmi root\\cimv2 Win32_PhysicalMemory]\n"
                                              "Tag = Physical Memory 1\nManufacturer = Tessaly\n"
                                              "Capacity = 8589934592\nMemoryType = int:24\n"
                                              "PartNumber = D3S8GXMPG0C\n"
                                              "[wmi root\\cimv2 Win32_PhysicalMemory]\n"
                                              "Tag = Physical Memory 0\nManufacturer = Other\n"
                                              "Capacity = 4294967296\nMemoryType = int:26\n")}});
  auto loaded = LoadMachine(source);
  ASSERT_TRUE(loaded.Machine) << loaded.Error;
  os::sim::CSimWmi wmi(*loaded.Machine);
  MemoryModuleTable slots;
  EXPECT_FALSE(ReadMemoryModules(wmi, slots));
  EXPECT_EQ(slots[0].Manufacturer, "Other");
  EXPECT_EQ(MemoryTypeText(slots[0]), "DDR4");
  EXPECT_EQ(slots[1].Manufacturer, "Tessaly");
  EXPECT_EQ(slots[1].PartInfo.Generation, "DDR3");
  EXPECT_EQ(slots[2].IsPresent, 0);
  EXPECT_EQ(RamText(12288, slots, "Unknown"), "12 GBytes [4096 MB/8192 MB]");
  // A condition the simulated WMI does not understand fails as before.
  EXPECT_FALSE(
      wmi.Query("root\\cimv2", "Select * from Win32_PhysicalMemory where tag").has_value());
  EXPECT_EQ(
      wmi.Query("root\\cimv2", "SELECT * FROM Win32_PhysicalMemory WHERE TAG = 'physical memory 1'")
          ->size(),
      1u);
  EXPECT_NE(MemoryModulesText(slots, false).find("WMI"), std::string::npos);
}

}  // namespace
