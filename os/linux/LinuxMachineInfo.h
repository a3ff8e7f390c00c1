// What Linux says about the machine itself — processor, memory, system
// release, firmware, board, graphics, network interfaces — read from plain
// files under the roots the caller gives (/proc, /sys, /etc), so tests run
// on trees they build.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "os/System.h"
#include "os/linux/SysfsDisks.h"

namespace os {

// One processor package (socket) of /proc/cpuinfo.
struct LinuxCpuPackage {
  std::string Name;      // "model name"
  uint32_t Cores = 0;    // distinct core ids
  uint32_t Logical = 0;  // processors (hardware threads)
};

// The packages in order of their physical id. A cpuinfo without package and
// core ids (some virtual machines, many ARM systems) is one package whose
// cores are its processors.
std::vector<LinuxCpuPackage> ReadCpuPackages(const std::string& proc);
// The same from cpuinfo's text.
std::vector<LinuxCpuPackage> ParseCpuPackages(const std::string& text);

// MemTotal of /proc/meminfo in bytes; 0 when unreadable.
uint64_t ReadMemTotalBytes(const std::string& proc);

// PRETTY_NAME of os-release (under `etc`, else usr/lib/os-release beside
// it); "Linux" when neither says.
std::string ReadOsPrettyName(const std::string& etc);

// The architecture for `uname -m` text ("x86_64", "aarch64", "i686").
uint16_t ArchitectureOfMachine(const std::string& machine);

// "Vendor Device" from a pci.ids database; empty when unknown.
std::string PciDeviceName(const std::vector<std::string>& databases, uint16_t vendor,
                          uint16_t device);

// A network interface of /sys/class/net.
struct LinuxNetInterface {
  std::string Name;  // "enp0s31f6"
  uint32_t IfIndex = 0;
  uint32_t Type = 0;             // ARPHRD_*: 1 ethernet, 772 loopback
  std::vector<uint8_t> Address;  // hardware address; empty when none
  std::string Driver;            // "e1000e"; empty for virtual interfaces
  bool Physical = false;         // it belongs to a device (has a "device" link)
  std::string Description;       // the device's name, else "name (driver)", else the name
};

// Every interface but the loopback, ordered by interface index (the order
// the system brought them up in).
std::vector<LinuxNetInterface> ListNetInterfaces(const LinuxRoots& roots);

// Default gateways by interface name, from /proc/net/route, dotted.
std::map<std::string, std::vector<std::string>> ReadDefaultGateways(const std::string& proc);
// The same from the route table's text.
std::map<std::string, std::vector<std::string>> ParseDefaultGateways(const std::string& text);

// An interface address (IPv4 or IPv6), as text.
struct LinuxIpAddress {
  std::string Interface;
  std::string Address;
  bool V6 = false;
};
// The system's interface addresses (getifaddrs).
std::vector<LinuxIpAddress> ReadIpAddresses();

}  // namespace os
