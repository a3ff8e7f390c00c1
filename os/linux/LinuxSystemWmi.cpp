#include "os/linux/LinuxSystemWmi.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "base/Text.h"

namespace os {
namespace {

std::string SysText(const std::string& path) { return base::Trim(ReadSysText(path).value_or("")); }

std::string MacText(const std::vector<uint8_t>& address) {
  std::string text;
  char pair[4];
  for (uint8_t b : address) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    if (!text.empty()) text += ':';
    text += pair;
  }
  return text;
}

// What a condition compares: booleans as "True"/"False", the first of a
// string array, numbers in decimal.
std::string ConditionText(const WmiObject& o, const std::string& property) {
  auto it = o.Properties.find(property);
  if (it == o.Properties.end()) return {};
  if (const bool* b = std::get_if<bool>(&it->second)) return *b ? "True" : "False";
  if (const auto* list = std::get_if<std::vector<std::string>>(&it->second))
    return list->empty() ? std::string() : list->front();
  return o.String(property);
}

std::string DmiText(const LinuxRoots& roots, const std::string& name) {
  return SysText(roots.Sys + "/class/dmi/id/" + name);
}

std::vector<WmiObject> GraphicsCards(const LinuxRoots& roots) {
  const std::string drm = roots.Sys + "/class/drm";
  std::vector<WmiObject> out;
  for (const std::string& name : ListFolder(drm)) {
    // card0, card1 ...; not their connectors (card0-HDMI-A-1) nor render nodes.
    if (name.size() < 5 || name.rfind("card", 0) != 0 ||
        !std::all_of(name.begin() + 4, name.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
      continue;
    }
    const std::string device = drm + "/" + name + "/device";
    const auto vendor = ReadSysNumber(device + "/vendor");
    const auto id = ReadSysNumber(device + "/device");
    std::string text;
    if (vendor && id) {
      text =
          PciDeviceName(roots.PciIds, static_cast<uint16_t>(*vendor), static_cast<uint16_t>(*id));
    }
    if (text.empty()) {
      std::error_code ec;
      const std::string driver =
          std::filesystem::read_symlink(device + "/driver", ec).filename().string();
      char ids[32] = "";
      if (vendor && id) {
        std::snprintf(ids, sizeof ids, "PCI %04X:%04X", static_cast<unsigned>(*vendor & 0xFFFF),
                      static_cast<unsigned>(*id & 0xFFFF));
      }
      text = ec || driver.empty() ? std::string(ids)
                                  : driver + (ids[0] ? " (" + std::string(ids) + ")" : "");
    }
    if (text.empty()) text = name;
    WmiObject o;
    o.Properties["DeviceName"] = text;
    o.Properties["Caption"] = text;
    out.push_back(std::move(o));
  }
  return out;
}

std::vector<WmiObject> AdapterConfigurations(const LinuxRoots& roots,
                                             const IpAddressSource& addresses) {
  const auto gateways = ReadDefaultGateways(roots.Proc);
  const std::vector<LinuxIpAddress> all = addresses ? addresses() : std::vector<LinuxIpAddress>{};
  std::vector<WmiObject> out;
  for (const LinuxNetInterface& i : ListNetInterfaces(roots)) {
    std::vector<std::string> ips;
    for (bool v6 : {false, true}) {
      for (const LinuxIpAddress& a : all) {
        if (a.Interface == i.Name && a.V6 == v6) ips.push_back(a.Address);
      }
    }
    WmiObject o;
    auto& p = o.Properties;
    p["Description"] = i.Description;
    p["Caption"] = i.Description;
    p["ServiceName"] = i.Driver;
    p["SettingID"] = i.Name;
    p["Index"] = static_cast<int64_t>(i.IfIndex);
    p["InterfaceIndex"] = static_cast<int64_t>(i.IfIndex);
    if (!i.Address.empty()) p["MACAddress"] = MacText(i.Address);
    p["IPEnabled"] = !ips.empty();
    if (!ips.empty()) p["IPAddress"] = ips;
    auto g = gateways.find(i.Name);
    if (g != gateways.end()) p["DefaultIPGateway"] = g->second;
    out.push_back(std::move(o));
  }
  return out;
}

}  // namespace

std::optional<WmiSelection> ParseWmiSelection(const std::string& wql) {
  const std::string text = base::Trim(wql);
  const std::string lower = base::LowerAscii(text);
  if (lower.rfind("select ", 0) != 0) return std::nullopt;
  const size_t from = lower.find(" from ");
  if (from == std::string::npos) return std::nullopt;
  WmiSelection s;
  std::string rest = base::Trim(text.substr(from + 6));
  const size_t where = base::LowerAscii(rest).find(" where ");
  std::string condition;
  if (where != std::string::npos) {
    condition = base::Trim(rest.substr(where + 7));
    rest = base::Trim(rest.substr(0, where));
  }
  if (rest.empty() || rest.find_first_of(" \t") != std::string::npos) return std::nullopt;
  s.Class = base::LowerAscii(rest);
  if (where == std::string::npos) return s;
  // Property = 'value'
  const size_t eq = condition.find('=');
  if (eq == std::string::npos) return std::nullopt;
  s.Property = base::Trim(condition.substr(0, eq));
  std::string value = base::Trim(condition.substr(eq + 1));
  if (s.Property.empty() || value.size() < 2 || (value.front() != '\'' && value.front() != '"') ||
      value.back() != value.front()) {
    return std::nullopt;
  }
  s.Value = value.substr(1, value.size() - 2);
  return s;
}

std::vector<WmiObject> FilterObjects(std::vector<WmiObject> objects,
                                     const WmiSelection& selection) {
  if (selection.Property.empty()) return objects;
  std::erase_if(objects, [&](const WmiObject& o) {
    return base::LowerAscii(ConditionText(o, selection.Property)) !=
           base::LowerAscii(selection.Value);
  });
  return objects;
}

std::string ReadHostName(const std::string& proc) { return SysText(proc + "/sys/kernel/hostname"); }

std::optional<std::vector<WmiObject>> AnswerMachineClass(const LinuxRoots& roots,
                                                         const std::string& lowerClass,
                                                         const IpAddressSource& addresses) {
  if (lowerClass == "win32_operatingsystem") {
    WmiObject o;
    const std::string release = SysText(roots.Proc + "/sys/kernel/osrelease");
    o.Properties["Caption"] = ReadOsPrettyName(roots.Etc);
    o.Properties["CSDVersion"] = release.empty() ? std::string() : "Linux " + release;
    o.Properties["Version"] = release;
    o.Properties["CSName"] = ReadHostName(roots.Proc);
    return std::vector<WmiObject>{o};
  }
  if (lowerClass == "win32_bios") {
    WmiObject o;
    o.Properties["Manufacturer"] = DmiText(roots, "bios_vendor");
    o.Properties["SMBIOSBIOSVersion"] = DmiText(roots, "bios_version");
    o.Properties["ReleaseDate"] = DmiText(roots, "bios_date");
    return std::vector<WmiObject>{o};
  }
  if (lowerClass == "win32_baseboard") {
    WmiObject o;
    o.Properties["Manufacturer"] = DmiText(roots, "board_vendor");
    o.Properties["Product"] = DmiText(roots, "board_name");
    o.Properties["Version"] = DmiText(roots, "board_version");
    return std::vector<WmiObject>{o};
  }
  if (lowerClass == "win32_processor") {
    std::vector<WmiObject> out;
    uint32_t n = 0;
    for (const LinuxCpuPackage& p : ReadCpuPackages(roots.Proc)) {
      WmiObject o;
      o.Properties["DeviceID"] = "CPU" + std::to_string(n++);
      o.Properties["Name"] = p.Name;
      o.Properties["NumberOfCores"] = static_cast<int64_t>(p.Cores);
      o.Properties["NumberOfLogicalProcessors"] = static_cast<int64_t>(p.Logical);
      out.push_back(std::move(o));
    }
    return out;
  }
  if (lowerClass == "win32_displayconfiguration") {
    // Windows answers one object: the display the desktop is on. The last
    // card stands for it (the one a query's reader takes).
    auto cards = GraphicsCards(roots);
    if (cards.size() > 1) cards.erase(cards.begin(), cards.end() - 1);
    return cards;
  }
  if (lowerClass == "win32_networkadapterconfiguration") {
    return AdapterConfigurations(roots, addresses);
  }
  return std::nullopt;
}

}  // namespace os
