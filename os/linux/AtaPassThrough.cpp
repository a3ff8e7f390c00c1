#include "os/linux/AtaPassThrough.h"

#include <cerrno>

#include "os/DeviceIo.h"

namespace os {
namespace {

constexpr uint8_t SCSI_STATUS_GOOD = 0x00;
constexpr uint8_t SCSI_STATUS_CHECK_CONDITION = 0x02;
constexpr uint8_t SENSE_KEY_ILLEGAL_REQUEST = 0x05;

constexpr uint16_t DID_OK = 0x00;
constexpr uint16_t DID_TIME_OUT = 0x03;
constexpr uint16_t DRIVER_TIMEOUT = 0x06;
constexpr uint16_t DRIVER_SENSE = 0x08;

}  // namespace

std::array<uint8_t, 16> BuildAtaPassThrough16(const AtaCommand& c) {
  std::array<uint8_t, 16> cdb{};
  bool data = c.Direction != DataDirection::None && c.DataLength > 0;
  AtaProtocol protocol = data ? c.Protocol : AtaProtocol::NonData;
  cdb[0] = 0x85;
  cdb[1] = static_cast<uint8_t>((static_cast<uint8_t>(protocol) << 1) | (c.Extend ? 1 : 0));
  // Data commands: T_DIR (in), BYT_BLOK (count in blocks), T_LENGTH 2 (the
  // length is in the sector count field). Commands without data set CK_COND
  // so the device's registers come back (RETURN STATUS answers in them).
  // Data commands do not: libata before Linux 6.10 reports a PIO data-in
  // command with CK_COND as aborted, with the registers at the wrong places
  // of fixed-format sense, although the data arrived. A data command that
  // fails still comes back with CHECK CONDITION and its registers.
  uint8_t flags = 0;
  if (data) {
    flags |= 0x04 | 0x02;
    if (c.Direction == DataDirection::In) flags |= 0x08;
  } else {
    flags |= 0x20;
  }
  cdb[2] = flags;
  uint8_t count = c.Current.Count;
  if (data && count == 0 && !c.Extend) {
    uint32_t blocks = (c.DataLength + 511) / 512;
    count = static_cast<uint8_t>(blocks > 255 ? 0 : blocks);
  }
  if (c.Extend) {
    cdb[3] = c.Previous.Features;
    cdb[5] = c.Previous.Count;
    cdb[7] = c.Previous.LbaLow;
    cdb[9] = c.Previous.LbaMid;
    cdb[11] = c.Previous.LbaHigh;
  }
  cdb[4] = c.Current.Features;
  cdb[6] = count;
  cdb[8] = c.Current.LbaLow;
  cdb[10] = c.Current.LbaMid;
  cdb[12] = c.Current.LbaHigh;
  cdb[13] = c.Current.Device;
  cdb[14] = c.Current.Command;
  cdb[15] = 0;
  return cdb;
}

uint8_t SenseKey(const uint8_t* sense, size_t length) {
  if (!sense || length < 3) return 0;
  uint8_t code = sense[0] & 0x7F;
  if (code == 0x72 || code == 0x73) return sense[1] & 0x0F;
  if (code == 0x70 || code == 0x71) return sense[2] & 0x0F;
  return 0;
}

bool ParseAtaStatusReturn(const uint8_t* sense, size_t length, AtaTaskFile* current,
                          AtaTaskFile* previous) {
  if (!sense || length < 8) return false;
  uint8_t code = sense[0] & 0x7F;
  AtaTaskFile cur;
  AtaTaskFile prev;
  if (code == 0x72 || code == 0x73) {
    size_t end = 8 + static_cast<size_t>(sense[7]);
    if (end > length) end = length;
    size_t at = 8;
    while (at + 2 <= end) {
      size_t descLength = 2 + static_cast<size_t>(sense[at + 1]);
      if (at + descLength > end) break;
      if (sense[at] == 0x09 && descLength >= 14) {
        const uint8_t* d = sense + at;
        cur.Features = d[3];
        prev.Count = d[4];
        cur.Count = d[5];
        prev.LbaLow = d[6];
        cur.LbaLow = d[7];
        prev.LbaMid = d[8];
        cur.LbaMid = d[9];
        prev.LbaHigh = d[10];
        cur.LbaHigh = d[11];
        cur.Device = d[12];
        cur.Command = d[13];
        if (current) *current = cur;
        if (previous) *previous = prev;
        return true;
      }
      at += descLength;
    }
    return false;
  }
  if ((code == 0x70 || code == 0x71) && length >= 14) {
    // ASC/ASCQ 00h/1Dh: ATA PASS-THROUGH INFORMATION AVAILABLE.
    if (sense[12] != 0x00 || sense[13] != 0x1D) return false;
    cur.Features = sense[3];
    cur.Command = sense[4];
    cur.Device = sense[5];
    cur.Count = sense[6];
    cur.LbaLow = sense[9];
    cur.LbaMid = sense[10];
    cur.LbaHigh = sense[11];
    if (current) *current = cur;
    if (previous) *previous = prev;
    return true;
  }
  return false;
}

uint32_t ErrorFromErrno(int error) {
  switch (error) {
    case 0:
      return ERR_SUCCESS;
    case EACCES:
    case EPERM:
    case EROFS:
      return ERR_ACCESS_DENIED;
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return ERR_FILE_NOT_FOUND;
    case ENOTTY:
    case EINVAL:
    case ENOSYS:
    case EOPNOTSUPP:
      return ERR_NOT_SUPPORTED;
    case ETIMEDOUT:
      return ERR_SEM_TIMEOUT;
    case ENOMEDIUM:
    case EBUSY:
    case EAGAIN:
      return ERR_NOT_READY;
    default:
      return ERR_IO_DEVICE;
  }
}

uint32_t TransportError(const ScsiRequest& done) {
  if (done.HostStatus == DID_TIME_OUT) return ERR_SEM_TIMEOUT;
  if (done.HostStatus != DID_OK) return ERR_IO_DEVICE;
  uint16_t driver = done.DriverStatus & 0x0F;
  if (driver == DRIVER_TIMEOUT) return ERR_SEM_TIMEOUT;
  if (driver != 0 && driver != DRIVER_SENSE) return ERR_IO_DEVICE;
  return ERR_SUCCESS;
}

AtaOutcome JudgeAtaPassThrough(int sysError, const ScsiRequest& done) {
  AtaOutcome out;
  if (sysError != 0) {
    out.Error = ErrorFromErrno(sysError);
    return out;
  }
  out.Error = TransportError(done);
  if (out.Error != ERR_SUCCESS) return out;

  size_t senseLength = done.SenseLength;
  if (senseLength > done.Sense.size()) senseLength = done.Sense.size();
  if (done.Direction != DataDirection::None) {
    int64_t moved = static_cast<int64_t>(done.DataLength) - done.Residual;
    if (moved < 0) moved = 0;
    if (moved > done.DataLength) moved = done.DataLength;
    out.Transferred = static_cast<uint32_t>(moved);
  }
  if (done.ScsiStatus == SCSI_STATUS_GOOD) {
    // No registers came back: the command completed without error.
    out.HaveRegisters = ParseAtaStatusReturn(done.Sense.data(), senseLength, &out.Registers,
                                             &out.PreviousRegisters);
    if (!out.HaveRegisters) out.Registers.Command = ATA_STATUS_DRDY | ATA_STATUS_DSC;
    return out;
  }
  if (done.ScsiStatus == SCSI_STATUS_CHECK_CONDITION) {
    if (ParseAtaStatusReturn(done.Sense.data(), senseLength, &out.Registers,
                             &out.PreviousRegisters)) {
      out.HaveRegisters = true;
      return out;
    }
    out.Error = SenseKey(done.Sense.data(), senseLength) == SENSE_KEY_ILLEGAL_REQUEST
                    ? ERR_NOT_SUPPORTED
                    : ERR_IO_DEVICE;
    out.Transferred = 0;
    return out;
  }
  out.Error = ERR_IO_DEVICE;
  out.Transferred = 0;
  return out;
}

}  // namespace os
