#include "os/linux/LinuxSmbios.h"

#include <algorithm>
#include <fstream>
#include <optional>

#include "base/DebugLog.h"

namespace os {
namespace {

// At most `limit` bytes; nullopt when missing, unreadable or longer.
std::optional<std::vector<uint8_t>> ReadWhole(const std::string& path, size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<uint8_t> bytes;
  char buffer[4096];
  while (in.read(buffer, sizeof(buffer)) || in.gcount() > 0) {
    bytes.insert(bytes.end(), buffer, buffer + in.gcount());
    if (bytes.size() > limit) return std::nullopt;
  }
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace

bool SmbiosEntryPointVersion(const std::vector<uint8_t>& entry, uint8_t* major, uint8_t* minor) {
  auto startsWith = [&entry](const char* anchor, size_t size) {
    return entry.size() >= size && std::equal(anchor, anchor + size, entry.begin());
  };
  if (startsWith("_SM3_", 5) && entry.size() >= 9) {
    *major = entry[7];
    *minor = entry[8];
    return true;
  }
  if (startsWith("_SM_", 4) && entry.size() >= 8) {
    *major = entry[6];
    *minor = entry[7];
    return true;
  }
  return false;
}

std::vector<WmiObject> ReadRawSmbiosTables(const std::string& sys) {
  const std::string folder = sys + "/firmware/dmi/tables/";
  const auto entry = ReadWhole(folder + "smbios_entry_point", 64);
  const auto table = ReadWhole(folder + "DMI", 16u << 20);
  uint8_t major = 0, minor = 0;
  if (!entry || !table || !SmbiosEntryPointVersion(*entry, &major, &minor)) {
    base::DebugLogF("wmi: no readable SMBIOS table under %s", folder.c_str());
    return {};
  }
  WmiObject o;
  o.Properties["SmbiosMajorVersion"] = int64_t{major};
  o.Properties["SmbiosMinorVersion"] = int64_t{minor};
  o.Properties["Size"] = static_cast<int64_t>(table->size());
  o.Properties["SMBiosData"] = *table;
  return {o};
}

}  // namespace os
