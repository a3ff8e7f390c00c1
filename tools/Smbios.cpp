#include "tools/Smbios.h"

namespace {

constexpr uint8_t END_OF_TABLE_TYPE = 127;
constexpr size_t HEADER_SIZE = 4;  // type, length, handle

}  // namespace

bool SmbiosVersionAtLeast(const RAW_SMBIOS& raw, uint8_t major, uint8_t minor) {
  return raw.MajorVersion > major || (raw.MajorVersion == major && raw.MinorVersion >= minor);
}

std::vector<SMBIOS_STRUCTURE_ENTRY> WalkSmbiosTable(const uint8_t* table, size_t size) {
  std::vector<SMBIOS_STRUCTURE_ENTRY> entries;
  size_t offset = 0;
  while (table != nullptr && size - offset >= HEADER_SIZE) {
    const uint8_t type = table[offset];
    const uint8_t formatted = table[offset + 1];
    if (formatted < HEADER_SIZE || formatted > size - offset) break;
    // The string set follows the formatted part and ends with two zero
    // bytes (just the two when the structure has no strings).
    size_t i = offset + formatted;
    while (i + 1 < size && !(table[i] == 0 && table[i + 1] == 0)) ++i;
    if (i + 1 >= size) break;
    SMBIOS_STRUCTURE_ENTRY entry;
    entry.Offset = static_cast<uint32_t>(offset);
    entry.Length = static_cast<uint32_t>(i + 2 - offset);
    entry.Position = static_cast<uint32_t>(entries.size());
    entry.Type = type;
    entry.FormattedLength = formatted;
    entries.push_back(entry);
    offset = i + 2;
    if (type == END_OF_TABLE_TYPE) break;
  }
  return entries;
}

CSmbiosStructure::CSmbiosStructure(const uint8_t* table, size_t size,
                                   const SMBIOS_STRUCTURE_ENTRY& entry)
    : m_Table(table), m_Size(size), m_Entry(entry) {
  // An entry that does not lie inside the table reads as empty.
  if (m_Table == nullptr || m_Entry.Offset > m_Size || m_Entry.Length > m_Size - m_Entry.Offset ||
      m_Entry.FormattedLength > m_Entry.Length) {
    m_Entry.Length = 0;
    m_Entry.FormattedLength = 0;
  }
}

std::optional<uint8_t> CSmbiosStructure::Byte(size_t offset) const {
  if (offset >= m_Entry.FormattedLength) return std::nullopt;
  return m_Table[m_Entry.Offset + offset];
}

std::optional<uint16_t> CSmbiosStructure::Word(size_t offset) const {
  if (offset + 2 > m_Entry.FormattedLength) return std::nullopt;
  const uint8_t* p = m_Table + m_Entry.Offset + offset;
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

std::optional<uint32_t> CSmbiosStructure::Dword(size_t offset) const {
  if (offset + 4 > m_Entry.FormattedLength) return std::nullopt;
  const uint8_t* p = m_Table + m_Entry.Offset + offset;
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

std::string CSmbiosStructure::StringAt(size_t offset) const {
  const auto index = Byte(offset);
  return index ? String(*index) : std::string();
}

std::string CSmbiosStructure::String(uint8_t index) const {
  if (index == 0) return {};
  size_t p = m_Entry.Offset + m_Entry.FormattedLength;
  const size_t end = m_Entry.Offset + m_Entry.Length;
  for (uint8_t n = 1; p < end && m_Table[p] != 0; ++n) {
    size_t q = p;
    while (q < end && m_Table[q] != 0) ++q;
    if (n == index) return std::string(reinterpret_cast<const char*>(m_Table + p), q - p);
    p = q + 1;
    if (n == 255) break;
  }
  return {};
}

std::optional<uint64_t> SMBIOS_MEMORY_DEVICE::SizeMb() const {
  if (!Size || *Size == 0xFFFF) return std::nullopt;
  if (*Size == 0x7FFF) {
    if (!ExtendedSize) return std::nullopt;
    return *ExtendedSize & 0x7FFFFFFFu;
  }
  if (*Size & 0x8000) return (*Size & 0x7FFFu) / 1024u;  // in KiB
  return *Size;
}

uint32_t SMBIOS_MEMORY_DEVICE::SpeedMts() const {
  if (!Speed) return 0;
  if (*Speed == 0xFFFF) return ExtendedSpeed ? (*ExtendedSpeed & 0x7FFFFFFFu) : 0;
  return *Speed;
}

SMBIOS_MEMORY_DEVICE ReadMemoryDevice(const RAW_SMBIOS& raw, const SMBIOS_STRUCTURE_ENTRY& entry) {
  SMBIOS_MEMORY_DEVICE d;
  const CSmbiosStructure s(raw.Table.data(), raw.Table.size(), entry);
  if (SmbiosVersionAtLeast(raw, 2, 1)) {
    d.TotalWidth = s.Word(0x08);
    d.DataWidth = s.Word(0x0A);
    d.Size = s.Word(0x0C);
    d.FormFactor = s.Byte(0x0E);
    d.DeviceSet = s.Byte(0x0F);
    d.DeviceLocator = s.StringAt(0x10);
    d.BankLocator = s.StringAt(0x11);
    d.MemoryType = s.Byte(0x12);
    d.TypeDetail = s.Word(0x13);
  }
  if (SmbiosVersionAtLeast(raw, 2, 3)) {
    d.Speed = s.Word(0x15);
    d.Manufacturer = s.StringAt(0x17);
    d.SerialNumber = s.StringAt(0x18);
    d.AssetTag = s.StringAt(0x19);
    d.PartNumber = s.StringAt(0x1A);
  }
  if (SmbiosVersionAtLeast(raw, 2, 6)) d.Attributes = s.Byte(0x1B);
  if (SmbiosVersionAtLeast(raw, 2, 7)) {
    d.ExtendedSize = s.Dword(0x1C);
    d.ConfiguredClockSpeed = s.Word(0x20);
  }
  if (SmbiosVersionAtLeast(raw, 2, 8)) {
    d.MinimumVoltage = s.Word(0x22);
    d.MaximumVoltage = s.Word(0x24);
    d.ConfiguredVoltage = s.Word(0x26);
  }
  if (SmbiosVersionAtLeast(raw, 3, 2)) d.MemoryTechnology = s.Byte(0x28);
  if (SmbiosVersionAtLeast(raw, 3, 3)) d.ExtendedSpeed = s.Dword(0x54);
  return d;
}
