// The WMI classes disk discovery reads, built from sysfs.
//
// root\cimv2:
//   SELECT ... FROM Win32_DiskDrive        one object per disk, in drive order
//   SELECT ... FROM Win32_IDEController    SATA/IDE host controllers (AHCI)
//   SELECT ... FROM Win32_SCSIController   NVMe, SCSI/SAS/RAID, virtio and
//                                          one per UAS device
//   SELECT ... FROM Win32_USBController    USB host controllers
//   ASSOCIATORS OF {Win32_<X>Controller.DeviceID="..."}
//       WHERE AssocClass = Win32_<X>ControllerDevice   the devices below it
//   ASSOCIATORS OF {Win32_DiskDrive.DeviceID='\\.\PhysicalDriveN'}
//       WHERE ResultClass=Win32_PnPEntity              the disk's device
//   ASSOCIATORS OF {Win32_PnPEntity.DeviceID='...'}
//       WHERE AssocClass=Win32_SCSIControllerDevice    its SCSI controller
// The classes of the system information (os/linux/LinuxSystemWmi.h), and
//   SELECT ... FROM Win32_PnPEntity        the disks, controllers and USB
//                                          devices above, with SystemName
//                                          (the host name) and
//                                          SystemCreationClassName
// root\WMI:
//   MSStorageDriver_FailurePredict*        empty: Linux keeps no such data;
//                                          S.M.A.R.T. is read from the disk
// Any other query fails (nullopt).
//
// Identifiers imitate Windows device instance ids so discovery's rules read
// them the same way: "PCI\VEN_8086&DEV_9C03&CC_010601\0000:00:1F.2" for a
// controller, "SCSI\DISK&VEN_ATA&PROD_INTEL_SSDSA2CW12\SDA" for a disk,
// "USBSTOR\DISK&VEN_...&PROD_...&REV_...\<serial>&0" for a disk behind a
// USB mass-storage bridge and "USB\VID_152D&PID_0578\<serial>" for the USB
// device itself, listed just before its disk under its USB controller.
#pragma once

#include <memory>

#include "os/Wmi.h"
#include "os/linux/LinuxSystemWmi.h"
#include "os/linux/SysfsDisks.h"

namespace os {

class CLinuxWmi : public IWmi {
 public:
  // `addresses` lists the interface addresses (getifaddrs by default).
  explicit CLinuxWmi(LinuxRoots roots, IpAddressSource addresses = ReadIpAddresses);

  std::optional<std::vector<WmiObject>> Query(const std::string& nameSpace,
                                              const std::string& wql) override;

 private:
  CSysfsDisks m_Disks;
  IpAddressSource m_Addresses;
};

std::unique_ptr<IWmi> CreateLinuxWmi();

// A PCI host controller's device id as these classes give it:
// "PCI\VEN_8086&DEV_9C03&CC_010601\0000:00:1F.2".
std::string PciControllerId(const LinuxPciController& controller);

// Whether a storage controller of this PCI class is a SCSI adapter (NVMe,
// SCSI, SAS, RAID, other mass storage) rather than an IDE or SATA controller.
bool IsScsiAdapterClass(uint32_t classCode);

}  // namespace os
