// CSMI RAID controllers of the simulated machine: driver, RAID and phy
// information from the controller's description, and ATA commands through
// the STP pass-through to the disks attached to its phys.
#pragma once

#include <cstdint>
#include <vector>

#include "os/sim/SimMachine.h"
#include "os/sim/SimPathsData.h"

namespace os::sim {

// The controller on a SCSI port, or null.
const SimCsmiController* CsmiControllerOnPort(const SimMachine& machine, int32_t scsiPort);

// True when the 8-byte signature of an SRB_IO_CONTROL names a CSMI request.
bool IsCsmiSignature(const uint8_t* signature);

// A CSMI IOCTL_SCSI_MINIPORT request on `scsiPort`. A port without a CSMI
// controller refuses it with ERROR_INVALID_FUNCTION, as drivers without CSMI
// do. `sys` holds the input and receives the answer.
PathReply AnswerCsmi(SimMachine& machine, int32_t scsiPort, std::vector<uint8_t>& sys,
                     size_t inSize, uint32_t outSize);

}  // namespace os::sim
