// The firmware's SMBIOS table from a hostile or broken machine: the walk,
// every string of every structure, the memory devices into the eight slots
// and their part numbers. Input: major and minor version, then the table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/MemoryInfo.h"
#include "tools/Smbios.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  RAW_SMBIOS raw;
  raw.MajorVersion = data[0];
  raw.MinorVersion = data[1];
  raw.Table.assign(data + 2, data + size);

  const auto entries = WalkSmbiosTable(raw.Table.data(), raw.Table.size());
  size_t next = 0;
  for (const auto& e : entries) {
    // Structures follow each other and lie inside the table.
    if (e.Offset != next || e.Length > raw.Table.size() - e.Offset || e.FormattedLength < 4 ||
        e.FormattedLength > e.Length)
      std::abort();
    next = e.Offset + e.Length;
    const CSmbiosStructure s(raw.Table.data(), raw.Table.size(), e);
    for (unsigned index = 1; index <= 255; ++index)
      if (s.String(static_cast<uint8_t>(index)).empty()) break;
    for (size_t offset = 0; offset < e.FormattedLength + 4u; ++offset) {
      (void)s.Dword(offset);
      (void)s.StringAt(offset);
    }
    if (e.Type == 17) (void)ReadMemoryDevice(raw, e).SizeMb();
  }

  MemoryModuleTable slots;
  FillModulesFromSmbios(raw, slots);
  std::string ram = RamText(16384, slots, "Unknown");
  for (const auto& slot : slots) ram += MemoryTypeText(slot);

  // The input as a part number too.
  DRAM_PART_INFO info;
  DecodeModulePartNumber(std::string(reinterpret_cast<const char*>(data), size > 20 ? 20 : size),
                         info);
  return 0;
}
