// A simulated machine: disks with their raw sectors, how each disk can be
// reached, scripted faults and WMI rows, loaded from a folder anyone can write
// by hand (see docs/simulated-machine.md). The device and WMI backends of
// os/sim answer requests from this description.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "os/System.h"
#include "os/Volumes.h"
#include "os/Wmi.h"
#include "os/sim/SimPathsData.h"

namespace os::sim {

// Version 2 adds NVMe disks, USB bridges and CSMI controllers; version 1
// machines still load.
constexpr int MACHINE_FORMAT_VERSION = 2;
constexpr const char* MANIFEST_NAME = "machine.ini";

using Sector = std::array<uint8_t, 512>;

// The ways a request can reach a disk. A disk answers only on the paths its
// manifest lists.
enum class SimPath : uint8_t {
  AtaPassThrough,  // IOCTL_ATA_PASS_THROUGH on the physical drive
  IdePassThrough,  // IOCTL_IDE_PASS_THROUGH on the physical drive
  SmartIoctl,      // SMART_GET_VERSION / SMART_RCV_DRIVE_DATA / SMART_SEND_DRIVE_COMMAND
  ScsiMiniport,    // "SCSIDISK" requests on the SCSI port
  SiliconImage,    // "CMD_IDE" requests on a Silicon Image controller
  PredictFailure,  // IOCTL_STORAGE_PREDICT_FAILURE on the physical drive
  Wmi,             // MSStorageDriver_FailurePredict* rows
  UsbBridge,       // ATA commands in a USB bridge's command blocks (usb_bridge)
  Csmi,            // STP pass-through of a CSMI RAID controller (csmi_phy)
  Count,
};
constexpr size_t PATH_COUNT = static_cast<size_t>(SimPath::Count);
// Manifest name of a path ("ata-pass-through"), and the reverse lookup.
const char* PathName(SimPath path);
std::optional<SimPath> PathFromName(std::string_view name);

// What a request asks of the disk.
enum class SimOp : uint8_t {
  Identify,         // IDENTIFY DEVICE
  SmartData,        // S.M.A.R.T. READ DATA
  SmartThresholds,  // S.M.A.R.T. READ THRESHOLDS
  SmartEnable,      // S.M.A.R.T. ENABLE OPERATIONS
  SetFeatures,      // SET FEATURES
  Geometry,         // IOCTL_DISK_GET_DRIVE_GEOMETRY(_EX)
  Count,
};
constexpr size_t OP_COUNT = static_cast<size_t>(SimOp::Count);
const char* OpName(SimOp op);
std::optional<SimOp> OpFromName(std::string_view name);

enum class FaultKind : uint8_t {
  None,
  NoAnswer,    // the request fails as if the device timed out
  Error,       // the request fails with Fault::Error
  Zero,        // the request succeeds with an all-zero sector
  Short,       // the request succeeds but returns only Fault::Bytes data bytes
  BlankModel,  // IDENTIFY succeeds with the model field (bytes 54-93) blank
  EchoData,    // READ THRESHOLDS answers with the last S.M.A.R.T. data sector
};

struct Fault {
  FaultKind Kind = FaultKind::None;
  uint32_t Error = 0;
  uint32_t Bytes = 0;
};

struct SimDisk {
  std::string Name;  // section name, or folder name in the minimal form
  int32_t PhysicalDrive = -1;
  int32_t ScsiPort = -1;
  int32_t ScsiTarget = -1;
  int32_t ScsiBus = -1;
  bool ScsiPortVisible = true;  // "\\.\Scsi%d:" can be opened
  int32_t SiliconImageType = 0;
  uint8_t Target = 0xA0;  // the device register value the disk answers to
  std::array<bool, PATH_COUNT> Paths{};
  bool HasGeometry = true;
  uint32_t MediaType = 12;  // fixed media
  uint64_t SizeBytes = 0;   // 0: from IDENTIFY
  uint32_t BusType = 0x0B;  // SATA
  std::string Vendor;
  std::string PnpDeviceId;
  std::string DriveLetters;  // "CD"
  // Label and space of the volumes on its letters ("volume.C"), by letter.
  std::map<char, VolumeInfo> Volumes;
  uint32_t PredictFailure = 0;
  std::optional<uint32_t> OpenError;  // "\\.\PhysicalDrive%d" cannot be opened

  std::optional<Sector> Identify;
  std::vector<Sector> SmartData;  // successive reads take the next; the last repeats
  std::optional<Sector> SmartThresholds;
  std::vector<uint8_t> Sector0;  // what a read at offset 0 returns (zeros beyond)

  // Faults by path (index 1 + path) or for every path (index 0), by op.
  std::array<std::array<Fault, OP_COUNT>, PATH_COUNT + 1> Faults{};

  // NVMe, USB bridge and CSMI parts (SimPathsData.h).
  SimNvme Nvme;
  SimUsbBridge Usb;
  SimPcie Pcie;
  int32_t CsmiPhy = -1;  // the phy of the CSMI controller on ScsiPort

  // Running state: how many S.M.A.R.T. data reads were answered.
  size_t SmartReads = 0;

  bool Answers(SimPath path) const { return Paths[static_cast<size_t>(path)]; }
  const Fault& FaultFor(SimPath path, SimOp op) const;
  // Sector count from SizeBytes or, when 0, from IDENTIFY (LBA48, then LBA28).
  uint64_t SectorCount() const;
};

struct SimWmiRow {
  std::string Namespace;  // "root\\WMI"
  std::string Class;
  WmiObject Object;
};

struct SimMachine {
  int Version = MACHINE_FORMAT_VERSION;
  OsVersion Os;  // Windows 10 unless the manifest says otherwise
  bool WmiAvailable = true;
  // The machine's own facts (`architecture`, `cpu`, `memory`).
  uint16_t Architecture = PROCESSOR_ARCH_X64;
  std::string CpuBrand;
  uint64_t MemoryBytes = 0;  // 0: unknown
  // [performance]: counter path -> one value per collection (none: "-").
  std::vector<std::pair<std::string, std::vector<std::optional<double>>>> Counters;
  std::vector<SimDisk> Disks;
  std::vector<SimWmiRow> WmiRows;
  std::vector<SimCsmiController> CsmiControllers;

  SimMachine();
};

// Where a machine's files come from: a folder on disk, or bytes in memory
// (the built-in demo machine, tests, the fuzzer). Paths are relative, with
// '/' separators.
class ISimSource {
 public:
  virtual ~ISimSource() = default;
  // Whole file, or nullopt when missing, unreadable or above `limit` bytes.
  virtual std::optional<std::vector<uint8_t>> ReadFile(const std::string& path, size_t limit) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // Names of the sub-folders of the root, sorted by byte value.
  virtual std::vector<std::string> ListFolders() = 0;
  // How to name `path` in an error message.
  virtual std::string Describe(const std::string& path) = 0;
};

// A folder on disk. Refuses paths that leave the folder.
class CFolderSource : public ISimSource {
 public:
  explicit CFolderSource(std::string root) : m_Root(std::move(root)) {}
  std::optional<std::vector<uint8_t>> ReadFile(const std::string& path, size_t limit) override;
  bool Exists(const std::string& path) override;
  std::vector<std::string> ListFolders() override;
  std::string Describe(const std::string& path) override;
  // True when the root exists and is a folder.
  bool IsFolder() const;

 private:
  std::string m_Root;
};

// Files held in memory, keyed by relative path.
class CMemorySource : public ISimSource {
 public:
  CMemorySource(std::string label, std::map<std::string, std::vector<uint8_t>> files)
      : m_Label(std::move(label)), m_Files(std::move(files)) {}
  std::optional<std::vector<uint8_t>> ReadFile(const std::string& path, size_t limit) override;
  bool Exists(const std::string& path) override { return m_Files.count(path) != 0; }
  std::vector<std::string> ListFolders() override;
  std::string Describe(const std::string& path) override;

 private:
  std::string m_Label;
  std::map<std::string, std::vector<uint8_t>> m_Files;
};

struct LoadResult {
  std::optional<SimMachine> Machine;
  std::string Error;  // one line: "<file>:<line>: <what>"; empty on success
};

// Loads a machine: the manifest when the source has one, otherwise the
// minimal form (every sub-folder with identify.bin is a plain SATA disk on
// physical drives 0, 1, 2 ... in name order).
LoadResult LoadMachine(ISimSource& source);
LoadResult LoadMachineFolder(const std::string& folder);

// Limits that keep a hostile manifest from costing much.
constexpr size_t MAX_MANIFEST_SIZE = 1u << 20;
constexpr size_t MAX_LINE_LENGTH = 4096;
constexpr size_t MAX_DISKS = 64;
constexpr size_t MAX_SMART_QUEUE = 64;
constexpr size_t MAX_WMI_ROWS = 4096;
constexpr size_t MAX_DATA_FILE_SIZE = 1u << 20;

}  // namespace os::sim
