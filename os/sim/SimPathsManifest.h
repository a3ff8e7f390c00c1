// The manifest keys of the NVMe, USB bridge and CSMI parts of a simulated
// machine (format version 2; see docs/simulated-machine.md). The manifest
// parser hands every key it does not know to these functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "os/sim/SimMachine.h"
#include "os/sim/SimPathsData.h"

namespace os::sim {

// The file references of one disk section, resolved when the section ends.
struct PathsDiskDraft {
  std::vector<std::string> NvmeIdentify;
  std::vector<std::string> NvmeHealth;
  int IdentifyLine = 0;
  int HealthLine = 0;
  bool IdentifyGiven = false;
  bool HealthGiven = false;
};

enum class KeyResult { NotMine, Ok, Error };

// A key of a [disk NAME] section: nvme_paths, nvme_identify, nvme_health,
// pcie_controller, pcie_entity, pcie_link, usb_bridge, usb_unknown_form,
// csmi_phy. On Error, *error says what is wrong with the value.
KeyResult PathsDiskKey(SimDisk& disk, PathsDiskDraft& draft, const std::string& key,
                       std::string_view value, int line, std::string* error);

// Loads the NVMe pages of a disk (from `folder` of `source`) and fills in
// what follows from the keys. False with *error and *errorLine set when a
// file is missing or has the wrong size.
bool FinishPathsDisk(SimDisk& disk, PathsDiskDraft& draft, ISimSource& source,
                     const std::string& folder, std::string* error, int* errorLine);

// A key of a [csmi NAME] section: scsi_port, phys, raid_sets, drives_per_set,
// error, fail.
bool CsmiKey(SimCsmiController& controller, const std::string& key, std::string_view value,
             std::string* error);

// Checks the controllers against the disks once the manifest is read.
bool CheckCsmi(const SimMachine& machine, std::string* error);

}  // namespace os::sim
