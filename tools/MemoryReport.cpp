#include "tools/MemoryReport.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "app/JsonWriter.h"

namespace {

std::string SizeText(const MEMORY_MODULE_INFO& slot) {
  if (slot.Size.empty()) return "unknown";
  if (!slot.IsSizeInBytes) return slot.Size + " MB";
  uint64_t bytes = 0;
  for (char c : slot.Size) {
    if (c < '0' || c > '9' || bytes > UINT64_MAX / 10) return slot.Size + " bytes";
    bytes = bytes * 10 + static_cast<uint64_t>(c - '0');
  }
  return std::to_string(bytes / 1024 / 1024) + " MB";
}

}  // namespace

std::string MemoryModulesText(const MemoryModuleTable& slots, bool fromSmbios) {
  std::string out = fromSmbios ? "Memory modules (SMBIOS table)\n"
                               : "Memory modules (WMI; the SMBIOS table could not be read)\n";
  for (size_t n = 0; n < slots.size(); ++n) {
    const MEMORY_MODULE_INFO& slot = slots[n];
    out += "  Slot #" + std::to_string(n) + ":";
    if (!slot.IsPresent) {
      out += slot.DeviceLocator.empty() ? " empty\n" : " empty (" + slot.DeviceLocator + ")\n";
      continue;
    }
    out += " " + slot.DeviceLocator;
    if (!slot.BankLabel.empty()) out += " / " + slot.BankLabel;
    out += "\n";
    const std::string type = MemoryTypeText(slot);
    const std::pair<const char*, std::string> rows[] = {
        {"Type", type.empty() ? slot.MemoryType : type},
        {"Size", SizeText(slot)},
        {"Speed", slot.Speed.empty() ? std::string() : slot.Speed + " MT/s"},
        {"Manufacturer", slot.Manufacturer},
        {"Part number", slot.PartNumber},
        {"Serial number", slot.SerialNumber},
        {"Asset tag", slot.Tag},
    };
    for (const auto& [name, value] : rows) {
      std::string line = std::string("    ") + name;
      line.resize(20, ' ');
      out += line + value + "\n";
    }
    const DRAM_PART_INFO& p = slot.PartInfo;
    if (p.IsValid) {
      out += "    Decoded part     " + p.Generation + ", " + p.ModuleType + ", " + p.Capacity +
             ", " + p.ChipBrand + " " + p.Organisation + ", " +
             (p.SpeedCode ? std::to_string(p.SpeedCode) : std::string("unknown speed")) +
             (p.CasLatency.empty() ? std::string() : " " + p.CasLatency) + ", " +
             p.TemperatureGrade + "\n";
    }
  }
  return out;
}

std::string MemoryModulesJson(const MemoryModuleTable& slots, bool fromSmbios) {
  app::CJsonWriter json;
  json.BeginObject();
  WriteMemoryModulesJson(json, slots, fromSmbios);
  json.EndObject();
  return json.Text() + "\n";
}

void WriteMemoryModulesJson(app::CJsonWriter& json, const MemoryModuleTable& slots,
                            bool fromSmbios) {
  json.Key("Source");
  json.String(fromSmbios ? "SMBIOS" : "WMI");
  json.Key("MemoryModules");
  json.BeginArray();
  for (const MEMORY_MODULE_INFO& slot : slots) {
    json.BeginObject();
    json.Key("IsPresent");
    json.Int(slot.IsPresent);
    json.Key("IsSizeInBytes");
    json.Int(slot.IsSizeInBytes);
    const std::pair<const char*, const std::string*> fields[] = {
        {"BankLabel", &slot.BankLabel},
        {"Size", &slot.Size},
        {"Caption", &slot.Caption},
        {"DataWidth", &slot.DataWidth},
        {"DeviceLocator", &slot.DeviceLocator},
        {"FormFactor", &slot.FormFactor},
        {"Manufacturer", &slot.Manufacturer},
        {"MemoryType", &slot.MemoryType},
    };
    for (const auto& [name, value] : fields) {
      json.Key(name);
      json.String(*value);
    }
    json.Key("IsSmbiosMemoryType");
    json.Int(slot.IsSmbiosMemoryType);
    json.Key("MemoryTypeText");
    json.String(MemoryTypeText(slot));
    const std::pair<const char*, const std::string*> more[] = {
        {"Name", &slot.Name},
        {"PartNumber", &slot.PartNumber},
        {"SerialNumber", &slot.SerialNumber},
        {"Speed", &slot.Speed},
        {"Tag", &slot.Tag},
        {"TotalWidth", &slot.TotalWidth},
        {"TypeDetail", &slot.TypeDetail},
    };
    for (const auto& [name, value] : more) {
      json.Key(name);
      json.String(*value);
    }
    const DRAM_PART_INFO& p = slot.PartInfo;
    json.Key("PartInfo");
    json.BeginObject();
    json.Key("IsValid");
    json.Int(p.IsValid);
    const std::pair<const char*, const std::string*> part[] = {
        {"Generation", &p.Generation}, {"ModuleType", &p.ModuleType},     {"Capacity", &p.Capacity},
        {"ChipBrand", &p.ChipBrand},   {"Organisation", &p.Organisation},
    };
    for (const auto& [name, value] : part) {
      json.Key(name);
      json.String(*value);
    }
    json.Key("SpeedCode");
    json.Int(p.SpeedCode);
    json.Key("CasLatency");
    json.String(p.CasLatency);
    json.Key("TemperatureGrade");
    json.String(p.TemperatureGrade);
    json.EndObject();
    json.EndObject();
  }
  json.EndArray();
}
