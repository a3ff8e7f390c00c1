#include "os/linux/SysfsDisks.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <iterator>
#include <system_error>

#include "base/DebugLog.h"
#include "base/Text.h"
#include "os/wire/DiskPages.h"

namespace fs = std::filesystem;

namespace os {
namespace {

std::string TrimBoth(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// Text fields of a disk come from the device itself: anything outside
// printable ASCII is replaced so that logs and reports stay readable.
std::string Printable(const std::string& s) {
  std::string out = s;
  for (char& c : out) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E) c = '?';
  }
  return TrimBoth(out);
}

bool AllDigits(const std::string& s, size_t from, size_t to) {
  if (from >= to) return false;
  for (size_t i = from; i < to; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  }
  return true;
}

// "0000:00:1f.2"
bool IsPciAddress(const std::string& s) {
  if (s.size() != 12 || s[4] != ':' || s[7] != ':' || s[10] != '.') return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9, 11}) {
    if (!std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
  }
  return true;
}

// "2-1", "2-1.4.3": a USB device (not a root hub "usb2", not an interface).
bool IsUsbDevicePort(const std::string& s) {
  size_t dash = s.find('-');
  if (dash == std::string::npos || !AllDigits(s, 0, dash)) return false;
  size_t start = dash + 1;
  while (true) {
    size_t dot = s.find('.', start);
    size_t end = dot == std::string::npos ? s.size() : dot;
    if (!AllDigits(s, start, end)) return false;
    if (dot == std::string::npos) return true;
    start = dot + 1;
  }
}

// "2-1:1.0": an interface of a USB device.
bool IsUsbInterface(const std::string& s) {
  size_t colon = s.find(':');
  if (colon == std::string::npos || !IsUsbDevicePort(s.substr(0, colon))) return false;
  size_t dot = s.find('.', colon + 1);
  return dot != std::string::npos && AllDigits(s, colon + 1, dot) &&
         AllDigits(s, dot + 1, s.size());
}

// "ata3"
bool IsAtaPort(const std::string& s) {
  return base::StartsWith(s, "ata") && AllDigits(s, 3, s.size());
}

// "0:0:0:0" -> four numbers.
bool ParseScsiAddress(const std::string& s, int32_t out[4]) {
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    size_t end = i < 3 ? s.find(':', start) : s.size();
    if (end == std::string::npos || !AllDigits(s, start, end) || end - start > 6) return false;
    out[i] = std::stoi(s.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

std::string Resolve(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::canonical(path, ec);
  return ec ? path : p.string();
}

std::string LinkName(const std::string& path) {
  std::error_code ec;
  fs::path target = fs::read_symlink(path, ec);
  return ec ? std::string() : target.filename().string();
}

// ATA strings in IDENTIFY data: byte pairs swapped, blank padded.
std::string AtaString(const std::vector<uint8_t>& id, size_t offset, size_t length) {
  std::string s;
  for (size_t i = 0; i + 1 < length && offset + i + 1 < id.size(); i += 2) {
    s += static_cast<char>(id[offset + i + 1]);
    s += static_cast<char>(id[offset + i]);
  }
  size_t nul = s.find('\0');
  if (nul != std::string::npos) s.resize(nul);
  return Printable(s);
}

struct NameKey {
  int Group;
  std::string Name;
};

int NameGroup(const std::string& n) {
  if (base::StartsWith(n, "sd")) return 0;
  if (base::StartsWith(n, "nvme")) return 1;
  return 2;
}

// Reads at most `limit` bytes of `path` into `out`, with plain system calls:
// this runs for every attribute of every disk on each device request.
// Non-blocking, so a pipe in the tree cannot hang a probe; a read error ends
// the data where it happened, as for a short file.
std::optional<size_t> ReadUpTo(const std::string& path, uint8_t* out, size_t limit) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  size_t got = 0;
  while (got < limit) {
    ssize_t n = ::read(fd, out + got, limit - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  return got;
}

}  // namespace

std::optional<std::string> ReadSysText(const std::string& path) {
  // sysfs attributes are small; a runaway file is cut rather than read whole.
  uint8_t buffer[4096];
  auto got = ReadUpTo(path, buffer, sizeof(buffer));
  if (!got) return std::nullopt;
  std::string text(reinterpret_cast<const char*>(buffer), *got);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

std::optional<uint64_t> ReadSysNumber(const std::string& path) {
  auto text = ReadSysText(path);
  if (!text) return std::nullopt;
  std::string s = TrimBoth(*text);
  int base = 10;
  size_t i = 0;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    i = 2;
  }
  if (i >= s.size()) return std::nullopt;
  uint64_t value = 0;
  for (; i < s.size(); ++i) {
    int digit;
    auto c = static_cast<unsigned char>(s[i]);
    if (std::isdigit(c)) {
      digit = c - '0';
    } else if (base == 16 && std::isxdigit(c)) {
      digit = std::tolower(c) - 'a' + 10;
    } else {
      return std::nullopt;
    }
    if (value > (UINT64_MAX - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base)) {
      return std::nullopt;
    }
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  return value;
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ec;
  fs::directory_iterator it(path, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<std::vector<uint8_t>> ReadSysBytes(const std::string& path, size_t limit) {
  std::vector<uint8_t> bytes(limit);
  auto got = ReadUpTo(path, bytes.data(), limit);
  if (!got) return std::nullopt;
  bytes.resize(*got);
  return bytes;
}

bool HasRawIoCapability(const std::string& statusPath) {
  auto text = ReadSysText(statusPath);
  if (!text) return false;
  size_t at = text->find("CapEff:");
  if (at == std::string::npos) return false;
  at += 7;
  while (at < text->size() && std::isspace(static_cast<unsigned char>((*text)[at]))) ++at;
  uint64_t caps = 0;
  int digits = 0;
  for (; at < text->size() && std::isxdigit(static_cast<unsigned char>((*text)[at])) && digits < 16;
       ++at, ++digits) {
    char c = (*text)[at];
    caps = caps << 4 | static_cast<uint64_t>(std::isdigit(static_cast<unsigned char>(c))
                                                 ? c - '0'
                                                 : std::tolower(c) - 'a' + 10);
  }
  constexpr int CAP_SYS_RAWIO = 17;
  return digits > 0 && (caps >> CAP_SYS_RAWIO & 1) != 0;
}

bool LinuxDiskNameLess(const std::string& a, const std::string& b) {
  int ga = NameGroup(a);
  int gb = NameGroup(b);
  if (ga != gb) return ga < gb;
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    size_t ie = i;
    size_t je = j;
    while (ie < a.size() && (std::isdigit(static_cast<unsigned char>(a[ie])) != 0) == da) ++ie;
    while (je < b.size() && (std::isdigit(static_cast<unsigned char>(b[je])) != 0) == db) ++je;
    std::string ra = a.substr(i, ie - i);
    std::string rb = b.substr(j, je - j);
    if (da != db) return da;  // digits before letters
    if (da) {
      // Numbers by value: strip leading zeros, then shorter is smaller.
      ra.erase(0, std::min(ra.find_first_not_of('0'), ra.size()));
      rb.erase(0, std::min(rb.find_first_not_of('0'), rb.size()));
    }
    // Drive letters count up as sd names do: sdz < sdaa. Runs of different
    // kinds of device (mmcblk, vda) sort by name.
    bool sameKind = da || (ra.size() >= 2 && rb.size() >= 2 && ra.compare(0, 2, rb, 0, 2) == 0);
    if (sameKind && ra.size() != rb.size()) return ra.size() < rb.size();
    if (ra != rb) return ra < rb;
    i = ie;
    j = je;
  }
  return a.size() - i < b.size() - j;
}

bool IsIgnoredBlockName(const std::string& name) {
  static const char* const kPrefixes[] = {"loop", "ram", "zram", "dm-", "md", "sr", "fd", "nbd"};
  for (const char* p : kPrefixes) {
    if (base::StartsWith(name, p)) return true;
  }
  return false;
}

CSysfsDisks::CSysfsDisks(LinuxRoots roots) : m_Roots(std::move(roots)) {}

std::vector<std::string> CSysfsDisks::ListNames() const {
  std::vector<std::string> names;
  std::error_code ec;
  if (!fs::is_directory(m_Roots.Sys + "/block", ec)) {
    base::DebugLogF("sysfs: cannot list %s/block", m_Roots.Sys.c_str());
    return names;
  }
  for (const auto& name : ListFolder(m_Roots.Sys + "/block")) {
    if (IsIgnoredBlockName(name)) continue;
    // Paths of a multipath NVMe namespace are hidden; the head is the disk.
    if (ReadSysNumber(m_Roots.Sys + "/block/" + name + "/hidden").value_or(0) != 0) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end(), LinuxDiskNameLess);
  return names;
}

std::vector<LinuxDisk> CSysfsDisks::DescribeAll() const {
  std::vector<LinuxDisk> disks;
  for (const auto& name : ListNames()) {
    if (auto d = Describe(name)) disks.push_back(std::move(*d));
  }
  return disks;
}

std::optional<LinuxDisk> CSysfsDisks::Describe(const std::string& name) const {
  if (name.empty() || name.find('/') != std::string::npos || name[0] == '.') return std::nullopt;
  std::string dir = m_Roots.Sys + "/block/" + name;
  std::error_code ec;
  if (!fs::exists(dir, ec)) return std::nullopt;

  LinuxDisk disk;
  disk.Name = name;
  disk.DevicePath = "/dev/" + name;
  disk.NodePath = m_Roots.Dev + "/" + name;
  disk.SysPath = Resolve(dir);

  if (auto size = ReadSysNumber(dir + "/size")) {
    disk.Sectors = *size;
  } else {
    base::DebugLogF("sysfs: %s: no readable size", name.c_str());
  }
  if (auto bs = ReadSysNumber(dir + "/queue/logical_block_size")) {
    if (*bs >= 512 && *bs <= 65536 && (*bs & (*bs - 1)) == 0) {
      disk.LogicalBlockSize = static_cast<uint32_t>(*bs);
    } else {
      base::DebugLogF("sysfs: %s: odd logical block size %llu", name.c_str(),
                      static_cast<unsigned long long>(*bs));
    }
  }
  disk.Removable = ReadSysNumber(dir + "/removable").value_or(0) != 0;

  DescribeAncestors(disk);
  if (base::StartsWith(name, "nvme")) {
    disk.Bus = LinuxDiskBus::Nvme;
    DescribeNvme(disk);
  } else if (base::StartsWith(name, "vd")) {
    disk.Bus = LinuxDiskBus::Virtio;
    disk.Serial = Printable(ReadSysText(dir + "/serial").value_or(""));
  } else if (base::StartsWith(name, "mmcblk")) {
    disk.Bus = LinuxDiskBus::Mmc;
    disk.Model = Printable(ReadSysText(dir + "/device/name").value_or(""));
    disk.Serial = Printable(ReadSysText(dir + "/device/serial").value_or(""));
  } else if (fs::exists(dir + "/device", ec)) {
    DescribeScsi(disk, dir + "/device");
  }
  if (disk.Model.empty()) base::DebugLogF("sysfs: %s: empty model", name.c_str());
  return disk;
}

void CSysfsDisks::DescribeAncestors(LinuxDisk& disk) const {
  // /sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb
  std::string pciPath;
  std::string usbPath;
  std::string usbInterfacePath;
  bool underAta = false;
  fs::path walked;
  for (const auto& part : fs::path(disk.SysPath)) {
    walked /= part;
    std::string s = part.string();
    if (IsPciAddress(s)) {
      pciPath = walked.string();
    } else if (IsUsbDevicePort(s)) {
      usbPath = walked.string();
    } else if (IsUsbInterface(s)) {
      usbInterfacePath = walked.string();
    } else if (IsAtaPort(s)) {
      underAta = true;
    }
  }
  if (!pciPath.empty()) {
    LinuxPciController pci;
    pci.Address = fs::path(pciPath).filename().string();
    pci.ClassCode = static_cast<uint32_t>(ReadSysNumber(pciPath + "/class").value_or(0) & 0xFFFFFF);
    pci.VendorId = static_cast<uint16_t>(ReadSysNumber(pciPath + "/vendor").value_or(0));
    pci.DeviceId = static_cast<uint16_t>(ReadSysNumber(pciPath + "/device").value_or(0));
    disk.Controller = pci;
  }
  if (!usbPath.empty()) {
    LinuxUsbDevice usb;
    usb.Port = fs::path(usbPath).filename().string();
    // idVendor and idProduct are four hex digits without "0x".
    auto hex = [](const std::string& path) -> std::optional<uint16_t> {
      auto text = ReadSysText(path);
      if (!text || text->empty() || text->size() > 4) return std::nullopt;
      uint32_t v = 0;
      for (char c : *text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        v = v * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                                               ? c - '0'
                                               : std::tolower(c) - 'a' + 10);
      }
      return static_cast<uint16_t>(v);
    };
    auto vid = hex(usbPath + "/idVendor");
    auto pid = hex(usbPath + "/idProduct");
    if (!vid || !pid) {
      base::DebugLogF("sysfs: %s: USB device %s has no readable idVendor/idProduct",
                      disk.Name.c_str(), usb.Port.c_str());
    }
    usb.VendorId = vid.value_or(0);
    usb.ProductId = pid.value_or(0);
    usb.Manufacturer = Printable(ReadSysText(usbPath + "/manufacturer").value_or(""));
    usb.Product = Printable(ReadSysText(usbPath + "/product").value_or(""));
    usb.Serial = Printable(ReadSysText(usbPath + "/serial").value_or(""));
    if (!usbInterfacePath.empty()) usb.Driver = LinkName(usbInterfacePath + "/driver");
    disk.Usb = usb;
    disk.Bus = LinuxDiskBus::Usb;
  } else if (underAta) {
    disk.Bus = LinuxDiskBus::Ata;
  }
}

void CSysfsDisks::DescribeScsi(LinuxDisk& disk, const std::string& deviceDir) const {
  std::string resolved = Resolve(deviceDir);
  int32_t address[4];
  if (ParseScsiAddress(fs::path(resolved).filename().string(), address)) {
    disk.ScsiHost = address[0];
    disk.ScsiChannel = address[1];
    disk.ScsiTarget = address[2];
    disk.ScsiLun = address[3];
  } else {
    base::DebugLogF("sysfs: %s: device is not at a SCSI address", disk.Name.c_str());
  }
  if (disk.Bus == LinuxDiskBus::Unknown) disk.Bus = LinuxDiskBus::Scsi;
  disk.Vendor = Printable(ReadSysText(deviceDir + "/vendor").value_or(""));
  disk.Model = Printable(ReadSysText(deviceDir + "/model").value_or(""));
  disk.Revision = Printable(ReadSysText(deviceDir + "/rev").value_or(""));

  // Unit serial number page: 4-byte header, then the serial.
  if (auto pg80 = ReadSysBytes(deviceDir + "/vpd_pg80", 260)) {
    if (pg80->size() >= 4 && (*pg80)[1] == 0x80) {
      size_t len =
          std::min<size_t>(static_cast<size_t>((*pg80)[2] << 8 | (*pg80)[3]), pg80->size() - 4);
      disk.Serial =
          Printable(std::string(pg80->begin() + 4, pg80->begin() + 4 + static_cast<long>(len)));
    }
  }
  // ATA information page: the disk's own IDENTIFY data from byte 60 on,
  // which has the full model and firmware where INQUIRY cuts them to 16
  // and 4 characters.
  if (auto pg89 = ReadSysBytes(deviceDir + "/vpd_pg89", 572)) {
    if (pg89->size() >= 572 && (*pg89)[1] == 0x89) {
      std::vector<uint8_t> id(pg89->begin() + 60, pg89->begin() + 572);
      using namespace pages;
      std::string model = AtaString(id, ATA_MODEL_AT, ATA_MODEL_SIZE);
      if (!model.empty()) {
        disk.Model = model;
        disk.Revision = AtaString(id, ATA_FIRMWARE_AT, ATA_FIRMWARE_SIZE);
        disk.Serial = AtaString(id, ATA_SERIAL_AT, ATA_SERIAL_SIZE);
      }
    } else {
      base::DebugLogF("sysfs: %s: vpd_pg89 too short or not page 89h", disk.Name.c_str());
    }
  }
}

void CSysfsDisks::DescribeNvme(LinuxDisk& disk) const {
  std::string dir = m_Roots.Sys + "/block/" + disk.Name;
  std::string ctrl = LinkName(dir + "/device");
  auto isCtrl = [](const std::string& s) {
    return base::StartsWith(s, "nvme") && AllDigits(s, 4, s.size());
  };
  if (!isCtrl(ctrl)) {
    // A multipath head: its paths are nvme<subsys>c<ctrl>n<ns> under multipath/.
    ctrl.clear();
    for (const auto& path : ListFolder(dir + "/multipath")) {
      size_t c = path.find('c', 4);
      size_t n = c == std::string::npos ? std::string::npos : path.find('n', c);
      if (n != std::string::npos && AllDigits(path, c + 1, n)) {
        ctrl = "nvme" + path.substr(c + 1, n - c - 1);
        break;
      }
    }
  }
  if (ctrl.empty()) {
    // Last resort: the namespace's own name, nvme<N>n<M>.
    size_t n = disk.Name.find('n', 4);
    if (n != std::string::npos && AllDigits(disk.Name, 4, n)) ctrl = disk.Name.substr(0, n);
  }
  if (ctrl.empty()) {
    base::DebugLogF("sysfs: %s: no NVMe controller found", disk.Name.c_str());
    return;
  }
  disk.NvmeController = ctrl;
  if (auto nsid = ReadSysNumber(dir + "/nsid")) {
    disk.NvmeNamespace = static_cast<uint32_t>(*nsid);
  } else {
    size_t n = disk.Name.rfind('n');
    if (n != std::string::npos && n > 4 && AllDigits(disk.Name, n + 1, disk.Name.size()) &&
        disk.Name.size() - n - 1 <= 9) {
      disk.NvmeNamespace = static_cast<uint32_t>(std::stoul(disk.Name.substr(n + 1)));
    }
  }
  std::string cdir = m_Roots.Sys + "/class/nvme/" + ctrl;
  disk.Model = Printable(ReadSysText(cdir + "/model").value_or(""));
  disk.Serial = Printable(ReadSysText(cdir + "/serial").value_or(""));
  disk.Revision = Printable(ReadSysText(cdir + "/firmware_rev").value_or(""));
  if (!disk.Controller) {
    // A multipath head lives under /sys/devices/virtual; its controller's
    // PCI function is found through the controller.
    std::string saved = disk.SysPath;
    disk.SysPath = Resolve(cdir);
    DescribeAncestors(disk);
    disk.SysPath = saved;
  }
}

std::vector<std::string> CSysfsDisks::DisksBelow(const std::string& blockName) const {
  std::vector<std::string> out;
  DisksBelow(blockName, 0, out);
  return out;
}

void CSysfsDisks::DisksBelow(const std::string& blockName, int depth,
                             std::vector<std::string>& out) const {
  if (depth > 8 || blockName.empty() || blockName.find('/') != std::string::npos ||
      blockName[0] == '.') {
    return;
  }
  std::string dir = m_Roots.Sys + "/class/block/" + blockName;
  std::error_code ec;
  if (!fs::exists(dir, ec)) return;
  auto add = [&out](const std::string& n) {
    if (std::find(out.begin(), out.end(), n) == out.end()) out.push_back(n);
  };
  if (fs::exists(dir + "/partition", ec)) {
    add(fs::path(Resolve(dir)).parent_path().filename().string());
    return;
  }
  bool hadSlaves = false;
  std::vector<std::string> slaves = ListFolder(dir + "/slaves");
  std::sort(slaves.begin(), slaves.end(), LinuxDiskNameLess);
  for (const auto& s : slaves) {
    hadSlaves = true;
    DisksBelow(s, depth + 1, out);
  }
  if (!hadSlaves && !IsIgnoredBlockName(blockName)) add(blockName);
}

}  // namespace os
