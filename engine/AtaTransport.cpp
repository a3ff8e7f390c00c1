// The ATA command transport: IDENTIFY DEVICE, S.M.A.R.T. READ DATA / READ
// THRESHOLDS / ENABLE OPERATIONS and SET FEATURES to one disk, over a
// physical-drive handle, a SCSI port's miniport interface, a Silicon Image
// controller or the WMI failure-prediction classes. Every operation opens its
// device, sends one request (two for some), and closes before returning.
#include <cctype>
#include <cstring>
#include <vector>

#include "base/DebugLog.h"
#include "engine/AtaSmart.h"
#include "os/wire/DeviceNames.h"
#include "os/wire/DiskPages.h"
#include "os/wire/WinIoctl.h"

using namespace winio;

namespace {

constexpr uint32_t SECTOR = 512;
constexpr uint32_t PASS_THROUGH_TIMEOUT = 2;
constexpr uint32_t SILICON_IMAGE_TIMEOUT = 5;
constexpr uint32_t SCSIDISK_LENGTH = 0x211;
constexpr uint32_t SILICON_IMAGE_LENGTH = 0x218;

// The model of an IDENTIFY sector holds something other than NULs and blanks.
bool HasModel(const uint8_t* identify) {
  for (size_t i = pages::ATA_MODEL_AT; i < pages::ATA_MODEL_AT + pages::ATA_MODEL_SIZE; ++i) {
    if (identify[i] != 0 && identify[i] != ' ') return true;
  }
  return false;
}

// SENDCMDINPARAMS at `p` (33 bytes, or 32 when the caller sends no buffer byte).
void PutSendCmd(uint8_t* p, uint32_t bufferSize, uint8_t features, uint8_t count, uint8_t number,
                uint8_t cylLow, uint8_t cylHigh, uint8_t driveHead, uint8_t command,
                uint8_t driveNumber) {
  Store32(p + offsetof(SENDCMDINPARAMS, cBufferSize), bufferSize);
  uint8_t* r = p + offsetof(SENDCMDINPARAMS, irDriveRegs);
  r[offsetof(IDEREGS, bFeaturesReg)] = features;
  r[offsetof(IDEREGS, bSectorCountReg)] = count;
  r[offsetof(IDEREGS, bSectorNumberReg)] = number;
  r[offsetof(IDEREGS, bCylLowReg)] = cylLow;
  r[offsetof(IDEREGS, bCylHighReg)] = cylHigh;
  r[offsetof(IDEREGS, bDriveHeadReg)] = driveHead;
  r[offsetof(IDEREGS, bCommandReg)] = command;
  p[offsetof(SENDCMDINPARAMS, bDriveNumber)] = driveNumber;
}

void PutSrbHeader(uint8_t* p, const char signature[8], uint32_t timeout, uint32_t controlCode,
                  uint32_t returnCode, uint32_t length) {
  Store32(p + offsetof(SRB_IO_CONTROL, HeaderLength), sizeof(SRB_IO_CONTROL));
  std::memcpy(p + offsetof(SRB_IO_CONTROL, Signature), signature, 8);
  Store32(p + offsetof(SRB_IO_CONTROL, Timeout), timeout);
  Store32(p + offsetof(SRB_IO_CONTROL, ControlCode), controlCode);
  Store32(p + offsetof(SRB_IO_CONTROL, ReturnCode), returnCode);
  Store32(p + offsetof(SRB_IO_CONTROL, Length), length);
}

bool Send(os::IDeviceHandle& h, uint32_t code, std::vector<uint8_t>& buf, uint32_t inSize,
          uint32_t outSize, uint32_t* returned = nullptr) {
  uint32_t n = 0;
  uint32_t error = 0;
  bool ok = h.Control(code, inSize ? buf.data() : nullptr, inSize, buf.data(), outSize, &n, &error);
  if (returned) *returned = n;
  return ok;
}

}  // namespace

// ---- physical drive --------------------------------------------------------

void CAtaSmart::WakeUp(int32_t physicalDriveId) {
  if (physicalDriveId < 0) return;
  uint32_t error = 0;
  auto h = m_Platform.Devices.Open(PhysicalDriveName(physicalDriveId), os::Access::Read, &error);
  if (!h) return;
  std::vector<uint8_t> sector(SECTOR);
  uint32_t read = 0;
  h->Read(sector.data(), SECTOR, &read);
}

bool CAtaSmart::SendAtaCommandPd(int32_t physicalDriveId, uint8_t target, uint8_t main, uint8_t sub,
                                 uint8_t param, uint8_t* data, uint32_t dataSize) {
  base::DebugLogF(
      "#m_FlagAtaPassThrough = %d,\n#physicalDiveId %02x,\n#target %02x,\n#main %02x,\n#sub "
      "%02x,\n#param %02x,\n#dataSize %0d",
      m_FlagAtaPassThrough ? 1 : 0, physicalDriveId, target, main, sub, param,
      static_cast<int>(dataSize));
  if (!data) dataSize = 0;
  uint32_t error = 0;
  auto h =
      m_Platform.Devices.Open(PhysicalDriveName(physicalDriveId), os::Access::ReadWrite, &error);
  if (!h) return false;

  if (m_FlagAtaPassThrough) {
    // The header in the form of this process, a 4-byte filler, the data.
    const AtaPassThroughLayout& layout = APT_LAYOUT;
    const uint32_t dataAt = static_cast<uint32_t>(layout.DataAt());
    const uint32_t size = dataAt + dataSize;
    std::vector<uint8_t> buf(size, 0);
    Store16(buf.data() + offsetof(ATA_PASS_THROUGH_EX32, Length),
            static_cast<uint16_t>(layout.HeaderSize));
    Store16(buf.data() + offsetof(ATA_PASS_THROUGH_EX32, AtaFlags),
            dataSize ? APT_FLAGS_DATA_IN : uint16_t{0});
    Store32(buf.data() + offsetof(ATA_PASS_THROUGH_EX32, DataTransferLength), dataSize);
    Store32(buf.data() + offsetof(ATA_PASS_THROUGH_EX32, TimeOutValue), PASS_THROUGH_TIMEOUT);
    StoreUintPtr(buf.data() + layout.DataBufferOffsetAt, dataAt, layout.PointerWidth);
    uint8_t* tf = buf.data() + layout.CurrentTaskFileAt;
    tf[TASK_FEATURES] = sub;
    tf[TASK_SECTOR_COUNT] = param;
    tf[TASK_DEVICE] = target;
    tf[TASK_COMMAND] = main;
    if (main == ATA_SMART) {
      tf[TASK_SECTOR_COUNT] = 1;
      tf[TASK_LBA_LOW] = 1;
      tf[TASK_LBA_MID] = SMART_LBA_MID;
      tf[TASK_LBA_HIGH] = SMART_LBA_HIGH;
    }
    if (!Send(*h, CTL_ATA_PASS_THROUGH, buf, size, size)) return false;
    if (dataSize) std::memcpy(data, buf.data() + dataAt, dataSize);
    return true;
  }

  if (m_OsVersionInfo.MajorVersion <= 4) return false;
  // IOCTL_IDE_PASS_THROUGH: registers, data size, data.
  const uint32_t header = sizeof(IDE_PASS_THROUGH_HEADER);
  const uint32_t size = header + dataSize;
  std::vector<uint8_t> buf(size, 0);
  buf[offsetof(IDEREGS, bFeaturesReg)] = sub;
  buf[offsetof(IDEREGS, bSectorCountReg)] = param;
  buf[offsetof(IDEREGS, bDriveHeadReg)] = target;
  buf[offsetof(IDEREGS, bCommandReg)] = main;
  Store32(buf.data() + offsetof(IDE_PASS_THROUGH_HEADER, DataBufferSize), dataSize);
  if (!Send(*h, CTL_IDE_PASS_THROUGH, buf, size, size)) return false;
  if (dataSize) std::memcpy(data, buf.data() + header, dataSize);
  return true;
}

namespace {

// SMART_RCV_DRIVE_DATA with one sector back; true when the whole
// SENDCMDOUTPARAMS (528 bytes) came back, and then `data` holds the sector.
bool ReceiveDriveData(os::IDeviceIo& devices, int32_t physicalDriveId, uint8_t target,
                      uint8_t features, uint8_t cylLow, uint8_t cylHigh, uint8_t command,
                      uint8_t* data) {
  uint32_t error = 0;
  auto h = devices.Open(PhysicalDriveName(physicalDriveId), os::Access::ReadWrite, &error);
  if (!h) return false;
  constexpr uint32_t inSize = sizeof(SENDCMDINPARAMS);
  constexpr uint32_t outSize = offsetof(SENDCMDOUTPARAMS, bBuffer) + SECTOR;
  static_assert(inSize == 33 && outSize == 528);
  std::vector<uint8_t> in(inSize, 0);
  PutSendCmd(in.data(), SECTOR, features, 1, 1, cylLow, cylHigh, target, command, 0);
  std::vector<uint8_t> out(outSize, 0);
  uint32_t returned = 0;
  if (!h->Control(CTL_SMART_RCV_DRIVE_DATA, in.data(), inSize, out.data(), outSize, &returned,
                  &error)) {
    return false;
  }
  if (returned != outSize) return false;
  std::memcpy(data, out.data() + offsetof(SENDCMDOUTPARAMS, bBuffer), SECTOR);
  return true;
}

}  // namespace

bool CAtaSmart::DoIdentifyDevicePd(int32_t physicalDriveId, uint8_t target, uint8_t* buffer) {
  std::memset(buffer, 0, SECTOR);
  if (m_FlagAtaPassThrough) {
    if (SendAtaCommandPd(physicalDriveId, target, ATA_IDENTIFY_DEVICE, 0, 0, buffer, SECTOR) &&
        HasModel(buffer)) {
      return true;
    }
    std::memset(buffer, 0, SECTOR);
  }
  return ReceiveDriveData(m_Platform.Devices, physicalDriveId, target, 0, 0, 0, ATA_IDENTIFY_DEVICE,
                          buffer);
}

bool CAtaSmart::GetSmartAttributePd(int32_t physicalDriveId, uint8_t target, ATA_SMART_INFO& asi) {
  if (m_FlagAtaPassThrough && SendAtaCommandPd(physicalDriveId, target, ATA_SMART, SMART_READ_DATA,
                                               0, asi.SmartReadData.data(), SECTOR)) {
    return FillSmartData(asi);
  }
  if (!ReceiveDriveData(m_Platform.Devices, physicalDriveId, target, SMART_READ_DATA, SMART_LBA_MID,
                        SMART_LBA_HIGH, ATA_SMART, asi.SmartReadData.data())) {
    return false;
  }
  return FillSmartData(asi);
}

bool CAtaSmart::GetSmartThresholdPd(int32_t physicalDriveId, uint8_t target, ATA_SMART_INFO& asi) {
  if (m_FlagAtaPassThrough &&
      SendAtaCommandPd(physicalDriveId, target, ATA_SMART, SMART_READ_THRESHOLDS, 0,
                       asi.SmartReadThreshold.data(), SECTOR)) {
    return FillSmartThreshold(asi);
  }
  if (!ReceiveDriveData(m_Platform.Devices, physicalDriveId, target, SMART_READ_THRESHOLDS,
                        SMART_LBA_MID, SMART_LBA_HIGH, ATA_SMART, asi.SmartReadThreshold.data())) {
    return false;
  }
  return FillSmartThreshold(asi);
}

bool CAtaSmart::ControlSmartStatusPd(int32_t physicalDriveId, uint8_t target) {
  if (m_FlagAtaPassThrough && SendAtaCommandPd(physicalDriveId, target, ATA_SMART,
                                               SMART_ENABLE_OPERATIONS, 0, nullptr, 0)) {
    return true;
  }
  uint32_t error = 0;
  auto h =
      m_Platform.Devices.Open(PhysicalDriveName(physicalDriveId), os::Access::ReadWrite, &error);
  if (!h) return false;
  constexpr uint32_t inSize = sizeof(SENDCMDINPARAMS) - 1;
  constexpr uint32_t outSize = offsetof(SENDCMDOUTPARAMS, bBuffer);
  static_assert(inSize == 32 && outSize == 16);
  std::vector<uint8_t> in(inSize, 0);
  PutSendCmd(in.data(), 0, SMART_ENABLE_OPERATIONS, 1, 1, SMART_LBA_MID, SMART_LBA_HIGH, target,
             ATA_SMART, 0);
  std::vector<uint8_t> out(outSize, 0);
  uint32_t returned = 0;
  return h->Control(CTL_SMART_SEND_DRIVE_COMMAND, in.data(), inSize, out.data(), outSize, &returned,
                    &error);
}

bool CAtaSmart::GetSmartAttributeSi(int32_t physicalDriveId, ATA_SMART_INFO& asi) {
  uint32_t error = 0;
  auto h =
      m_Platform.Devices.Open(PhysicalDriveName(physicalDriveId), os::Access::ReadWrite, &error);
  if (h) {
    std::vector<uint8_t> buf(sizeof(STORAGE_PREDICT_FAILURE), 0);
    uint32_t returned = 0;
    bool ok = h->Control(CTL_STORAGE_PREDICT_FAILURE, nullptr, 0, buf.data(),
                         static_cast<uint32_t>(buf.size()), &returned, &error);
    h.reset();
    if (ok) {
      std::memcpy(asi.SmartReadData.data(),
                  buf.data() + offsetof(STORAGE_PREDICT_FAILURE, VendorSpecific), SECTOR);
      return FillSmartData(asi);
    }
  }
  return GetSmartAttributeWmi(0, asi);
}

// ---- SCSI miniport ---------------------------------------------------------

namespace {

// One "SCSIDISK" request to a target of a SCSI port; `buf` gets the answer
// (SRB_IO_CONTROL, SENDCMDOUTPARAMS, data at 44).
bool ScsiDiskRequest(os::IDeviceIo& devices, int32_t scsiPort, int32_t scsiTargetId,
                     uint32_t controlCode, uint32_t bufferSize, uint8_t features, uint8_t count,
                     uint8_t number, uint8_t cylLow, uint8_t cylHigh, uint8_t command,
                     std::vector<uint8_t>& buf) {
  uint32_t error = 0;
  auto h = devices.Open(ScsiPortName(scsiPort), os::Access::ReadWrite, &error);
  if (!h) return false;
  buf.assign(SCSIDISK_OUTPUT_SIZE, 0);
  PutSrbHeader(buf.data(), "SCSIDISK", PASS_THROUGH_TIMEOUT, controlCode, 0, SCSIDISK_LENGTH);
  PutSendCmd(buf.data() + sizeof(SRB_IO_CONTROL), bufferSize, features, count, number, cylLow,
             cylHigh, 0, command, static_cast<uint8_t>(scsiTargetId));
  return Send(*h, CTL_SCSI_MINIPORT, buf, SCSIDISK_INPUT_SIZE, SCSIDISK_OUTPUT_SIZE);
}

}  // namespace

bool CAtaSmart::DoIdentifyDeviceScsi(int32_t scsiPort, int32_t scsiTargetId, uint8_t* buffer) {
  std::memset(buffer, 0, SECTOR);
  std::vector<uint8_t> buf;
  if (!ScsiDiskRequest(m_Platform.Devices, scsiPort, scsiTargetId, CTL_MINIPORT_IDENTIFY, 0, 0, 0,
                       0, 0, 0, ATA_IDENTIFY_DEVICE, buf)) {
    return false;
  }
  if (buf[SCSIDISK_DATA_AT] == 0) return false;
  std::memcpy(buffer, buf.data() + SCSIDISK_DATA_AT, SECTOR);
  return true;
}

bool CAtaSmart::GetSmartAttributeScsi(int32_t scsiPort, int32_t scsiTargetId, ATA_SMART_INFO& asi) {
  std::vector<uint8_t> buf;
  if (!ScsiDiskRequest(m_Platform.Devices, scsiPort, scsiTargetId, CTL_MINIPORT_READ_SMART_ATTRIBS,
                       SECTOR, SMART_READ_DATA, 1, 1, SMART_LBA_MID, SMART_LBA_HIGH, ATA_SMART,
                       buf)) {
    return false;
  }
  std::memcpy(asi.SmartReadData.data(), buf.data() + SCSIDISK_DATA_AT, SECTOR);
  return FillSmartData(asi);
}

bool CAtaSmart::GetSmartThresholdScsi(int32_t scsiPort, int32_t scsiTargetId, ATA_SMART_INFO& asi) {
  std::vector<uint8_t> buf;
  if (!ScsiDiskRequest(m_Platform.Devices, scsiPort, scsiTargetId,
                       CTL_MINIPORT_READ_SMART_THRESHOLDS, SECTOR, SMART_READ_THRESHOLDS, 1, 1,
                       SMART_LBA_MID, SMART_LBA_HIGH, ATA_SMART, buf)) {
    return false;
  }
  if (buf[SCSIDISK_DATA_AT] == 0) return false;
  std::memcpy(asi.SmartReadThreshold.data(), buf.data() + SCSIDISK_DATA_AT, SECTOR);
  return FillSmartThreshold(asi);
}

bool CAtaSmart::ControlSmartStatusScsi(int32_t scsiPort, int32_t scsiTargetId) {
  std::vector<uint8_t> buf;
  return ScsiDiskRequest(m_Platform.Devices, scsiPort, scsiTargetId, CTL_MINIPORT_ENABLE_SMART, 0,
                         SMART_ENABLE_OPERATIONS, 1, 1, SMART_LBA_MID, SMART_LBA_HIGH, ATA_SMART,
                         buf);
}

// ---- Silicon Image ---------------------------------------------------------

std::unique_ptr<os::IDeviceHandle> CAtaSmart::OpenSiliconImagePort(int32_t scsiPort,
                                                                   int32_t siliconImageType) {
  uint32_t error = 0;
  auto h = m_Platform.Devices.Open(ScsiPortName(scsiPort), os::Access::ReadWrite, &error);
  if (h) return h;
  // The 3512 is driven by the 3112 driver, which names its device after 3112.
  if (siliconImageType == 3512) siliconImageType = 3112;
  const std::string chip = std::to_string(siliconImageType);
  std::string name = "tempBusSil" + chip;
  m_Platform.Devices.DefineRawDosDevice(name, "\\Device\\Scsi\\SI" + chip + "1");
  return m_Platform.Devices.Open("\\\\.\\" + name, os::Access::ReadWrite, &error);
}

bool CAtaSmart::DoIdentifyDeviceSi(int32_t scsiPort, int32_t scsiBus, int32_t siliconImageType,
                                   uint8_t* buffer) {
  std::memset(buffer, 0, SECTOR);
  auto h = OpenSiliconImagePort(scsiPort, siliconImageType);
  if (!h) return false;
  std::vector<uint8_t> buf(sizeof(SILICON_IMAGE_IDE_REQUEST), 0);
  PutSrbHeader(buf.data(), "CMD_IDE ", SILICON_IMAGE_TIMEOUT, CTL_SILICON_IMAGE_IDENTIFY,
               0xFFFFFFFF, SILICON_IMAGE_LENGTH);
  Store16(buf.data() + offsetof(SILICON_IMAGE_IDE_REQUEST, Port), static_cast<uint16_t>(scsiBus));
  Store16(buf.data() + offsetof(SILICON_IMAGE_IDE_REQUEST, Device), 1);
  const uint32_t size = static_cast<uint32_t>(buf.size());
  if (!Send(*h, CTL_SCSI_MINIPORT, buf, size, size)) return false;
  std::memcpy(buffer, buf.data() + offsetof(SILICON_IMAGE_IDE_REQUEST, Data), SECTOR);
  return true;
}

// ---- WMI ---------------------------------------------------------------------

bool CAtaSmart::GetSmartAttributeWmi(int32_t kind, ATA_SMART_INFO& asi) {
  if (asi.PnpDeviceId.empty()) return false;
  try {
    const char* wql = kind == 0 ? "SELECT * FROM MSStorageDriver_FailurePredictData"
                                : "SELECT * FROM MSStorageDriver_FailurePredictThresholds";
    auto rows = m_Platform.Wmi.Query("\\\\.\\root\\WMI", wql);
    if (!rows) return false;
    for (const os::WmiObject& row : *rows) {
      std::string instance = row.String("InstanceName");
      for (char& c : instance) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (instance.compare(0, asi.PnpDeviceId.size(), asi.PnpDeviceId) != 0) continue;
      // The first matching object decides; a short byte array is no sector.
      std::vector<uint8_t> bytes = row.Bytes("VendorSpecific");
      if (bytes.size() < SECTOR) return false;
      if (kind == 0) {
        std::memcpy(asi.SmartReadData.data(), bytes.data(), SECTOR);
        return FillSmartData(asi);
      }
      std::memcpy(asi.SmartReadThreshold.data(), bytes.data(), SECTOR);
      return FillSmartThreshold(asi);
    }
  } catch (...) {
    return false;
  }
  return false;
}
