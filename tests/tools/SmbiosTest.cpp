// The SMBIOS walk and the memory-module table: real firmware tables checked
// against dmidecode's reading of them, and hand-made tables for what broken
// or unusual firmware does.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tools/MemoryInfo.h"
#include "tools/Smbios.h"

namespace {

std::string FixtureDir(const std::string& name) {
  return std::string(STAVRION_SOURCE_DIR) + "/fixtures/smbios/" + name + "/";
}

RAW_SMBIOS LoadFixture(const std::string& name) {
  RAW_SMBIOS raw;
  std::ifstream bin(FixtureDir(name) + "smbios.bin", std::ios::binary);
  raw.Table.assign(std::istreambuf_iterator<char>(bin), std::istreambuf_iterator<char>());
  std::ifstream version(FixtureDir(name) + "version.txt");
  int major = 0, minor = 0;
  version >> major >> minor;
  raw.MajorVersion = static_cast<uint8_t>(major);
  raw.MinorVersion = static_cast<uint8_t>(minor);
  return raw;
}

// The "Memory Device" blocks of dmidecode's output, each a map of
// "Field: value" lines (values as printed, trailing blanks kept).
std::vector<std::map<std::string, std::string>> DmidecodeDevices(const std::string& name) {
  std::ifstream in(FixtureDir(name) + "dmidecode.txt");
  std::vector<std::map<std::string, std::string>> devices;
  std::string line;
  bool inDevice = false;
  while (std::getline(in, line)) {
    if (line == "Memory Device") {
      devices.emplace_back();
      inDevice = true;
    } else if (line.empty()) {
      inDevice = false;
    } else if (inDevice && line[0] == '\t') {
      const size_t colon = line.find(": ");
      if (colon != std::string::npos)
        devices.back()[line.substr(1, colon - 1)] = line.substr(colon + 2);
    }
  }
  return devices;
}

// dmidecode's size text in MiB as the slot holds it.
std::string DmidecodeSizeMb(const std::string& text) {
  if (text == "No Module Installed") return "0";
  if (text == "Unknown") return "";
  std::istringstream in(text);
  uint64_t value = 0;
  std::string unit;
  in >> value >> unit;
  if (unit == "GB") value *= 1024;
  if (unit == "TB") value *= 1024 * 1024;
  return std::to_string(value);
}

// dmidecode prints a string of number 0 as "Not Specified".
std::string DmidecodeString(const std::string& text) {
  return text == "Not Specified" ? std::string() : text;
}

class RealTableTest : public testing::TestWithParam<const char*> {};

TEST_P(RealTableTest, ModulesAgreeWithDmidecode) {
  const RAW_SMBIOS raw = LoadFixture(GetParam());
  ASSERT_FALSE(raw.Table.empty());
  const auto devices = DmidecodeDevices(GetParam());
  ASSERT_FALSE(devices.empty());

  MemoryModuleTable slots;
  FillModulesFromSmbios(raw, slots);
  for (size_t n = 0; n < slots.size(); ++n) {
    SCOPED_TRACE("slot " + std::to_string(n));
    const MEMORY_MODULE_INFO& slot = slots[n];
    if (n >= devices.size()) {
      EXPECT_EQ(slot.IsPresent, 0);
      EXPECT_EQ(slot.DeviceLocator, "");
      continue;
    }
    const auto& d = devices[n];
    EXPECT_EQ(slot.DeviceLocator, DmidecodeString(d.at("Locator")));
    EXPECT_EQ(slot.BankLabel, DmidecodeString(d.at("Bank Locator")));
    EXPECT_EQ(slot.Size, DmidecodeSizeMb(d.at("Size")));
    EXPECT_EQ(MemoryTypeText(slot), d.at("Type"));
    const bool installed = d.at("Size") != "No Module Installed";
    EXPECT_EQ(slot.IsPresent, installed ? 1 : 0);
    EXPECT_EQ(slot.IsSizeInBytes, 0);
    if (!installed) continue;  // dmidecode prints no more of an empty socket
    EXPECT_EQ(slot.Speed + " MT/s", d.at("Speed"));
    EXPECT_EQ(slot.Manufacturer, DmidecodeString(d.at("Manufacturer")));
    EXPECT_EQ(slot.SerialNumber, DmidecodeString(d.at("Serial Number")));
    EXPECT_EQ(slot.Tag, DmidecodeString(d.at("Asset Tag")));
    EXPECT_EQ(slot.PartNumber, DmidecodeString(d.at("Part Number")));
  }
}

TEST_P(RealTableTest, WalkCoversTheWholeTable) {
  const RAW_SMBIOS raw = LoadFixture(GetParam());
  const auto entries = WalkSmbiosTable(raw.Table.data(), raw.Table.size());
  ASSERT_FALSE(entries.empty());
  uint32_t next = 0;
  for (const auto& e : entries) {
    EXPECT_EQ(e.Offset, next);
    next = e.Offset + e.Length;
  }
  EXPECT_LE(next, raw.Table.size());
  size_t memoryDevices = 0;
  for (const auto& e : entries) memoryDevices += e.Type == 17;
  EXPECT_EQ(memoryDevices, DmidecodeDevices(GetParam()).size());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RealTableTest,
                         testing::Values("jc-dmi-v3.0", "jc-dmidecode-2.7", "lenovo-thinkpad-t480",
                                         "smbioslib-3.2-windows", "uroot-smbios-table-3.1"),
                         [](const testing::TestParamInfo<const char*>& param) {
                           std::string name = param.param;
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

TEST(SmbiosRealTable, ExtendedSizeAndPartNumbersOfTheServerTable) {
  // The second module's Size word is 0x7FFF: 32 GiB in the Extended Size.
  MemoryModuleTable slots;
  FillModulesFromSmbios(LoadFixture("uroot-smbios-table-3.1"), slots);
  EXPECT_EQ(slots[1].Size, "32768");
  EXPECT_EQ(slots[1].PartNumber, "M471A4G43MB1-CTD    ");
  // Not the maker's scheme: present, not decoded.
  EXPECT_EQ(slots[1].IsPresent, 1);
  EXPECT_EQ(slots[1].PartInfo.IsValid, 0);
}

// ---- hand-made tables -------------------------------------------------------

// Builds a structure: formatted part (type, length, handle, then `body`)
// and the strings.
std::vector<uint8_t> Structure(uint8_t type, std::vector<uint8_t> body,
                               const std::vector<std::string>& strings = {}) {
  std::vector<uint8_t> s = {type, static_cast<uint8_t>(4 + body.size()), 0x34, 0x12};
  // Byte by byte: gcc 12 at -O2 warns wrongly about a range insert here.
  for (uint8_t b : body) s.push_back(b);
  for (const auto& text : strings) {
    for (char c : text) s.push_back(static_cast<uint8_t>(c));
    s.push_back(0);
  }
  if (strings.empty()) s.push_back(0);
  s.push_back(0);
  return s;
}

struct DeviceFields {
  uint16_t Size = 8192;
  uint8_t MemoryType = 0x1A;
  uint16_t Speed = 2400;
  uint32_t ExtendedSize = 0;
  size_t Length = 0x28;  // formatted length
  uint8_t ManufacturerIndex = 3;
  // The first string; a short structure is followed by its bytes.
  std::string Locator = "DIMM_A1";
};

// A Memory Device with strings 1 the locator, 2 "BANK 0", 3 "Tessaly",
// 4 "SN1", 5 "TAG", 6 the part number.
std::vector<uint8_t> MemoryDevice(const DeviceFields& f, const std::string& part = "D4S8GXMPG0C") {
  std::vector<uint8_t> body(0x28 - 4, 0);
  auto put16 = [&](size_t off, uint16_t v) {
    body[off - 4] = static_cast<uint8_t>(v);
    body[off - 3] = static_cast<uint8_t>(v >> 8);
  };
  put16(0x0C, f.Size);
  body[0x10 - 4] = 1;
  body[0x11 - 4] = 2;
  body[0x12 - 4] = f.MemoryType;
  put16(0x15, f.Speed);
  body[0x17 - 4] = f.ManufacturerIndex;
  body[0x18 - 4] = 4;
  body[0x19 - 4] = 5;
  body[0x1A - 4] = 6;
  for (int i = 0; i < 4; ++i) body[0x1C - 4 + i] = static_cast<uint8_t>(f.ExtendedSize >> (8 * i));
  body.resize(f.Length - 4);
  return Structure(17, body, {f.Locator, "BANK 0", "Tessaly", "SN1", "TAG", part});
}

RAW_SMBIOS Table(uint8_t major, uint8_t minor, const std::vector<std::vector<uint8_t>>& parts) {
  RAW_SMBIOS raw;
  raw.MajorVersion = major;
  raw.MinorVersion = minor;
  for (const auto& p : parts) raw.Table.insert(raw.Table.end(), p.begin(), p.end());
  return raw;
}

struct SlotCase {
  const char* Name;
  RAW_SMBIOS Raw;
  int32_t IsPresent;
  const char* Size;
  const char* Speed;
  const char* Manufacturer;
  const char* Type;
};

TEST(SmbiosMemoryDevice, FieldsBySizeVersionAndLength) {
  const SlotCase cases[] = {
      {"plain 3.0 table", Table(3, 0, {MemoryDevice({})}), 1, "8192", "2400", "Tessaly", "DDR4"},
      {"Size 0x7FFF: the Extended Size holds it",
       Table(3, 1, {MemoryDevice({.Size = 0x7FFF, .ExtendedSize = 65536})}), 1, "65536", "2400",
       "Tessaly", "DDR4"},
      {"Size 0x7FFF on a 2.6 table has no Extended Size: unknown",
       Table(2, 6, {MemoryDevice({.Size = 0x7FFF, .ExtendedSize = 65536})}), 1, "", "2400",
       "Tessaly", "DDR4"},
      {"size in KiB", Table(2, 3, {MemoryDevice({.Size = 0x8000 | 2048})}), 1, "2", "2400",
       "Tessaly", "DDR4"},
      {"unknown size", Table(3, 0, {MemoryDevice({.Size = 0xFFFF})}), 1, "", "2400", "Tessaly",
       "DDR4"},
      {"empty socket", Table(3, 0, {MemoryDevice({.Size = 0, .Speed = 0})}), 0, "0", "0", "Tessaly",
       "DDR4"},
      {"2.1 table: no speed, no manufacturer, not present", Table(2, 1, {MemoryDevice({})}), 0,
       "8192", "", "", "DDR4"},
      // Old firmware: a 2.3 structure cut after the Speed word. Its
      // manufacturer's index byte would be the first string's first byte,
      // here 3, the index of "Tessaly".
      {"short structure: the fields past its length are absent",
       Table(3, 0,
             {MemoryDevice({.Length = 0x17,
                            .Locator = "\x03"
                                       "A1"})}),
       1, "8192", "2400", "", "DDR4"},
      {"short structure without Speed",
       Table(3, 0,
             {MemoryDevice({.Length = 0x15,
                            .Locator = "\x03"
                                       "A1"})}),
       0, "8192", "", "", "DDR4"},
      {"string index past the set", Table(3, 0, {MemoryDevice({.ManufacturerIndex = 9})}), 1,
       "8192", "2400", "", "DDR4"},
      {"SMBIOS numbering: 0x13 is DDR2", Table(3, 0, {MemoryDevice({.MemoryType = 0x13})}), 1,
       "8192", "2400", "Tessaly", "DDR2"},
      {"SMBIOS numbering: 0x22 is DDR5", Table(3, 0, {MemoryDevice({.MemoryType = 0x22})}), 1,
       "8192", "2400", "Tessaly", "DDR5"},
      {"SMBIOS numbering: 0x1E is LPDDR4", Table(3, 0, {MemoryDevice({.MemoryType = 0x1E})}), 1,
       "8192", "2400", "Tessaly", "LPDDR4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    MemoryModuleTable slots;
    FillModulesFromSmbios(c.Raw, slots);
    EXPECT_EQ(slots[0].IsPresent, c.IsPresent);
    EXPECT_EQ(slots[0].Size, c.Size);
    EXPECT_EQ(slots[0].Speed, c.Speed);
    EXPECT_EQ(slots[0].Manufacturer, c.Manufacturer);
    EXPECT_EQ(MemoryTypeText(slots[0]), c.Type);
    EXPECT_FALSE(slots[0].DeviceLocator.empty());
    if (!c.IsPresent) {
      EXPECT_EQ(slots[0].PartInfo.IsValid, 0);  // decoded only when present
    }
  }
}

TEST(SmbiosMemoryDevice, DevicesAfterTheHundredthStructureAndOnlyEightSlots) {
  std::vector<std::vector<uint8_t>> parts;
  for (int i = 0; i < 150; ++i) parts.push_back(Structure(9, {1, 2, 3}, {"slot"}));
  for (uint16_t i = 0; i < 10; ++i) parts.push_back(MemoryDevice({.Size = uint16_t(1024 + i)}));
  parts.push_back(Structure(127, {}));
  MemoryModuleTable slots;
  FillModulesFromSmbios(Table(3, 0, parts), slots);
  for (size_t n = 0; n < slots.size(); ++n) {
    EXPECT_EQ(slots[n].IsPresent, 1);
    EXPECT_EQ(slots[n].Size, std::to_string(1024 + n));
  }
}

TEST(SmbiosWalk, StopsAtBrokenStructuresWithoutReadingPastTheTable) {
  const auto good = MemoryDevice({});
  struct Case {
    const char* Name;
    std::vector<uint8_t> Bytes;
    size_t Entries;
    int32_t FirstSlotPresent;
  };
  std::vector<uint8_t> lengthUnder4 = good;
  lengthUnder4.insert(lengthUnder4.end(), {17, 3, 0, 0, 0, 0});
  std::vector<uint8_t> lengthPastEnd = good;
  lengthPastEnd.insert(lengthPastEnd.end(), {17, 0x28, 0, 0, 0, 0});
  std::vector<uint8_t> unterminatedStrings = good;
  unterminatedStrings.insert(unterminatedStrings.end(), {1, 4, 0, 0, 'a', 'b', 0});
  std::vector<uint8_t> headerCut = good;
  headerCut.insert(headerCut.end(), {17, 4});
  std::vector<uint8_t> afterEnd = good;
  const auto end = Structure(127, {});
  afterEnd.insert(afterEnd.end(), end.begin(), end.end());
  afterEnd.insert(afterEnd.end(), good.begin(), good.end());
  const Case cases[] = {
      {"one good structure", good, 1, 1},
      {"length under 4", lengthUnder4, 1, 1},
      {"formatted part past the end", lengthPastEnd, 1, 1},
      {"string set without its closing zeros", unterminatedStrings, 1, 1},
      {"header cut by the end", headerCut, 1, 1},
      {"nothing after the end-of-table structure", afterEnd, 2, 1},
      {"empty table", {}, 0, 0},
      {"the formatted part alone, no string set", {1, 4, 0, 0}, 0, 0},
      {"no strings: two zeros", {1, 4, 0, 0, 0, 0}, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    // An exact-size copy on the heap, so a read past it shows under ASan.
    const std::vector<uint8_t> bytes(c.Bytes);
    const auto entries = WalkSmbiosTable(bytes.data(), bytes.size());
    EXPECT_EQ(entries.size(), c.Entries);
    for (const auto& e : entries) EXPECT_LE(size_t(e.Offset) + e.Length, bytes.size());
    RAW_SMBIOS raw;
    raw.MajorVersion = 3;
    raw.Table = bytes;
    MemoryModuleTable slots;
    FillModulesFromSmbios(raw, slots);
    EXPECT_EQ(slots[0].IsPresent, c.FirstSlotPresent);
    EXPECT_EQ(slots[1].IsPresent, 0);
  }
}

TEST(SmbiosStructure, StringsOfTheSet) {
  const RAW_SMBIOS raw = Table(3, 0, {Structure(1, {1, 2, 0}, {"first", "second"})});
  const auto entries = WalkSmbiosTable(raw.Table.data(), raw.Table.size());
  ASSERT_EQ(entries.size(), 1u);
  const CSmbiosStructure s(raw.Table.data(), raw.Table.size(), entries[0]);
  EXPECT_EQ(s.StringAt(4), "first");
  EXPECT_EQ(s.StringAt(5), "second");
  EXPECT_EQ(s.StringAt(6), "");  // index 0
  EXPECT_EQ(s.StringAt(7), "");  // past the formatted part
  EXPECT_EQ(s.String(3), "");
  EXPECT_FALSE(s.Word(6).has_value());
  EXPECT_EQ(s.Word(4).value_or(0), 0x0201);
  // An entry that does not lie in the table reads as empty.
  SMBIOS_STRUCTURE_ENTRY outside = entries[0];
  outside.Offset = 1000;
  const CSmbiosStructure bad(raw.Table.data(), raw.Table.size(), outside);
  EXPECT_FALSE(bad.Byte(0).has_value());
  EXPECT_EQ(bad.String(1), "");
}

TEST(SmbiosVersion, AtLeast) {
  const struct {
    uint8_t Major, Minor, WantMajor, WantMinor;
    bool Expected;
  } cases[] = {
      {3, 0, 2, 3, true}, {2, 3, 2, 3, true},  {2, 2, 2, 3, false},
      {2, 8, 2, 7, true}, {2, 10, 2, 7, true}, {1, 9, 2, 1, false},
  };
  for (const auto& c : cases) {
    RAW_SMBIOS raw;
    raw.MajorVersion = c.Major;
    raw.MinorVersion = c.Minor;
    EXPECT_EQ(SmbiosVersionAtLeast(raw, c.WantMajor, c.WantMinor), c.Expected)
        << int(c.Major) << "." << int(c.Minor);
  }
}

TEST(SmbiosStrings, CodePageBytesBecomeUtf8) {
  MemoryModuleTable slots;
  FillModulesFromSmbios(Table(3, 0, {MemoryDevice({}, "M\xE9moire")}), slots);
  EXPECT_EQ(slots[0].PartNumber, "M\xC3\xA9moire");
}

}  // namespace
