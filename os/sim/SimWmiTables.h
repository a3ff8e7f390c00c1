// The WMI tables discovery reads from a simulated machine: disk drives,
// controllers with the devices on them, USB devices.
//
// - Win32_DiskDrive: the rows the manifest lists; when it lists none, one
//   row per disk with a physical drive, derived from the disk as Windows
//   would show it (model and firmware from IDENTIFY, size, media type,
//   interface from the bus type, PNP id).
// - Controllers (Win32_IDEController, Win32_SCSIController,
//   Win32_USBController) and devices (Win32_PnPEntity) are plain manifest
//   rows. Which device sits on which controller is told by rows of the
//   association classes (Win32_IDEControllerDevice,
//   Win32_SCSIControllerDevice, Win32_USBControllerDevice) with
//   "Antecedent" = the controller's DeviceID and "Dependent" = the device's,
//   in the order the devices are listed.
// - "ASSOCIATORS OF {Class.DeviceID=\"id\"} WHERE AssocClass = Assoc" answers
//   the devices of that controller: for each association row, the row whose
//   DeviceID is the Dependent (a bare object with that DeviceID when the
//   manifest has none).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "os/Wmi.h"
#include "os/sim/SimMachine.h"

namespace os::sim {

// Answers the two query forms above. nullopt when `wql` is neither (the
// caller answers it), or when an ASSOCIATORS text is malformed.
std::optional<std::vector<WmiObject>> AnswerDiscoveryQuery(const SimMachine& machine,
                                                           const std::string& nameSpace,
                                                           const std::string& wql, bool* handled);

// The Win32_DiskDrive row Windows would show for `disk`.
WmiObject DerivedDiskDrive(const SimDisk& disk);

}  // namespace os::sim
