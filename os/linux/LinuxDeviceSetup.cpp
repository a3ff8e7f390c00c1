#include "os/linux/LinuxDeviceSetup.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "base/DebugLog.h"
#include "os/linux/LinuxWmi.h"

namespace fs = std::filesystem;

namespace os {
namespace {

constexpr const char* SCSI_ADAPTER_CLASS = "{4D36E97B-E325-11CE-BFC1-08002BE10318}";
constexpr const char* PCI_PROPERTY_SET = "{3AB22E31-8264-4B4E-9AF5-A8D2D8E33E62}";

bool SameNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<LinuxPciController> ReadPci(const std::string& dir, const std::string& address) {
  auto cls = ReadSysNumber(dir + "/class");
  if (!cls) return std::nullopt;
  LinuxPciController c;
  c.Address = address;
  c.ClassCode = static_cast<uint32_t>(*cls & 0xFFFFFF);
  c.VendorId = static_cast<uint16_t>(ReadSysNumber(dir + "/vendor").value_or(0));
  c.DeviceId = static_cast<uint16_t>(ReadSysNumber(dir + "/device").value_or(0));
  return c;
}

// "8.0 GT/s PCIe" -> 3. 0 when the text is not a known speed.
uint32_t Generation(const std::string& text) {
  char* end = nullptr;
  double gts = std::strtod(text.c_str(), &end);
  if (end == text.c_str()) return 0;
  struct Step {
    double Speed;
    uint32_t Gen;
  };
  static const Step kSteps[] = {{2.5, 1}, {5, 2}, {8, 3}, {16, 4}, {32, 5}, {64, 6}};
  for (const auto& s : kSteps) {
    if (gts > s.Speed - 0.1 && gts < s.Speed + 0.1) return s.Gen;
  }
  return 0;
}

}  // namespace

CLinuxDeviceSetup::CLinuxDeviceSetup(LinuxRoots roots) : m_Roots(std::move(roots)) {}

std::vector<std::string> CLinuxDeviceSetup::PresentDevices(const std::string& classGuid) {
  std::vector<std::string> ids;
  if (!SameNoCase(classGuid, SCSI_ADAPTER_CLASS)) return ids;
  for (const auto& address : ListFolder(m_Roots.Sys + "/bus/pci/devices")) {
    auto pci = ReadPci(m_Roots.Sys + "/bus/pci/devices/" + address, address);
    if (pci && IsScsiAdapterClass(pci->ClassCode)) ids.push_back(PciControllerId(*pci));
  }
  return ids;
}

std::optional<std::vector<uint8_t>> CLinuxDeviceSetup::DeviceProperty(
    const std::string& instanceId, const std::string& propertySet, uint32_t propertyId) {
  if (!SameNoCase(propertySet, PCI_PROPERTY_SET) || propertyId < 9 || propertyId > 12) {
    return std::nullopt;
  }
  // The PCI address is the instance part of the id.
  size_t slash = instanceId.rfind('\\');
  std::string address = slash == std::string::npos ? std::string() : instanceId.substr(slash + 1);
  for (char& c : address) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (address.empty() || address.find('/') != std::string::npos || address[0] == '.') {
    return std::nullopt;
  }
  std::string dir = m_Roots.Sys + "/bus/pci/devices/" + address;
  auto pci = ReadPci(dir, address);
  if (!pci || !SameNoCase(PciControllerId(*pci), instanceId)) return std::nullopt;

  static const char* const kFiles[] = {"current_link_speed", "current_link_width", "max_link_speed",
                                       "max_link_width"};
  std::string file = dir + "/" + kFiles[propertyId - 9];
  uint32_t value = 0;
  if (propertyId == 9 || propertyId == 11) {
    auto text = ReadSysText(file);
    if (!text) return std::nullopt;
    value = Generation(*text);
  } else {
    auto lanes = ReadSysNumber(file);
    if (!lanes || *lanes > 32) return std::nullopt;
    value = static_cast<uint32_t>(*lanes);
  }
  if (value == 0) {
    base::DebugLogF("linux: %s: no PCI Express link in %s", address.c_str(), file.c_str());
    return std::nullopt;
  }
  return std::vector<uint8_t>{static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

std::unique_ptr<IDeviceSetup> CreateNativeDeviceSetup() {
  return std::make_unique<CLinuxDeviceSetup>(LinuxRoots{});
}

}  // namespace os
