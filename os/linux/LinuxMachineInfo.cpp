#include "os/linux/LinuxMachineInfo.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "base/Text.h"

namespace os {
namespace {

constexpr size_t MAX_PROC_FILE = 8u << 20;  // cpuinfo of a few hundred processors
constexpr uint32_t ARPHRD_LOOPBACK_TYPE = 772;
constexpr uint32_t RTF_GATEWAY_FLAG = 0x0002;

// A whole text file, cut at `limit` bytes; nullopt when it cannot be opened.
std::optional<std::string> ReadTextFile(const std::string& path, size_t limit = MAX_PROC_FILE) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text;
  char buffer[8192];
  while (text.size() < limit && in.read(buffer, sizeof buffer).gcount() > 0) {
    text.append(buffer, static_cast<size_t>(in.gcount()));
  }
  if (text.size() > limit) text.resize(limit);
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// "key<TAB>: value" of cpuinfo, or "KEY=value" of os-release.
bool SplitAt(const std::string& line, char sep, std::string* key, std::string* value) {
  const size_t at = line.find(sep);
  if (at == std::string::npos) return false;
  *key = base::Trim(line.substr(0, at));
  *value = base::Trim(line.substr(at + 1));
  return true;
}

std::optional<uint32_t> Number(const std::string& text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  uint32_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<uint32_t>(c - '0');
  }
  return v;
}

std::optional<uint16_t> Hex16(std::string text) {
  text = base::Trim(text);
  if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0) text = text.substr(2);
  if (text.empty() || text.size() > 4) return std::nullopt;
  uint16_t v = 0;
  for (char c : text) {
    const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                  : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                  : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                              : -1;
    if (d < 0) return std::nullopt;
    v = static_cast<uint16_t>(v * 16 + d);
  }
  return v;
}

std::string Basename(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The target of a symbolic link; empty when it is none.
std::string LinkTarget(const std::string& path) {
  std::error_code ec;
  const auto target = std::filesystem::read_symlink(path, ec);
  return ec ? std::string() : target.string();
}

std::vector<uint8_t> ParseMac(const std::string& text) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < text.size(); i += 3) {
    const auto b = Hex16(text.substr(i, 2));
    if (!b || (i + 2 < text.size() && text[i + 2] != ':')) return {};
    bytes.push_back(static_cast<uint8_t>(*b));
  }
  // All zeros is "no address" (tunnels, some virtual links).
  if (std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; })) return {};
  return bytes;
}

}  // namespace

std::vector<LinuxCpuPackage> ReadCpuPackages(const std::string& proc) {
  const auto text = ReadTextFile(proc + "/cpuinfo");
  return text ? ParseCpuPackages(*text) : std::vector<LinuxCpuPackage>{};
}

std::vector<LinuxCpuPackage> ParseCpuPackages(const std::string& text) {
  struct Processor {
    std::string Name;
    std::optional<uint32_t> Package, Core;
  };
  std::vector<Processor> processors;
  for (const std::string& line : Lines(text)) {
    std::string key, value;
    if (!SplitAt(line, ':', &key, &value)) continue;
    if (key == "processor") {
      processors.emplace_back();
    } else if (processors.empty()) {
      continue;
    } else if (key == "model name" || (key == "Processor" && processors.back().Name.empty())) {
      processors.back().Name = value;
    } else if (key == "physical id") {
      processors.back().Package = Number(value);
    } else if (key == "core id") {
      processors.back().Core = Number(value);
    }
  }
  if (processors.empty()) return {};
  const bool ids = std::all_of(processors.begin(), processors.end(),
                               [](const Processor& p) { return p.Package && p.Core; });
  std::map<uint32_t, LinuxCpuPackage> packages;
  std::map<uint32_t, std::set<uint32_t>> cores;
  for (size_t i = 0; i < processors.size(); ++i) {
    const Processor& p = processors[i];
    const uint32_t package = ids ? *p.Package : 0;
    LinuxCpuPackage& out = packages[package];
    if (out.Name.empty()) out.Name = p.Name;
    ++out.Logical;
    cores[package].insert(ids ? *p.Core : static_cast<uint32_t>(i));
  }
  std::vector<LinuxCpuPackage> result;
  for (auto& [id, package] : packages) {
    package.Cores = static_cast<uint32_t>(cores[id].size());
    result.push_back(package);
  }
  return result;
}

uint64_t ReadMemTotalBytes(const std::string& proc) {
  const auto text = ReadTextFile(proc + "/meminfo", 1u << 20);
  if (!text) return 0;
  for (const std::string& line : Lines(*text)) {
    unsigned long long kb = 0;
    if (std::sscanf(line.c_str(), "MemTotal: %llu kB", &kb) == 1) {
      return kb > UINT64_MAX / 1024 ? 0 : static_cast<uint64_t>(kb) * 1024;
    }
  }
  return 0;
}

std::string ReadOsPrettyName(const std::string& etc) {
  const std::string usr =
      (std::filesystem::path(etc).parent_path() / "usr" / "lib" / "os-release").string();
  for (const std::string& path : {etc + "/os-release", usr}) {
    const auto text = ReadTextFile(path, 64u << 10);
    if (!text) continue;
    for (const std::string& line : Lines(*text)) {
      std::string key, value;
      if (!SplitAt(line, '=', &key, &value) || key != "PRETTY_NAME") continue;
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      if (!value.empty()) return value;
    }
  }
  return "Linux";
}

uint16_t ArchitectureOfMachine(const std::string& machine) {
  if (machine == "x86_64" || machine == "amd64") return PROCESSOR_ARCH_X64;
  if (machine == "aarch64" || machine == "arm64") return PROCESSOR_ARCH_ARM64;
  if (machine == "ia64") return PROCESSOR_ARCH_IA64;
  if (machine.size() == 4 && machine[0] == 'i' && machine.substr(2) == "86")
    return PROCESSOR_ARCH_X86;
  return PROCESSOR_ARCH_UNKNOWN;
}

std::string PciDeviceName(const std::vector<std::string>& databases, uint16_t vendor,
                          uint16_t device) {
  for (const std::string& path : databases) {
    std::ifstream in(path);
    if (!in) continue;
    std::string line, vendorName;
    bool inVendor = false;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      if (line[0] != '\t') {
        if (inVendor) break;  // past the vendor's devices
        // The class list at the end ("C 01  Mass storage") is not vendors.
        const auto id = Hex16(line.substr(0, 4));
        inVendor = id && *id == vendor && line.size() > 6;
        if (inVendor) vendorName = base::Trim(line.substr(4));
      } else if (inVendor && line.size() > 6 && line[1] != '\t') {
        const auto id = Hex16(line.substr(1, 4));
        if (id && *id == device) return vendorName + " " + base::Trim(line.substr(5));
      }
    }
    return {};  // the first database that exists decides
  }
  return {};
}

std::vector<LinuxNetInterface> ListNetInterfaces(const LinuxRoots& roots) {
  std::vector<LinuxNetInterface> list;
  const std::string net = roots.Sys + "/class/net";
  for (const std::string& name : ListFolder(net)) {
    const std::string dir = net + "/" + name;
    LinuxNetInterface i;
    i.Name = name;
    i.Type = static_cast<uint32_t>(ReadSysNumber(dir + "/type").value_or(0));
    if (i.Type == ARPHRD_LOOPBACK_TYPE) continue;
    i.IfIndex = static_cast<uint32_t>(ReadSysNumber(dir + "/ifindex").value_or(0));
    i.Address = ParseMac(ReadSysText(dir + "/address").value_or(""));
    std::error_code ec;
    i.Physical = std::filesystem::exists(dir + "/device", ec);
    i.Driver = Basename(LinkTarget(dir + "/device/driver"));
    const auto vendor = Hex16(ReadSysText(dir + "/device/vendor").value_or(""));
    const auto device = Hex16(ReadSysText(dir + "/device/device").value_or(""));
    if (vendor && device) i.Description = PciDeviceName(roots.PciIds, *vendor, *device);
    if (i.Description.empty())
      i.Description = i.Driver.empty() ? name : name + " (" + i.Driver + ")";
    list.push_back(std::move(i));
  }
  std::stable_sort(
      list.begin(), list.end(),
      [](const LinuxNetInterface& a, const LinuxNetInterface& b) { return a.IfIndex < b.IfIndex; });
  return list;
}

std::map<std::string, std::vector<std::string>> ReadDefaultGateways(const std::string& proc) {
  const auto text = ReadTextFile(proc + "/net/route", 1u << 20);
  return text ? ParseDefaultGateways(*text) : std::map<std::string, std::vector<std::string>>{};
}

std::map<std::string, std::vector<std::string>> ParseDefaultGateways(const std::string& text) {
  std::map<std::string, std::vector<std::string>> gateways;
  const auto lines = Lines(text);
  for (size_t n = 1; n < lines.size(); ++n) {
    char iface[64] = {};
    unsigned destination = 0, gateway = 0, flags = 0;
    if (std::sscanf(lines[n].c_str(), "%63s %x %x %x", iface, &destination, &gateway, &flags) != 4)
      continue;
    if (destination != 0 || (flags & RTF_GATEWAY_FLAG) == 0) continue;
    // The file holds the address as the host reads the network-order bytes.
    char dotted[16];
    std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", gateway & 0xFF, gateway >> 8 & 0xFF,
                  gateway >> 16 & 0xFF, gateway >> 24 & 0xFF);
    gateways[iface].push_back(dotted);
  }
  return gateways;
}

std::vector<LinuxIpAddress> ReadIpAddresses() {
  std::vector<LinuxIpAddress> out;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return out;
  for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_name == nullptr) continue;
    char text[INET6_ADDRSTRLEN] = {};
    if (a->ifa_addr->sa_family == AF_INET) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
      if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) == nullptr) continue;
      out.push_back({a->ifa_name, text, false});
    } else if (a->ifa_addr->sa_family == AF_INET6) {
      const auto* in6 = reinterpret_cast<const sockaddr_in6*>(a->ifa_addr);
      if (inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text) == nullptr) continue;
      out.push_back({a->ifa_name, text, true});
    }
  }
  freeifaddrs(list);
  return out;
}

}  // namespace os
