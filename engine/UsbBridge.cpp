// Disks in USB enclosures: ATA commands wrapped in the SCSI command blocks
// that each kind of USB-to-ATA bridge understands, and the order in which
// admission tries the bridges.
#include <cstdio>
#include <cstring>

#include "base/DebugLog.h"
#include "engine/AtaSmart.h"
#include "engine/PathUtil.h"
#include "os/wire/WinIoctlPaths.h"

using namespace winio;

namespace {

// One bridge form: its CDB length and the CDB of each operation, written as
// the bytes go on the wire. "dd" is the device (A0 or B0), "ff" the SET
// FEATURES feature value, "cc" its sector count.
struct BridgeForm {
  int32_t CommandType;
  uint8_t CdbLength;
  const char* Cdb[5];  // indexed by SAT_OPERATION
};

const BridgeForm kBridgeForms[] = {
    {CMD_TYPE_SAT,
     12,
     {"A1 08 0E 00 01 00 00 00 dd EC 00 00", "A1 08 0E D0 01 01 4F C2 dd B0 00 00",
      "A1 08 0E D1 01 01 4F C2 dd B0 00 00", "A1 06 0E D8 00 01 4F C2 dd B0 00 00",
      "A1 06 0E ff cc 00 00 00 dd EF 00 00"}},
    {CMD_TYPE_SUNPLUS,
     12,
     {"F8 00 22 10 01 00 01 00 00 00 dd EC", "F8 00 22 10 01 D0 01 00 4F C2 dd B0",
      "F8 00 22 10 01 D1 01 01 4F C2 dd B0", "F8 00 22 10 01 D8 01 00 4F C2 dd B0",
      "F8 00 22 10 01 ff cc 00 00 00 dd EF"}},
    {CMD_TYPE_IO_DATA,
     12,
     {"E3 00 00 01 01 00 00 dd EC 00 00 00", "E3 00 D0 00 00 4F C2 dd B0 00 00 00",
      "E3 00 D1 00 00 4F C2 dd B0 00 00 00", "E3 00 D8 00 00 4F C2 dd B0 00 00 00",
      "E3 00 ff cc 00 00 00 dd EF 00 00 00"}},
    {CMD_TYPE_LOGITEC1,
     10,
     {"E0 00 00 00 00 00 00 dd EC 4C", "E0 00 D0 00 00 4F C2 dd B0 4C",
      "E0 00 D1 00 00 4F C2 dd B0 4C", "E0 00 D8 00 00 4F C2 dd B0 4C",
      "E0 00 ff cc 00 00 00 dd EF 4C"}},
    {CMD_TYPE_LOGITEC2,
     16,
     {"D8 15 00 00 06 7B 00 00 02 00 01 00 00 00 dd EC",
      "D8 15 00 D0 06 7B 00 00 02 00 01 00 4F C2 dd B0",
      "D8 15 00 D1 06 7B 00 00 02 00 01 01 4F C2 dd B0",
      "D8 15 00 D8 06 7B 00 00 02 00 01 00 4F C2 dd B0",
      "D8 15 00 ff 06 7B 00 00 00 00 cc 00 00 00 dd EF"}},
    {CMD_TYPE_JMICRON,
     12,
     {"DF 10 00 02 00 00 01 00 00 00 dd EC", "DF 10 00 02 00 D0 01 01 4F C2 dd B0",
      "DF 10 00 02 00 D1 01 01 4F C2 dd B0", "DF 10 00 02 00 D8 01 01 4F C2 dd B0",
      "DF 10 00 02 00 ff cc 00 00 00 dd EF"}},
    {CMD_TYPE_CYPRESS,
     16,
     {"24 24 00 BE 01 00 00 01 00 00 00 dd EC 00 00 00",
      "24 24 00 BE 01 00 D0 00 00 4F C2 dd B0 00 00 00",
      "24 24 00 BE 01 00 D1 00 00 4F C2 dd B0 00 00 00",
      "24 24 00 BE 00 00 D8 00 00 4F C2 dd B0 00 00 00",
      "24 24 00 BE 00 00 ff cc 00 00 00 dd EF 00 00 00"}},
    {CMD_TYPE_PROLIFIC,
     12,
     {"A1 1C 0E 00 01 00 00 00 dd EC 00 00", "A1 1C 0E D0 01 01 4F C2 dd B0 00 00",
      "A1 1C 0E D1 01 01 4F C2 dd B0 00 00", "A1 1C 0E D8 00 01 4F C2 dd B0 00 00",
      "A1 1C 0E ff cc 00 00 00 dd EF 00 00"}},
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Expands one table text into bytes; false when it is malformed or its
// length differs from the form's.
bool ExpandCdb(const char* text, uint8_t length, uint8_t target, uint8_t features, uint8_t count,
               uint8_t* cdb) {
  std::memset(cdb, 0, 16);
  size_t n = 0;
  for (const char* p = text; *p != 0;) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    if (p[1] == 0 || n >= 16) return false;
    if (p[0] == 'd' && p[1] == 'd') {
      cdb[n] = target;
    } else if (p[0] == 'f' && p[1] == 'f') {
      cdb[n] = features;
    } else if (p[0] == 'c' && p[1] == 'c') {
      cdb[n] = count;
    } else {
      int hi = HexDigit(p[0]);
      int lo = HexDigit(p[1]);
      if (hi < 0 || lo < 0) return false;
      cdb[n] = static_cast<uint8_t>(hi * 16 + lo);
    }
    ++n;
    p += 2;
  }
  return n == length;
}

bool IsBridgeType(int32_t commandType) {
  return commandType >= CMD_TYPE_SAT && commandType <= CMD_TYPE_PROLIFIC;
}

// Sends one bridge command. For the reading operations `data` receives the
// 512-byte sector, and the request counts only when the whole buffer came
// back and the sector is not all zero.
bool SendBridgeCommand(CAtaSmart& ata, int32_t physicalDriveId, int32_t commandType,
                       int32_t operation, uint8_t target, uint8_t features, uint8_t count,
                       uint8_t* data) {
  uint8_t cdb[16];
  uint8_t cdbLength = 0;
  if (physicalDriveId < 0 ||
      !CAtaSmart::BuildSatCdb(commandType, operation, target, features, count, cdb, &cdbLength)) {
    return false;
  }
  auto handle =
      paths::OpenForCommands(ata.Platform().Devices, paths::PhysicalDriveName(physicalDriveId));
  if (!handle) return false;

  const bool reading = data != nullptr;
  SCSI_PASS_THROUGH_WITH_BUFFERS sptwb;
  std::memset(&sptwb, 0, sizeof(sptwb));
  constexpr uint32_t kDataOffset = offsetof(SCSI_PASS_THROUGH_WITH_BUFFERS, DataBuf);
  constexpr uint32_t kFullLength = kDataOffset + 512;
  SCSI_PASS_THROUGH& spt = sptwb.Spt;
  spt.Length = sizeof(SCSI_PASS_THROUGH);
  spt.CdbLength = cdbLength;
  spt.SenseInfoLength = 24;
  spt.DataIn = SPT_DATA_IN;
  spt.DataTransferLength = reading ? 512 : 0;
  spt.TimeOutValue = 2;
  spt.DataBufferOffset = kDataOffset;
  spt.SenseInfoOffset = offsetof(SCSI_PASS_THROUGH_WITH_BUFFERS, SenseBuf);
  std::memcpy(spt.Cdb, cdb, sizeof(cdb));

  uint32_t returned = 0;
  uint32_t error = 0;
  const uint32_t outLength = reading ? kFullLength : kDataOffset;
  if (!handle->Control(CTL_SCSI_PASS_THROUGH, &sptwb, sizeof(SCSI_PASS_THROUGH), &sptwb, outLength,
                       &returned, &error)) {
    return false;
  }
  if (!reading) return true;
  if (returned != kFullLength) return false;
  if (paths::ByteSum(sptwb.DataBuf, 512) == 0) return false;
  std::memcpy(data, sptwb.DataBuf, 512);
  return true;
}

}  // namespace

bool CAtaSmart::BuildSatCdb(int32_t commandType, int32_t operation, uint8_t target,
                            uint8_t features, uint8_t count, uint8_t* cdb, uint8_t* cdbLength) {
  if (operation < SAT_IDENTIFY || operation > SAT_SET_FEATURES) return false;
  for (const BridgeForm& form : kBridgeForms) {
    if (form.CommandType != commandType) continue;
    *cdbLength = form.CdbLength;
    return ExpandCdb(form.Cdb[operation], form.CdbLength, target, features, count, cdb);
  }
  return false;
}

bool CAtaSmart::DoIdentifyDeviceSat(int32_t physicalDriveId, uint8_t target, uint8_t* buffer,
                                    int32_t commandType) {
  std::memset(buffer, 0, 512);
  if (!IsBridgeType(commandType)) return false;
  return SendBridgeCommand(*this, physicalDriveId, commandType, SAT_IDENTIFY, target, 0, 0, buffer);
}

bool CAtaSmart::GetSmartAttributeSat(int32_t physicalDriveId, uint8_t target, ATA_SMART_INFO& asi) {
  if (!SendBridgeCommand(*this, physicalDriveId, asi.CommandType, SAT_READ_DATA, target, 0, 0,
                         asi.SmartReadData.data())) {
    return false;
  }
  return FillSmartData(asi);
}

bool CAtaSmart::GetSmartThresholdSat(int32_t physicalDriveId, uint8_t target, ATA_SMART_INFO& asi) {
  if (!SendBridgeCommand(*this, physicalDriveId, asi.CommandType, SAT_READ_THRESHOLDS, target, 0, 0,
                         asi.SmartReadThreshold.data())) {
    return false;
  }
  return FillSmartThreshold(asi);
}

bool CAtaSmart::ControlSmartStatusSat(int32_t physicalDriveId, uint8_t target,
                                      int32_t commandType) {
  return SendBridgeCommand(*this, physicalDriveId, commandType, SAT_ENABLE, target, 0, 0, nullptr);
}

bool CAtaSmart::SendSetFeaturesSat(int32_t physicalDriveId, uint8_t target, uint8_t features,
                                   uint8_t count, int32_t commandType) {
  return SendBridgeCommand(*this, physicalDriveId, commandType, SAT_SET_FEATURES, target, features,
                           count, nullptr);
}

// ---- S.M.A.R.T. reading of bridge disks ----

namespace {

// One read pass: attributes, classification, a second read that must agree,
// then the thresholds.
void SatReadPass(CAtaSmart& ata, ATA_SMART_INFO& asi, const char* checkLine) {
  if (!ata.GetSmartAttributeSat(asi.PhysicalDriveId, asi.Target, asi)) return;
  ata.ClassifySmartFamily(asi);
  base::DebugLog(checkLine);
  ATA_SMART_INFO check = asi;
  check.AttributeCount = 0;
  if (ata.GetSmartAttributeSat(asi.PhysicalDriveId, asi.Target, check) &&
      CAtaSmart::CheckSmartAttributeCorrect(asi, check)) {
    asi.IsSmartCorrect = 1;
  }
  if (ata.GetSmartThresholdSat(asi.PhysicalDriveId, asi.Target, asi)) asi.IsThresholdCorrect = 1;
  asi.IsSmartEnabled = 1;
}

}  // namespace

void CAtaSmart::ReadSmartAtAdmissionSat(ATA_SMART_INFO& asi) {
  const int32_t type = asi.CommandType;
  base::DebugLogF("GetSmartAttributeSat(%d) - 1 [%s]", asi.PhysicalDriveId,
                  (type >= 0 && type < CMD_TYPE_COUNT) ? kCommandTypeCodes[type] : "un");
  SatReadPass(*this, asi, "GetSmartAttributeSat - 1A");
  if (asi.IsSmartCorrect) return;
  ControlSmartStatusSat(asi.PhysicalDriveId, asi.Target, type);
  base::DebugLog("GetSmartAttributeSat - 2");
  SatReadPass(*this, asi, "GetSmartAttributeSat - 2A");
}

bool CAtaSmart::RefreshSmartSat(ATA_SMART_INFO& asi) {
  WakeUp(asi.PhysicalDriveId);
  base::DebugLog("CommandType: OTHERS");
  return GetSmartAttributeSat(asi.PhysicalDriveId, asi.Target, asi);
}

// ---- admission of NVMe and bridge disks ----

namespace {

// One probe of the bridge sequences: a form tried with one device, allowed
// by one of the engine's USB flags. The two NVMe command types stand for the
// USB-to-NVMe bridges.
struct BridgeAttempt {
  bool CAtaSmart::*Flag;
  int32_t CommandType;
  uint8_t Target;
  const char* Line;
};

constexpr BridgeAttempt kNVMeBridges[] = {
    {&CAtaSmart::m_FlagUsbNVMeJMicron, CMD_TYPE_NVME_JMICRON, 0,
     "AddDiskNVMe - CMD_TYPE_NVME_JMICRON"},
    {&CAtaSmart::m_FlagUsbNVMeASMedia, CMD_TYPE_NVME_ASMEDIA, 0,
     "AddDiskNVMe - CMD_TYPE_NVME_ASMEDIA"},
};
constexpr BridgeAttempt kCypress[] = {
    {&CAtaSmart::m_FlagUsbCypress, CMD_TYPE_CYPRESS, 0xA0, "AddDisk - USB6"},
    {&CAtaSmart::m_FlagUsbCypress, CMD_TYPE_CYPRESS, 0xB0, "AddDisk - USB7"},
};
constexpr BridgeAttempt kIoData0122[] = {
    {&CAtaSmart::m_FlagUsbJmicron, CMD_TYPE_JMICRON, 0xA0, "AddDisk - USB0A"},
    {&CAtaSmart::m_FlagUsbSat, CMD_TYPE_SAT, 0xA0, "AddDisk - USB1A"},
    {&CAtaSmart::m_FlagUsbJmicron, CMD_TYPE_JMICRON, 0xB0, "AddDisk - USB0B"},
    {&CAtaSmart::m_FlagUsbSat, CMD_TYPE_SAT, 0xB0, "AddDisk - USB1B"},
};
constexpr BridgeAttempt kIoData[] = {
    {&CAtaSmart::m_FlagUsbIodata, CMD_TYPE_IO_DATA, 0xA0, "AddDisk - USB2"},
    {&CAtaSmart::m_FlagUsbIodata, CMD_TYPE_IO_DATA, 0xB0, "AddDisk - USB3"},
};
constexpr BridgeAttempt kSunplus[] = {
    {&CAtaSmart::m_FlagUsbSunplus, CMD_TYPE_SUNPLUS, 0xA0, "AddDisk - USB4"},
    {&CAtaSmart::m_FlagUsbSunplus, CMD_TYPE_SUNPLUS, 0xB0, "AddDisk - USB5"},
};
constexpr BridgeAttempt kInitioOxford[] = {
    {&CAtaSmart::m_FlagUsbSat, CMD_TYPE_SAT, 0xA0, "AddDisk - USB8"},
    {&CAtaSmart::m_FlagUsbSat, CMD_TYPE_SAT, 0xB0, "AddDisk - USB9"},
};
constexpr BridgeAttempt kJMicron[] = {
    {&CAtaSmart::m_FlagUsbJmicron, CMD_TYPE_JMICRON, 0xA0, "AddDisk - USB0A"},
    {&CAtaSmart::m_FlagUsbSat, CMD_TYPE_SAT, 0xA0, "AddDisk - USB1A"},
    {&CAtaSmart::m_FlagUsbJmicron, CMD_TYPE_JMICRON, 0xB0, "AddDisk - USB0B"},
    {&CAtaSmart::m_FlagUsbSat, CMD_TYPE_SAT, 0xB0, "AddDisk - USB1B"},
    kNVMeBridges[0],
    kNVMeBridges[1],
};
// The sequence for enclosures of unknown make. The SAT form with A0 comes
// first and is handled before this list (it has a Prolific follow-up).
constexpr BridgeAttempt kGeneric[] = {
    {&CAtaSmart::m_FlagUsbJmicron, CMD_TYPE_JMICRON, 0xA0, "AddDisk - USB11"},
    {&CAtaSmart::m_FlagUsbSunplus, CMD_TYPE_SUNPLUS, 0xA0, "AddDisk - USB12"},
    {&CAtaSmart::m_FlagUsbCypress, CMD_TYPE_CYPRESS, 0xA0, "AddDisk - USB13"},
    {&CAtaSmart::m_FlagUsbLogitec1, CMD_TYPE_LOGITEC1, 0xA0, "AddDisk - USB14"},
    {&CAtaSmart::m_FlagUsbLogitec2, CMD_TYPE_LOGITEC2, 0xA0, "AddDisk - USB14"},
    {&CAtaSmart::m_FlagUsbSat, CMD_TYPE_SAT, 0xB0, "AddDisk - USB15"},
    {&CAtaSmart::m_FlagUsbJmicron, CMD_TYPE_JMICRON, 0xB0, "AddDisk - USB16"},
    {&CAtaSmart::m_FlagUsbSunplus, CMD_TYPE_SUNPLUS, 0xB0, "AddDisk - USB17"},
    {&CAtaSmart::m_FlagUsbCypress, CMD_TYPE_CYPRESS, 0xB0, "AddDisk - USB18"},
    {&CAtaSmart::m_FlagUsbLogitec1, CMD_TYPE_LOGITEC1, 0xB0, "AddDisk - USB19"},
    {&CAtaSmart::m_FlagUsbLogitec2, CMD_TYPE_LOGITEC2, 0xB0, "AddDisk - USB20"},
    kNVMeBridges[0],
    kNVMeBridges[1],
};

// Where the disk sits, as admission records it.
struct ProbePlace {
  int32_t PhysicalDriveId;
  int32_t ScsiPort;
  int32_t ScsiTargetId;
  int32_t ScsiBus;
  int32_t SiliconImageType;
  const std::string& PnpDeviceId;
};

enum class Probe { NO_ANSWER, REFUSED, ADMITTED };

Probe Admitted(bool admitted) { return admitted ? Probe::ADMITTED : Probe::REFUSED; }

Probe AdmitNVMe(CAtaSmart& ata, const ProbePlace& at, int32_t commandType, const uint8_t* identify,
                const char* line) {
  base::DebugLog(line);
  // The NVMe record carries the low byte of the SCSI target id as its target.
  return Admitted(ata.AddDiskNVMe(at.PhysicalDriveId, at.ScsiPort, at.ScsiTargetId, at.ScsiBus,
                                  static_cast<uint8_t>(at.ScsiTargetId & 0xFF), commandType,
                                  identify, ""));
}

// Tries the attempts in order; the first one that answers decides.
template <size_t N>
Probe TryBridges(CAtaSmart& ata, const ProbePlace& at, const BridgeAttempt (&attempts)[N]) {
  uint8_t identify[512];
  for (const BridgeAttempt& attempt : attempts) {
    if (!(ata.*attempt.Flag)) continue;
    const int32_t pd = at.PhysicalDriveId;
    if (attempt.CommandType == CMD_TYPE_NVME_JMICRON ||
        attempt.CommandType == CMD_TYPE_NVME_ASMEDIA) {
      bool answered = attempt.CommandType == CMD_TYPE_NVME_JMICRON
                          ? ata.DoIdentifyDeviceNVMeJMicron(pd, identify)
                          : ata.DoIdentifyDeviceNVMeASMedia(pd, identify);
      if (answered) return AdmitNVMe(ata, at, attempt.CommandType, identify, attempt.Line);
      continue;
    }
    if (!ata.DoIdentifyDeviceSat(pd, attempt.Target, identify, attempt.CommandType)) continue;
    base::DebugLog(attempt.Line);
    return Admitted(ata.AddDisk(pd, at.ScsiPort, at.ScsiTargetId, at.ScsiBus, attempt.Target,
                                attempt.CommandType, identify, at.SiliconImageType, nullptr,
                                at.PnpDeviceId));
  }
  return Probe::NO_ANSWER;
}

// The sequence for a bridge of unknown make.
bool TryGenericBridges(CAtaSmart& ata, const ProbePlace& at) {
  base::DebugLog("else (USB-HDD)");
  const int32_t pd = at.PhysicalDriveId;
  uint8_t identify[512];
  if (ata.m_FlagUsbSat && ata.DoIdentifyDeviceSat(pd, 0xA0, identify, CMD_TYPE_SAT)) {
    base::DebugLog("AddDisk - USB10");
    bool admitted = ata.AddDisk(pd, at.ScsiPort, at.ScsiTargetId, at.ScsiBus, 0xA0, CMD_TYPE_SAT,
                                identify, at.SiliconImageType, nullptr, at.PnpDeviceId);
    // Prolific bridges also take the plain translation; their own form is
    // admitted as well and the duplicate rule keeps one record.
    if (ata.DoIdentifyDeviceSat(pd, 0xA0, identify, CMD_TYPE_PROLIFIC)) {
      admitted = ata.AddDisk(pd, at.ScsiPort, at.ScsiTargetId, at.ScsiBus, 0xA0, CMD_TYPE_PROLIFIC,
                             identify, at.SiliconImageType, nullptr, at.PnpDeviceId) ||
                 admitted;
    }
    return admitted;
  }
  return TryBridges(ata, at, kGeneric) == Probe::ADMITTED;
}

}  // namespace

bool CAtaSmart::GetDiskInfoExternal(int32_t physicalDriveId, int32_t scsiPort, int32_t scsiTargetId,
                                    int32_t interfaceType, int32_t usbVendorId,
                                    int32_t usbProductId, int32_t scsiBus, int32_t siliconImageType,
                                    const std::string& pnpDeviceId, bool flagNVMe) {
  const ProbePlace at{physicalDriveId, scsiPort,         scsiTargetId,
                      scsiBus,         siliconImageType, pnpDeviceId};
  uint8_t identify[512] = {};

  if (interfaceType == INTERFACE_TYPE_NVME) {
    base::DebugLog("DoIdentifyDeviceNVMeStorageQuery");
    if (m_FlagNVMeStorageQuery && DoIdentifyDeviceNVMeStorageQuery(physicalDriveId, identify)) {
      return AdmitNVMe(*this, at, CMD_TYPE_NVME_STORAGE_QUERY, identify,
                       "AddDiskNVMe - CMD_TYPE_NVME_STORAGE_QUERY") == Probe::ADMITTED;
    }
    base::DebugLog("DoIdentifyDeviceNVMeSamsung");
    if (DoIdentifyDeviceNVMeSamsung(physicalDriveId, identify)) {
      return AdmitNVMe(*this, at, CMD_TYPE_NVME_SAMSUNG, identify,
                       "AddDiskNVMe - CMD_TYPE_NVME_SAMSUNG") == Probe::ADMITTED;
    }
    base::DebugLog("DoIdentifyDeviceNVMeIntel");
    if (DoIdentifyDeviceNVMeIntel(physicalDriveId, identify)) {
      return AdmitNVMe(*this, at, CMD_TYPE_NVME_INTEL, identify,
                       "AddDiskNVMe - CMD_TYPE_NVME_INTEL") == Probe::ADMITTED;
    }
    // No NVMe path answered: try the bridges as for a FireWire disk.
    interfaceType = INTERFACE_TYPE_IEEE1394;
  }

  if (physicalDriveId < 0) return false;
  WakeUp(physicalDriveId);
  if (interfaceType != INTERFACE_TYPE_USB) return TryGenericBridges(*this, at);

  if (usbVendorId == USB_VENDOR_CYPRESS) {
    base::DebugLog("usbVendorId == USB_VENDOR_CYPRESS");
    return TryBridges(*this, at, kCypress) == Probe::ADMITTED;
  }
  if (usbVendorId == USB_VENDOR_IO_DATA && usbProductId == 0x0122) {
    base::DebugLog("(usbVendorId == USB_VENDOR_IO_DATA && productId == 0x0122)");
    Probe probe = TryBridges(*this, at, kIoData0122);
    if (probe == Probe::NO_ANSWER) base::DebugLog("FALSE - USB0");
    return probe == Probe::ADMITTED;
  }
  if (usbVendorId == USB_VENDOR_IO_DATA) {
    base::DebugLog("usbVendorId == USB_VENDOR_IO_DATA");
    Probe probe = TryBridges(*this, at, kIoData);
    if (probe != Probe::NO_ANSWER) return probe == Probe::ADMITTED;
  } else if (usbVendorId == USB_VENDOR_SUNPLUS) {
    base::DebugLog("usbVendorId == USB_VENDOR_SUNPLUS");
    return TryBridges(*this, at, kSunplus) == Probe::ADMITTED;
  } else if (usbVendorId == USB_VENDOR_LOGITEC && usbProductId == 0x00D9) {
    base::DebugLog("FALSE: usbVendorId == USB_VENDOR_LOGITEC && productId == 0x00D9");
    return false;
  } else if (usbVendorId == USB_VENDOR_INITIO || usbVendorId == USB_VENDOR_OXFORD) {
    base::DebugLog("usbVendorId == USB_VENDOR_INITIO || usbVendorId == USB_VENDOR_OXFORD");
    return TryBridges(*this, at, kInitioOxford) == Probe::ADMITTED;
  } else if (usbVendorId == USB_VENDOR_JMICRON) {
    base::DebugLog("usbVendorId == USB_VENDOR_JMICRON");
    Probe probe = TryBridges(*this, at, kJMicron);
    if (probe == Probe::NO_ANSWER) base::DebugLog("FALSE - USB0");
    return probe == Probe::ADMITTED;
  }
  // A maker not listed above (or an I-O DATA bridge that knew neither device).
  if (flagNVMe) return TryBridges(*this, at, kNVMeBridges) == Probe::ADMITTED;
  return TryGenericBridges(*this, at);
}
