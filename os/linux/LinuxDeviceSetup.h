// Device setup on Linux: the PCI storage controllers that Windows counts as
// SCSI adapters, and their PCI Express link, from sysfs. Device ids are the
// ones the WMI classes of CLinuxWmi give, so the engine can go from a disk
// to its controller and on to the link.
#pragma once

#include "os/DeviceSetup.h"
#include "os/linux/SysfsDisks.h"

namespace os {

class CLinuxDeviceSetup : public IDeviceSetup {
 public:
  explicit CLinuxDeviceSetup(LinuxRoots roots);

  // The SCSI adapter class ({4D36E97B-...}) lists NVMe, SCSI, SAS, RAID and
  // other mass-storage controllers in PCI address order; other classes are
  // empty.
  std::vector<std::string> PresentDevices(const std::string& classGuid) override;

  // The PCI Express link properties ({3AB22E31-...}, 9 current speed, 10
  // current width, 11 maximum speed, 12 maximum width) as a u32: speeds as
  // the generation (2.5 GT/s is 1, 5 is 2, 8 is 3, 16 is 4, 32 is 5, 64 is
  // 6), widths as lanes. nullopt for anything else or what sysfs lacks.
  std::optional<std::vector<uint8_t>> DeviceProperty(const std::string& instanceId,
                                                     const std::string& propertySet,
                                                     uint32_t propertyId) override;

 private:
  LinuxRoots m_Roots;
};

}  // namespace os
