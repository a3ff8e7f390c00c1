#include "os/linux/LinuxDiskHandle.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/DebugLog.h"
#include "os/linux/AtaPassThrough.h"

namespace os {
namespace {

// Largest data transfer a request may ask for. The engine never asks for
// more than 4 KiB; anything far beyond is a malformed request.
constexpr uint32_t MAX_TRANSFER = 64 * 1024;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint64_t Get64(const uint8_t* p) {
  return static_cast<uint64_t>(Get32(p)) | static_cast<uint64_t>(Get32(p + 4)) << 32;
}
void Put32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
void Put64(uint8_t* p, uint64_t v) {
  Put32(p, static_cast<uint32_t>(v));
  Put32(p + 4, static_cast<uint32_t>(v >> 32));
}

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

// The two layouts of ATA_PASS_THROUGH_EX, told apart by its Length field:
// 40 bytes from a 32-bit caller, 48 from a 64-bit one (DataBufferOffset is a
// pointer-sized field).
struct AptLayout {
  uint32_t Length;
  uint32_t DataBufferOffset;
  bool WideOffset;
  uint32_t PreviousTaskFile;
  uint32_t CurrentTaskFile;
};
constexpr AptLayout APT32 = {40, 20, false, 24, 32};
constexpr AptLayout APT64 = {48, 24, true, 32, 40};

// The same for SCSI_PASS_THROUGH: 44 or 56 bytes.
struct SptLayout {
  uint32_t Length;
  uint32_t DataBufferOffset;
  bool WideOffset;
  uint32_t SenseInfoOffset;
  uint32_t Cdb;
};
constexpr SptLayout SPT32 = {44, 20, false, 24, 28};
constexpr SptLayout SPT64 = {56, 24, true, 32, 36};

constexpr uint16_t ATA_FLAGS_DATA_IN = 0x02;
constexpr uint16_t ATA_FLAGS_DATA_OUT = 0x04;
constexpr uint16_t ATA_FLAGS_48BIT_COMMAND = 0x08;
constexpr uint16_t ATA_FLAGS_USE_DMA = 0x10;

constexpr uint8_t ATA_IDENTIFY_DEVICE = 0xEC;
constexpr uint8_t ATA_IDENTIFY_PACKET_DEVICE = 0xA1;
constexpr uint8_t ATA_SMART = 0xB0;

// STORAGE_BUS_TYPE values.
uint32_t BusTypeOf(LinuxDiskBus bus) {
  switch (bus) {
    case LinuxDiskBus::Ata:
      return 0x0B;  // BusTypeSata
    case LinuxDiskBus::Scsi:
      return 0x01;  // BusTypeScsi
    case LinuxDiskBus::Usb:
      return 0x07;  // BusTypeUsb
    case LinuxDiskBus::Nvme:
      return 0x11;  // BusTypeNvme
    case LinuxDiskBus::Virtio:
      return 0x0E;  // BusTypeVirtual
    case LinuxDiskBus::Mmc:
      return 0x0D;  // BusTypeMmc
    case LinuxDiskBus::Unknown:
      break;
  }
  return 0;
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
  app::DebugLogF(
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
    case wincode::IOCTL_ATA_PASS_THROUGH:
      result = AtaPassThrough(req, inSize, answer, outSize, &size);
      break;
    case wincode::IOCTL_IDE_PASS_THROUGH:
      result = IdePassThrough(req, inSize, answer, outSize, &size);
      break;
    case wincode::SMART_RCV_DRIVE_DATA:
      result = SmartReceive(req, inSize, answer, outSize, &size);
      break;
    case wincode::SMART_SEND_DRIVE_COMMAND:
      result = SmartSend(req, inSize, answer, outSize, &size);
      break;
    case wincode::SMART_GET_VERSION:
      result = SmartVersion(answer, outSize, &size);
      break;
    case wincode::IOCTL_SCSI_PASS_THROUGH:
      result = ScsiPassThrough(req, inSize, answer, outSize, &size);
      break;
    case wincode::IOCTL_STORAGE_QUERY_PROPERTY:
      result = QueryProperty(req, inSize, answer, outSize, &size);
      break;
    case wincode::IOCTL_DISK_GET_DRIVE_GEOMETRY:
      result = Geometry(false, answer, outSize, &size);
      break;
    case wincode::IOCTL_DISK_GET_DRIVE_GEOMETRY_EX:
      result = Geometry(true, answer, outSize, &size);
      break;
    case wincode::IOCTL_DISK_GET_LENGTH_INFO:
      result = LengthInfo(answer, outSize, &size);
      break;
    case wincode::IOCTL_SCSI_GET_ADDRESS:
      result = ScsiAddress(answer, outSize, &size);
      break;
    case wincode::IOCTL_SCSI_MINIPORT:
    case wincode::IOCTL_SCSI_PASS_THROUGH_DIRECT:
    case wincode::IOCTL_STORAGE_PREDICT_FAILURE:
      result = ERR_NOT_SUPPORTED;
      break;
    default:
      result = ERR_INVALID_FUNCTION;
      break;
  }
  if (result != ERR_SUCCESS) {
    if (result == ERR_ACCESS_DENIED) m_State.Denied();
    app::DebugLogF("linux: %s: request %08X failed: %s", m_Disk.DevicePath.c_str(), code,
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
    app::DebugLogF("linux: %s: read failed: %s", m_Disk.DevicePath.c_str(),
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
  const AptLayout* layout = nullptr;
  uint16_t length = Get16(in);
  if (length == APT32.Length) layout = &APT32;
  if (length == APT64.Length) layout = &APT64;
  if (!layout || inSize < layout->Length || outSize < layout->Length) {
    app::DebugLogF("linux: ATA pass-through header of %u bytes in %u/%u", length, inSize, outSize);
    return ERR_INVALID_PARAMETER;
  }
  uint16_t flags = Get16(in + 2);
  uint32_t dataLength = Get32(in + 8);
  uint64_t dataOffset = layout->WideOffset ? Get64(in + layout->DataBufferOffset)
                                           : Get32(in + layout->DataBufferOffset);
  bool dataIn = (flags & ATA_FLAGS_DATA_IN) != 0;
  bool dataOut = (flags & ATA_FLAGS_DATA_OUT) != 0;
  if (dataIn && dataOut) return ERR_INVALID_PARAMETER;
  if (!dataIn && !dataOut) dataLength = 0;
  if (dataLength > MAX_TRANSFER) return ERR_INVALID_PARAMETER;
  dataIn = dataIn && dataLength > 0;
  dataOut = dataOut && dataLength > 0;
  if (dataLength > 0) {
    uint64_t limit = dataIn ? outSize : inSize;
    if (dataOffset < layout->Length || dataOffset + dataLength > limit) {
      app::DebugLogF("linux: ATA pass-through data at %llu+%u outside the buffer",
                     static_cast<unsigned long long>(dataOffset), dataLength);
      return ERR_INVALID_PARAMETER;
    }
  }

  AtaCommand command;
  command.Current = ReadRegisters(in + layout->CurrentTaskFile);
  command.Previous = ReadRegisters(in + layout->PreviousTaskFile);
  command.Extend = (flags & ATA_FLAGS_48BIT_COMMAND) != 0;
  command.Direction = dataLength == 0 ? DataDirection::None
                      : dataIn        ? DataDirection::In
                                      : DataDirection::Out;
  command.Protocol = (flags & ATA_FLAGS_USE_DMA) ? AtaProtocol::Dma
                     : dataIn                    ? AtaProtocol::PioDataIn
                                                 : AtaProtocol::PioDataOut;
  command.DataLength = dataLength;
  command.TimeoutMs = TimeoutMs(Get32(in + 12));

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
    app::DebugLogF("linux: %s: ATA command %02X moved %u of %u bytes", m_Disk.DevicePath.c_str(),
                   command.Current.Command, outcome.Transferred, dataLength);
    return ERR_IO_DEVICE;
  }

  // The answer is the request's header with the device's registers, then
  // the data; a device that refused the command answers with its error and
  // status registers, as the system does on Windows.
  std::memcpy(out, in, std::min<uint64_t>(dataIn ? dataOffset : layout->Length, inSize));
  WriteRegisters(out + layout->CurrentTaskFile, outcome.Registers);
  if (command.Extend) WriteRegisters(out + layout->PreviousTaskFile, outcome.PreviousRegisters);
  uint32_t moved = deviceError ? 0 : outcome.Transferred;
  Put32(out + 8, dataIn ? moved : dataLength);
  if (dataIn) {
    std::memset(out + dataOffset, 0, dataLength);
    if (moved > 0) std::memcpy(out + dataOffset, data.data(), moved);
    *returned = static_cast<uint32_t>(dataOffset) + moved;
  } else {
    *returned = layout->Length;
  }
  return ERR_SUCCESS;
}

uint32_t CLinuxDiskHandle::IdePassThrough(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                          uint32_t outSize, uint32_t* returned) {
  // IDEREGS, a u32 data size, then the data (read from the disk).
  if (inSize < 12 || outSize < 12) return ERR_INVALID_PARAMETER;
  uint32_t dataLength = Get32(in + 8);
  if (dataLength > MAX_TRANSFER || 12ull + dataLength > outSize) return ERR_INVALID_PARAMETER;

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
    app::DebugLogF("linux: %s: ATA command %02X moved %u of %u bytes", m_Disk.DevicePath.c_str(),
                   command.Current.Command, outcome.Transferred, dataLength);
    return ERR_IO_DEVICE;
  }
  uint32_t moved = deviceError ? 0 : outcome.Transferred;
  WriteRegisters(out, outcome.Registers);
  Put32(out + 8, moved);
  std::memset(out + 12, 0, dataLength);
  if (moved > 0) std::memcpy(out + 12, data.data(), moved);
  *returned = 12 + moved;
  return ERR_SUCCESS;
}

uint32_t CLinuxDiskHandle::SmartReceive(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                        uint32_t outSize, uint32_t* returned) {
  // SENDCMDINPARAMS: u32 buffer size, IDEREGS at 4, drive number at 12.
  if (inSize < 32) return ERR_INVALID_PARAMETER;
  AtaCommand command;
  command.Current = ReadRegisters(in + 4);
  const AtaTaskFile& t = command.Current;
  uint32_t dataLength = 512;
  if (t.Command == ATA_SMART) {
    if (t.Features == 0xD5) {  // READ LOG: sector count pages
      dataLength = 512u * std::max<uint32_t>(t.Count, 1);
    } else if (t.Features != 0xD0 && t.Features != 0xD1) {
      return ERR_INVALID_PARAMETER;
    }
  } else if (t.Command != ATA_IDENTIFY_DEVICE && t.Command != ATA_IDENTIFY_PACKET_DEVICE) {
    return ERR_INVALID_PARAMETER;
  }
  // SENDCMDOUTPARAMS: u32 buffer size, 12 bytes of driver status, data.
  if (outSize < 16ull + dataLength) return ERR_INSUFFICIENT_BUFFER;
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
  std::memset(out, 0, 16);
  if (outcome.Registers.Command & (ATA_STATUS_ERR | ATA_STATUS_DF)) {
    out[4] = 1;  // SMART_IDE_ERROR
    out[5] = outcome.Registers.Features;
    app::DebugLogF("linux: %s: ATA command %02X/%02X refused, status %02X error %02X",
                   m_Disk.DevicePath.c_str(), t.Command, t.Features, outcome.Registers.Command,
                   outcome.Registers.Features);
    return ERR_IO_DEVICE;
  }
  if (outcome.Transferred < dataLength) {
    app::DebugLogF("linux: %s: ATA command %02X moved %u of %u bytes", m_Disk.DevicePath.c_str(),
                   t.Command, outcome.Transferred, dataLength);
    return ERR_IO_DEVICE;
  }
  Put32(out, dataLength);
  std::memcpy(out + 16, data.data(), dataLength);
  *returned = 16 + dataLength;
  return ERR_SUCCESS;
}

uint32_t CLinuxDiskHandle::SmartSend(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                     uint32_t outSize, uint32_t* returned) {
  if (inSize < 32) return ERR_INVALID_PARAMETER;
  AtaCommand command;
  command.Current = ReadRegisters(in + 4);
  const AtaTaskFile& t = command.Current;
  // The S.M.A.R.T. functions without data: save attributes, off-line
  // immediate, enable, disable, return status, attribute autosave.
  static const uint8_t kNonData[] = {0xD2, 0xD3, 0xD4, 0xD8, 0xD9, 0xDA};
  if (t.Command != ATA_SMART ||
      std::find(std::begin(kNonData), std::end(kNonData), t.Features) == std::end(kNonData)) {
    return ERR_INVALID_PARAMETER;
  }
  if (outSize < 16) return ERR_INSUFFICIENT_BUFFER;
  ScsiRequest r;
  r.Cdb = BuildAtaPassThrough16(command);
  r.CdbLength = 16;
  r.TimeoutMs = command.TimeoutMs;
  AtaOutcome outcome = RunAta(m_Syscalls, m_Disk, r);
  if (outcome.Error != ERR_SUCCESS) return outcome.Error;
  std::memset(out, 0, 16);
  if (outcome.Registers.Command & (ATA_STATUS_ERR | ATA_STATUS_DF)) {
    out[4] = 1;
    out[5] = outcome.Registers.Features;
    app::DebugLogF("linux: %s: S.M.A.R.T. function %02X refused, status %02X error %02X",
                   m_Disk.DevicePath.c_str(), t.Features, outcome.Registers.Command,
                   outcome.Registers.Features);
    return ERR_IO_DEVICE;
  }
  *returned = 16;
  if (t.Features == 0xDA) {
    // RETURN STATUS answers in LBA mid/high: without the registers the
    // answer is unknown, which is not the same as "good".
    if (!outcome.HaveRegisters) return ERR_NOT_SUPPORTED;
    if (outSize >= 24) {
      Put32(out, 8);
      WriteRegisters(out + 16, outcome.Registers);
      *returned = 24;
    }
  }
  return ERR_SUCCESS;
}

uint32_t CLinuxDiskHandle::SmartVersion(uint8_t* out, uint32_t outSize, uint32_t* returned) {
  if (m_Disk.Bus != LinuxDiskBus::Ata) return ERR_INVALID_FUNCTION;
  // GETVERSIONINPARAMS: version 1.1, device map "master on channel 0",
  // capabilities ATA IDENTIFY and S.M.A.R.T.
  if (outSize < 24) return ERR_INSUFFICIENT_BUFFER;
  std::memset(out, 0, 24);
  out[0] = 1;
  out[1] = 1;
  out[3] = 1;
  Put32(out + 4, 0x01 | 0x04);
  *returned = 24;
  return ERR_SUCCESS;
}

// ---- SCSI ----

uint32_t CLinuxDiskHandle::ScsiPassThrough(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                           uint32_t outSize, uint32_t* returned) {
  if (inSize < 2) return ERR_INVALID_PARAMETER;
  const SptLayout* layout = nullptr;
  uint16_t length = Get16(in);
  if (length == SPT32.Length) layout = &SPT32;
  if (length == SPT64.Length) layout = &SPT64;
  if (!layout || inSize < layout->Length || outSize < layout->Length) {
    app::DebugLogF("linux: SCSI pass-through header of %u bytes in %u/%u", length, inSize, outSize);
    return ERR_INVALID_PARAMETER;
  }
  uint8_t cdbLength = in[6];
  uint8_t senseLength = in[7];
  uint8_t dataIn = in[8];
  uint32_t dataLength = Get32(in + 12);
  uint32_t timeout = Get32(in + 16);
  uint64_t dataOffset = layout->WideOffset ? Get64(in + layout->DataBufferOffset)
                                           : Get32(in + layout->DataBufferOffset);
  uint32_t senseOffset = Get32(in + layout->SenseInfoOffset);
  if (cdbLength == 0 || cdbLength > 16 || dataIn > 2 || dataLength > MAX_TRANSFER) {
    return ERR_INVALID_PARAMETER;
  }
  bool reading = dataIn != 0;  // DATA_IN, or unspecified
  if (dataLength > 0) {
    uint64_t limit = reading ? outSize : inSize;
    if (dataOffset < layout->Length || dataOffset + dataLength > limit) {
      app::DebugLogF("linux: SCSI pass-through data at %llu+%u outside the buffer",
                     static_cast<unsigned long long>(dataOffset), dataLength);
      return ERR_INVALID_PARAMETER;
    }
  }
  if (senseLength > 0 && (senseOffset < layout->Length ||
                          static_cast<uint64_t>(senseOffset) + senseLength > outSize)) {
    return ERR_INVALID_PARAMETER;
  }

  std::vector<uint8_t> data(dataLength);
  if (!reading && dataLength > 0) std::memcpy(data.data(), in + dataOffset, dataLength);
  ScsiRequest r;
  std::memcpy(r.Cdb.data(), in + layout->Cdb, cdbLength);
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
    app::DebugLogF("linux: %s: SCSI %02X moved %u of %u bytes, status %02X",
                   m_Disk.DevicePath.c_str(), r.Cdb[0], transferred, dataLength, r.ScsiStatus);
  }
  uint8_t senseCopied = std::min<uint8_t>(senseLength, std::min<uint8_t>(r.SenseLength, 64));
  std::memcpy(out, in, layout->Length);
  out[2] = r.ScsiStatus;
  out[7] = senseCopied;
  Put32(out + 12, transferred);
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
    *returned = layout->Length;
  }
  return ERR_SUCCESS;
}

uint32_t CLinuxDiskHandle::ScsiAddress(uint8_t* out, uint32_t outSize, uint32_t* returned) {
  if (m_Disk.ScsiHost < 0) return ERR_NOT_SUPPORTED;
  if (outSize < 8) return ERR_INSUFFICIENT_BUFFER;
  Put32(out, 8);
  out[4] = static_cast<uint8_t>(m_Disk.ScsiHost);
  out[5] = static_cast<uint8_t>(m_Disk.ScsiChannel);
  out[6] = static_cast<uint8_t>(m_Disk.ScsiTarget);
  out[7] = static_cast<uint8_t>(m_Disk.ScsiLun);
  *returned = 8;
  return ERR_SUCCESS;
}

// ---- storage query ----

uint32_t CLinuxDiskHandle::QueryProperty(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                         uint32_t outSize, uint32_t* returned) {
  // STORAGE_PROPERTY_QUERY: PropertyId, QueryType, additional parameters.
  if (inSize < 8) return ERR_INVALID_PARAMETER;
  uint32_t propertyId = Get32(in);
  uint32_t queryType = Get32(in + 4);
  if (propertyId == 0) {   // StorageDeviceProperty
    if (queryType == 1) {  // PropertyExistsQuery
      *returned = 0;
      return ERR_SUCCESS;
    }
    if (queryType != 0) return ERR_INVALID_PARAMETER;
    return DeviceDescriptor(out, outSize, returned);
  }
  if (propertyId == 49 || propertyId == 50)
    return NvmeProtocolQuery(in, inSize, out, outSize, returned);
  return ERR_NOT_SUPPORTED;
}

uint32_t CLinuxDiskHandle::DeviceDescriptor(uint8_t* out, uint32_t outSize, uint32_t* returned) {
  // STORAGE_DEVICE_DESCRIPTOR (40 bytes), then the NUL-terminated strings
  // its offsets point at.
  if (outSize < 8) return ERR_INSUFFICIENT_BUFFER;
  std::vector<uint8_t> d(40, 0);
  auto addString = [&d](const std::string& s, uint32_t offsetField) {
    if (s.empty()) return;
    Put32(d.data() + offsetField, static_cast<uint32_t>(d.size()));
    d.insert(d.end(), s.begin(), s.end());
    d.push_back(0);
  };
  d[8] = 0x00;  // direct-access block device
  d[10] = m_Disk.Removable ? 1 : 0;
  d[11] = 0;
  addString(m_Disk.Vendor, 12);
  addString(m_Disk.Model, 16);
  addString(m_Disk.Revision, 20);
  addString(m_Disk.Serial, 24);
  Put32(d.data() + 28, BusTypeOf(m_Disk.Bus));
  Put32(d.data() + 0, 40);
  Put32(d.data() + 4, static_cast<uint32_t>(d.size()));
  // A short buffer gets the beginning; Size tells the caller how much to ask for.
  uint32_t n = std::min<uint32_t>(outSize, static_cast<uint32_t>(d.size()));
  std::memcpy(out, d.data(), n);
  *returned = n;
  return ERR_SUCCESS;
}

uint32_t CLinuxDiskHandle::NvmeProtocolQuery(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                             uint32_t outSize, uint32_t* returned) {
  if (m_Disk.Bus != LinuxDiskBus::Nvme) return ERR_NOT_SUPPORTED;
  // STORAGE_PROTOCOL_SPECIFIC_DATA at 8: ProtocolType, DataType, request
  // value, sub-value, data offset (from offset 8), data length, ...
  if (inSize < 48) return ERR_INVALID_PARAMETER;
  const uint8_t* p = in + 8;
  uint32_t protocolType = Get32(p);
  uint32_t dataType = Get32(p + 4);
  uint32_t value = Get32(p + 8);
  uint32_t subValue = Get32(p + 12);
  uint32_t dataOffset = Get32(p + 16);
  uint32_t dataLength = Get32(p + 20);
  uint32_t subValue2 = Get32(p + 28);
  if (protocolType != 3) return ERR_NOT_SUPPORTED;  // ProtocolTypeNvme
  if (dataOffset < 40 || dataLength == 0 || dataLength > MAX_TRANSFER || dataLength % 4 != 0 ||
      8ull + dataOffset + dataLength > outSize) {
    return ERR_INVALID_PARAMETER;
  }
  NvmeAdminRequest cmd;
  if (dataType == 1) {  // identify: value is the CNS, sub-value the namespace
    cmd.Opcode = 0x06;
    cmd.Cdw10 = value & 0xFF;
    cmd.Nsid = value == 0 ? subValue : 0;
  } else if (dataType == 2) {  // log page: value is the log identifier
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
    app::DebugLogF("linux: %s: NVMe admin %02X refused, status %04X", m_Disk.DevicePath.c_str(),
                   cmd.Opcode, cmd.Status);
    return ERR_IO_DEVICE;
  }
  // STORAGE_PROTOCOL_DATA_DESCRIPTOR: Version, Size, then the protocol
  // structure as sent with the completion's dword 0 in FixedProtocolReturnData.
  std::memset(out, 0, 8ull + dataOffset);
  Put32(out, 48);
  Put32(out + 4, 48);
  std::memcpy(out + 8, p, 40);
  Put32(out + 8 + 24, cmd.Result);
  std::memcpy(out + 8 + dataOffset, data.data(), dataLength);
  *returned = 8 + dataOffset + dataLength;
  return ERR_SUCCESS;
}

// ---- block layer ----

uint32_t CLinuxDiskHandle::Geometry(bool extended, uint8_t* out, uint32_t outSize,
                                    uint32_t* returned) {
  uint32_t need = extended ? 32 : 24;
  if (outSize < need) return ERR_INSUFFICIENT_BUFFER;
  if (m_Disk.Sectors == 0) return ERR_NOT_READY;  // no medium
  // DISK_GEOMETRY: the usual translated geometry of 255 heads and 63
  // sectors per track over the disk's size.
  uint64_t bytes = m_Disk.Sectors * 512;
  uint32_t bps = m_Disk.LogicalBlockSize;
  std::memset(out, 0, need);
  Put64(out, bytes / (255ull * 63 * bps));
  Put32(out + 8, m_Disk.Removable ? 11 : 12);  // RemovableMedia : FixedMedia
  Put32(out + 12, 255);
  Put32(out + 16, 63);
  Put32(out + 20, bps);
  if (extended) Put64(out + 24, bytes);
  *returned = need;
  return ERR_SUCCESS;
}

uint32_t CLinuxDiskHandle::LengthInfo(uint8_t* out, uint32_t outSize, uint32_t* returned) {
  if (outSize < 8) return ERR_INSUFFICIENT_BUFFER;
  if (m_Disk.Sectors == 0) return ERR_NOT_READY;
  Put64(out, m_Disk.Sectors * 512);
  *returned = 8;
  return ERR_SUCCESS;
}

// ---- SCSI port ----

bool CLinuxScsiPortHandle::Control(uint32_t code, const void*, uint32_t, void*, uint32_t,
                                   uint32_t* returned, uint32_t* error) {
  app::DebugLogF("linux: SCSI port request %08X: not supported", code);
  if (returned) *returned = 0;
  if (error) *error = ERR_NOT_SUPPORTED;
  return false;
}

bool CLinuxScsiPortHandle::Read(void*, uint32_t, uint32_t* read) {
  if (read) *read = 0;
  return false;
}

}  // namespace os
