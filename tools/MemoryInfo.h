// The installed memory modules: eight slots read once at start-up from the
// firmware's SMBIOS table (through WMI), or from WMI's Win32_PhysicalMemory
// when the table cannot be had, and the maker's own part numbers decoded.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "os/Wmi.h"
#include "tools/Smbios.h"

// A part number of the maker's own scheme, decoded.
struct DRAM_PART_INFO {
  int32_t IsValid = 0;  // 1 when the part number decoded
  std::string Generation;
  std::string ModuleType;
  std::string Capacity;
  std::string ChipBrand;
  std::string Organisation;
  int32_t SpeedCode = 0;  // the data rate; 0 when unknown
  std::string CasLatency;
  std::string TemperatureGrade;
};

struct MEMORY_MODULE_INFO {
  int32_t IsPresent = 0;
  int32_t IsSizeInBytes = 0;  // Size in bytes (from WMI), else in megabytes
  std::string BankLabel;
  std::string Size;
  std::string Caption;
  std::string DataWidth;
  std::string DeviceLocator;
  std::string FormFactor;
  std::string Manufacturer;
  std::string MemoryType;
  // 1 when MemoryType is a code of the SMBIOS numbering (read from the
  // table, or WMI's SMBIOSMemoryType), 0 for WMI's own MemoryType codes.
  // The two numberings differ (19 is DDR2 in one, RDRAM in the other).
  int32_t IsSmbiosMemoryType = 0;
  std::string Name;
  std::string PartNumber;
  std::string SerialNumber;
  std::string Speed;
  std::string Tag;
  std::string TotalWidth;
  std::string TypeDetail;
  DRAM_PART_INFO PartInfo;
};

constexpr int32_t MEMORY_SLOT_COUNT = 8;
using MemoryModuleTable = std::array<MEMORY_MODULE_INFO, MEMORY_SLOT_COUNT>;

// Decodes a part number of the maker's scheme (11 to 16 characters, "D",
// generation, module type, then the compact or the dashed layout). False,
// with `info` reset and IsValid 0, when it does not follow the scheme.
// Fields beyond the end of the number or with codes of no table read
// "Unknown".
bool DecodeModulePartNumber(const std::string& partNumber, DRAM_PART_INFO& info);

// Fetches the raw table through WMI ("ROOT\\WMI", MSSMBios_RawSMBiosTables,
// the first object's SmbiosMajorVersion, SmbiosMinorVersion and the byte
// array SMBiosData). False when any of it is missing.
bool ReadRawSmbios(os::IWmi& wmi, RAW_SMBIOS& raw);

// Fills the slots, in table order, from the Memory Device structures of
// `raw` (later structures than the eighth are ignored). Other slots are
// emptied.
void FillModulesFromSmbios(const RAW_SMBIOS& raw, MemoryModuleTable& slots);

// Fills slot n from the Win32_PhysicalMemory object tagged
// "Physical Memory n"; a slot without a manufacturer is empty.
void FillModulesFromWmi(os::IWmi& wmi, MemoryModuleTable& slots);

// The whole read: the SMBIOS table, or WMI when the table cannot be
// fetched. Returns false in the second case, for the caller to tell the
// user ("Unable to fetch information from OS.").
bool ReadMemoryModules(os::IWmi& wmi, MemoryModuleTable& slots);

// Name of the slot's memory type code in its numbering ("DDR4"); empty
// for a code of neither table.
std::string MemoryTypeText(const MEMORY_MODULE_INFO& slot);

// The memory row of the system information: "%d MBytes" below 1000 MiB,
// `unknownText` for 0, else "%d GBytes" (thousands of MiB), then the sizes
// of the modules that have one, " [8192 MB/8192 MB]".
std::string RamText(uint32_t ramSizeMb, const MemoryModuleTable& slots,
                    const std::string& unknownText);
