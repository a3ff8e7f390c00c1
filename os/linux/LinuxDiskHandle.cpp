#include "os/linux/LinuxDiskHandle.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/DebugLog.h"
#include "os/linux/AtaPassThrough.h"
#include "os/wire/WinIoctlPaths.h"

namespace os {
namespace {

using namespace winio;

// Largest data transfer a request may ask for. The engine never asks for
// more than 4 KiB; anything far beyond is a malformed request.
constexpr uint32_t MAX_TRANSFER = 64 * 1024;

// IDEREGS / task file order: features (error), count, LBA low, mid, high,
// device, command (status), reserved.
AtaTaskFile ReadRegisters(const uint8_t* p) {
  AtaTaskFile t;
  t.Features = p[0];
  t.Count = p[1];
  t.LbaLow = p[2];
  t.LbaMid = p[3];
  t.LbaHigh = p[4];
  t.Device = p[5];
  t.Command = p[6];
  return t;
}
void WriteRegisters(uint8_t* p, const AtaTaskFile& t) {
  p[0] = t.Features;
  p[1] = t.Count;
  p[2] = t.LbaLow;
  p[3] = t.LbaMid;
  p[4] = t.LbaHigh;
  p[5] = t.Device;
  p[6] = t.Command;
  p[7] = 0;
}

uint32_t TimeoutMs(uint32_t seconds) {
  if (seconds == 0) return 2000;
  return std::min<uint32_t>(seconds, 60) * 1000;
}

// STORAGE_BUS_TYPE values.
uint32_t BusTypeOf(LinuxDiskBus bus) {
  switch (bus) {
    case LinuxDiskBus::Ata:
      return BUS_SATA;
    case LinuxDiskBus::Scsi:
      return BUS_SCSI;
    case LinuxDiskBus::Usb:
      return BUS_USB;
    case LinuxDiskBus::Nvme:
      return BUS_NVME;
    case LinuxDiskBus::Virtio:
      return BUS_VIRTUAL;
    case LinuxDiskBus::Mmc:
      return BUS_MMC;
    case LinuxDiskBus::Unknown:
      break;
  }
  return BUS_UNKNOWN;
}

const char* ErrorName(uint32_t e) {
  switch (e) {
    case ERR_ACCESS_DENIED:
      return "access denied (needs root)";
    case ERR_NOT_SUPPORTED:
      return "not supported";
    case ERR_SEM_TIMEOUT:
      return "timed out";
    case ERR_FILE_NOT_FOUND:
      return "device gone";
    case ERR_NOT_READY:
      return "not ready";
    case ERR_INVALID_PARAMETER:
      return "malformed request";
    case ERR_INSUFFICIENT_BUFFER:
      return "buffer too small";
    case ERR_INVALID_FUNCTION:
      return "unknown request";
    default:
      return "I/O error";
  }
}

// One line that tells what came back, for the diagnostic log.
void LogScsiOutcome(const std::string& path, int sysError, const ScsiRequest& r) {
  size_t senseLength = std::min<size_t>(r.SenseLength, r.Sense.size());
  base::DebugLogF(
      "linux: %s: CDB %02X/%02X errno %d, status %02X, host %04X, driver %04X, resid %d, "
      "sense %02X %02X %02X %02X (%zu bytes)",
      path.c_str(), r.Cdb[0], r.Cdb[r.Cdb[0] == 0x85 ? 14 : 1], sysError, r.ScsiStatus,
      r.HostStatus, r.DriverStatus, r.Residual, senseLength > 0 ? r.Sense[0] : 0,
      senseLength > 2 ? r.Sense[1] : 0, senseLength > 2 ? r.Sense[2] : 0,
      senseLength > 12 ? r.Sense[12] : 0, senseLength);
}

// Runs one ATA PASS-THROUGH request and judges it; failures are logged
// with what the system and the device said.
AtaOutcome RunAta(IDiskSyscalls& syscalls, const LinuxDisk& disk, ScsiRequest& r) {
  int rc = syscalls.Scsi(disk.NodePath, r);
  AtaOutcome outcome = JudgeAtaPassThrough(rc, r);
  if (outcome.Error != ERR_SUCCESS) LogScsiOutcome(disk.DevicePath, rc, r);
  return outcome;
}

}  // namespace

CLinuxDiskHandle::CLinuxDiskHandle(LinuxDisk disk, std::string devRoot, IDiskSyscalls& syscalls,
                                   LinuxAccessState& state)
    : m_Disk(std::move(disk)),
      m_DevRoot(std::move(devRoot)),
      m_Syscalls(syscalls),
      m_State(state) {}

bool CLinuxDiskHandle::Control(uint32_t code, const void* in, uint32_t inSize, void* out,
                               uint32_t outSize, uint32_t* returned, uint32_t* error) {
  // The engine often passes one buffer both ways: take the request first.
  std::vector<uint8_t> request;
  if (in && inSize > 0) {
    const auto* p = static_cast<const uint8_t*>(in);
    request.assign(p, p + inSize);
  }
  const uint8_t* req = request.data();
  auto* answer = static_cast<uint8_t*>(out);
  if (!answer) outSize = 0;
  uint32_t size = 0;
  uint32_t result;
  switch (code) {
    case CTL_ATA_PASS_THROUGH:
      result = AtaPassThrough(req, inSize, answer, outSize, &size);
      break;
    case CTL_IDE_PASS_THROUGH:
      result = IdePassThrough(req, inSize, answer, outSize, &size);
      break;
    case CTL_SMART_RCV_DRIVE_DATA:
      result = SmartReceive(req, inSize, answer, outSize, &size);
      break;
    case CTL_SMART_SEND_DRIVE_COMMAND:
      result = SmartSend(req, inSize, answer, outSize, &size);
      break;
    case CTL_SMART_GET_VERSION:
      result = SmartVersion(answer, outSize, &size);
      break;
    case CTL_SCSI_PASS_THROUGH:
      result = ScsiPassThrough(req, inSize, answer, outSize, &size);
      break;
    case CTL_STORAGE_QUERY_PROPERTY:
      result = QueryProperty(req, inSize, answer, outSize, &size);
      break;
    case CTL_DISK_GET_DRIVE_GEOMETRY:
      result = Geometry(false, answer, outSize, &size);
      break;
    case CTL_DISK_GET_DRIVE_GEOMETRY_EX:
      result = Geometry(true, answer, outSize, &size);
      break;
    case CTL_DISK_GET_LENGTH_INFO:
      result = LengthInfo(answer, outSize, &size);
      break;
    case CTL_SCSI_GET_ADDRESS:
      result = ScsiAddress(answer, outSize, &size);
      break;
    case CTL_SCSI_MINIPORT:
    case CTL_SCSI_PASS_THROUGH_DIRECT:
    case CTL_STORAGE_PREDICT_FAILURE:
      result = ERR_NOT_SUPPORTED;
      break;
    default:
      result = ERR_INVALID_FUNCTION;
      break;
  }
  if (result != ERR_SUCCESS) {
    if (result == ERR_ACCESS_DENIED) m_State.Denied();
    base::DebugLogF("linux: %s: request %08X failed: %s", m_Disk.DevicePath.c_str(), code,
                    ErrorName(result));
    if (error) *error = result;
    if (returned) *returned = 0;
    return false;
  }
  if (returned) *returned = size;
  if (error) *error = ERR_SUCCESS;
  return true;
}

bool CLinuxDiskHandle::Read(void* buffer, uint32_t size, uint32_t* read) {
  if (read) *read = 0;
  if (!buffer && size > 0) return false;
  uint32_t got = 0;
  int rc = m_Syscalls.Read(m_Disk.NodePath, m_Position, buffer, std::min(size, MAX_TRANSFER), &got);
  if (rc != 0) {
    if (ErrorFromErrno(rc) == ERR_ACCESS_DENIED) m_State.Denied();
    base::DebugLogF("linux: %s: read failed: %s", m_Disk.DevicePath.c_str(),
                    ErrorName(ErrorFromErrno(rc)));
    return false;
  }
  m_Position += got;
  if (read) *read = got;
  return true;
}

// ---- ATA ----

uint32_t CLinuxDiskHandle::AtaPassThrough(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                          uint32_t outSize, uint32_t* returned) {
  if (inSize < 2) return ERR_INVALID_PARAMETER;
  uint16_t length = Load16(in);
  const AtaPassThroughLayout* layout = AtaPassThroughLayoutFor(length);
  if (!layout || inSize < layout->HeaderSize || outSize < layout->HeaderSize) {
    base::DebugLogF("linux: ATA pass-through header of %u bytes in %u/%u", length, inSize, outSize);
    return ERR_INVALID_PARAMETER;
  }
  // The fields before DataBufferOffset sit at the same place in both forms.
  uint16_t flags = Load16(in + offsetof(ATA_PASS_THROUGH_EX32, AtaFlags));
  uint32_t dataLength = Load32(in + offsetof(ATA_PASS_THROUGH_EX32, DataTransferLength));
  uint64_t dataOffset = LoadUintPtr(in + layout->DataBufferOffsetAt, layout->PointerWidth);
  bool dataIn = (flags & APT_FLAGS_DATA_IN) != 0;
  bool dataOut = (flags & APT_FLAGS_DATA_OUT) != 0;
  if (dataIn && dataOut) return ERR_INVALID_PARAMETER;
  if (!dataIn && !dataOut) dataLength = 0;
  if (dataLength > MAX_TRANSFER) return ERR_INVALID_PARAMETER;
  dataIn = dataIn && dataLength > 0;
  dataOut = dataOut && dataLength > 0;
  if (dataLength > 0) {
    uint64_t limit = dataIn ? outSize : inSize;
    if (dataOffset < layout->HeaderSize || dataOffset + dataLength > limit) {
      base::DebugLogF("linux: ATA pass-through data at %llu+%u outside the buffer",
                      static_cast<unsigned long long>(dataOffset), dataLength);
      return ERR_INVALID_PARAMETER;
    }
  }

  AtaCommand command;
  command.Current = ReadRegisters(in + layout->CurrentTaskFileAt);
  command.Previous = ReadRegisters(in + layout->PreviousTaskFileAt);
  command.Extend = (flags & APT_FLAGS_48BIT_COMMAND) != 0;
  command.Direction = dataLength == 0 ? DataDirection::None
                      : dataIn        ? DataDirection::In
                                      : DataDirection::Out;
  command.Protocol = (flags & APT_FLAGS_USE_DMA) ? AtaProtocol::Dma
                     : dataIn                    ? AtaProtocol::PioDataIn
                                                 : AtaProtocol::PioDataOut;
  command.DataLength = dataLength;
  command.TimeoutMs = TimeoutMs(Load32(in + offsetof(ATA_PASS_THROUGH_EX32, TimeOutValue)));

  std::vector<uint8_t> data(dataLength);
  if (dataOut) std::memcpy(data.data(), in + dataOffset, dataLength);
  ScsiRequest r;
  r.Cdb = BuildAtaPassThrough16(command);
  r.CdbLength = 16;
  r.Direction = command.Direction;
  r.Data = data.data();
  r.DataLength = dataLength;
  r.TimeoutMs = command.TimeoutMs;
  AtaOutcome outcome = RunAta(m_Syscalls, m_Disk, r);
  if (outcome.Error != ERR_SUCCESS) return outcome.Error;
  bool deviceError = (outcome.Registers.Command & (ATA_STATUS_ERR | ATA_STATUS_DF)) != 0;
  if (dataIn && outcome.Transferred < dataLength && !deviceError) {
    base::DebugLogF("linux: %s: ATA command %02X moved %u of %u bytes", m_Disk.DevicePath.c_str(),
                    command.Current.Command, outcome.Transferred, dataLength);
    return ERR_IO_DEVICE;
  }

  // The answer is the request's header with the device's registers, then
  // the data; a device that refused the command answers with its error and
  // status registers, as the system does on Windows.
  std::memcpy(out, in, std::min<uint64_t>(dataIn ? dataOffset : layout->HeaderSize, inSize));
  WriteRegisters(out + layout->CurrentTaskFileAt, outcome.Registers);
  if (command.Extend) WriteRegisters(out + layout->PreviousTaskFileAt, outcome.PreviousRegisters);
  uint32_t moved = deviceError ? 0 : outcome.Transferred;
  Store32(out + offsetof(ATA_PASS_THROUGH_EX32, DataTransferLength), dataIn ? moved : dataLength);
  if (dataIn) {
    std::memset(out + dataOffset, 0, dataLength);
    if (moved > 0) std::memcpy(out + dataOffset, data.data(), moved);
    *returned = static_cast<uint32_t>(dataOffset) + moved;
  } else {
    *returned = static_cast<uint32_t>(layout->HeaderSize);
  }
  return ERR_SUCCESS;
}

uint32_t CLinuxDiskHandle::IdePassThrough(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                          uint32_t outSize, uint32_t* returned) {
  // IDEREGS, a u32 data size, then the data (read from the disk).
  constexpr uint32_t HEADER = sizeof(IDE_PASS_THROUGH_HEADER);
  if (inSize < HEADER || outSize < HEADER) return ERR_INVALID_PARAMETER;
  uint32_t dataLength = Load32(in + offsetof(IDE_PASS_THROUGH_HEADER, DataBufferSize));
  if (dataLength > MAX_TRANSFER || uint64_t{HEADER} + dataLength > outSize) {
    return ERR_INVALID_PARAMETER;
  }

  AtaCommand command;
  command.Current = ReadRegisters(in);
  command.Direction = dataLength ? DataDirection::In : DataDirection::None;
  command.Protocol = AtaProtocol::PioDataIn;
  command.DataLength = dataLength;
  std::vector<uint8_t> data(dataLength);
  ScsiRequest r;
  r.Cdb = BuildAtaPassThrough16(command);
  r.CdbLength = 16;
  r.Direction = command.Direction;
  r.Data = data.data();
  r.DataLength = dataLength;
  r.TimeoutMs = command.TimeoutMs;
  AtaOutcome outcome = RunAta(m_Syscalls, m_Disk, r);
  if (outcome.Error != ERR_SUCCESS) return outcome.Error;
  bool deviceError = (outcome.Registers.Command & (ATA_STATUS_ERR | ATA_STATUS_DF)) != 0;
  if (outcome.Transferred < dataLength && !deviceError) {
    base::DebugLogF("linux: %s: ATA command %02X moved %u of %u bytes", m_Disk.DevicePath.c_str(),
                    command.Current.Command, outcome.Transferred, dataLength);
    return ERR_IO_DEVICE;
  }
  uint32_t moved = deviceError ? 0 : outcome.Transferred;
  WriteRegisters(out, outcome.Registers);
  Store32(out + offsetof(IDE_PASS_THROUGH_HEADER, DataBufferSize), moved);
  std::memset(out + HEADER, 0, dataLength);
  if (moved > 0) std::memcpy(out + HEADER, data.data(), moved);
  *returned = HEADER + moved;
  return ERR_SUCCESS;
}

uint32_t CLinuxDiskHandle::SmartReceive(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                        uint32_t outSize, uint32_t* returned) {
  if (inSize < offsetof(SENDCMDINPARAMS, bBuffer)) return ERR_INVALID_PARAMETER;
  AtaCommand command;
  command.Current = ReadRegisters(in + offsetof(SENDCMDINPARAMS, irDriveRegs));
  const AtaTaskFile& t = command.Current;
  uint32_t dataLength = 512;
  if (t.Command == ATA_SMART) {
    if (t.Features == 0xD5) {  // READ LOG: sector count pages
      dataLength = 512u * std::max<uint32_t>(t.Count, 1);
    } else if (t.Features != SMART_READ_DATA && t.Features != SMART_READ_THRESHOLDS) {
      return ERR_INVALID_PARAMETER;
    }
  } else if (t.Command != ATA_IDENTIFY_DEVICE && t.Command != ATA_IDENTIFY_PACKET_DEVICE) {
    return ERR_INVALID_PARAMETER;
  }
  // SENDCMDOUTPARAMS: u32 buffer size, 12 bytes of driver status, data.
  constexpr uint32_t DATA_AT = offsetof(SENDCMDOUTPARAMS, bBuffer);
  constexpr uint32_t STATUS_AT = offsetof(SENDCMDOUTPARAMS, DriverStatus);
  if (outSize < uint64_t{DATA_AT} + dataLength) return ERR_INSUFFICIENT_BUFFER;
  command.Direction = DataDirection::In;
  command.Protocol = AtaProtocol::PioDataIn;
  command.DataLength = dataLength;
  std::vector<uint8_t> data(dataLength);
  ScsiRequest r;
  r.Cdb = BuildAtaPassThrough16(command);
  r.CdbLength = 16;
  r.Direction = DataDirection::In;
  r.Data = data.data();
  r.DataLength = dataLength;
  r.TimeoutMs = command.TimeoutMs;
  AtaOutcome outcome = RunAta(m_Syscalls, m_Disk, r);
  if (outcome.Error != ERR_SUCCESS) return outcome.Error;
  std::memset(out, 0, DATA_AT);
  if (outcome.Registers.Command & (ATA_STATUS_ERR | ATA_STATUS_DF)) {
    out[STATUS_AT + offsetof(DRIVERSTATUS, bDriverError)] = SMART_DRIVER_IDE_ERROR;
    out[STATUS_AT + offsetof(DRIVERSTATUS, bIDEError)] = outcome.Registers.Features;
    base::DebugLogF("linux: %s: ATA command %02X/%02X refused, status %02X error %02X",
                    m_Disk.DevicePath.c_str(), t.Command, t.Features, outcome.Registers.Command,
                    outcome.Registers.Features);
    return ERR_IO_DEVICE;
  }
  if (outcome.Transferred < dataLength) {
    base::DebugLogF("linux: %s: ATA command %02X moved %u of %u bytes", m_Disk.DevicePath.c_str(),
                    t.Command, outcome.Transferred, dataLength);
    return ERR_IO_DEVICE;
  }
  Store32(out + offsetof(SENDCMDOUTPARAMS, cBufferSize), dataLength);
  std::memcpy(out + DATA_AT, data.data(), dataLength);
  *returned = DATA_AT + dataLength;
  return ERR_SUCCESS;
}

uint32_t CLinuxDiskHandle::SmartSend(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                     uint32_t outSize, uint32_t* returned) {
  if (inSize < offsetof(SENDCMDINPARAMS, bBuffer)) return ERR_INVALID_PARAMETER;
  AtaCommand command;
  command.Current = ReadRegisters(in + offsetof(SENDCMDINPARAMS, irDriveRegs));
  const AtaTaskFile& t = command.Current;
  // The S.M.A.R.T. functions without data: save attributes, off-line
  // immediate, enable, disable, return status, attribute autosave.
  static const uint8_t kNonData[] = {0xD2, 0xD3, 0xD4, 0xD8, 0xD9, 0xDA};
  if (t.Command != ATA_SMART ||
      std::find(std::begin(kNonData), std::end(kNonData), t.Features) == std::end(kNonData)) {
    return ERR_INVALID_PARAMETER;
  }
  constexpr uint32_t DATA_AT = offsetof(SENDCMDOUTPARAMS, bBuffer);
  constexpr uint32_t STATUS_AT = offsetof(SENDCMDOUTPARAMS, DriverStatus);
  if (outSize < DATA_AT) return ERR_INSUFFICIENT_BUFFER;
  ScsiRequest r;
  r.Cdb = BuildAtaPassThrough16(command);
  r.CdbLength = 16;
  r.TimeoutMs = command.TimeoutMs;
  AtaOutcome outcome = RunAta(m_Syscalls, m_Disk, r);
  if (outcome.Error != ERR_SUCCESS) return outcome.Error;
  std::memset(out, 0, DATA_AT);
  if (outcome.Registers.Command & (ATA_STATUS_ERR | ATA_STATUS_DF)) {
    out[STATUS_AT + offsetof(DRIVERSTATUS, bDriverError)] = SMART_DRIVER_IDE_ERROR;
    out[STATUS_AT + offsetof(DRIVERSTATUS, bIDEError)] = outcome.Registers.Features;
    base::DebugLogF("linux: %s: S.M.A.R.T. function %02X refused, status %02X error %02X",
                    m_Disk.DevicePath.c_str(), t.Features, outcome.Registers.Command,
                    outcome.Registers.Features);
    return ERR_IO_DEVICE;
  }
  *returned = DATA_AT;
  if (t.Features == 0xDA) {
    // RETURN STATUS answers in LBA mid/high: without the registers the
    // answer is unknown, which is not the same as "good".
    if (!outcome.HaveRegisters) return ERR_NOT_SUPPORTED;
    if (outSize >= DATA_AT + sizeof(IDEREGS)) {
      Store32(out + offsetof(SENDCMDOUTPARAMS, cBufferSize), sizeof(IDEREGS));
      WriteRegisters(out + DATA_AT, outcome.Registers);
      *returned = DATA_AT + sizeof(IDEREGS);
    }
  }
  return ERR_SUCCESS;
}

uint32_t CLinuxDiskHandle::SmartVersion(uint8_t* out, uint32_t outSize, uint32_t* returned) {
  if (m_Disk.Bus != LinuxDiskBus::Ata) return ERR_INVALID_FUNCTION;
  // GETVERSIONINPARAMS: version 1.1, device map "master on channel 0",
  // capabilities ATA IDENTIFY and S.M.A.R.T.
  if (outSize < sizeof(GETVERSIONINPARAMS)) return ERR_INSUFFICIENT_BUFFER;
  std::memset(out, 0, sizeof(GETVERSIONINPARAMS));
  out[offsetof(GETVERSIONINPARAMS, bVersion)] = 1;
  out[offsetof(GETVERSIONINPARAMS, bRevision)] = 1;
  out[offsetof(GETVERSIONINPARAMS, bIDEDeviceMap)] = 1;
  Store32(out + offsetof(GETVERSIONINPARAMS, fCapabilities),
          SMART_CAPS_ATA_IDENTIFY | SMART_CAPS_SMART_COMMANDS);
  *returned = sizeof(GETVERSIONINPARAMS);
  return ERR_SUCCESS;
}

// ---- SCSI ----

uint32_t CLinuxDiskHandle::ScsiPassThrough(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                           uint32_t outSize, uint32_t* returned) {
  if (inSize < 2) return ERR_INVALID_PARAMETER;
  uint16_t length = Load16(in);
  const ScsiPassThroughLayout* layout = ScsiPassThroughLayoutFor(length);
  if (!layout || inSize < layout->HeaderSize || outSize < layout->HeaderSize) {
    base::DebugLogF("linux: SCSI pass-through header of %u bytes in %u/%u", length, inSize,
                    outSize);
    return ERR_INVALID_PARAMETER;
  }
  // The fields before DataBufferOffset sit at the same place in both forms.
  using SPT = SCSI_PASS_THROUGH32;
  uint8_t cdbLength = in[offsetof(SPT, CdbLength)];
  uint8_t senseLength = in[offsetof(SPT, SenseInfoLength)];
  uint8_t dataIn = in[offsetof(SPT, DataIn)];
  uint32_t dataLength = Load32(in + offsetof(SPT, DataTransferLength));
  uint32_t timeout = Load32(in + offsetof(SPT, TimeOutValue));
  uint64_t dataOffset = LoadUintPtr(in + layout->DataBufferOffsetAt, layout->PointerWidth);
  uint32_t senseOffset = Load32(in + layout->SenseInfoOffsetAt);
  if (cdbLength == 0 || cdbLength > 16 || dataIn > SPT_DATA_UNSPECIFIED ||
      dataLength > MAX_TRANSFER) {
    return ERR_INVALID_PARAMETER;
  }
  bool reading = dataIn != 0;  // DATA_IN, or unspecified
  if (dataLength > 0) {
    uint64_t limit = reading ? outSize : inSize;
    if (dataOffset < layout->HeaderSize || dataOffset + dataLength > limit) {
      base::DebugLogF("linux: SCSI pass-through data at %llu+%u outside the buffer",
                      static_cast<unsigned long long>(dataOffset), dataLength);
      return ERR_INVALID_PARAMETER;
    }
  }
  if (senseLength > 0 && (senseOffset < layout->HeaderSize ||
                          static_cast<uint64_t>(senseOffset) + senseLength > outSize)) {
    return ERR_INVALID_PARAMETER;
  }

  std::vector<uint8_t> data(dataLength);
  if (!reading && dataLength > 0) std::memcpy(data.data(), in + dataOffset, dataLength);
  ScsiRequest r;
  std::memcpy(r.Cdb.data(), in + layout->CdbAt, cdbLength);
  r.CdbLength = cdbLength;
  r.Direction = dataLength == 0 ? DataDirection::None
                : reading       ? DataDirection::In
                                : DataDirection::Out;
  r.Data = data.data();
  r.DataLength = dataLength;
  r.TimeoutMs = TimeoutMs(timeout);
  int rc = m_Syscalls.Scsi(m_Disk.NodePath, r);
  if (rc != 0) {
    LogScsiOutcome(m_Disk.DevicePath, rc, r);
    return ErrorFromErrno(rc);
  }
  if (uint32_t e = TransportError(r); e != ERR_SUCCESS) {
    LogScsiOutcome(m_Disk.DevicePath, rc, r);
    return e;
  }

  // Delivered: whatever the SCSI status, the request succeeded and the
  // caller judges ScsiStatus, the sense data and the byte count.
  int64_t moved = static_cast<int64_t>(dataLength) - r.Residual;
  moved = std::clamp<int64_t>(moved, 0, dataLength);
  auto transferred = static_cast<uint32_t>(moved);
  if (transferred < dataLength) {
    base::DebugLogF("linux: %s: SCSI %02X moved %u of %u bytes, status %02X",
                    m_Disk.DevicePath.c_str(), r.Cdb[0], transferred, dataLength, r.ScsiStatus);
  }
  uint8_t senseCopied = std::min<uint8_t>(senseLength, std::min<uint8_t>(r.SenseLength, 64));
  std::memcpy(out, in, layout->HeaderSize);
  out[offsetof(SPT, ScsiStatus)] = r.ScsiStatus;
  out[offsetof(SPT, SenseInfoLength)] = senseCopied;
  Store32(out + offsetof(SPT, DataTransferLength), transferred);
  if (senseLength > 0) {
    std::memset(out + senseOffset, 0, senseLength);
    std::memcpy(out + senseOffset, r.Sense.data(), senseCopied);
  }
  if (reading && dataLength > 0) {
    std::memset(out + dataOffset, 0, dataLength);
    std::memcpy(out + dataOffset, data.data(), transferred);
    *returned = static_cast<uint32_t>(dataOffset) + transferred;
  } else if (senseCopied > 0) {
    *returned = senseOffset + senseCopied;
  } else {
    *returned = static_cast<uint32_t>(layout->HeaderSize);
  }
  return ERR_SUCCESS;
}

uint32_t CLinuxDiskHandle::ScsiAddress(uint8_t* out, uint32_t outSize, uint32_t* returned) {
  if (m_Disk.ScsiHost < 0) return ERR_NOT_SUPPORTED;
  if (outSize < sizeof(SCSI_ADDRESS)) return ERR_INSUFFICIENT_BUFFER;
  Store32(out + offsetof(SCSI_ADDRESS, Length), sizeof(SCSI_ADDRESS));
  out[offsetof(SCSI_ADDRESS, PortNumber)] = static_cast<uint8_t>(m_Disk.ScsiHost);
  out[offsetof(SCSI_ADDRESS, PathId)] = static_cast<uint8_t>(m_Disk.ScsiChannel);
  out[offsetof(SCSI_ADDRESS, TargetId)] = static_cast<uint8_t>(m_Disk.ScsiTarget);
  out[offsetof(SCSI_ADDRESS, Lun)] = static_cast<uint8_t>(m_Disk.ScsiLun);
  *returned = sizeof(SCSI_ADDRESS);
  return ERR_SUCCESS;
}

// ---- storage query ----

uint32_t CLinuxDiskHandle::QueryProperty(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                         uint32_t outSize, uint32_t* returned) {
  // STORAGE_PROPERTY_QUERY: PropertyId, QueryType, additional parameters.
  if (inSize < offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters)) {
    return ERR_INVALID_PARAMETER;
  }
  uint32_t propertyId = Load32(in + offsetof(STORAGE_PROPERTY_QUERY, PropertyId));
  uint32_t queryType = Load32(in + offsetof(STORAGE_PROPERTY_QUERY, QueryType));
  if (propertyId == PROPERTY_STORAGE_DEVICE) {
    if (queryType == PROPERTY_EXISTS_QUERY) {
      *returned = 0;
      return ERR_SUCCESS;
    }
    if (queryType != PROPERTY_STANDARD_QUERY) return ERR_INVALID_PARAMETER;
    return DeviceDescriptor(out, outSize, returned);
  }
  if (propertyId == PROPERTY_STORAGE_ADAPTER_PROTOCOL_SPECIFIC ||
      propertyId == PROPERTY_STORAGE_DEVICE_PROTOCOL_SPECIFIC)
    return NvmeProtocolQuery(in, inSize, out, outSize, returned);
  return ERR_NOT_SUPPORTED;
}

uint32_t CLinuxDiskHandle::DeviceDescriptor(uint8_t* out, uint32_t outSize, uint32_t* returned) {
  // STORAGE_DEVICE_DESCRIPTOR (40 bytes), then the NUL-terminated strings
  // its offsets point at.
  if (outSize < 8) return ERR_INSUFFICIENT_BUFFER;
  using SDD = STORAGE_DEVICE_DESCRIPTOR;
  std::vector<uint8_t> d(sizeof(SDD), 0);
  auto addString = [&d](const std::string& s, uint32_t offsetField) {
    if (s.empty()) return;
    Store32(d.data() + offsetField, static_cast<uint32_t>(d.size()));
    d.insert(d.end(), s.begin(), s.end());
    d.push_back(0);
  };
  d[offsetof(SDD, DeviceType)] = 0x00;  // direct-access block device
  d[offsetof(SDD, RemovableMedia)] = m_Disk.Removable ? 1 : 0;
  d[offsetof(SDD, CommandQueueing)] = 0;
  addString(m_Disk.Vendor, offsetof(SDD, VendorIdOffset));
  addString(m_Disk.Model, offsetof(SDD, ProductIdOffset));
  addString(m_Disk.Revision, offsetof(SDD, ProductRevisionOffset));
  addString(m_Disk.Serial, offsetof(SDD, SerialNumberOffset));
  Store32(d.data() + offsetof(SDD, BusType), BusTypeOf(m_Disk.Bus));
  Store32(d.data() + offsetof(SDD, Version), sizeof(SDD));
  Store32(d.data() + offsetof(SDD, Size), static_cast<uint32_t>(d.size()));
  // A short buffer gets the beginning; Size tells the caller how much to ask for.
  uint32_t n = std::min<uint32_t>(outSize, static_cast<uint32_t>(d.size()));
  std::memcpy(out, d.data(), n);
  *returned = n;
  return ERR_SUCCESS;
}

uint32_t CLinuxDiskHandle::NvmeProtocolQuery(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                             uint32_t outSize, uint32_t* returned) {
  if (m_Disk.Bus != LinuxDiskBus::Nvme) return ERR_NOT_SUPPORTED;
  // STORAGE_PROTOCOL_SPECIFIC_DATA after PropertyId and QueryType; its data
  // offset counts from its own start.
  using SPSD = STORAGE_PROTOCOL_SPECIFIC_DATA;
  constexpr uint32_t PROTOCOL_AT = offsetof(STORAGE_QUERY_NVME, Protocol);
  if (inSize < PROTOCOL_AT + sizeof(SPSD)) return ERR_INVALID_PARAMETER;
  const uint8_t* p = in + PROTOCOL_AT;
  uint32_t protocolType = Load32(p + offsetof(SPSD, ProtocolType));
  uint32_t dataType = Load32(p + offsetof(SPSD, DataType));
  uint32_t value = Load32(p + offsetof(SPSD, ProtocolDataRequestValue));
  uint32_t subValue = Load32(p + offsetof(SPSD, ProtocolDataRequestSubValue));
  uint32_t dataOffset = Load32(p + offsetof(SPSD, ProtocolDataOffset));
  uint32_t dataLength = Load32(p + offsetof(SPSD, ProtocolDataLength));
  uint32_t subValue2 = Load32(p + offsetof(SPSD, ProtocolDataRequestSubValue2));
  if (protocolType != PROTOCOL_NVME) return ERR_NOT_SUPPORTED;
  if (dataOffset < sizeof(SPSD) || dataLength == 0 || dataLength > MAX_TRANSFER ||
      dataLength % 4 != 0 || uint64_t{PROTOCOL_AT} + dataOffset + dataLength > outSize) {
    return ERR_INVALID_PARAMETER;
  }
  NvmeAdminRequest cmd;
  if (dataType == NVME_DATA_IDENTIFY) {  // identify: value is the CNS, sub-value the namespace
    cmd.Opcode = 0x06;
    cmd.Cdw10 = value & 0xFF;
    cmd.Nsid = value == 0 ? subValue : 0;
  } else if (dataType == NVME_DATA_LOG_PAGE) {  // log page: value is the log identifier
    uint32_t numd = dataLength / 4 - 1;
    cmd.Opcode = 0x02;
    cmd.Nsid = 0xFFFFFFFF;
    cmd.Cdw10 = (value & 0xFF) | (numd & 0xFFFF) << 16;
    cmd.Cdw11 = numd >> 16;
    // The sub-value is the byte offset into the log; all ones is what older
    // callers put there to mean "every namespace" and reads from the start.
    if (subValue != 0xFFFFFFFF) {
      cmd.Cdw12 = subValue;
      cmd.Cdw13 = subValue2;
    }
  } else {
    return ERR_NOT_SUPPORTED;
  }
  std::vector<uint8_t> data(dataLength);
  cmd.Data = data.data();
  cmd.DataLength = dataLength;
  std::string node =
      m_Disk.NvmeController.empty() ? m_Disk.NodePath : m_DevRoot + "/" + m_Disk.NvmeController;
  int rc = m_Syscalls.NvmeAdmin(node, cmd);
  if (rc != 0) return ErrorFromErrno(rc);
  if (cmd.Status != 0) {
    base::DebugLogF("linux: %s: NVMe admin %02X refused, status %04X", m_Disk.DevicePath.c_str(),
                    cmd.Opcode, cmd.Status);
    return ERR_IO_DEVICE;
  }
  // STORAGE_PROTOCOL_DATA_DESCRIPTOR: Version, Size, then the protocol
  // structure as sent with the completion's dword 0 in FixedProtocolReturnData.
  constexpr uint32_t DESCRIPTOR_SIZE = PROTOCOL_AT + sizeof(SPSD);
  std::memset(out, 0, uint64_t{PROTOCOL_AT} + dataOffset);
  Store32(out, DESCRIPTOR_SIZE);      // Version
  Store32(out + 4, DESCRIPTOR_SIZE);  // Size
  std::memcpy(out + PROTOCOL_AT, p, sizeof(SPSD));
  Store32(out + PROTOCOL_AT + offsetof(SPSD, FixedProtocolReturnData), cmd.Result);
  std::memcpy(out + PROTOCOL_AT + dataOffset, data.data(), dataLength);
  *returned = PROTOCOL_AT + dataOffset + dataLength;
  return ERR_SUCCESS;
}

// ---- block layer ----

uint32_t CLinuxDiskHandle::Geometry(bool extended, uint8_t* out, uint32_t outSize,
                                    uint32_t* returned) {
  uint32_t need = extended ? sizeof(DISK_GEOMETRY_EX_HEADER) : sizeof(DISK_GEOMETRY);
  if (outSize < need) return ERR_INSUFFICIENT_BUFFER;
  if (m_Disk.Sectors == 0) return ERR_NOT_READY;  // no medium
  // DISK_GEOMETRY: the usual translated geometry of 255 heads and 63
  // sectors per track over the disk's size.
  uint64_t bytes = m_Disk.Sectors * 512;
  uint32_t bps = m_Disk.LogicalBlockSize;
  std::memset(out, 0, need);
  Store64(out + offsetof(DISK_GEOMETRY, Cylinders), bytes / (255ull * 63 * bps));
  Store32(out + offsetof(DISK_GEOMETRY, MediaType),
          m_Disk.Removable ? MEDIA_TYPE_REMOVABLE : MEDIA_TYPE_FIXED);
  Store32(out + offsetof(DISK_GEOMETRY, TracksPerCylinder), 255);
  Store32(out + offsetof(DISK_GEOMETRY, SectorsPerTrack), 63);
  Store32(out + offsetof(DISK_GEOMETRY, BytesPerSector), bps);
  if (extended) Store64(out + offsetof(DISK_GEOMETRY_EX_HEADER, DiskSize), bytes);
  *returned = need;
  return ERR_SUCCESS;
}

uint32_t CLinuxDiskHandle::LengthInfo(uint8_t* out, uint32_t outSize, uint32_t* returned) {
  if (outSize < 8) return ERR_INSUFFICIENT_BUFFER;
  if (m_Disk.Sectors == 0) return ERR_NOT_READY;
  Store64(out, m_Disk.Sectors * 512);
  *returned = 8;
  return ERR_SUCCESS;
}

// ---- SCSI port ----

bool CLinuxScsiPortHandle::Control(uint32_t code, const void*, uint32_t, void*, uint32_t,
                                   uint32_t* returned, uint32_t* error) {
  base::DebugLogF("linux: SCSI port request %08X: not supported", code);
  if (returned) *returned = 0;
  if (error) *error = ERR_NOT_SUPPORTED;
  return false;
}

bool CLinuxScsiPortHandle::Read(void*, uint32_t, uint32_t* read) {
  if (read) *read = 0;
  return false;
}

}  // namespace os
