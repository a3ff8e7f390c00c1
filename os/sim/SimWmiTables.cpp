#include "os/sim/SimWmiTables.h"
#include "base/Text.h"

#include <cctype>
#include <cstdio>

namespace os::sim {
namespace {

constexpr uint32_t MEDIA_REMOVABLE = 11;
constexpr uint32_t BUS_1394 = 0x04;
constexpr uint32_t BUS_USB = 0x07;
constexpr uint32_t BUS_SCSI = 0x01;
constexpr uint32_t BUS_RAID = 0x08;
constexpr uint32_t BUS_SAS = 0x0A;
constexpr uint32_t BUS_NVME = 0x11;

bool SameNamespace(const std::string& a, const std::string& b) {
  auto normal = [](const std::string& ns) {
    std::string l = base::LowerAscii(ns);
    if (l.rfind("\\\\.\\", 0) == 0) l = l.substr(4);
    std::string out;
    for (char c : l) {
      if (c == '/') c = '\\';
      if (c == '\\' && !out.empty() && out.back() == '\\') continue;
      out.push_back(c);
    }
    return out;
  };
  return normal(a) == normal(b);
}

// IDENTIFY text (byte-swapped words), trimmed.
std::string IdentifyText(const Sector& id, size_t from, size_t to) {
  std::string s;
  for (size_t i = from; i + 1 < to; i += 2) {
    if (id[i + 1] == 0) break;
    s.push_back(static_cast<char>(id[i + 1]));
    if (id[i] == 0) break;
    s.push_back(static_cast<char>(id[i]));
  }
  return base::Trim(s);
}

// "SELECT * FROM Win32_DiskDrive" and its variants.
bool SelectsDiskDrives(const std::string& wql) {
  std::string l = base::LowerAscii(wql);
  size_t from = l.find(" from ");
  return l.rfind("select ", 0) == 0 && from != std::string::npos &&
         base::Trim(l.substr(from + 6)) == "win32_diskdrive";
}

// Undoes the doubled backslashes of a WQL string literal.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) ++i;
    out.push_back(s[i]);
  }
  return out;
}

struct AssociatorsQuery {
  std::string Id;
  std::string AssocClass;
};

// ASSOCIATORS OF {Class.DeviceID="id"} WHERE AssocClass = Assoc
std::optional<AssociatorsQuery> ParseAssociators(const std::string& wql) {
  const std::string l = base::LowerAscii(wql);
  if (l.rfind("associators of {", 0) != 0) return std::nullopt;
  size_t open = wql.find('"');
  if (open == std::string::npos) return std::nullopt;
  size_t close = open + 1;
  while (close < wql.size() && wql[close] != '"') close += wql[close] == '\\' ? 2 : 1;
  if (close >= wql.size()) return std::nullopt;
  size_t where = l.find("assocclass", close);
  size_t equals = where == std::string::npos ? where : wql.find('=', where);
  if (equals == std::string::npos) return std::nullopt;
  AssociatorsQuery q;
  q.Id = Unescape(wql.substr(open + 1, close - open - 1));
  q.AssocClass = base::Trim(wql.substr(equals + 1));
  return q;
}

bool IsAssociationClass(const std::string& cls) {
  std::string l = base::LowerAscii(cls);
  return l == "win32_idecontrollerdevice" || l == "win32_scsicontrollerdevice" ||
         l == "win32_usbcontrollerdevice";
}

}  // namespace

WmiObject DerivedDiskDrive(const SimDisk& disk) {
  WmiObject o;
  char deviceId[40];
  std::snprintf(deviceId, sizeof(deviceId), "\\\\.\\PHYSICALDRIVE%d", disk.PhysicalDrive);
  o.Properties["DeviceID"] = std::string(deviceId);
  std::string model, firmware;
  bool nvme = false;
  if (disk.Identify) {
    model = IdentifyText(*disk.Identify, 54, 94);
    firmware = IdentifyText(*disk.Identify, 46, 54);
  } else if (disk.Nvme.Identify.size() >= 72) {
    // NVMe identify-controller data: model at bytes 24-63, firmware at
    // 64-71, both plain ASCII padded with blanks.
    nvme = true;
    model =
        base::Trim(std::string(disk.Nvme.Identify.begin() + 24, disk.Nvme.Identify.begin() + 64));
    firmware =
        base::Trim(std::string(disk.Nvme.Identify.begin() + 64, disk.Nvme.Identify.begin() + 72));
  }
  std::string interfaceType = "IDE";
  std::string mediaType = "Fixed hard disk media";
  if (disk.BusType == BUS_USB) {
    model += " USB Device";
    interfaceType = "USB";
    mediaType = "External hard disk media";
  } else if (disk.BusType == BUS_1394) {
    model += " IEEE 1394 SBP2 Device";
    interfaceType = "1394";
    mediaType = "External hard disk media";
  } else if (disk.BusType == BUS_NVME || disk.BusType == BUS_SCSI || disk.BusType == BUS_RAID ||
             disk.BusType == BUS_SAS) {
    interfaceType = "SCSI";
  }
  if (disk.MediaType == MEDIA_REMOVABLE) mediaType = "Removable Media";
  if (!disk.HasGeometry) mediaType.clear();
  o.Properties["Model"] = model;
  o.Properties["Caption"] = model;
  o.Properties["FirmwareRevision"] = firmware;
  o.Properties["InterfaceType"] = interfaceType;
  o.Properties["MediaType"] = mediaType;
  // WMI hands the 64-bit size as text.
  o.Properties["Size"] = std::to_string(disk.SectorCount() * 512);
  if (disk.ScsiPort >= 0) o.Properties["SCSIPort"] = int64_t{disk.ScsiPort};
  if (disk.ScsiTarget >= 0) o.Properties["SCSITargetId"] = int64_t{disk.ScsiTarget};
  if (disk.ScsiBus >= 0) o.Properties["SCSIBus"] = int64_t{disk.ScsiBus};
  std::string pnp = disk.PnpDeviceId;
  if (pnp.empty()) {
    // Windows names NVMe disks "SCSI\DISK&VEN_NVME&PROD_<model>\...".
    char made[64];
    std::snprintf(made, sizeof(made), "SCSI\\DISK&VEN_%s&PROD_DISK\\4&SIM&0&%02d0000",
                  nvme ? "NVME" : "SIM", disk.PhysicalDrive);
    pnp = made;
  }
  o.Properties["PNPDeviceID"] = pnp;
  return o;
}

std::optional<std::vector<WmiObject>> AnswerDiscoveryQuery(const SimMachine& machine,
                                                           const std::string& nameSpace,
                                                           const std::string& wql, bool* handled) {
  *handled = false;
  if (SelectsDiskDrives(wql)) {
    *handled = true;
    std::vector<WmiObject> rows;
    for (const SimWmiRow& row : machine.WmiRows) {
      if (SameNamespace(row.Namespace, nameSpace) &&
          base::LowerAscii(row.Class) == "win32_diskdrive") {
        rows.push_back(row.Object);
      }
    }
    if (!rows.empty()) return rows;
    for (const SimDisk& disk : machine.Disks) {
      if (disk.PhysicalDrive >= 0 && !disk.OpenError) rows.push_back(DerivedDiskDrive(disk));
    }
    return rows;
  }

  if (base::LowerAscii(wql).rfind("associators of", 0) != 0) return std::nullopt;
  *handled = true;
  std::optional<AssociatorsQuery> q = ParseAssociators(wql);
  if (!q) return std::nullopt;
  std::vector<WmiObject> rows;
  for (const SimWmiRow& link : machine.WmiRows) {
    if (!SameNamespace(link.Namespace, nameSpace) ||
        base::LowerAscii(link.Class) != base::LowerAscii(q->AssocClass) ||
        link.Object.String("Antecedent") != q->Id) {
      continue;
    }
    const std::string dependent = link.Object.String("Dependent");
    const WmiObject* found = nullptr;
    for (const SimWmiRow& row : machine.WmiRows) {
      if (SameNamespace(row.Namespace, nameSpace) && !IsAssociationClass(row.Class) &&
          row.Object.String("DeviceID") == dependent) {
        found = &row.Object;
        break;
      }
    }
    if (found) {
      rows.push_back(*found);
    } else {
      WmiObject bare;
      bare.Properties["DeviceID"] = dependent;
      rows.push_back(std::move(bare));
    }
  }
  return rows;
}

}  // namespace os::sim
