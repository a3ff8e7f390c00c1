#include "tools/SystemInfo.h"

#include <cstdio>

namespace {

constexpr const char* CIMV2 = "root\\cimv2";
constexpr const char* NO_ADAPTER = "-----";
constexpr size_t SERVICE_PACK_CHARS = 128;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The last object of a query in root\cimv2; nullopt when there is none.
std::optional<os::WmiObject> LastObject(os::IWmi& wmi, const std::string& cls,
                                        const std::string& condition) {
  const auto objects = wmi.Query(CIMV2, "Select * from " + cls + condition);
  if (!objects || objects->empty()) return std::nullopt;
  return objects->back();
}

// Properties of one class read from one query: the last object's values.
std::vector<std::string> QueryWmiStrings(os::IWmi& wmi, const std::string& cls,
                                         const std::vector<std::string>& properties,
                                         const std::string& condition = "") {
  std::vector<std::string> values(properties.size());
  const auto last = LastObject(wmi, cls, condition);
  if (!last) return values;
  for (size_t i = 0; i < properties.size(); ++i) values[i] = WmiPropertyText(*last, properties[i]);
  return values;
}

}  // namespace

std::string WmiPropertyText(const os::WmiObject& object, const std::string& property) {
  auto it = object.Properties.find(property);
  if (it == object.Properties.end()) return {};
  const os::WmiValue& value = it->second;
  if (auto* s = std::get_if<std::string>(&value)) return *s;
  if (auto* list = std::get_if<std::vector<std::string>>(&value))
    return list->empty() ? std::string() : list->front();
  if (auto* i = std::get_if<int64_t>(&value)) return std::to_string(*i);
  if (auto* b = std::get_if<bool>(&value)) return *b ? "True" : "False";
  return {};
}

std::string QueryWmiString(os::IWmi& wmi, const std::string& cls, const std::string& property,
                           const std::string& condition) {
  const auto last = LastObject(wmi, cls, condition);
  return last ? WmiPropertyText(*last, property) : std::string();
}

std::string BitnessText(uint16_t architecture) {
  if (architecture == os::PROCESSOR_ARCH_X64) return "64-bit";
  if (architecture == os::PROCESSOR_ARCH_X86) return "32-bit";
  return {};
}

std::string WindowsEditionText(const os::OsVersion& version, uint16_t architecture,
                               const std::string& caption, const std::string& csdVersion) {
  const std::string bitness = BitnessText(architecture);
  if (version.BuildNumber == 7600 || version.BuildNumber == 7601) {
    // The record's service-pack text, up to its first double blank.
    std::string servicePack;
    const std::string& csd = version.CSDVersion;
    for (size_t i = 0; i < csd.size() && i < SERVICE_PACK_CHARS; ++i) {
      if (csd[i] == '\0') break;
      if (csd[i] == ' ' && i + 1 < csd.size() && csd[i + 1] == ' ') break;
      servicePack += csd[i];
    }
    return "Microsoft Windows 7 " + bitness + " " + servicePack;
  }
  return caption + " " + bitness + " " + csdVersion;
}

std::string CpuText(const std::string& brand, const std::string& logicalProcessors,
                    const std::string& cores) {
  // The brand string ends at its first NUL.
  std::string name = brand.substr(0, brand.find('\0'));
  std::string text = name + "  " + cores + "C / " + logicalProcessors + "T";
  size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  return text.substr(start);
}

uint32_t RamSizeMbOf(uint64_t totalBytes) {
  const uint64_t mb = totalBytes / 1024 / 1024;
  return mb > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(mb);
}

std::string NetCardText(bool listed, const std::vector<os::NetworkAdapter>& adapters) {
  if (!listed || adapters.empty()) return NO_ADAPTER;
  return adapters.front().Description;
}

std::optional<std::array<uint8_t, 6>> HistoryAdapterAddress(
    const std::vector<os::NetworkAdapter>& adapters) {
  return os::FirstHardwareAddress(adapters);
}

std::optional<std::array<uint8_t, 6>> ReadHistoryAdapterAddress(os::ISystem& system) {
  std::vector<os::NetworkAdapter> adapters;
  if (!system.GetNetworkAdapters(&adapters)) return std::nullopt;
  return HistoryAdapterAddress(adapters);
}

SystemInfo CollectSystemInfo(os::IWmi& wmi, os::ISystem& system, const std::string& unknownText) {
  SystemInfo info;
  SYSTEM_INFO_TEXT& t = info.Text;
  const os::OsVersion version = system.GetOsVersion();
  const uint16_t architecture = system.NativeArchitecture();

  const auto os = QueryWmiStrings(wmi, "Win32_OperatingSystem", {"Caption", "CSDVersion"});
  t.WindowsEdition = WindowsEditionText(version, architecture, os[0], os[1]);

  const auto bios = QueryWmiStrings(wmi, "Win32_BIOS", {"Manufacturer", "SMBIOSBIOSVersion"});
  t.Bios = bios[0] + " Ver:" + bios[1];

  const auto cpu =
      QueryWmiStrings(wmi, "Win32_Processor", {"NumberOfLogicalProcessors", "NumberOfCores"});
  t.Cpu = CpuText(system.CpuBrandString(), cpu[0], cpu[1]);

  info.ModulesFromSmbios = ReadMemoryModules(wmi, info.Modules);
  t.RamSizeMb = RamSizeMbOf(system.TotalPhysicalMemory());
  t.Ram = RamText(t.RamSizeMb, info.Modules, unknownText);

  const auto board = QueryWmiStrings(wmi, "Win32_BaseBoard", {"Manufacturer", "Product"});
  t.MotherBoard = board[0] + " " + board[1];
  const auto computer =
      QueryWmiStrings(wmi, "Win32_PnPEntity", {"SystemName", "SystemCreationClassName"});
  t.Computer = computer[0] + " " + computer[1];
  const auto ide = QueryWmiStrings(wmi, "Win32_IDEController", {"Name", "PNPDeviceID"});
  t.IdeController = ide[0] + " " + ide[1];
  const auto scsi = QueryWmiStrings(wmi, "Win32_SCSIController", {"Name", "PNPDeviceID"});
  t.ScsiController = scsi[0] + " " + scsi[1];
  t.UsbController = QueryWmiString(wmi, "Win32_USBController", "Name");
  t.Graphics = QueryWmiString(wmi, "Win32_DisplayConfiguration", "DeviceName");

  std::vector<os::NetworkAdapter> adapters;
  const bool listed = system.GetNetworkAdapters(&adapters);
  t.NetCard = NetCardText(listed, adapters);
  info.AdapterAddress = listed ? HistoryAdapterAddress(adapters) : std::nullopt;

  const auto ip = QueryWmiStrings(wmi, "Win32_NetworkAdapterConfiguration",
                                  {"IPAddress", "DefaultIPGateway"}, " where IPEnabled = 'True'");
  t.Ip = ip[0] + " / " + ip[1];
  return info;
}

std::vector<SystemInfoRow> SystemInfoRows(const SYSTEM_INFO_TEXT& info, bool settingsRows) {
  std::vector<SystemInfoRow> rows = {
      {"WINDOWS_EDITION", info.WindowsEdition},
      {"BIOS", info.Bios},
      {"CPU", info.Cpu},
      {"RAM", info.Ram},
      {"MOTHER_BOARD", info.MotherBoard},
      {"GRAPHICS", info.Graphics},
      {"NET_CARD", info.NetCard},
      {"IP", info.Ip},
  };
  if (settingsRows) {
    rows.push_back({"COMPUTER", info.Computer});
    rows.push_back({"IDE_CONTROLLER", info.IdeController});
    rows.push_back({"USB_CONTROLLER", info.UsbController});
    rows.push_back({"SCSI_CONTROLLER", info.ScsiController});
  }
  return rows;
}
