// The machine's disks as the Linux block layer and sysfs describe them.
//
// Everything here reads plain files under a sysfs root and a /dev root given
// by the caller, so the same code runs on the live system and on captured
// trees in tests. Nothing is cached: every call reads the tree afresh.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace os {

// Where the system's trees are. Tests point these at captured copies.
struct LinuxRoots {
  std::string Sys = "/sys";
  std::string Dev = "/dev";
  std::string Mounts = "/proc/self/mounts";
  std::string Status = "/proc/self/status";
  std::string Proc = "/proc";
  std::string Etc = "/etc";
  // The PCI id database (pciutils / hwdata) that names devices; the first
  // that exists is read. May be absent.
  std::vector<std::string> PciIds = {"/usr/share/hwdata/pci.ids", "/usr/share/misc/pci.ids"};
};

// Whether the process status file (CapEff line) grants CAP_SYS_RAWIO.
bool HasRawIoCapability(const std::string& statusPath);

// How a disk is attached, as far as the program cares.
enum class LinuxDiskBus : uint8_t {
  Unknown,
  Ata,     // libata: SATA or parallel ATA behind an AHCI/IDE controller
  Scsi,    // SCSI/SAS HBA or anything else that makes an sd device
  Usb,     // sd device under a USB host (usb-storage or uas)
  Nvme,    // NVMe namespace
  Virtio,  // virtio block device of a virtual machine
  Mmc,     // SD/MMC card or eMMC
};

// The PCI function a disk hangs from (its host controller).
struct LinuxPciController {
  std::string Address;     // "0000:00:1f.2"
  uint32_t ClassCode = 0;  // 0x010601 for an AHCI controller
  uint16_t VendorId = 0;
  uint16_t DeviceId = 0;
};

// A USB device that holds a disk (the enclosure or the stick itself).
struct LinuxUsbDevice {
  std::string Port;  // "2-1" or "2-1.4": the device's name under the bus
  uint16_t VendorId = 0;
  uint16_t ProductId = 0;
  std::string Manufacturer;
  std::string Product;
  std::string Serial;
  std::string Driver;  // "usb-storage" or "uas"
};

struct LinuxDisk {
  std::string Name;        // kernel name: "sda", "nvme0n1"
  std::string DevicePath;  // "/dev/sda" as the user knows it
  std::string NodePath;    // the node under the /dev root (what is opened)
  LinuxDiskBus Bus = LinuxDiskBus::Unknown;
  std::string Vendor;    // SCSI INQUIRY vendor ("ATA" for libata disks), trimmed
  std::string Model;     // full model where the system has it, trimmed
  std::string Revision;  // firmware revision, trimmed
  std::string Serial;    // may be empty
  uint64_t Sectors = 0;  // size in 512-byte units, as the block layer counts
  uint32_t LogicalBlockSize = 512;
  bool Removable = false;
  // SCSI address (host:channel:target:lun) of sd devices; -1 elsewhere.
  int32_t ScsiHost = -1;
  int32_t ScsiChannel = -1;
  int32_t ScsiTarget = -1;
  int32_t ScsiLun = -1;
  // NVMe controller character device name ("nvme0") and namespace id.
  std::string NvmeController;
  uint32_t NvmeNamespace = 0;
  std::optional<LinuxPciController> Controller;
  std::optional<LinuxUsbDevice> Usb;
  // The device's directory under the sysfs root with every link resolved.
  std::string SysPath;
};

// A sysfs file's text with trailing white space (the newline) removed.
std::optional<std::string> ReadSysText(const std::string& path);
// A sysfs number: decimal, or hexadecimal with "0x". nullopt for a missing
// file or anything that is not a number.
std::optional<uint64_t> ReadSysNumber(const std::string& path);
// The names in a folder, sorted by name; empty when it cannot be read. A
// folder that changes while it is read (a disk unplugged) ends the listing
// early instead of throwing.
std::vector<std::string> ListFolder(const std::string& path);
// Up to `limit` raw bytes of a sysfs file.
std::optional<std::vector<uint8_t>> ReadSysBytes(const std::string& path, size_t limit);

// Orders kernel disk names: every sd* first, then nvme*, then the rest; within
// a group letters sort as sd device letters do (sdz before sdaa) and numbers
// by value (nvme2n1 before nvme10n1).
bool LinuxDiskNameLess(const std::string& a, const std::string& b);

// True for kernel block names that are never disks of their own: loop, ram,
// zram, device-mapper, md RAID, optical (sr), floppy, network block devices.
bool IsIgnoredBlockName(const std::string& name);

class CSysfsDisks {
 public:
  explicit CSysfsDisks(LinuxRoots roots);

  // Whole-disk names in physical-drive order: the index in this list is the
  // N of "\\.\PhysicalDriveN". Hidden NVMe path devices are left out.
  std::vector<std::string> ListNames() const;

  // Everything sysfs says about one disk. nullopt when the name is not there.
  // Missing or malformed attributes leave their field at its default and are
  // written to the diagnostic log.
  std::optional<LinuxDisk> Describe(const std::string& name) const;

  // All disks, in physical-drive order.
  std::vector<LinuxDisk> DescribeAll() const;

  // The whole disk a block device (a disk or one of its partitions) belongs
  // to, by kernel name: "sda2" -> "sda". Device-mapper and md devices resolve
  // through their slaves to every disk below them. Empty when unknown.
  std::vector<std::string> DisksBelow(const std::string& blockName) const;

  const LinuxRoots& Roots() const { return m_Roots; }

 private:
  void DescribeScsi(LinuxDisk& disk, const std::string& deviceDir) const;
  void DescribeNvme(LinuxDisk& disk) const;
  void DescribeAncestors(LinuxDisk& disk) const;
  void DisksBelow(const std::string& blockName, int depth, std::vector<std::string>& out) const;

  LinuxRoots m_Roots;
};

}  // namespace os
