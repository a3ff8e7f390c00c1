// The WMI classes of the system information, built from what Linux says of
// the machine (os/linux/LinuxMachineInfo.h):
//
//   Win32_OperatingSystem   Caption (os-release PRETTY_NAME), CSDVersion
//                           ("Linux <kernel release>"), CSName (host name)
//   Win32_BIOS              Manufacturer, SMBIOSBIOSVersion, ReleaseDate (dmi/id)
//   Win32_BaseBoard         Manufacturer, Product, Version (dmi/id)
//   Win32_Processor         one per package: Name, NumberOfCores,
//                           NumberOfLogicalProcessors
//   Win32_DisplayConfiguration  DeviceName of the last graphics card of
//                           class/drm (its pci.ids name, else "driver (PCI
//                           vendor:device)")
//   Win32_NetworkAdapterConfiguration  one per interface but the loopback,
//                           by index: Description, MACAddress, Index,
//                           IPEnabled (it has an address), IPAddress (IPv4
//                           first), DefaultIPGateway
//
// Each query may end in "WHERE Property = 'value'" (compared without case).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "os/Wmi.h"
#include "os/linux/LinuxMachineInfo.h"

namespace os {

using IpAddressSource = std::function<std::vector<LinuxIpAddress>()>;

// "SELECT ... FROM Class [WHERE Property = 'value']", the class in lower
// case; nullopt for anything else.
struct WmiSelection {
  std::string Class;
  std::string Property;  // empty without a condition
  std::string Value;
};
std::optional<WmiSelection> ParseWmiSelection(const std::string& wql);

// Keeps the objects the condition of `selection` accepts.
std::vector<WmiObject> FilterObjects(std::vector<WmiObject> objects, const WmiSelection& selection);

// The objects of one of the classes above; nullopt for another class.
std::optional<std::vector<WmiObject>> AnswerMachineClass(const LinuxRoots& roots,
                                                         const std::string& lowerClass,
                                                         const IpAddressSource& addresses);

// The host name (kernel/hostname under /proc/sys); empty when unknown.
std::string ReadHostName(const std::string& proc);

}  // namespace os
