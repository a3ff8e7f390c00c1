// ATA commands carried in SCSI: the ATA PASS-THROUGH(16) command block of the
// SCSI/ATA translation standard, and the ATA registers the device returns in
// the sense data. Pure functions over bytes; no device is touched here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "os/linux/DiskSyscalls.h"

namespace os {

// The seven ATA registers in IDEREGS order. Sent: features, sector count,
// LBA low/mid/high, device, command. Returned: Features holds the error
// register and Command the status register.
struct AtaTaskFile {
  uint8_t Features = 0;
  uint8_t Count = 0;
  uint8_t LbaLow = 0;
  uint8_t LbaMid = 0;
  uint8_t LbaHigh = 0;
  uint8_t Device = 0;
  uint8_t Command = 0;
  bool operator==(const AtaTaskFile&) const = default;
};

enum class AtaProtocol : uint8_t {
  NonData = 3,
  PioDataIn = 4,
  PioDataOut = 5,
  Dma = 6,
};

struct AtaCommand {
  AtaTaskFile Current;
  AtaTaskFile Previous;  // high bytes of a 48-bit command
  bool Extend = false;   // 48-bit command
  AtaProtocol Protocol = AtaProtocol::NonData;
  DataDirection Direction = DataDirection::None;
  uint32_t DataLength = 0;
  uint32_t TimeoutMs = 2000;
};

// ATA status register bits the backend looks at.
constexpr uint8_t ATA_STATUS_ERR = 0x01;
constexpr uint8_t ATA_STATUS_DSC = 0x10;
constexpr uint8_t ATA_STATUS_DF = 0x20;
constexpr uint8_t ATA_STATUS_DRDY = 0x40;
constexpr uint8_t ATA_STATUS_BSY = 0x80;

// The 16-byte ATA PASS-THROUGH command block. Commands without data set
// CK_COND so the device's registers come back in the sense data. A data command whose
// sector count is 0 (IDENTIFY DEVICE as the engine sends it) gets the number
// of 512-byte blocks of its transfer in the count field, because the block
// tells the translation layer the transfer length through that field.
std::array<uint8_t, 16> BuildAtaPassThrough16(const AtaCommand& command);

// Finds the ATA registers in sense data: the ATA Status Return descriptor of
// descriptor-format sense, or the fixed-format form with "ATA PASS-THROUGH
// INFORMATION AVAILABLE". Returns false when neither is there.
bool ParseAtaStatusReturn(const uint8_t* sense, size_t length, AtaTaskFile* current,
                          AtaTaskFile* previous);

// Sense key of fixed or descriptor sense data; 0 when there is none.
uint8_t SenseKey(const uint8_t* sense, size_t length);

// System error code (os::ERR_*) for an errno of open or ioctl.
uint32_t ErrorFromErrno(int error);

// System error code for a command that reached the kernel but failed in the
// transport (adapter or driver status: time-out, lost device, ...); 0 when
// the transport delivered it and the SCSI status can be looked at.
uint32_t TransportError(const ScsiRequest& done);

// The outcome of one ATA PASS-THROUGH command.
struct AtaOutcome {
  uint32_t Error = 0;          // os::ERR_*; 0 when the device answered
  bool HaveRegisters = false;  // the device's registers came back
  AtaTaskFile Registers;       // error in Features, status in Command
  AtaTaskFile PreviousRegisters;
  uint32_t Transferred = 0;  // data bytes moved
};

// Judges a finished ATA PASS-THROUGH(16) request: `sysError` is what
// IDiskSyscalls::Scsi returned. A device that answered, even with the error
// bit set, is Error 0 with its registers; a translation layer that does not
// know the command (ILLEGAL REQUEST without registers) is ERR_NOT_SUPPORTED.
// A command that answers GOOD without registers (every data command, and a
// bridge that ignores CK_COND) reads as a clean completion: status 50h
// (DRDY, DSC), error 0.
AtaOutcome JudgeAtaPassThrough(int sysError, const ScsiRequest& done);

}  // namespace os
