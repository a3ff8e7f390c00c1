// Memory modules: the maker's part numbers, the WMI fallback, the memory
// type names of both numberings and the memory row of the system summary.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tools/MemoryInfo.h"

namespace {

struct PartCase {
  const char* Number;
  bool Valid;
  const char* Generation;
  const char* ModuleType;
  const char* Capacity;
  const char* ChipBrand;
  const char* Organisation;
  int32_t SpeedCode;
  const char* CasLatency;
  const char* Grade;
};

constexpr PartCase NotScheme(const char* number) {
  return {number, false, "", "", "", "", "", 0, "", ""};
}

TEST(DecodeModulePartNumber, Layouts) {
  const PartCase cases[] = {
      // Compact: capacity 3-4, brand 5, organisation 6, speed 7, CAS 8, grade 10.
      {"D4S8GXMPG0C", true, "DDR4", "SO-DIMM", "8 GBytes", "Tessaly", "2048M * 4", 2400, "CL-17",
       "Commercial"},
      {"D3UAGHLMB1IXYZ", true, "DDR3", "U DIMM", "16 GBytes", "Hynix", "1G * 8", 1600, "CL-11",
       "Industrial"},
      {"DDK12SNJ92W", true, "DDR3L", "VLP SO-DIMM", "512 MBytes", "Samsung", "512M * 4", 800,
       "CL-9", "Original Wide Temperature"},
      // Codes of no table read "Unknown"; an unknown speed letter is 0.
      {"D4I99Z#Z#0Z", true, "DDR4", "Unknown", "Unknown", "Unknown", "Unknown", 0, "Unknown",
       "Unknown"},
      // Dashed: capacity 4-5, speed and CAS 6-7, brand 8, organisation 9-11, grade 12.
      {"D4R-8G24S1G8C", true, "DDR4", "Registered DIMM", "8 GBytes", "Samsung", "1G * 8", 2400,
       "CL-17", "Commercial"},
      {"D2E-FM08M644K", true, "DDR2", "ECC DIMM", "512 MBytes", "Micron", "16M * 16", 800, "CL-6",
       "Coating (0~70°)"},
      {"DSW-AM32N2G4T123", true, "SDRAM", "LRDIMM", "16 MBytes", "Nanya", "2G * 4", 3200, "CL-19+",
       "Coating (-40~85°)"},
      // A pair of no entry: speed 0 and the CAS latency empty.
      {"D4S-8G99H518W", true, "DDR4", "SO-DIMM", "8 GBytes", "Hynix", "512M * 8", 0, "",
       "Industrial"},
      // Too short for the organisation (positions 9-11) and the grade (12).
      {"D1B-1G01P64", true, "DDR1", "32-Bit DIMM", "1 GBytes", "Promos", "Unknown", 100, "CL-2",
       "Unknown"},
      {"D1B-1G01P644", true, "DDR1", "32-Bit DIMM", "1 GBytes", "Promos", "16M * 16", 100, "CL-2",
       "Unknown"},
      // Not the scheme.
      NotScheme("D4S8GXMPG0"),         // 10 characters
      NotScheme("D4S8GXMPG0C123456"),  // 17 characters
      NotScheme("X4S8GXMPG0C"),        // not "D"
      NotScheme("D5S8GXMPG0C"),        // no such generation
      NotScheme("D4s8GXMPG0C"),        // module type not a capital letter
      NotScheme(""),
      NotScheme("HMA41GU6AFR8N-TF"),
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Number);
    DRAM_PART_INFO info;
    info.Generation = "stale";
    EXPECT_EQ(DecodeModulePartNumber(c.Number, info), c.Valid);
    EXPECT_EQ(info.IsValid, c.Valid ? 1 : 0);
    if (!c.Valid) {
      EXPECT_EQ(info.Generation, "");
      EXPECT_EQ(info.SpeedCode, 0);
      continue;
    }
    EXPECT_EQ(info.Generation, c.Generation);
    EXPECT_EQ(info.ModuleType, c.ModuleType);
    EXPECT_EQ(info.Capacity, c.Capacity);
    EXPECT_EQ(info.ChipBrand, c.ChipBrand);
    EXPECT_EQ(info.Organisation, c.Organisation);
    EXPECT_EQ(info.SpeedCode, c.SpeedCode);
    EXPECT_EQ(info.CasLatency, c.CasLatency);
    EXPECT_EQ(info.TemperatureGrade, c.Grade);
  }
}

// Answers WMI queries from a table of WQL texts; every query is recorded.
class CTableWmi : public os::IWmi {
 public:
  std::map<std::string, std::vector<os::WmiObject>> Answers;
  std::vector<std::string> Asked;

  std::optional<std::vector<os::WmiObject>> Query(const std::string& nameSpace,
                                                  const std::string& wql) override {
    Asked.push_back(nameSpace + ":" + wql);
    auto it = Answers.find(wql);
    if (it == Answers.end()) return std::nullopt;
    return it->second;
  }
};

os::WmiObject Module(const std::string& manufacturer, int64_t memoryType, int64_t smbiosType,
                     const std::string& capacity, const std::string& part) {
  os::WmiObject o;
  o.Properties["Manufacturer"] = manufacturer;
  o.Properties["MemoryType"] = memoryType;
  o.Properties["SMBIOSMemoryType"] = smbiosType;
  o.Properties["Capacity"] = capacity;  // uint64: WMI hands it as a string
  o.Properties["PartNumber"] = part;
  o.Properties["BankLabel"] = std::string("BANK 0");
  o.Properties["DeviceLocator"] = std::string("DIMM 0");
  o.Properties["Speed"] = int64_t{2400};
  o.Properties["Caption"] = std::string("Physical Memory");
  o.Properties["TypeDetail"] = int64_t{128};
  return o;
}

std::string TagQuery(int n) {
  return "Select * from Win32_PhysicalMemory where tag = 'Physical Memory " + std::to_string(n) +
         "'";
}

TEST(ReadMemoryModules, WmiFallbackWhenTheTableCannotBeHad) {
  CTableWmi wmi;
  wmi.Answers[TagQuery(0)] = {Module("Tessaly", 0, 0x22, "8589934592", "  D4S8GXMPG0C ")};
  wmi.Answers[TagQuery(1)] = {Module("", 26, 0, "8589934592", "x")};  // no manufacturer
  wmi.Answers[TagQuery(3)] = {Module("Other", 21, 0, "4294967296", "P1"),
                              Module("Last", 24, 0, "2147483648", "P2")};
  MemoryModuleTable slots;
  slots[5].IsPresent = 1;  // stale
  EXPECT_FALSE(ReadMemoryModules(wmi, slots));
  ASSERT_FALSE(wmi.Asked.empty());
  EXPECT_EQ(wmi.Asked[0], "ROOT\\WMI:SELECT * FROM MSSMBios_RawSMBiosTables");

  EXPECT_EQ(slots[0].IsPresent, 1);
  EXPECT_EQ(slots[0].IsSizeInBytes, 1);
  EXPECT_EQ(slots[0].Size, "8589934592");
  EXPECT_EQ(slots[0].BankLabel, "BANK 0");
  EXPECT_EQ(slots[0].Speed, "2400");
  EXPECT_EQ(slots[0].TypeDetail, "128");
  // MemoryType 0: SMBIOSMemoryType, named by the SMBIOS numbering.
  EXPECT_EQ(slots[0].MemoryType, "34");
  EXPECT_EQ(MemoryTypeText(slots[0]), "DDR5");
  EXPECT_EQ(slots[0].PartInfo.IsValid, 1);  // trimmed before decoding
  EXPECT_EQ(slots[0].PartInfo.SpeedCode, 2400);

  EXPECT_EQ(slots[1].IsPresent, 0);
  EXPECT_EQ(slots[1].Size, "");
  EXPECT_EQ(slots[2].IsPresent, 0);
  EXPECT_EQ(slots[3].Manufacturer, "Last");  // the last object of a tag counts
  EXPECT_EQ(MemoryTypeText(slots[3]), "DDR3");
  EXPECT_EQ(slots[3].PartInfo.IsValid, 0);
  EXPECT_EQ(slots[5].IsPresent, 0);

  EXPECT_EQ(RamText(16303, slots, "Unknown"), "16 GBytes [8192 MB/2048 MB]");
}

TEST(ReadMemoryModules, RawTableThroughWmi) {
  // Two structures: a Memory Device and the end of the table.
  std::vector<uint8_t> table = {17,   0x17, 0,    0,    0,   0, 0, 0,    0, 0, 0,
                                0,    0x00, 0x20, 0x09, 0,   1, 0, 0x1A, 0, 0, 0x60,
                                0x09, 'A',  0,    0,    127, 4, 0, 0,    0, 0};
  CTableWmi wmi;
  os::WmiObject o;
  o.Properties["SmbiosMajorVersion"] = int64_t{3};
  o.Properties["SmbiosMinorVersion"] = int64_t{0};
  o.Properties["SMBiosData"] = table;
  wmi.Answers["SELECT * FROM MSSMBios_RawSMBiosTables"] = {o};
  MemoryModuleTable slots;
  EXPECT_TRUE(ReadMemoryModules(wmi, slots));
  EXPECT_EQ(wmi.Asked.size(), 1u);
  EXPECT_EQ(slots[0].IsPresent, 1);
  EXPECT_EQ(slots[0].Size, "8192");
  EXPECT_EQ(slots[0].Speed, "2400");
  EXPECT_EQ(slots[0].DeviceLocator, "A");
  EXPECT_EQ(MemoryTypeText(slots[0]), "DDR4");

  // SMBiosData of another type is no table.
  wmi.Answers["SELECT * FROM MSSMBios_RawSMBiosTables"][0].Properties["SMBiosData"] =
      std::string("x");
  RAW_SMBIOS raw;
  EXPECT_FALSE(ReadRawSmbios(wmi, raw));
}

TEST(MemoryTypeText, BothNumberings) {
  const struct {
    const char* Code;
    int32_t Smbios;
    const char* Text;
  } cases[] = {
      {"0", 0, "Unknown"}, {"19", 0, "RDRAM"}, {"21", 0, "DDR2"},   {"22", 0, "DDR2 FB"},
      {"24", 0, "DDR3"},   {"26", 0, "DDR4"},  {"30", 0, "LPDDR4"}, {"31", 0, ""},
      {"2", 1, "Unknown"}, {"18", 1, "DDR"},   {"19", 1, "DDR2"},   {"20", 1, "DDR2 FB"},
      {"24", 1, "DDR3"},   {"26", 1, "DDR4"},  {"34", 1, "DDR5"},   {"35", 1, "LPDDR5"},
      {"0", 1, ""},        {"37", 1, ""},      {"", 0, ""},         {"x", 0, ""},
  };
  for (const auto& c : cases) {
    MEMORY_MODULE_INFO slot;
    slot.MemoryType = c.Code;
    slot.IsSmbiosMemoryType = c.Smbios;
    EXPECT_EQ(MemoryTypeText(slot), c.Text) << c.Code << " smbios=" << c.Smbios;
  }
}

TEST(RamText, TotalsAndModuleSizes) {
  MemoryModuleTable none;
  MemoryModuleTable smbios;
  smbios[0].Size = "8192";
  smbios[1].Size = "0";
  smbios[2].Size = "32768";
  MemoryModuleTable wmi;
  wmi[0].Size = "8589934592";
  wmi[0].IsSizeInBytes = 1;
  wmi[1] = wmi[0];
  const struct {
    uint32_t Mb;
    const MemoryModuleTable* Slots;
    const char* Text;
  } cases[] = {
      {16303, &none, "16 GBytes"},
      {999, &none, "999 MBytes"},
      {0, &none, "Unknown"},
      {1000, &none, "1 GBytes"},
      {40960, &smbios, "40 GBytes [8192 MB/32768 MB]"},
      {16384, &wmi, "16 GBytes [8192 MB/8192 MB]"},
  };
  for (const auto& c : cases) EXPECT_EQ(RamText(c.Mb, *c.Slots, "Unknown"), c.Text);
}

}  // namespace
