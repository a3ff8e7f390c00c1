// USB-to-ATA bridges of the simulated machine: how a bridge reads the ATA
// registers out of the SCSI command block of each vendor form, and how it
// answers a pass-through request on the physical drive of an enclosure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "os/sim/SimMachine.h"
#include "os/sim/SimPathsData.h"

namespace os::sim {

// The ATA registers a bridge found in a command block.
struct BridgeCommand {
  BridgeForm Form = BridgeForm::Sat;
  uint8_t Features = 0;
  uint8_t SectorCount = 0;
  uint8_t LbaLow = 0;
  uint8_t LbaMid = 0;
  uint8_t LbaHigh = 0;
  uint8_t Device = 0;
  uint8_t Command = 0;
};

// Recognises the form of a command block by its fixed bytes and reads the
// registers from the form's positions. nullopt for anything else.
std::optional<BridgeCommand> DecodeBridgeCdb(const uint8_t* cdb, size_t length);

// IOCTL_SCSI_PASS_THROUGH on a physical drive: the NVMe command blocks of
// the Samsung driver and the USB-to-NVMe bridges, and the ATA command forms
// of USB-to-ATA bridges. A disk that takes neither ends the request with
// CHECK CONDITION. `sys` holds the input and receives the answer.
PathReply AnswerScsiPassThrough(SimDisk& disk, std::vector<uint8_t>& sys, size_t inSize,
                                uint32_t outSize);

}  // namespace os::sim
