// Disk admission: find a path that answers IDENTIFY DEVICE, decode the
// sector into a new record, read S.M.A.R.T. for the first time, settle
// duplicates and append the record. Also the per-disk SET FEATURES
// operations (AAM, APM) and the IDENTIFY refresh that follows them.
#include <cstring>

#include "base/DebugLog.h"
#include "engine/AtaSmart.h"

namespace {

constexpr uint8_t TARGET_MASTER = 0xA0;
constexpr uint8_t TARGET_SLAVE = 0xB0;

uint16_t Word(const uint8_t* identify, int n) {
  return static_cast<uint16_t>(identify[2 * n] | (identify[2 * n + 1] << 8));
}

bool IsBridgeType(int32_t commandType) {
  return commandType >= CMD_TYPE_SAT && commandType <= CMD_TYPE_PROLIFIC;
}

}  // namespace

bool CAtaSmart::GetDiskInfo(int32_t physicalDriveId, int32_t scsiPort, int32_t scsiTargetId,
                            int32_t interfaceType, int32_t usbVendorId, int32_t usbProductId,
                            int32_t scsiBus, int32_t siliconImageType, bool flagNvidiaController,
                            bool flagMarvellController, const std::string& pnpDeviceId,
                            bool flagNVMe) {
  base::DebugLog("GetDiskInfo");
  if (vars.GetCount() > MAX_DISK) {
    base::DebugLog("GetDiskInfo - FALSE0");
    return false;
  }
  if (physicalDriveId >= 0) {
    for (const ATA_SMART_INFO& r : vars) {
      if (r.PhysicalDriveId == physicalDriveId) {
        base::DebugLog("GetDiskInfo - FALSE1");
        return false;
      }
    }
  }

  uint8_t identify[512];
  std::memset(identify, 0, sizeof identify);

  if (interfaceType != INTERFACE_TYPE_UNKNOWN && interfaceType != INTERFACE_TYPE_PATA &&
      interfaceType != INTERFACE_TYPE_SATA) {
    return GetDiskInfoExternal(physicalDriveId, scsiPort, scsiTargetId, interfaceType, usbVendorId,
                               usbProductId, scsiBus, siliconImageType, pnpDeviceId, flagNVMe);
  }

  if (siliconImageType != 0) {
    WakeUp(physicalDriveId);
    base::DebugLogF("physicalDriveId=%d, scsiPort=%d, scsiBus=%d, scsiTargetId=%d", physicalDriveId,
                    scsiPort, scsiBus, scsiTargetId);
    if (DoIdentifyDeviceSi(scsiPort, scsiBus, siliconImageType, identify)) {
      base::DebugLog("AddDisk - Si");
      return AddDisk(physicalDriveId, scsiPort, scsiTargetId, scsiBus, TARGET_MASTER,
                     CMD_TYPE_SILICON_IMAGE, identify, siliconImageType, nullptr, pnpDeviceId);
    }
  }

  if (physicalDriveId < 0) {
    base::DebugLogF("DoIdentifyDeviceScsi(%d, %d) - 7", scsiPort, scsiTargetId);
    if (scsiPort >= 0 && scsiTargetId >= 0 &&
        DoIdentifyDeviceScsi(scsiPort, scsiTargetId, identify)) {
      base::DebugLogF("AddDisk(%d, %d, %d) - 8", physicalDriveId, scsiPort, scsiTargetId);
      return AddDisk(physicalDriveId, scsiPort, scsiTargetId, scsiBus, TARGET_MASTER,
                     CMD_TYPE_SCSI_MINIPORT, identify, siliconImageType, nullptr, pnpDeviceId);
    }
    return false;
  }

  base::DebugLogF("DoIdentifyDevicePd(%d, 0xA0) - 1", physicalDriveId);
  bool found = DoIdentifyDevicePd(physicalDriveId, TARGET_MASTER, identify);
  if (!found) {
    base::DebugLogF("WakeUp(%d)", physicalDriveId);
    WakeUp(physicalDriveId);
    base::DebugLogF("DoIdentifyDevicePd(%d, 0xA0) - 2", physicalDriveId);
    found = DoIdentifyDevicePd(physicalDriveId, TARGET_MASTER, identify);
  }
  if (!found) {
    base::DebugLogF("DoIdentifyDevicePd(%d, 0xB0) - 3", physicalDriveId);
    found = DoIdentifyDevicePd(physicalDriveId, TARGET_SLAVE, identify);
  }
  if (found) {
    // Recorded as the first device whichever attempt answered: the
    // physical-drive handle addresses the disk itself.
    base::DebugLogF("AddDisk(%d, %d, %d) - 6", physicalDriveId, scsiPort, scsiTargetId);
    return AddDisk(physicalDriveId, scsiPort, scsiTargetId, scsiBus, TARGET_MASTER,
                   CMD_TYPE_PHYSICAL_DRIVE, identify, siliconImageType, nullptr, pnpDeviceId);
  }

  base::DebugLogF("DoIdentifyDeviceScsi(%d, %d) - 4", scsiPort, scsiTargetId);
  if ((flagNvidiaController || flagMarvellController || m_FlagAdvancedDiskSearch) &&
      scsiPort >= 0 && scsiTargetId >= 0 &&
      DoIdentifyDeviceScsi(scsiPort, scsiTargetId, identify)) {
    base::DebugLogF("AddDisk(%d, %d, %d) - 5", physicalDriveId, scsiPort, scsiTargetId);
    return AddDisk(physicalDriveId, scsiPort, scsiTargetId, scsiBus, TARGET_MASTER,
                   CMD_TYPE_SCSI_MINIPORT, identify, siliconImageType, nullptr, pnpDeviceId);
  }
  return false;
}

bool CAtaSmart::FindDuplicate(const ATA_SMART_INFO& asi, int32_t physicalDriveId,
                              int32_t* duplicate) {
  *duplicate = -1;
  for (int32_t i = 0; i < vars.GetCount(); ++i) {
    ATA_SMART_INFO& r = vars[i];
    if (r.Model != asi.Model || r.SerialNumber != asi.SerialNumber) continue;
    if (r.PhysicalDriveId == -1) {
      // A disk first found through its RAID controller, now also seen as a
      // physical drive.
      r.PhysicalDriveId = physicalDriveId;
      if (m_CsmiType != 1) return false;
      r.CommandType = CMD_TYPE_CSMI_PHYSICAL_DRIVE;
      r.CommandTypeText = kCommandTypeCodes[CMD_TYPE_CSMI_PHYSICAL_DRIVE];
      *duplicate = i;
      return true;
    }
    if (r.ModelWmi.empty()) {
      *duplicate = i;
      continue;
    }
    // Confirmed by WMI: never replaced by a disk that is not.
    if (asi.ModelWmi.empty()) return false;
  }
  return true;
}

bool CAtaSmart::AddDisk(int32_t physicalDriveId, int32_t scsiPort, int32_t scsiTargetId,
                        int32_t scsiBus, uint8_t target, int32_t commandType, uint8_t* identify,
                        int32_t siliconImageType, const uint8_t* sasPhyEntity,
                        const std::string& pnpDeviceId) {
  if (vars.GetCount() >= MAX_DISK) return false;

  ATA_SMART_INFO asi = NewRecord();
  std::memcpy(asi.IdentifyDevice.data(), identify, asi.IdentifyDevice.size());
  asi.PhysicalDriveId = physicalDriveId;
  asi.ScsiPort = scsiPort;
  asi.ScsiTargetId = scsiTargetId;
  asi.ScsiBus = scsiBus;
  asi.SiliconImageType = siliconImageType;
  asi.CommandType = commandType;
  asi.Target = target;
  asi.PnpDeviceId = pnpDeviceId;
  if (sasPhyEntity != nullptr) {
    std::memcpy(asi.SasPhyEntity.data(), sasPhyEntity, asi.SasPhyEntity.size());
  }
  SetCommandTypeText(asi);

  if (DecodeIdentifyTexts(asi, identify) != IDENTIFY_OK) {
    base::DebugLogF("AddDisk - refused: invalid character in IDENTIFY text (%d)", physicalDriveId);
    return false;
  }
  asi.SupportLevel = RecognizeMakerDisk(asi);
  if (asi.Model.empty() || asi.FirmwareRev.empty()) {
    asi.IsIdInfoIncorrect = 1;
    base::DebugLogF("AddDisk - refused: empty model or firmware (%d)", physicalDriveId);
    return false;
  }

  int32_t duplicate = -1;
  if (!FindDuplicate(asi, physicalDriveId, &duplicate)) {
    base::DebugLogF("AddDisk - refused: duplicate of a known disk (%d)", physicalDriveId);
    return false;
  }

  DecodeIdentifyFeatures(asi, identify);
  if (DecodeIdentifyGeometry(asi, identify) != IDENTIFY_OK) {
    base::DebugLogF("AddDisk - refused: no geometry (%d)", physicalDriveId);
    return false;
  }

  if (asi.IsSmartSupported || asi.IsSmartAssumed || m_FlagAdvancedDiskSearch) {
    ReadSmartAtAdmission(asi);
  }
  ApplyPostReadFixes(asi);

  if (asi.IsIdInfoIncorrect && !(m_FlagAdvancedDiskSearch && commandType < CMD_TYPE_SAT)) {
    base::DebugLogF("AddDisk - refused: damaged IDENTIFY data (%d)", physicalDriveId);
    return false;
  }
  if (duplicate >= 0) {
    if (asi.IsSmartCorrect == 0) {
      base::DebugLogF("AddDisk - refused: duplicate without trusted S.M.A.R.T. (%d)",
                      physicalDriveId);
      return false;
    }
    vars.RemoveAt(duplicate);
  }
  return vars.Add(asi);
}

bool CAtaSmart::SendSetFeatures(int32_t index, uint8_t feature, uint8_t count) {
  const ATA_SMART_INFO& asi = vars[index];
  WakeUp(asi.PhysicalDriveId);
  switch (asi.CommandType) {
    case CMD_TYPE_PHYSICAL_DRIVE:
    case CMD_TYPE_CSMI_PHYSICAL_DRIVE:
    case CMD_TYPE_WMI:
      return SendAtaCommandPd(asi.PhysicalDriveId, asi.Target, 0xEF, feature, count, nullptr, 0);
    case CMD_TYPE_CSMI:
      if (asi.PhysicalDriveId >= 0) {
        return SendAtaCommandPd(asi.PhysicalDriveId, asi.Target, 0xEF, feature, count, nullptr, 0);
      }
      return SendAtaCommandCsmi(asi.ScsiPort, asi.SasPhyEntity, 0xEF, feature, count, nullptr, 0);
    default:
      // The SCSI miniport, Silicon Image and NVMe paths cannot send it.
      if (!IsBridgeType(asi.CommandType)) return false;
      return SendSetFeaturesSat(asi.PhysicalDriveId, asi.Target, feature, count, asi.CommandType);
  }
}

bool CAtaSmart::RefreshIdentify(int32_t index) {
  ATA_SMART_INFO& asi = vars[index];
  // Read into a scratch sector: a failed read must not wipe the disk's
  // IDENTIFY data, which the panel and the report still show.
  uint8_t fresh[512];
  std::memset(fresh, 0, sizeof fresh);
  bool result = false;
  switch (asi.CommandType) {
    case CMD_TYPE_PHYSICAL_DRIVE:
    case CMD_TYPE_CSMI_PHYSICAL_DRIVE:
    case CMD_TYPE_WMI:
      result = DoIdentifyDevicePd(asi.PhysicalDriveId, asi.Target, fresh);
      break;
    case CMD_TYPE_SCSI_MINIPORT:
      result = DoIdentifyDeviceScsi(asi.ScsiPort, asi.ScsiTargetId, fresh);
      break;
    case CMD_TYPE_SILICON_IMAGE:
      result = DoIdentifyDeviceSi(asi.ScsiPort, asi.ScsiBus, asi.SiliconImageType, fresh);
      break;
    case CMD_TYPE_CSMI:
      base::DebugLog("DoIdentifyDeviceCsmi");
      result = DoIdentifyDeviceCsmi(asi.ScsiPort, asi.SasPhyEntity, fresh);
      break;
    default:
      if (!IsBridgeType(asi.CommandType)) return false;
      result = DoIdentifyDeviceSat(asi.PhysicalDriveId, asi.Target, fresh, asi.CommandType);
      break;
  }
  if (result) std::memcpy(asi.IdentifyDevice.data(), fresh, sizeof fresh);
  const uint8_t* id = asi.IdentifyDevice.data();
  const uint16_t w83 = Word(id, 83);
  const uint16_t w86 = Word(id, 86);
  if (asi.MajorVersion > 2 && (w83 & (1 << 3))) {
    asi.IsApmSupported = 1;
    asi.IsApmEnabled = (w86 & (1 << 3)) ? 1 : 0;
  }
  if (asi.MajorVersion >= 5 && (w83 & (1 << 9))) {
    asi.IsAamSupported = 1;
    asi.IsAamEnabled = (w86 & (1 << 9)) ? 1 : 0;
  }
  return result;
}

bool CAtaSmart::EnableAam(int32_t index, uint8_t level) {
  bool result = SendSetFeatures(index, 0x42, level);
  RefreshIdentify(index);
  return result;
}

bool CAtaSmart::DisableAam(int32_t index) {
  bool result = SendSetFeatures(index, 0xC2, 0);
  RefreshIdentify(index);
  return result;
}

bool CAtaSmart::EnableApm(int32_t index, uint8_t level) {
  bool result = SendSetFeatures(index, 0x05, level);
  RefreshIdentify(index);
  return result;
}

bool CAtaSmart::DisableApm(int32_t index) {
  bool result = SendSetFeatures(index, 0x85, 0);
  RefreshIdentify(index);
  return result;
}
