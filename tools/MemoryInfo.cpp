#include "tools/MemoryInfo.h"

#include <optional>
#include <string_view>
#include <vector>

#include "tools/SystemInfo.h"

namespace {

struct CodeText {
  std::string_view Code;
  std::string_view Text;
};

struct SpeedEntry {
  std::string_view Code;
  int32_t SpeedCode;
  std::string_view CasLatency;  // dashed layout only
};

// ---- the maker's part-number scheme ---------------------------------------

constexpr CodeText GENERATIONS[] = {
    {"1", "DDR1"}, {"2", "DDR2"}, {"3", "DDR3"}, {"4", "DDR4"}, {"D", "DDR3L"}, {"S", "SDRAM"},
};

constexpr CodeText MODULE_TYPES[] = {
    {"A", "FB-DIMM For Apple"},
    {"B", "32-Bit DIMM"},
    {"C", "VLP R-DIMM"},
    {"D", "ECC SO-DIMM"},
    {"E", "ECC DIMM"},
    {"F", "Fully Buffer DIMM"},
    {"G", "VLP ECC-DIMM"},
    {"H", "VLP ECC-SODIMM"},
    {"K", "VLP SO-DIMM"},
    {"L", "MiniUDIMM"},
    {"M", "MiniRDIMM"},
    {"N", "Mini-ECCDIMM"},
    {"O", "OC Unbuffered long DIMM"},
    {"P", "PLL/ECC SO-DIMM"},
    {"Q", "Registered SO-DIMM"},
    {"R", "Registered DIMM"},
    {"S", "SO-DIMM"},
    {"T", "FP-DIMM 72PIN"},
    {"U", "U DIMM"},
    {"V", "VLP UDIMM"},
    {"W", "LRDIMM"},
};

constexpr CodeText COMPACT_CAPACITIES[] = {
    {"08", "8 MBytes"},   {"32", "32 MBytes"}, {"28", "128 MBytes"}, {"56", "256 MBytes"},
    {"12", "512 MBytes"}, {"1G", "1 GBytes"},  {"2G", "2 GBytes"},   {"4G", "4 GBytes"},
    {"8G", "8 GBytes"},   {"AG", "16 GBytes"}, {"BG", "32 GBytes"},  {"CG", "64 GBytes"},
    {"DG", "128 GBytes"},
};

constexpr CodeText DASHED_CAPACITIES[] = {
    {"8M", "8 MBytes"},   {"AM", "16 MBytes"},  {"BM", "32 MBytes"},  {"CM", "64 MBytes"},
    {"DM", "128 MBytes"}, {"EM", "256 MBytes"}, {"FM", "512 MBytes"}, {"1G", "1 GBytes"},
    {"2G", "2 GBytes"},   {"4G", "4 GBytes"},   {"8G", "8 GBytes"},   {"AG", "16 GBytes"},
    {"BG", "32 GBytes"},  {"CG", "64 GBytes"},  {"DG", "128 GBytes"},
};

constexpr CodeText CHIP_BRANDS[] = {
    {"H", "Hynix"},   {"M", "Micron"}, {"N", "Nanya"},   {"P", "Promos"},
    {"S", "Samsung"}, {"U", "Uni-IC"}, {"X", "Tessaly"},
};

constexpr CodeText COMPACT_ORGANISATIONS[] = {
    {"A", "16M * 16"},  {"B", "32M * 16"},  {"C", "64M * 8"},  {"D", "64M * 16"},
    {"E", "128M * 8"},  {"F", "128M * 16"}, {"G", "256M * 8"}, {"H", "256M * 16"},
    {"I", "512M * 8"},  {"J", "512M * 16"}, {"K", "1G * 4"},   {"L", "1G * 8"},
    {"M", "2048M * 4"}, {"N", "512M * 4"},
};

// First match in this order.
constexpr CodeText DASHED_ORGANISATIONS[] = {
    {"644", "16M * 16"}, {"328", "32M * 8"},   {"166", "16M * 16"},  {"124", "128M * 4"},
    {"648", "64M * 8"},  {"326", "32M * 16"},  {"254", "256M * 4"},  {"128", "128M * 8"},
    {"646", "64M * 16"}, {"514", "512M * 4"},  {"258", "256M * 8"},  {"126", "128M * 16"},
    {"1G4", "1G * 4"},   {"518", "512M * 8"},  {"256", "256M * 16"}, {"2G4", "2G * 4"},
    {"1G8", "1G * 8"},   {"516", "512M * 16"},
};

constexpr SpeedEntry COMPACT_SPEEDS[] = {
    {"A", 100, ""},  {"B", 133, ""},  {"C", 166, ""},  {"D", 200, ""},  {"E", 266, ""},
    {"F", 333, ""},  {"G", 400, ""},  {"H", 533, ""},  {"I", 667, ""},  {"J", 800, ""},
    {"K", 1066, ""}, {"L", 1333, ""}, {"M", 1600, ""}, {"N", 1866, ""}, {"O", 2133, ""},
    {"P", 2400, ""}, {"Q", 2666, ""}, {"R", 3200, ""},
};

constexpr CodeText COMPACT_CAS_LATENCIES[] = {
    {"1", "CL-2"},  {"2", "CL-2.5"}, {"3", "CL-3"},  {"4", "CL-4"},  {"5", "CL-5"},  {"6", "CL-6"},
    {"7", "CL-7"},  {"8", "CL-8"},   {"9", "CL-9"},  {"A", "CL-10"}, {"B", "CL-11"}, {"C", "CL-12"},
    {"D", "CL-13"}, {"E", "CL-14"},  {"F", "CL-15"}, {"G", "CL-17"}, {"H", "CL-19"},
};

constexpr SpeedEntry DASHED_SPEEDS[] = {
    {"01", 100, "CL-2"},   {"02", 266, "CL-2.5"}, {"03", 333, "CL-2.5"},  {"04", 400, "CL-3"},
    {"05", 533, "CL-4"},   {"06", 667, "CL-5"},   {"08", 800, "CL-6"},    {"10", 1066, "CL-7"},
    {"13", 1333, "CL-9"},  {"16", 1600, "CL-11"}, {"18", 1866, "CL-13"},  {"21", 2133, "CL-15"},
    {"24", 2400, "CL-17"}, {"26", 2666, "CL-19"}, {"29", 2933, "CL-19+"}, {"32", 3200, "CL-19+"},
};

constexpr CodeText COMPACT_GRADES[] = {
    {"C", "Commercial"},
    {"E", "Extended Temperature"},
    {"I", "Industrial"},
    {"W", "Original Wide Temperature"},
};

constexpr CodeText DASHED_GRADES[] = {
    {"C", "Commercial"},      {"E", "Extended Temperature"}, {"W", "Industrial"},
    {"K", "Coating (0~70°)"}, {"T", "Coating (-40~85°)"},
};

constexpr std::string_view UNKNOWN = "Unknown";

// The characters at [pos, pos + count) of `number`; nullopt when any lies
// beyond its end.
std::optional<std::string_view> Field(std::string_view number, size_t pos, size_t count) {
  if (pos + count > number.size()) return std::nullopt;
  return number.substr(pos, count);
}

template <size_t N>
const CodeText* Find(const CodeText (&table)[N], std::optional<std::string_view> code) {
  if (!code) return nullptr;
  for (const CodeText& entry : table)
    if (entry.Code == *code) return &entry;
  return nullptr;
}

template <size_t N>
const SpeedEntry* Find(const SpeedEntry (&table)[N], std::optional<std::string_view> code) {
  if (!code) return nullptr;
  for (const SpeedEntry& entry : table)
    if (entry.Code == *code) return &entry;
  return nullptr;
}

template <size_t N>
std::string Lookup(const CodeText (&table)[N], std::optional<std::string_view> code) {
  const CodeText* entry = Find(table, code);
  return std::string(entry != nullptr ? entry->Text : UNKNOWN);
}

// ---- memory type codes ------------------------------------------------------

// Win32_PhysicalMemory "MemoryType".
constexpr std::string_view WMI_MEMORY_TYPES[] = {
    "Unknown",    "Other",  "DRAM",    "Synchronous DRAM",
    "Cache DRAM", "EDO",    "EDRAM",   "VRAM",
    "SRAM",       "RAM",    "ROM",     "Flash",
    "EEPROM",     "FEPROM", "EPROM",   "CDRAM",
    "3DRAM",      "SDRAM",  "SGRAM",   "RDRAM",
    "DDR",        "DDR2",   "DDR2 FB", "Reserved",
    "DDR3",       "FBD2",   "DDR4",    "LPDDR",
    "LPDDR2",     "LPDDR3", "LPDDR4",
};

// The Memory Type byte of the SMBIOS Memory Device (also WMI's
// "SMBIOSMemoryType"); code 0 is not defined there.
constexpr std::string_view SMBIOS_MEMORY_TYPES[] = {
    "",        "Other",    "Unknown",  "DRAM",
    "EDRAM",   "VRAM",     "SRAM",     "RAM",
    "ROM",     "Flash",    "EEPROM",   "FEPROM",
    "EPROM",   "CDRAM",    "3DRAM",    "SDRAM",
    "SGRAM",   "RDRAM",    "DDR",      "DDR2",
    "DDR2 FB", "Reserved", "Reserved", "Reserved",
    "DDR3",    "FBD2",     "DDR4",     "LPDDR",
    "LPDDR2",  "LPDDR3",   "LPDDR4",   "Logical non-volatile device",
    "HBM",     "HBM2",     "DDR5",     "LPDDR5",
    "HBM3",
};

// ---- helpers ----------------------------------------------------------------

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

// Table strings are code-page text; bytes above 0x7F are read as Latin-1 so
// the result is valid UTF-8.
std::string CodePageToUtf8(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (char ch : bytes) {
    const auto c = static_cast<uint8_t>(ch);
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

std::optional<uint64_t> ParseUnsigned(const std::string& text) {
  if (text.empty()) return std::nullopt;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    if (v > (UINT64_MAX - static_cast<uint64_t>(c - '0')) / 10) return std::nullopt;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  return v;
}

void DecodePartOfPresentSlot(MEMORY_MODULE_INFO& slot) {
  DecodeModulePartNumber(Trim(slot.PartNumber), slot.PartInfo);
}

}  // namespace

bool DecodeModulePartNumber(const std::string& partNumber, DRAM_PART_INFO& info) {
  info = DRAM_PART_INFO();
  const std::string_view number = partNumber;
  if (number.size() < 11 || number.size() > 16 || number[0] != 'D') return false;
  const CodeText* generation = Find(GENERATIONS, number.substr(1, 1));
  if (generation == nullptr || number[2] < 'A' || number[2] > 'Z') return false;

  info.IsValid = 1;
  info.Generation = std::string(generation->Text);
  info.ModuleType = Lookup(MODULE_TYPES, number.substr(2, 1));
  if (number[3] != '-') {
    info.Capacity = Lookup(COMPACT_CAPACITIES, Field(number, 3, 2));
    info.ChipBrand = Lookup(CHIP_BRANDS, Field(number, 5, 1));
    info.Organisation = Lookup(COMPACT_ORGANISATIONS, Field(number, 6, 1));
    const SpeedEntry* speed = Find(COMPACT_SPEEDS, Field(number, 7, 1));
    info.SpeedCode = speed != nullptr ? speed->SpeedCode : 0;
    info.CasLatency = Lookup(COMPACT_CAS_LATENCIES, Field(number, 8, 1));
    info.TemperatureGrade = Lookup(COMPACT_GRADES, Field(number, 10, 1));
  } else {
    info.Capacity = Lookup(DASHED_CAPACITIES, Field(number, 4, 2));
    info.ChipBrand = Lookup(CHIP_BRANDS, Field(number, 8, 1));
    info.Organisation = Lookup(DASHED_ORGANISATIONS, Field(number, 9, 3));
    // The speed pair names the CAS latency too; a pair of no entry leaves
    // the latency empty.
    const SpeedEntry* speed = Find(DASHED_SPEEDS, Field(number, 6, 2));
    info.SpeedCode = speed != nullptr ? speed->SpeedCode : 0;
    info.CasLatency = speed != nullptr ? std::string(speed->CasLatency) : std::string();
    info.TemperatureGrade = Lookup(DASHED_GRADES, Field(number, 12, 1));
  }
  return true;
}

bool ReadRawSmbios(os::IWmi& wmi, RAW_SMBIOS& raw) {
  raw = RAW_SMBIOS();
  const auto objects = wmi.Query("ROOT\\WMI", "SELECT * FROM MSSMBios_RawSMBiosTables");
  if (!objects || objects->empty()) return false;
  const os::WmiObject& first = objects->front();
  auto data = first.Properties.find("SMBiosData");
  if (data == first.Properties.end() || !std::holds_alternative<std::vector<uint8_t>>(data->second))
    return false;
  if (!first.Has("SmbiosMajorVersion") || !first.Has("SmbiosMinorVersion")) return false;
  raw.MajorVersion = static_cast<uint8_t>(first.Int("SmbiosMajorVersion"));
  raw.MinorVersion = static_cast<uint8_t>(first.Int("SmbiosMinorVersion"));
  raw.Table = std::get<std::vector<uint8_t>>(data->second);
  return true;
}

void FillModulesFromSmbios(const RAW_SMBIOS& raw, MemoryModuleTable& slots) {
  slots = MemoryModuleTable();
  size_t n = 0;
  for (const SMBIOS_STRUCTURE_ENTRY& entry : WalkSmbiosTable(raw.Table.data(), raw.Table.size())) {
    if (entry.Type != 17) continue;
    if (n == slots.size()) break;
    MEMORY_MODULE_INFO& slot = slots[n++];
    const SMBIOS_MEMORY_DEVICE device = ReadMemoryDevice(raw, entry);
    slot.BankLabel = CodePageToUtf8(device.BankLocator);
    slot.DeviceLocator = CodePageToUtf8(device.DeviceLocator);
    if (const auto size = device.SizeMb()) slot.Size = std::to_string(*size);
    if (device.MemoryType) {
      slot.MemoryType = std::to_string(*device.MemoryType);
      slot.IsSmbiosMemoryType = 1;
    }
    if (device.Speed) slot.Speed = std::to_string(device.SpeedMts());
    slot.Manufacturer = CodePageToUtf8(device.Manufacturer);
    slot.SerialNumber = CodePageToUtf8(device.SerialNumber);
    slot.Tag = CodePageToUtf8(device.AssetTag);
    slot.PartNumber = CodePageToUtf8(device.PartNumber);
    if (device.Size.value_or(0) != 0 && device.SpeedMts() != 0) {
      slot.IsPresent = 1;
      DecodePartOfPresentSlot(slot);
    }
  }
}

void FillModulesFromWmi(os::IWmi& wmi, MemoryModuleTable& slots) {
  slots = MemoryModuleTable();
  for (size_t n = 0; n < slots.size(); ++n) {
    MEMORY_MODULE_INFO& slot = slots[n];
    // Of several objects with the same tag, the last one counts.
    const auto objects = wmi.Query(
        "root\\cimv2", "Select * from Win32_PhysicalMemory where tag = 'Physical Memory " +
                           std::to_string(n) + "'");
    if (!objects || objects->empty()) continue;
    const os::WmiObject& o = objects->back();
    slot.Manufacturer = WmiPropertyText(o, "Manufacturer");
    if (slot.Manufacturer.empty()) {
      slot = MEMORY_MODULE_INFO();
      continue;
    }
    slot.IsPresent = 1;
    slot.IsSizeInBytes = 1;
    slot.BankLabel = WmiPropertyText(o, "BankLabel");
    slot.Size = WmiPropertyText(o, "Capacity");
    slot.Caption = WmiPropertyText(o, "Caption");
    slot.DataWidth = WmiPropertyText(o, "DataWidth");
    slot.DeviceLocator = WmiPropertyText(o, "DeviceLocator");
    slot.FormFactor = WmiPropertyText(o, "FormFactor");
    slot.MemoryType = WmiPropertyText(o, "MemoryType");
    if (slot.MemoryType == "0") {
      slot.MemoryType = WmiPropertyText(o, "SMBIOSMemoryType");
      slot.IsSmbiosMemoryType = 1;
    }
    slot.Name = WmiPropertyText(o, "Name");
    slot.PartNumber = WmiPropertyText(o, "PartNumber");
    slot.SerialNumber = WmiPropertyText(o, "SerialNumber");
    slot.Speed = WmiPropertyText(o, "Speed");
    slot.Tag = WmiPropertyText(o, "Tag");
    slot.TotalWidth = WmiPropertyText(o, "TotalWidth");
    slot.TypeDetail = WmiPropertyText(o, "TypeDetail");
    DecodePartOfPresentSlot(slot);
  }
}

bool ReadMemoryModules(os::IWmi& wmi, MemoryModuleTable& slots) {
  RAW_SMBIOS raw;
  if (ReadRawSmbios(wmi, raw)) {
    FillModulesFromSmbios(raw, slots);
    return true;
  }
  FillModulesFromWmi(wmi, slots);
  return false;
}

std::string MemoryTypeText(const MEMORY_MODULE_INFO& slot) {
  const auto code = ParseUnsigned(slot.MemoryType);
  if (!code) return {};
  if (slot.IsSmbiosMemoryType) {
    if (*code >= std::size(SMBIOS_MEMORY_TYPES)) return {};
    return std::string(SMBIOS_MEMORY_TYPES[*code]);
  }
  if (*code >= std::size(WMI_MEMORY_TYPES)) return {};
  return std::string(WMI_MEMORY_TYPES[*code]);
}

std::string RamText(uint32_t ramSizeMb, const MemoryModuleTable& slots,
                    const std::string& unknownText) {
  std::string text;
  if (ramSizeMb == 0)
    text = unknownText;
  else if (ramSizeMb < 1000)
    text = std::to_string(ramSizeMb) + " MBytes";
  else
    text = std::to_string(ramSizeMb / 1000) + " GBytes";
  std::string sizes;
  for (const MEMORY_MODULE_INFO& slot : slots) {
    if (slot.Size.empty() || slot.Size == "0") continue;
    if (slot.IsSizeInBytes) {
      const auto bytes = ParseUnsigned(slot.Size);
      sizes += std::to_string(bytes.value_or(0) / 1024 / 1024);
    } else {
      sizes += slot.Size;
    }
    sizes += " MB/";
  }
  if (!sizes.empty()) {
    sizes.pop_back();
    text += " [" + sizes + "]";
  }
  return text;
}
