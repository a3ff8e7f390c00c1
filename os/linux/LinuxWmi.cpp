#include "os/linux/LinuxWmi.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

#include "base/DebugLog.h"
#include "base/Text.h"
#include "os/linux/LinuxSmbios.h"

namespace os {
namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// One part of a device instance id: upper case, blanks as '_', and none of
// the separators ('\\', '&') that discovery splits ids at.
std::string IdPart(const std::string& s, size_t limit) {
  std::string out = base::UpperAscii(Trim(s)).substr(0, limit);
  for (char& c : out) {
    if (c == ' ' || c == '\\' || c == '&' || c == '"' || c == '\'') c = '_';
  }
  return out;
}

std::string Hex4(uint32_t v) {
  char b[8];
  std::snprintf(b, sizeof(b), "%04X", v & 0xFFFF);
  return b;
}

std::string Join(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + " " + b;
}

bool IsUas(const LinuxDisk& d) { return d.Usb && d.Usb->Driver == "uas"; }

// The name Windows shows for a disk (Win32_DiskDrive.Model, the PnP name).
std::string FriendlyName(const LinuxDisk& d) {
  switch (d.Bus) {
    case LinuxDiskBus::Ata:
    case LinuxDiskBus::Nvme:
      return d.Model;
    case LinuxDiskBus::Usb:
      return Join(Join(d.Vendor, d.Model), IsUas(d) ? "SCSI Disk Device" : "USB Device");
    case LinuxDiskBus::Scsi:
      return Join(Join(d.Vendor, d.Model), "SCSI Disk Device");
    case LinuxDiskBus::Virtio:
      return d.Model.empty() ? "VirtIO Block Device" : d.Model;
    case LinuxDiskBus::Mmc:
      return d.Model.empty() ? "MMC Block Device" : d.Model;
    case LinuxDiskBus::Unknown:
      break;
  }
  return Join(d.Vendor, d.Model);
}

std::string DiskPnpId(const LinuxDisk& d) {
  if (d.Usb && !IsUas(d)) {
    std::string instance = d.Usb->Serial.empty() ? IdPart(d.Name, 64) : IdPart(d.Usb->Serial, 64);
    return "USBSTOR\\DISK&VEN_" + IdPart(d.Vendor, 8) + "&PROD_" + IdPart(d.Model, 16) + "&REV_" +
           IdPart(d.Revision, 4) + "\\" + instance + "&0";
  }
  std::string vendor = d.Bus == LinuxDiskBus::Nvme ? "NVME" : IdPart(d.Vendor, 8);
  return "SCSI\\DISK&VEN_" + vendor + "&PROD_" + IdPart(d.Model, 16) + "\\" + IdPart(d.Name, 32);
}

std::string UsbDeviceId(const LinuxUsbDevice& u) {
  return "USB\\VID_" + Hex4(u.VendorId) + "&PID_" + Hex4(u.ProductId) + "\\" +
         (u.Serial.empty() ? IdPart(u.Port, 32) : IdPart(u.Serial, 64));
}

enum class ControllerClass { None, Ide, Scsi, Usb };

ControllerClass ClassOf(const LinuxPciController& c) {
  uint32_t base = c.ClassCode >> 16;
  uint32_t sub = c.ClassCode >> 8 & 0xFF;
  if (base == 0x01)
    return (sub == 0x01 || sub == 0x06) ? ControllerClass::Ide : ControllerClass::Scsi;
  if (base == 0x0C && sub == 0x03) return ControllerClass::Usb;
  return ControllerClass::None;
}

// The names the system's own drivers give these controllers on Windows.
std::string ControllerName(const LinuxPciController& c) {
  uint32_t sub = c.ClassCode >> 8 & 0xFF;
  uint32_t prog = c.ClassCode & 0xFF;
  if (c.VendorId == 0x1AF4 && c.ClassCode >> 16 == 0x01) return "Red Hat VirtIO SCSI controller";
  if (c.ClassCode >> 16 == 0x0C) {
    switch (prog) {
      case 0x30:
        return "USB xHCI Compliant Host Controller";
      case 0x20:
        return "Standard Enhanced PCI to USB Host Controller";
      case 0x10:
        return "Standard OpenHCD USB Host Controller";
      default:
        return "Standard Universal PCI to USB Host Controller";
    }
  }
  switch (sub) {
    case 0x01:
      return "Standard Dual Channel PCI IDE Controller";
    case 0x06:
      return prog == 0x01 ? "Standard SATA AHCI Controller" : "Standard SATA Controller";
    case 0x08:
      return "Standard NVM Express Controller";
    case 0x04:
      return "Standard RAID Controller";
    case 0x07:
      return "Standard SAS Controller";
    case 0x00:
      return "Standard SCSI Controller";
    default:
      return "Standard Storage Controller";
  }
}

WmiObject PnpEntity(const std::string& id, const std::string& name) {
  WmiObject o;
  o.Properties["DeviceID"] = id;
  o.Properties["PNPDeviceID"] = id;
  o.Properties["Name"] = name;
  o.Properties["Caption"] = name;
  return o;
}

struct Controller {
  ControllerClass Class = ControllerClass::None;
  WmiObject Object;
  std::vector<WmiObject> Devices;
};

// Everything the queries answer from, built afresh for each query.
struct Inventory {
  std::vector<WmiObject> DiskDrives;
  std::vector<WmiObject> DiskEntities;  // parallel to DiskDrives
  std::vector<Controller> Controllers;
};

Inventory Build(const CSysfsDisks& sysfs) {
  Inventory inv;
  std::vector<LinuxDisk> disks = sysfs.DescribeAll();

  // Disks without a SCSI host get port numbers after the last host, one per
  // controller, as each NVMe controller is a port of its own on Windows.
  int32_t nextPort = 0;
  for (const auto& d : disks) nextPort = std::max(nextPort, d.ScsiHost + 1);
  std::map<std::string, int32_t> ports;

  std::map<std::string, size_t> controllerIndex;  // by PCI address
  auto controllerOf = [&inv, &controllerIndex](const LinuxPciController& pci) -> Controller* {
    ControllerClass cls = ClassOf(pci);
    if (cls == ControllerClass::None) return nullptr;
    auto it = controllerIndex.find(pci.Address);
    if (it != controllerIndex.end()) return &inv.Controllers[it->second];
    Controller c;
    c.Class = cls;
    std::string id = PciControllerId(pci);
    c.Object = PnpEntity(id, ControllerName(pci));
    controllerIndex[pci.Address] = inv.Controllers.size();
    inv.Controllers.push_back(std::move(c));
    return &inv.Controllers.back();
  };

  for (size_t index = 0; index < disks.size(); ++index) {
    const LinuxDisk& d = disks[index];
    std::string model = FriendlyName(d);
    std::string pnp = DiskPnpId(d);
    WmiObject o;
    auto& p = o.Properties;
    char deviceId[40];
    std::snprintf(deviceId, sizeof(deviceId), "\\\\.\\PHYSICALDRIVE%zu", index);
    p["DeviceID"] = std::string(deviceId);
    p["Name"] = std::string(deviceId);
    p["Index"] = static_cast<int64_t>(index);
    p["Model"] = model;
    p["Caption"] = model;
    p["FirmwareRevision"] = d.Revision;
    p["SerialNumber"] = d.Serial;
    p["PNPDeviceID"] = pnp;
    p["DevicePath"] = d.DevicePath;
    p["InterfaceType"] = std::string(d.Bus == LinuxDiskBus::Ata                ? "IDE"
                                     : d.Bus == LinuxDiskBus::Usb && !IsUas(d) ? "USB"
                                                                               : "SCSI");
    p["MediaType"] = std::string(d.Removable                  ? "Removable Media"
                                 : d.Bus == LinuxDiskBus::Usb ? "External hard disk media"
                                                              : "Fixed hard disk media");
    p["MediaLoaded"] = d.Sectors > 0;
    p["BytesPerSector"] = static_cast<int64_t>(d.LogicalBlockSize);
    if (d.Sectors > 0) {
      // Windows reports the size of the translated geometry, whole
      // cylinders of 255 heads by 63 sectors.
      uint64_t cylinderBytes = 255ull * 63 * d.LogicalBlockSize;
      uint64_t cylinders = d.Sectors * 512 / cylinderBytes;
      p["Size"] = std::to_string(cylinders * cylinderBytes);
      p["TotalCylinders"] = std::to_string(cylinders);
      p["TotalHeads"] = static_cast<int64_t>(255);
      p["SectorsPerTrack"] = static_cast<int64_t>(63);
      p["TracksPerCylinder"] = static_cast<int64_t>(255);
      p["TotalSectors"] = std::to_string(cylinders * 255 * 63);
    }
    if (d.ScsiHost >= 0) {
      p["SCSIPort"] = static_cast<int64_t>(d.ScsiHost);
      p["SCSIBus"] = static_cast<int64_t>(d.ScsiChannel);
      p["SCSITargetId"] = static_cast<int64_t>(d.ScsiTarget);
      p["SCSILogicalUnit"] = static_cast<int64_t>(d.ScsiLun);
    } else {
      std::string key = d.Controller ? d.Controller->Address : d.Name;
      if (!d.NvmeController.empty()) key = d.NvmeController;
      auto it = ports.find(key);
      if (it == ports.end()) it = ports.emplace(key, nextPort++).first;
      p["SCSIPort"] = static_cast<int64_t>(it->second);
      p["SCSIBus"] = static_cast<int64_t>(0);
      p["SCSITargetId"] = static_cast<int64_t>(0);
      p["SCSILogicalUnit"] = static_cast<int64_t>(d.NvmeNamespace > 0 ? d.NvmeNamespace - 1 : 0);
    }
    p["Status"] = std::string("OK");
    inv.DiskDrives.push_back(std::move(o));
    WmiObject entity = PnpEntity(pnp, model);
    inv.DiskEntities.push_back(entity);

    if (!d.Controller) continue;
    Controller* host = controllerOf(*d.Controller);
    if (!host) continue;
    if (d.Usb) {
      // Under the USB controller: the USB device, then (for a mass-storage
      // bridge) its disk. A UAS device is also a SCSI controller of its own.
      std::string usbId = UsbDeviceId(*d.Usb);
      if (IsUas(d)) {
        host->Devices.push_back(PnpEntity(usbId, "USB Attached SCSI (UAS) Mass Storage Device"));
        Controller uas;
        uas.Class = ControllerClass::Scsi;
        uas.Object = PnpEntity(usbId, "USB Attached SCSI (UAS) Mass Storage Device");
        uas.Devices.push_back(entity);
        inv.Controllers.push_back(std::move(uas));
      } else {
        host->Devices.push_back(PnpEntity(usbId, "USB Mass Storage Device"));
        host->Devices.push_back(entity);
      }
    } else {
      host->Devices.push_back(entity);
    }
  }
  return inv;
}

// Collapses doubled backslashes, as WQL strings carry them.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    out += s[i];
    if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '\\') ++i;
  }
  return out;
}

bool SameId(const std::string& a, const std::string& b) {
  return base::UpperAscii(Unescape(a)) == base::UpperAscii(Unescape(b));
}

struct Associators {
  std::string Class;   // "win32_idecontroller"
  std::string Key;     // the DeviceID value
  std::string Where;   // "assocclass" or "resultclass"
  std::string Target;  // "win32_idecontrollerdevice"
};

// ASSOCIATORS OF {Class.DeviceID="value"} WHERE AssocClass = Target
std::optional<Associators> ParseAssociators(const std::string& wql) {
  std::string lower = base::LowerAscii(wql);
  size_t open = lower.find('{');
  size_t close = lower.rfind('}');
  if (lower.rfind("associators of", 0) != 0 || open == std::string::npos ||
      close == std::string::npos || close < open) {
    return std::nullopt;
  }
  std::string object = wql.substr(open + 1, close - open - 1);
  size_t dot = object.find('.');
  size_t eq = object.find('=');
  if (dot == std::string::npos || eq == std::string::npos || eq < dot) return std::nullopt;
  Associators a;
  a.Class = base::LowerAscii(Trim(object.substr(0, dot)));
  std::string value = Trim(object.substr(eq + 1));
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
    value = value.substr(1, value.size() - 2);
  }
  a.Key = value;
  std::string rest = base::LowerAscii(wql.substr(close + 1));
  size_t where = rest.find("where");
  if (where == std::string::npos) return std::nullopt;
  std::string clause = rest.substr(where + 5);
  size_t ceq = clause.find('=');
  if (ceq == std::string::npos) return std::nullopt;
  a.Where = Trim(clause.substr(0, ceq));
  a.Target = Trim(clause.substr(ceq + 1));
  return a;
}

// SELECT <anything> FROM <Class>, without a WHERE clause.
std::optional<std::string> ParseSelect(const std::string& wql) {
  std::string lower = base::LowerAscii(Trim(wql));
  if (lower.rfind("select ", 0) != 0) return std::nullopt;
  size_t from = lower.find(" from ");
  if (from == std::string::npos) return std::nullopt;
  std::string cls = Trim(lower.substr(from + 6));
  if (cls.empty() || cls.find(' ') != std::string::npos) return std::nullopt;
  return cls;
}

const char* ClassName(ControllerClass c) {
  switch (c) {
    case ControllerClass::Ide:
      return "win32_idecontroller";
    case ControllerClass::Scsi:
      return "win32_scsicontroller";
    case ControllerClass::Usb:
      return "win32_usbcontroller";
    case ControllerClass::None:
      break;
  }
  return "";
}

}  // namespace

std::string PciControllerId(const LinuxPciController& c) {
  char cc[8];
  std::snprintf(cc, sizeof(cc), "%06X", c.ClassCode & 0xFFFFFF);
  return "PCI\\VEN_" + Hex4(c.VendorId) + "&DEV_" + Hex4(c.DeviceId) + "&CC_" + cc + "\\" +
         base::UpperAscii(c.Address);
}

bool IsScsiAdapterClass(uint32_t classCode) {
  uint32_t sub = classCode >> 8 & 0xFF;
  return classCode >> 16 == 0x01 && sub != 0x01 && sub != 0x06;
}

CLinuxWmi::CLinuxWmi(LinuxRoots roots, IpAddressSource addresses)
    : m_Disks(std::move(roots)), m_Addresses(std::move(addresses)) {}

std::optional<std::vector<WmiObject>> CLinuxWmi::Query(const std::string& nameSpace,
                                                       const std::string& wql) {
  std::string ns = base::LowerAscii(nameSpace);
  bool cimv2 = ns.size() >= 10 && ns.compare(ns.size() - 10, 10, "root\\cimv2") == 0;
  bool wmi = ns.size() >= 8 && ns.compare(ns.size() - 8, 8, "root\\wmi") == 0;

  if (wmi) {
    auto cls = ParseSelect(wql);
    if (cls && cls->rfind("msstoragedriver_", 0) == 0) return std::vector<WmiObject>{};
    // The firmware's SMBIOS table, for the memory modules.
    if (cls && *cls == "mssmbios_rawsmbiostables") return ReadRawSmbiosTables(m_Disks.Roots().Sys);
  }
  if (!cimv2) {
    base::DebugLogF("wmi: no namespace %s on this system", nameSpace.c_str());
    return std::nullopt;
  }

  if (auto selection = ParseWmiSelection(wql)) {
    if (auto objects = AnswerMachineClass(m_Disks.Roots(), selection->Class, m_Addresses)) {
      return FilterObjects(std::move(*objects), *selection);
    }
    if (selection->Class == "win32_pnpentity") {
      Inventory inv = Build(m_Disks);
      // The machine's own board is a device of every machine.
      std::vector<WmiObject> out = {PnpEntity("ROOT\\SYSTEM\\0000", "System board")};
      for (const auto& controller : inv.Controllers) {
        out.push_back(controller.Object);
        for (const auto& device : controller.Devices) out.push_back(device);
      }
      // A disk on no controller of ours is still a device of the machine.
      for (const auto& entity : inv.DiskEntities) {
        const bool listed = std::any_of(out.begin(), out.end(), [&](const WmiObject& o) {
          return SameId(o.String("DeviceID"), entity.String("DeviceID"));
        });
        if (!listed) out.push_back(entity);
      }
      const std::string host = ReadHostName(m_Disks.Roots().Proc);
      for (auto& o : out) {
        o.Properties["SystemName"] = host;
        o.Properties["SystemCreationClassName"] = std::string("Win32_ComputerSystem");
      }
      return FilterObjects(std::move(out), *selection);
    }
  }

  if (auto cls = ParseSelect(wql)) {
    if (*cls == "win32_diskdrive") return Build(m_Disks).DiskDrives;
    for (ControllerClass c : {ControllerClass::Ide, ControllerClass::Scsi, ControllerClass::Usb}) {
      if (*cls != ClassName(c)) continue;
      std::vector<WmiObject> out;
      for (const auto& controller : Build(m_Disks).Controllers) {
        if (controller.Class == c) out.push_back(controller.Object);
      }
      return out;
    }
    base::DebugLogF("wmi: class %s is not known here", cls->c_str());
    return std::nullopt;
  }

  if (auto a = ParseAssociators(wql)) {
    Inventory inv = Build(m_Disks);
    if (a->Class == "win32_diskdrive") {
      // The disk drive's own device.
      std::vector<WmiObject> out;
      for (size_t i = 0; i < inv.DiskDrives.size(); ++i) {
        if (SameId(inv.DiskDrives[i].String("DeviceID"), a->Key)) {
          out.push_back(inv.DiskEntities[i]);
        }
      }
      return out;
    }
    if (a->Class == "win32_pnpentity" && a->Target == "win32_scsicontrollerdevice") {
      std::vector<WmiObject> out;
      for (const auto& controller : inv.Controllers) {
        if (controller.Class != ControllerClass::Scsi) continue;
        for (const auto& device : controller.Devices) {
          if (SameId(device.String("DeviceID"), a->Key)) out.push_back(controller.Object);
        }
      }
      return out;
    }
    for (const auto& controller : inv.Controllers) {
      if (a->Class != ClassName(controller.Class)) continue;
      if (a->Target != std::string(ClassName(controller.Class)) + "device") continue;
      if (SameId(controller.Object.String("DeviceID"), a->Key)) return controller.Devices;
    }
    if (a->Target.find("controllerdevice") != std::string::npos) {
      return std::vector<WmiObject>{};  // a controller with no disks, or gone
    }
  }
  base::DebugLogF("wmi: query not understood here: %s", wql.c_str());
  return std::nullopt;
}

std::unique_ptr<IWmi> CreateLinuxWmi() { return std::make_unique<CLinuxWmi>(LinuxRoots{}); }

}  // namespace os
