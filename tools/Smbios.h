// The firmware's SMBIOS structure table: the walk over its structures and
// the Memory Device (type 17) structure read by SMBIOS version.
//
// The table comes from the system (WMI's MSSMBios_RawSMBiosTables, Linux's
// /sys/firmware/dmi/tables/DMI) and is untrusted: every read is checked
// against the table's end and against the structure's own formatted length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The raw table as the system hands it: version and structure bytes.
struct RAW_SMBIOS {
  uint8_t MajorVersion = 0;
  uint8_t MinorVersion = 0;
  std::vector<uint8_t> Table;
};

// One structure of the table.
struct SMBIOS_STRUCTURE_ENTRY {
  uint32_t Offset = 0;    // offset of the formatted part in the table
  uint32_t Length = 0;    // formatted part, strings and the closing two zero bytes
  uint32_t Position = 0;  // 0 for the first structure of the table
  uint8_t Type = 0;
  uint8_t FormattedLength = 0;  // the length byte of the header
};

// True when `raw`'s version is at least major.minor.
bool SmbiosVersionAtLeast(const RAW_SMBIOS& raw, uint8_t major, uint8_t minor);

// Walks every structure from the start of the table. The walk stops at the
// end-of-table structure (type 127, which is listed), at a structure whose
// formatted length is under 4, and at one whose formatted part or string
// set runs past the table's end (not listed). There is no limit on the
// number of structures.
std::vector<SMBIOS_STRUCTURE_ENTRY> WalkSmbiosTable(const uint8_t* table, size_t size);

// Read access to one listed structure. Fields past the formatted length are
// absent (nullopt), never read from the strings that follow.
class CSmbiosStructure {
 public:
  CSmbiosStructure(const uint8_t* table, size_t size, const SMBIOS_STRUCTURE_ENTRY& entry);

  std::optional<uint8_t> Byte(size_t offset) const;
  std::optional<uint16_t> Word(size_t offset) const;
  std::optional<uint32_t> Dword(size_t offset) const;
  // The string whose number is held by the byte at `offset`: empty when the
  // field is absent, the number is 0, or the set has fewer strings. Bytes
  // are taken as they stand (code-page text).
  std::string StringAt(size_t offset) const;
  // String number `index` of the set (1-based); empty when there is none.
  std::string String(uint8_t index) const;

 private:
  const uint8_t* m_Table;
  size_t m_Size;
  SMBIOS_STRUCTURE_ENTRY m_Entry;
};

// Memory Device structure (type 17). Every field is absent when the
// version does not define it or the structure is too short to hold it.
struct SMBIOS_MEMORY_DEVICE {
  // 2.1
  std::optional<uint16_t> TotalWidth;
  std::optional<uint16_t> DataWidth;
  std::optional<uint16_t> Size;  // the Size word as stored
  std::optional<uint8_t> FormFactor;
  std::optional<uint8_t> DeviceSet;
  std::string DeviceLocator;
  std::string BankLocator;
  std::optional<uint8_t> MemoryType;
  std::optional<uint16_t> TypeDetail;
  // 2.3
  std::optional<uint16_t> Speed;
  std::string Manufacturer;
  std::string SerialNumber;
  std::string AssetTag;
  std::string PartNumber;
  // 2.6
  std::optional<uint8_t> Attributes;
  // 2.7
  std::optional<uint32_t> ExtendedSize;
  std::optional<uint16_t> ConfiguredClockSpeed;
  // 2.8
  std::optional<uint16_t> MinimumVoltage;
  std::optional<uint16_t> MaximumVoltage;
  std::optional<uint16_t> ConfiguredVoltage;
  // 3.2 (the first of them; the rest are not used here)
  std::optional<uint8_t> MemoryTechnology;
  // 3.3
  std::optional<uint32_t> ExtendedSpeed;

  // The module's size in MiB: the Size word (in KiB when its top bit is
  // set), or the Extended Size when the word is 0x7FFF. nullopt when the
  // size is unknown (0xFFFF, or 0x7FFF without an Extended Size).
  std::optional<uint64_t> SizeMb() const;
  // The speed in MT/s: the Speed word, or the Extended Speed when the word
  // is 0xFFFF. 0 when unknown.
  uint32_t SpeedMts() const;
};

SMBIOS_MEMORY_DEVICE ReadMemoryDevice(const RAW_SMBIOS& raw, const SMBIOS_STRUCTURE_ENTRY& entry);
