#include "tools/SystemReport.h"

#include <cstdio>
#include <utility>

#include "app/JsonWriter.h"
#include "tools/MemoryReport.h"

namespace {

// Labels when the language file has none.
constexpr std::pair<const char*, const char*> BUILT_IN_LABELS[] = {
    {"WINDOWS_EDITION", "Operating System"},
    {"BIOS", "BIOS"},
    {"CPU", "Processor"},
    {"RAM", "Memory"},
    {"MOTHER_BOARD", "Motherboard"},
    {"GRAPHICS", "Graphics"},
    {"NET_CARD", "Network Adapter"},
    {"IP", "IP Address / Gateway"},
    {"COMPUTER", "Computer"},
    {"IDE_CONTROLLER", "IDE Controller"},
    {"USB_CONTROLLER", "USB Controller"},
    {"SCSI_CONTROLLER", "SCSI Controller"},
};

std::string Label(const std::string& key, const SystemTextLookup& text) {
  std::string label = text ? text("SystemInformation", key) : std::string();
  if (!label.empty()) return label;
  for (const auto& [k, v] : BUILT_IN_LABELS)
    if (key == k) return v;
  return key;
}

}  // namespace

std::string SystemInfoText(const SystemInfo& info, const SystemTextLookup& text) {
  std::string out = "System information\n";
  for (const SystemInfoRow& row : SystemInfoRows(info.Text, true)) {
    std::string line = "  " + Label(row.Key, text);
    // Labels are padded by characters, not bytes, so UTF-8 labels line up.
    size_t width = 0;
    for (unsigned char c : line) width += (c & 0xC0) != 0x80;
    if (width < 24) line.append(24 - width, ' ');
    out += line + " " + row.Value + "\n";
  }
  out += MemoryModulesText(info.Modules, info.ModulesFromSmbios);
  return out;
}

std::string SystemInfoJson(const SystemInfo& info) {
  const SYSTEM_INFO_TEXT& t = info.Text;
  app::CJsonWriter json;
  json.BeginObject();
  json.Key("SystemInfo");
  json.BeginObject();
  const std::pair<const char*, const std::string*> fields[] = {
      {"WindowsEdition", &t.WindowsEdition},
      {"Bios", &t.Bios},
      {"Cpu", &t.Cpu},
  };
  for (const auto& [name, value] : fields) {
    json.Key(name);
    json.String(*value);
  }
  json.Key("RamSizeMb");
  json.UInt(t.RamSizeMb);
  const std::pair<const char*, const std::string*> more[] = {
      {"Ram", &t.Ram},
      {"MotherBoard", &t.MotherBoard},
      {"Graphics", &t.Graphics},
      {"NetCard", &t.NetCard},
      {"Ip", &t.Ip},
      {"Computer", &t.Computer},
      {"IdeController", &t.IdeController},
      {"UsbController", &t.UsbController},
      {"ScsiController", &t.ScsiController},
  };
  for (const auto& [name, value] : more) {
    json.Key(name);
    json.String(*value);
  }
  json.EndObject();
  json.Key("AdapterAddress");
  if (info.AdapterAddress) {
    char text[18];
    const auto& a = *info.AdapterAddress;
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", a[0], a[1], a[2], a[3], a[4],
                  a[5]);
    json.String(text);
  } else {
    json.Null();
  }
  WriteMemoryModulesJson(json, info.Modules, info.ModulesFromSmbios);
  json.EndObject();
  return json.Text() + "\n";
}
