// NVMe disks of the simulated machine: the storage query, the Samsung
// driver's pass-through, the NVMe miniport and the two USB-to-NVMe bridges
// answer from the disk's identify data and health-log pages; WMI and the
// device-setup enumeration show the PCI Express controller that holds it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "os/DeviceSetup.h"
#include "os/Wmi.h"
#include "os/sim/SimMachine.h"
#include "os/sim/SimPathsData.h"

namespace os::sim {

// IOCTL_STORAGE_QUERY_PROPERTY for the protocol-specific properties (49, 50)
// on a physical drive. `sys` holds the input and receives the answer.
PathReply AnswerNvmeStorageQuery(SimDisk& disk, std::vector<uint8_t>& sys, size_t inSize,
                                 uint32_t outSize);

// One IOCTL_SCSI_PASS_THROUGH request as the driver sees it.
struct SptRequest {
  const uint8_t* Cdb = nullptr;
  uint8_t CdbLength = 0;
  uint8_t DataIn = 0;
  uint32_t TransferLength = 0;
  size_t DataAt = 0;   // offset of the data area in the buffer
  size_t SenseAt = 0;  // offset of the sense area
  uint8_t SenseLength = 0;
  size_t HeaderSize = 0;
  size_t InSize = 0;
  uint32_t OutSize = 0;
};

// Ends a pass-through request with CHECK CONDITION, ILLEGAL REQUEST: the
// request itself succeeds, no data moves.
PathReply SptCheckCondition(const SptRequest& request, std::vector<uint8_t>& sys);

// The NVMe command blocks among the pass-through requests: the Samsung
// driver's (B5/A2 FE), the JMicron bridge's (A1 80/82) and the ASMedia
// bridge's (E6). nullopt when the command block is none of these, or the
// disk does not answer on that path.
std::optional<PathReply> AnswerNvmePassThrough(SimDisk& disk, const SptRequest& request,
                                               std::vector<uint8_t>& sys);

// "NvmeMini" IOCTL_SCSI_MINIPORT requests on a SCSI port.
PathReply AnswerNvmeMiniport(SimMachine& machine, const std::vector<size_t>& portDisks,
                             std::vector<uint8_t>& sys, size_t inSize, uint32_t outSize);

// The two WMI association queries that lead from a physical drive to its
// controller ("ASSOCIATORS OF {Win32_DiskDrive.DeviceID='\\.\PhysicalDriveN'}
// WHERE ResultClass=Win32_PnPEntity", then "ASSOCIATORS OF
// {Win32_PnPEntity.DeviceID='id'} WHERE AssocClass=Win32_SCSIControllerDevice").
// nullopt for any other query.
std::optional<std::vector<WmiObject>> AnswerNvmeAssociators(const SimMachine& machine,
                                                            const std::string& wql);

// The SCSI adapters of the machine (one per distinct `pcie_controller`) and
// their PCI Express link properties.
class CSimDeviceSetup : public IDeviceSetup {
 public:
  explicit CSimDeviceSetup(const SimMachine& machine) : m_Machine(machine) {}
  std::vector<std::string> PresentDevices(const std::string& classGuid) override;
  std::optional<std::vector<uint8_t>> DeviceProperty(const std::string& instanceId,
                                                     const std::string& propertySet,
                                                     uint32_t propertyId) override;

 private:
  const SimMachine& m_Machine;
};

}  // namespace os::sim
