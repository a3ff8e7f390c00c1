// Disk discovery: rebuilds the disk list from WMI, the physical drives and
// (optionally) the SCSI ports, orders it, maps drive letters and tells the
// caller whether the set of disks moved.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/DebugLog.h"
#include "base/Text.h"
#include "engine/AtaSmart.h"
#include "os/wire/DeviceNames.h"
#include "os/wire/WinIoctl.h"

using base::DebugLog;
using base::DebugLogF;
using winio::PhysicalDriveName;

namespace {

constexpr int PHYSICAL_DRIVE_SCAN = 56;  // \\.\PhysicalDrive0 .. 55
constexpr int SCSI_PORT_SCAN = 16;       // \\.\Scsi0: .. 15:
constexpr int SCSI_TARGET_SCAN = 8;
constexpr int DRIVE_MASK_COUNT = 256;  // one letter mask per disk number 0..255
constexpr size_t WMI_MAX_CONTROLLERS = 256;
constexpr size_t WMI_MAX_DEVICES = 256;
constexpr size_t SAS_PORT_IDENTIFIER = 28;  // bPortIdentifier in the CSMI phy entity
constexpr uint32_t STORAGE_DESCRIPTOR_BUFFER = 4096;
constexpr uint32_t FIXED_MEDIA = 12;  // MEDIA_TYPE FixedMedia
constexpr uint32_t MAX_VOLUME_EXTENTS = 4;
constexpr const char* WINMGMT = "Winmgmt";
constexpr const char* CIMV2 = "root\\cimv2";

// Found at a position after the first character (the text's Find() > 0).
bool ContainsAfterFirst(const std::string& s, const char* part) {
  size_t at = s.find(part);
  return at != std::string::npos && at > 0;
}

void EraseAll(std::string& s, const char* part) {
  const size_t n = std::strlen(part);
  for (size_t at = s.find(part); at != std::string::npos; at = s.find(part, at)) s.erase(at, n);
}

// Removes `part` everywhere; tells whether it was there.
bool Strip(std::string& s, const char* part) {
  if (!base::Contains(s, part)) return false;
  EraseAll(s, part);
  return true;
}

// Leading decimal number with an optional sign, 0 when there is none
// (wide atoi). Saturates instead of overflowing.
int64_t LeadingInt(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  int64_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    if (v < INT64_MAX / 10 - 10) v = v * 10 + (s[i] - '0');
  }
  return negative ? -v : v;
}

// Hexadecimal digits from the start of `s` (at most eight), 0 when none.
int32_t LeadingHex(const std::string& s) {
  uint32_t v = 0;
  for (size_t i = 0; i < s.size() && i < 8; ++i) {
    int c = std::tolower(static_cast<unsigned char>(s[i]));
    int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    if (d < 0) break;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  return static_cast<int32_t>(v);
}

// "\\.\PHYSICALDRIVE12" -> 12, "\\.\PHYSICALDRIVE3" -> 3, "" -> -1.
int32_t DriveNumberFromDeviceId(const std::string& deviceId) {
  if (deviceId.empty()) return -1;
  if (deviceId.size() >= 2) {
    int64_t two = LeadingInt(deviceId.substr(deviceId.size() - 2));
    if (two >= 10) return static_cast<int32_t>(two);
  }
  return static_cast<int32_t>(LeadingInt(deviceId.substr(deviceId.size() - 1)));
}

std::string DoubleBackslashes(const std::string& s) {
  std::string out;
  out.reserve(s.size() + 8);
  for (char c : s) {
    out += c;
    if (c == '\\') out += '\\';
  }
  return out;
}

// The first 8 characters with their blanks removed: how the WMI model and
// the IDENTIFY model are compared.
std::string ModelHead(const std::string& s) {
  std::string head = s.substr(0, 8);
  EraseAll(head, " ");
  return head;
}

// A NUL-terminated string at `offset` inside the first `size` bytes of
// `buffer`; empty when the offset is 0 or outside.
std::string DescriptorString(const uint8_t* buffer, uint32_t size, uint32_t offset) {
  if (offset == 0 || offset >= size) return {};
  std::string s;
  for (uint32_t i = offset; i < size && buffer[i] != 0; ++i) {
    // Code-page text; only its ASCII part matters for the model rules.
    s += buffer[i] < 0x80 ? static_cast<char>(buffer[i]) : '?';
  }
  return s;
}

// Models the disk engine leaves alone: a firmware of these Samsung disks
// corrupts data when asked for IDENTIFY while writing, and tiered volumes
// show a virtual disk that is no disk at all.
bool IsExcludedModel(const std::string& model, const std::string& firmware,
                     bool workaroundHD204UI) {
  if (workaroundHD204UI &&
      (base::StartsWith(model, "SAMSUNG HD155UI") || base::StartsWith(model, "SAMSUNG HD204UI")) &&
      !base::StartsWith(firmware, "1AQ10003")) {
    return true;
  }
  return base::Contains(model, "FuzeDrive") || base::Contains(model, "StoreMI");
}

DISK_POSITION PositionOf(const ATA_SMART_INFO& asi) {
  DISK_POSITION p;
  p.PhysicalDriveId = asi.PhysicalDriveId;
  p.ScsiPort = asi.ScsiPort;
  p.ScsiTargetId = asi.ScsiTargetId;
  p.SasPhyEntity = asi.SasPhyEntity;
  return p;
}

// One run of Init. Holds what lives only for that run.
class CDiscoveryRun {
 public:
  explicit CDiscoveryRun(CAtaSmart& ata) : m_Ata(ata), m_Os(ata.Platform()) {}

  bool BuildControllerMap();
  void WakeUpFixedDrives();
  void EnumerateDiskDrives();
  void PhysicalDrivePass();
  void ScsiPortScan();
  void MapDriveLetters();

 private:
  struct Geometry {
    bool Ok = false;
    uint32_t MediaType = 0;
  };
  struct StorageDescriptor {
    bool Ok = false;
    std::string Model;
    std::string Firmware;
    uint32_t BusType = 0;
  };

  Geometry QueryGeometry(os::IDeviceHandle& device);
  StorageDescriptor QueryStorageDescriptor(os::IDeviceHandle& device);
  void ScanIdeControllers();
  void ScanScsiControllers();
  bool ScanUsbControllers();
  std::vector<os::WmiObject> Associators(const char* controllerClass, const std::string& id,
                                         const char* assocClass);
  void AppendControllerToMap(const std::string& deviceId, const std::string& name, const char* kind,
                             const std::vector<os::WmiObject>& devices);
  void ProcessDiskDrive(const os::WmiObject& drive);
  void FinishWmiRecord(int32_t index, const std::string& size, const std::string& modelWmi,
                       const std::string& interfaceTypeWmi, bool isUasp);

  CAtaSmart& m_Ata;
  const os::Platform& m_Os;
  std::vector<std::string> m_MappedControllers;
  bool m_RemovableWanted = false;
};

std::vector<os::WmiObject> CDiscoveryRun::Associators(const char* controllerClass,
                                                      const std::string& id,
                                                      const char* assocClass) {
  std::string wql = std::string("ASSOCIATORS OF {") + controllerClass + ".DeviceID=\"" +
                    DoubleBackslashes(id) + "\"} WHERE AssocClass = " + assocClass;
  auto devices = m_Os.Wmi.Query(CIMV2, wql);
  if (!devices) return {};
  if (devices->size() > WMI_MAX_DEVICES) devices->resize(WMI_MAX_DEVICES);
  return std::move(*devices);
}

void CDiscoveryRun::AppendControllerToMap(const std::string& deviceId, const std::string& name,
                                          const char* kind,
                                          const std::vector<os::WmiObject>& devices) {
  if (std::find(m_MappedControllers.begin(), m_MappedControllers.end(), deviceId) !=
      m_MappedControllers.end()) {
    return;
  }
  m_MappedControllers.push_back(deviceId);
  m_Ata.m_ControllerMap += name + " [" + kind + "]\r\n";
  for (const auto& device : devices)
    m_Ata.m_ControllerMap += " - " + device.String("Name") + "\r\n";
}

// The channel number a PCIIDE channel adds after the controller's name.
std::string ChannelSuffix(const std::string& deviceId) {
  if (!base::StartsWith(deviceId, "PCIIDE\\IDECHANNEL") || deviceId.empty()) return {};
  return std::string(" (") + deviceId.back() + ")";
}

void CDiscoveryRun::ScanIdeControllers() {
  auto controllers = m_Os.Wmi.Query(CIMV2, "select Name, DeviceID from Win32_IDEController");
  if (!controllers) {
    DebugLog("EX:Win32_IDEController");
    return;
  }
  size_t count = 0;
  for (const auto& controller : *controllers) {
    if (++count > WMI_MAX_CONTROLLERS) break;
    std::string deviceId = controller.String("DeviceID");
    std::string name = controller.String("Name") + ChannelSuffix(deviceId);
    if (base::StartsWith(name, "NVIDIA")) m_Ata.m_FlagNvidiaController = true;
    if (base::StartsWith(name, "Marvell")) m_Ata.m_FlagMarvellController = true;
    auto devices = Associators("Win32_IDEController", deviceId, "Win32_IDEControllerDevice");
    AppendControllerToMap(deviceId, name, "ATA", devices);
  }
  DebugLog("OK:Win32_IDEController");
}

void CDiscoveryRun::ScanScsiControllers() {
  auto controllers = m_Os.Wmi.Query(CIMV2, "select Name, DeviceID from Win32_SCSIController");
  if (!controllers) {
    DebugLog("EX:Win32_SCSIController");
    return;
  }
  size_t count = 0;
  for (const auto& controller : *controllers) {
    if (++count > WMI_MAX_CONTROLLERS) break;
    std::string deviceId = controller.String("DeviceID");
    std::string name = controller.String("Name");
    if (base::StartsWith(name, "DVDFab Virtual Drive")) continue;
    if (base::StartsWith(name, "NVIDIA")) m_Ata.m_FlagNvidiaController = true;
    if (base::StartsWith(name, "Marvell")) m_Ata.m_FlagMarvellController = true;

    const bool uasp = base::Contains(name, "USB") || base::Contains(name, "UAS");
    const bool black = !m_Ata.m_FlagAdvancedDiskSearch && (base::StartsWith(name, "VIA VT6410") ||
                                                           base::StartsWith(name, "ITE IT8212"));
    int64_t siliconImage = 0;
    if (base::StartsWith(name, "Silicon Image SiI ")) {
      siliconImage = LeadingInt(name.substr(std::strlen("Silicon Image SiI ")));
    } else if (base::StartsWith(name, "BUFFALO IFC-PCI2ES")) {
      siliconImage = 3112;
    } else if (base::StartsWith(name, "BUFFALO IFC-PCIE2SA")) {
      siliconImage = 3132;
    }
    if (siliconImage < 0 || siliconImage > UINT32_MAX) siliconImage = 0;
    auto devices = Associators("Win32_SCSIController", deviceId, "Win32_SCSIControllerDevice");
    for (const auto& device : devices) {
      std::string id = device.String("DeviceID");
      if (uasp) m_Ata.m_UaspControllerList.push_back(id);
      if (black) m_Ata.m_BlackScsiControllerList.push_back(id);
      if (siliconImage != 0) {
        m_Ata.m_SiliconImageControllerList.push_back(id);
        m_Ata.m_SiliconImageTypeList.push_back(static_cast<uint32_t>(siliconImage));
      }
    }
    AppendControllerToMap(deviceId, name, "SCSI", devices);
  }
  DebugLog("OK:Win32_SCSIController");
}

// Pairs each USB mass-storage device with the vendor and product of the USB
// device listed just before it on its controller. False when the controller
// query could not be run.
bool CDiscoveryRun::ScanUsbControllers() {
  auto controllers = m_Os.Wmi.Query(CIMV2, "select Name, DeviceID from Win32_USBController");
  if (!controllers) {
    DebugLog("EX:Win32_USBController");
    return false;
  }
  size_t count = 0;
  for (const auto& controller : *controllers) {
    if (++count > WMI_MAX_CONTROLLERS) break;
    auto devices = Associators("Win32_USBController", controller.String("DeviceID"),
                               "Win32_USBControllerDevice");
    std::string previousId;
    for (const auto& device : devices) {
      std::string id = device.String("DeviceID");
      if (base::Contains(base::UpperAscii(id), "USBSTOR")) {
        EXTERNAL_DISK_INFO info;
        info.Enclosure = device.String("Name");
        std::string part;
        auto takePart = [&info](const std::string& p) {
          std::string up = base::UpperAscii(p);
          if (base::StartsWith(up, "VID_")) info.UsbVendorId = LeadingHex(p.substr(4));
          if (base::StartsWith(up, "PID_")) info.UsbProductId = LeadingHex(p.substr(4));
        };
        for (char c : previousId) {
          if (c == '\\' || c == '&') {
            takePart(part);
            part.clear();
          } else {
            part += c;
          }
        }
        takePart(part);
        m_Ata.m_ExternalDiskList.push_back(info);
      }
      previousId = id;
    }
  }
  DebugLog("OK:Win32_USBController");
  for (const auto& info : m_Ata.m_ExternalDiskList) {
    DebugLogF("VID=%04Xh, PID=%04Xh", static_cast<unsigned>(info.UsbVendorId),
              static_cast<unsigned>(info.UsbProductId));
  }
  return true;
}

bool CDiscoveryRun::BuildControllerMap() {
  ScanIdeControllers();
  ScanScsiControllers();
  DebugLog("--ControllerMap--\r\n" + m_Ata.m_ControllerMap);
  return ScanUsbControllers();
}

CDiscoveryRun::Geometry CDiscoveryRun::QueryGeometry(os::IDeviceHandle& device) {
  std::array<uint8_t, sizeof(winio::DISK_GEOMETRY)> geometry{};
  uint32_t returned = 0, error = 0;
  Geometry result;
  if (device.Control(winio::CTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, geometry.data(),
                     static_cast<uint32_t>(geometry.size()), &returned, &error) &&
      returned == geometry.size()) {
    result.Ok = true;
    result.MediaType = winio::Load32(&geometry[offsetof(winio::DISK_GEOMETRY, MediaType)]);
  }
  return result;
}

CDiscoveryRun::StorageDescriptor CDiscoveryRun::QueryStorageDescriptor(os::IDeviceHandle& device) {
  std::array<uint8_t, sizeof(winio::STORAGE_PROPERTY_QUERY)> query{};
  winio::Store32(&query[offsetof(winio::STORAGE_PROPERTY_QUERY, PropertyId)],
                 winio::PROPERTY_STORAGE_DEVICE);
  winio::Store32(&query[offsetof(winio::STORAGE_PROPERTY_QUERY, QueryType)],
                 winio::PROPERTY_STANDARD_QUERY);
  std::vector<uint8_t> buffer(STORAGE_DESCRIPTOR_BUFFER, 0);
  uint32_t returned = 0, error = 0;
  StorageDescriptor result;
  if (!device.Control(winio::CTL_STORAGE_QUERY_PROPERTY, query.data(),
                      static_cast<uint32_t>(query.size()), buffer.data(), STORAGE_DESCRIPTOR_BUFFER,
                      &returned, &error)) {
    return result;
  }
  // Only the bytes the driver returned are read.
  const uint32_t size = std::min(returned, STORAGE_DESCRIPTOR_BUFFER);
  using Descriptor = winio::STORAGE_DEVICE_DESCRIPTOR;
  if (!winio::Fits(size, offsetof(Descriptor, BusType), 4)) return result;
  const uint8_t* d = buffer.data();
  result.Ok = true;
  result.Model =
      DescriptorString(d, size, winio::Load32(d + offsetof(Descriptor, ProductIdOffset)));
  result.Firmware =
      DescriptorString(d, size, winio::Load32(d + offsetof(Descriptor, ProductRevisionOffset)));
  result.BusType = winio::Load32(d + offsetof(Descriptor, BusType));
  return result;
}

// Spins up every fixed disk before WMI's disks are probed, so that sleeping
// disks answer the probes that follow.
void CDiscoveryRun::WakeUpFixedDrives() {
  DebugLogF("\tline%d before search physical drive", __LINE__);
  for (int32_t i = 0; i < PHYSICAL_DRIVE_SCAN; ++i) {
    uint32_t error = 0;
    auto device = m_Os.Devices.Open(PhysicalDriveName(i), os::Access::ReadWrite, &error);
    if (!device) {
      DebugLogF("\tline%d GetIoCtrlHandle(%d) fail", __LINE__, i);
      continue;
    }
    DebugLogF("\tline%d DeviceIoControl - IOCTL_DISK_GET_DRIVE_GEOMETRY", __LINE__);
    Geometry geometry = QueryGeometry(*device);
    device.reset();
    if (geometry.Ok && geometry.MediaType == FIXED_MEDIA) {
      DebugLogF("\tline%d FixedMedia, WakeUp(%d)", __LINE__, i);
      m_Ata.WakeUp(i);
    }
  }
}

// The "DW C" family: a model whose leading bytes come out pairwise swapped
// ("WDC " read as "DW C") was read in the wrong byte order.
void CheckReverse(CAtaSmart& ata, int32_t index) {
  DebugLog("Check Reverse");
  ATA_SMART_INFO& asi = ata.vars[index];
  static const char* const kSwappedMakers[] = {"DW C", "iHat", "ASSM", "aMtx", "OTHS", "UFIJ"};
  for (const char* swapped : kSwappedMakers) {
    if (base::StartsWith(asi.Model, swapped)) {
      DebugLog("Reverse");
      asi.SerialNumber = asi.SerialNumberReverse;
      asi.FirmwareRev = asi.FirmwareRevReverse;
      asi.Model = asi.ModelReverse;
      asi.ModelSerial = CAtaSmart::GetModelSerial(asi.Model, asi.SerialNumber);
      return;
    }
  }
}

void CDiscoveryRun::ProcessDiskDrive(const os::WmiObject& drive) {
  const std::string size = drive.String("Size");
  const std::string deviceId = drive.String("DeviceID");
  const std::string model = drive.String("Model");
  const std::string firmware = drive.String("FirmwareRevision");
  const int32_t scsiPort = static_cast<int32_t>(drive.Int("SCSIPort", -1));
  const int32_t scsiTargetId = static_cast<int32_t>(drive.Int("SCSITargetId", -1));
  const int32_t scsiBus = static_cast<int32_t>(drive.Int("SCSIBus", -1));
  const std::string mediaType = base::LowerAscii(drive.String("MediaType"));
  const std::string interfaceTypeWmi = drive.String("InterfaceType");
  const std::string pnpDeviceId = base::UpperAscii(drive.String("PNPDeviceID"));
  DebugLog("diskSize:" + size);
  DebugLog("deviceId:" + deviceId);
  DebugLog("model:" + model);
  DebugLog("mediaType:" + mediaType);
  DebugLog("interfaceTypeWmi:" + interfaceTypeWmi);
  DebugLog("pnpDeviceId:" + pnpDeviceId);
  const int32_t physicalDriveId = DriveNumberFromDeviceId(deviceId);

  bool flagTarget;
  if (base::StartsWith(model, "SanDisk Extreme") ||
      base::StartsWith(model, "Kingston DT Ultimate") || m_Ata.m_FlagUsbMemory) {
    flagTarget = true;
    m_RemovableWanted = true;
  } else {
    flagTarget = !(mediaType.empty() || base::Contains(mediaType, "removable"));
  }

  // A disk without a PNP id cannot be told to sit on any controller (an
  // empty id would be "found" inside every entry).
  auto onList = [&pnpDeviceId](const std::vector<std::string>& list) -> int {
    if (pnpDeviceId.empty()) return -1;
    for (size_t i = 0; i < list.size(); ++i) {
      if (base::Contains(list[i], pnpDeviceId.c_str())) return static_cast<int>(i);
    }
    return -1;
  };
  const bool isUasp = onList(m_Ata.m_UaspControllerList) >= 0;
  if (isUasp) DebugLog("UASPController:" + pnpDeviceId);
  int32_t siliconImageType = 0;
  if (int at = onList(m_Ata.m_SiliconImageControllerList); at >= 0) {
    DebugLog("SiliconImageController:" + pnpDeviceId);
    if (static_cast<size_t>(at) < m_Ata.m_SiliconImageTypeList.size()) {
      siliconImageType = static_cast<int32_t>(m_Ata.m_SiliconImageTypeList[at]);
    }
  }
  if (onList(m_Ata.m_BlackScsiControllerList) >= 0) {
    DebugLog("BlackScsiController:" + pnpDeviceId);
    return;
  }

  DebugLogF("DO:GetDiskInfo pd=%d, sp=%d, st=%d, mt=%s", physicalDriveId, scsiPort, scsiTargetId,
            mediaType.c_str());
  int32_t interfaceType = INTERFACE_TYPE_UNKNOWN;
  bool flagNvme = false;
  const bool nvmeNamed = base::Contains(model, "NVMe ") || base::Contains(pnpDeviceId, "NVME");
  if (base::Contains(interfaceTypeWmi, "1394") ||
      ContainsAfterFirst(model, " IEEE 1394 SBP2 Device")) {
    DebugLog("INTERFACE_TYPE_IEEE1394");
    interfaceType = INTERFACE_TYPE_IEEE1394;
  } else if (base::Contains(interfaceTypeWmi, "USB") || ContainsAfterFirst(model, " USB Device") ||
             isUasp) {
    DebugLog("INTERFACE_TYPE_USB");
    interfaceType = INTERFACE_TYPE_USB;
    flagNvme = nvmeNamed;
  } else if (nvmeNamed) {
    DebugLog("INTERFACE_TYPE_NVME");
    interfaceType = INTERFACE_TYPE_NVME;
  } else {
    flagTarget = true;
  }

  int32_t usbVendorId = 0, usbProductId = 0;
  for (const auto& external : m_Ata.m_ExternalDiskList) {
    if (!external.Enclosure.empty() && base::StartsWith(model, external.Enclosure.c_str())) {
      usbVendorId = external.UsbVendorId;
      usbProductId = external.UsbProductId;
      DebugLogF("usbVendorId=%04X, usbProductId=%04X", static_cast<unsigned>(usbVendorId),
                static_cast<unsigned>(usbProductId));
    }
  }

  if (m_Ata.m_FlagAdvancedDiskSearch && mediaType.empty()) flagTarget = true;
  if (IsExcludedModel(model, firmware, m_Ata.m_FlagWorkaroundHD204UI)) flagTarget = false;

  DebugLog("flagTarget && GetDiskInfo");
  const int32_t countBefore = m_Ata.vars.GetCount();
  if (!flagTarget ||
      !m_Ata.GetDiskInfo(physicalDriveId, scsiPort, scsiTargetId, interfaceType, usbVendorId,
                         usbProductId, scsiBus, siliconImageType, m_Ata.m_FlagNvidiaController,
                         m_Ata.m_FlagMarvellController, pnpDeviceId, flagNvme)) {
    return;
  }
  DebugLog("int index = (int)vars.GetCount() - 1;");
  // A disk that replaced a duplicate leaves the count as it was; its record
  // is still the last one.
  const int32_t count = m_Ata.vars.GetCount();
  const int32_t lowest = std::min(countBefore, count - 1);
  for (int32_t index = count - 1; index >= lowest && index >= 0; --index) {
    FinishWmiRecord(index, size, model, interfaceTypeWmi, isUasp);
  }
}

void CDiscoveryRun::FinishWmiRecord(int32_t index, const std::string& size,
                                    const std::string& modelWmi,
                                    const std::string& interfaceTypeWmi, bool isUasp) {
  ATA_SMART_INFO& asi = m_Ata.vars[index];
  if (!size.empty()) {
    // A size below the 49 MB every capacity loses (or no number at all)
    // leaves the WMI size unknown rather than wrapping around to 4 PB, and
    // an unknown size replaces nothing.
    const int64_t mb = std::max<int64_t>(LeadingInt(size), 0) / 1024 / 1024;
    asi.DiskSizeWmi = mb > 49 ? static_cast<uint32_t>(std::min<int64_t>(mb - 49, UINT32_MAX)) : 0;
    if (asi.DiskSizeWmi != 0 &&
        (asi.TotalDiskSize == 0 || (asi.TotalDiskSize >= 1024 && asi.TotalDiskSize <= 10239))) {
      asi.TotalDiskSize = asi.DiskSizeWmi;
    }
  }
  asi.ModelWmi = modelWmi;
  std::string model = modelWmi;
  for (const char* suffix : {" SCSI Disk Device", " SATA Disk Device", " ATA Disk Device",
                             " SCSI Device", " SATA Device", " ATA Device", "NVMe "}) {
    EraseAll(model, suffix);
  }

  bool external = true;
  if (isUasp) {
    asi.Interface = "UASP (" + asi.Interface + ")";
    asi.InterfaceType = INTERFACE_TYPE_USB;
    asi.IsUasp = 1;
  } else if (Strip(model, " USB Device") || base::Contains(interfaceTypeWmi, "USB")) {
    asi.Interface = "USB (" + asi.Interface + ")";
    asi.InterfaceType = INTERFACE_TYPE_USB;
  } else if (Strip(model, " IEEE 1394 SBP2 Device") || base::Contains(interfaceTypeWmi, "1394")) {
    asi.Interface = "IEEE 1394 (" + asi.Interface + ")";
    asi.InterfaceType = INTERFACE_TYPE_IEEE1394;
  } else {
    external = false;
  }
  if (external && !asi.ModelWmi.empty()) {
    for (const auto& info : m_Ata.m_ExternalDiskList) {
      if (base::StartsWith(info.Enclosure, asi.ModelWmi.c_str())) {
        asi.Enclosure = info.Enclosure;
        asi.UsbVendorId = info.UsbVendorId;
        asi.UsbProductId = info.UsbProductId;
      }
    }
  }

  if (asi.Model.empty()) {
    DebugLog("WmiModel: " + model);
    DebugLog("SerialNumber: " + asi.SerialNumber);
    DebugLog("vars.RemoveAt(index) - 1");
    m_Ata.vars.RemoveAt(index);
    return;
  }
  if (!isUasp && !model.empty()) {
    const std::string a = ModelHead(model);
    const std::string b = ModelHead(asi.Model);
    const std::string c = ModelHead(asi.ModelReverse);
    if (a != b && a == c) {
      asi.SerialNumber = asi.SerialNumberReverse;
      asi.FirmwareRev = asi.FirmwareRevReverse;
      asi.Model = asi.ModelReverse;
      asi.ModelSerial = CAtaSmart::GetModelSerial(asi.Model, asi.SerialNumber);
    } else if (a != b && a != c && asi.InterfaceType != INTERFACE_TYPE_USB) {
      DebugLog("WmiModel: " + model);
      DebugLog("Model: " + asi.Model);
      DebugLog("SerialNumber: " + asi.SerialNumber);
      DebugLog("DISABLED: vars.RemoveAt(index) - 2");
    }
  }
  DebugLog("OK:Check Model Name");
}

void CDiscoveryRun::EnumerateDiskDrives() {
  DebugLog("DO:SELECT * FROM Win32_DiskDrive");
  auto drives = m_Os.Wmi.Query(CIMV2, "SELECT * FROM Win32_DiskDrive");
  DebugLog("OK1:SELECT * FROM Win32_DiskDrive");
  if (!drives) {
    DebugLog("pEnumCOMDevs == NULL");
    return;
  }
  for (const auto& drive : *drives) {
    DebugLog(
        "while(pEnumCOMDevs && SUCCEEDED(pEnumCOMDevs->Next(10000, 1, &pCOMDev, &uReturned)))");
    ProcessDiskDrive(drive);
  }
  DebugLog("uReturned != 1");
  DebugLog("OK2:SELECT * FROM Win32_DiskDrive");
}

void CDiscoveryRun::PhysicalDrivePass() {
  for (int32_t i = 0; i < PHYSICAL_DRIVE_SCAN; ++i) {
    bool known = false;
    for (const auto& asi : m_Ata.vars) known = known || asi.PhysicalDriveId == i;
    if (known) continue;

    uint32_t error = 0;
    auto device = m_Os.Devices.Open(PhysicalDriveName(i), os::Access::ReadWrite, &error);
    if (!device) continue;
    Geometry geometry = QueryGeometry(*device);
    if (!geometry.Ok || geometry.MediaType != FIXED_MEDIA) continue;
    StorageDescriptor descriptor = QueryStorageDescriptor(*device);
    if (IsExcludedModel(descriptor.Model, descriptor.Firmware, m_Ata.m_FlagWorkaroundHD204UI)) {
      continue;
    }
    DebugLog("USB-HDD Check");
    descriptor = QueryStorageDescriptor(*device);
    DebugLog("Check Bus Type");
    device.reset();
    int32_t interfaceType = INTERFACE_TYPE_UNKNOWN;
    int32_t usbVendorId = 0, usbProductId = 0;
    if (descriptor.Ok && descriptor.BusType == winio::BUS_USB) {
      DebugLog("Bus Type = USB");
      interfaceType = INTERFACE_TYPE_USB;
      usbVendorId = 0xFFFF;
    }
    DebugLog("DO:GetDiskInfo");
    if (m_Ata.GetDiskInfo(i, -1, -1, interfaceType, usbVendorId, usbProductId, -1, 0,
                          m_Ata.m_FlagNvidiaController, m_Ata.m_FlagMarvellController, "", false)) {
      DebugLog("OK:GetDiskInfo");
      const int32_t last = m_Ata.vars.GetCount() - 1;
      CheckReverse(m_Ata, last);
      if (interfaceType == INTERFACE_TYPE_USB) {
        m_Ata.vars[last].Interface = "USB (" + m_Ata.vars[last].Interface + ")";
      }
    }
  }
}

void CDiscoveryRun::ScsiPortScan() {
  for (int32_t port = 0; port < SCSI_PORT_SCAN; ++port) {
    for (int32_t id = 0; id < SCSI_TARGET_SCAN; ++id) {
      if (m_Ata.GetDiskInfo(-1, port, id, INTERFACE_TYPE_UNKNOWN, 0, 0, -1, 0,
                            m_Ata.m_FlagNvidiaController, m_Ata.m_FlagMarvellController, "",
                            false)) {
        CheckReverse(m_Ata, m_Ata.vars.GetCount() - 1);
      }
    }
  }
  DebugLog("OK:GetDiskInfo - Scsi");
}

void CDiscoveryRun::MapDriveLetters() {
  DebugLog("Drive Letter Mapping - Start");
  std::array<uint32_t, DRIVE_MASK_COUNT> masks{};
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const uint32_t bit = 1u << (letter - 'A');
    os::DriveType type =
        m_Os.Volumes ? m_Os.Volumes->DriveTypeOf(letter) : os::DriveType::NoRootDir;
    const bool taken = type == os::DriveType::Fixed ||
                       (m_RemovableWanted && type == os::DriveType::Removable && letter >= 'C');
    if (!taken) {
      DebugLog("Drive Letter Mapping - != DRIVE_FIXED");
      continue;
    }
    uint32_t error = 0;
    auto volume = m_Os.Devices.Open(winio::VolumeName(letter), os::Access::ReadWrite, &error);
    if (!volume) {
      DebugLog("Drive Letter Mapping - INVALID_HANDLE_VALUE");
      continue;
    }
    // Room for four extents; a volume on more disks fails with "more data".
    using Extents = winio::VOLUME_DISK_EXTENTS;
    constexpr size_t EXTENTS_AT = offsetof(Extents, Extents);
    constexpr size_t EXTENT_SIZE = sizeof(winio::DISK_EXTENT);
    std::array<uint8_t, EXTENTS_AT + MAX_VOLUME_EXTENTS * EXTENT_SIZE> extents{};
    uint32_t returned = 0;
    if (!volume->Control(winio::CTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, extents.data(),
                         static_cast<uint32_t>(extents.size()), &returned, &error) ||
        returned < 4) {
      DebugLog("Drive Letter Mapping - bResult == FALSE");
      continue;
    }
    const uint32_t count = winio::Load32(&extents[offsetof(Extents, NumberOfDiskExtents)]);
    DebugLogF("volumeDiskExtents.NumberOfDiskExtents = %u", count);
    const size_t size = std::min<size_t>(returned, extents.size());
    for (uint32_t k = 0; k < count && k < MAX_VOLUME_EXTENTS; ++k) {
      // Only extents inside the returned bytes count.
      const size_t at = EXTENTS_AT + k * EXTENT_SIZE;
      if (!winio::Fits(size, at, EXTENT_SIZE)) break;
      const uint32_t diskNumber =
          winio::Load32(&extents[at + offsetof(winio::DISK_EXTENT, DiskNumber)]);
      const uint64_t length =
          winio::Load64(&extents[at + offsetof(winio::DISK_EXTENT, ExtentLength)]);
      if (length != 0 && diskNumber < DRIVE_MASK_COUNT) {
        DebugLogF("n = %u, pDiskExtent->DiskNumber = %u", k, diskNumber);
        masks[diskNumber] |= bit;
      }
    }
  }
  DebugLog("Drive Letter Mapping - End");

  for (auto& asi : m_Ata.vars) {
    if (asi.PhysicalDriveId < 0) continue;
    // Where drive letters do not exist, the disk is known by its device node.
    asi.DevicePath = m_Os.Devices.DevicePath(asi.PhysicalDriveId);
    const std::vector<std::string> mountPoints = m_Os.Devices.MountPoints(asi.PhysicalDriveId);
    const uint32_t mask = asi.PhysicalDriveId < DRIVE_MASK_COUNT ? masks[asi.PhysicalDriveId] : 0u;
    for (int k = 0; k < 26; ++k) {
      if (!(mask & (1u << k))) continue;
      const char letter = static_cast<char>('A' + k);
      asi.DriveLetterMap |= 1u << k;
      asi.DriveMap += letter;
      asi.DriveMap += ": \n";
      asi.DriveMapLine += letter;
      asi.DriveMapLine += ": ";
    }
    // Where the platform has no drive letters, the disk's mount points take
    // their place, one per line; DriveLetterMap stays 0.
    for (const std::string& mountPoint : mountPoints) {
      asi.DriveMap += mountPoint + "\n";
      asi.DriveMapLine += mountPoint + " ";
    }
    asi.DriveMap = base::TrimRight(asi.DriveMap);
    asi.DriveMapLine = base::TrimRight(asi.DriveMapLine);
  }
}

// Physical drives ascending; disks reached only through CSMI (no drive)
// first, ordered by the port they hang on.
bool DiskOrder(const ATA_SMART_INFO& a, const ATA_SMART_INFO& b) {
  if (a.PhysicalDriveId == -1 && b.PhysicalDriveId == -1) {
    return a.SasPhyEntity[SAS_PORT_IDENTIFIER] < b.SasPhyEntity[SAS_PORT_IDENTIFIER];
  }
  return a.PhysicalDriveId < b.PhysicalDriveId;
}

}  // namespace

bool CAtaSmart::IsWinmgmtRunning() {
  if (!m_Platform.Services) return true;
  return m_Platform.Services->IsRunning(WINMGMT);
}

bool CAtaSmart::StartWinmgmt() {
  os::IServiceControl* services = m_Platform.Services;
  if (!services) return true;
  std::optional<uint32_t> state = services->QueryState(WINMGMT);
  if (!state) return false;
  if (*state == os::SERVICE_STATE_RUNNING) return true;
  auto running = [&state] { return state && *state == os::SERVICE_STATE_RUNNING; };
  auto completed = [] {
    DebugLog("StartService Completed : SERVICE_RUNNING");
    return true;
  };

  DebugLogF("sStatus.dwCurrentState:%08X", *state);
  DebugLog("StartService - 1");
  services->Start(WINMGMT);
  DebugLog("QueryServiceStatus - 1");
  for (uint32_t wait : {0u, 100u, 200u, 300u}) {
    m_Platform.Clock.Sleep(wait);
    DebugLog("Sleep");
    state = services->QueryState(WINMGMT);
    if (running()) return completed();
  }

  services->ConfigureAutoStart(WINMGMT);
  DebugLog("QueryServiceStatus - 2");
  state = services->QueryState(WINMGMT);
  for (int attempt = 0; attempt < 10; ++attempt) {
    DebugLog("StartService - 2");
    services->Start(WINMGMT);
    if (running()) return completed();
    m_Platform.Clock.Sleep(500);
    DebugLog("Sleep");
    state = services->QueryState(WINMGMT);
  }
  return running() ? completed() : false;
}

void CAtaSmart::Init(bool useWmi, bool advancedDiskSearch, int32_t* flagChangeDisk,
                     bool workaroundHD204UI, bool hideNoSmartDisk) {
  DebugLog("===== CAtaSmart::Init() Begin =====");
  m_FlagAdvancedDiskSearch = advancedDiskSearch;
  m_FlagWorkaroundHD204UI = workaroundHD204UI;
  m_FlagWmiReady = false;
  m_FlagNvidiaController = false;
  m_FlagMarvellController = false;

  std::vector<DISK_POSITION> previous;
  if (flagChangeDisk) {
    DebugLogF("\tline%d flagChangeDisk != NULL", __LINE__);
    *flagChangeDisk = 0;
    for (const auto& asi : vars) previous.push_back(PositionOf(asi));
  }

  vars.RemoveAll();
  m_ExternalDiskList.clear();
  m_ControllerMap.clear();
  m_BlackScsiControllerList.clear();
  m_SiliconImageControllerList.clear();
  m_UaspControllerList.clear();
  m_SiliconImageTypeList.clear();

  CDiscoveryRun run(*this);
  if (useWmi) {
    DebugLogF("\tline%d before useWmi", __LINE__);
    DebugLog("CAtaSmart::Init WMI on - Start");
    bool serviceUp = true;
    if (!IsWinmgmtRunning()) {
      DebugLog("Waiting... Winmgmt");
      if (!StartWinmgmt()) {
        DebugLog("NG:WMI Init 3");
        serviceUp = false;
      }
    }
    if (serviceUp) {
      DebugLog("CoInitializeSecurity()");
      DebugLog("CoCreateInstance()");
      os::WmiConnectResult connect =
          m_Platform.Wmi.Connect(CIMV2, m_OsVersionInfo.MajorVersion >= 6);
      switch (connect.FailedStep) {
        case os::WmiConnectStep::Locator:
          DebugLog("NG:WMI Init 1");
          break;
        case os::WmiConnectStep::Connect:
          DebugLog("ConnectServer()");
          DebugLog("NG:WMI Init 2");
          break;
        case os::WmiConnectStep::ProxyBlanket:
          DebugLog("ConnectServer()");
          DebugLog("CoSetProxyBlanket()");
          DebugLogF("NG:WMI Init - %08X", connect.Error);
          break;
        case os::WmiConnectStep::Ok:
          DebugLog("ConnectServer()");
          DebugLog("CoSetProxyBlanket()");
          m_FlagWmiReady = true;
          DebugLog("OK:WMI Init");
          break;
      }
    }
    if (m_FlagWmiReady && run.BuildControllerMap()) {
      run.WakeUpFixedDrives();
      m_CsmiType = 1;
      for (int32_t port = 0; port < 16; ++port) AddDiskCsmi(port);
      run.EnumerateDiskDrives();
    }
  } else {
    DebugLog("CAtaSmart::Init WMI off - Start");
  }

  run.PhysicalDrivePass();
  DebugLog("OK:GetDiskInfo - PhysicalDrive");

  std::stable_sort(vars.Items().begin(), vars.Items().end(), DiskOrder);
  DebugLog("OK:qsort");

  if (m_FlagAdvancedDiskSearch) run.ScsiPortScan();

  run.MapDriveLetters();

  m_LastInitTick = m_Platform.Clock.TickCount();
  DebugLog("CAtaSmart::Init - Complete");

  if (hideNoSmartDisk) {
    for (int32_t i = vars.GetCount() - 1; i >= 0; --i) {
      if (vars[i].AttributeCount == 0) vars.RemoveAt(i);
    }
  }

  // Compared after hiding: the saved positions are those of the list the
  // caller saw, which had its disks without S.M.A.R.T. hidden too.
  if (flagChangeDisk) {
    bool changed = static_cast<size_t>(vars.GetCount()) != previous.size();
    for (int32_t i = 0; !changed && i < vars.GetCount(); ++i) {
      changed = !(PositionOf(vars[i]) == previous[static_cast<size_t>(i)]);
    }
    if (changed) *flagChangeDisk = 1;
  }
}
