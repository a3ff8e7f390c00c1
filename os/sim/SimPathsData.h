// What a simulated disk or controller holds for the paths that are not
// plain ATA: NVMe pages and the NVMe paths a disk answers on, the command
// forms of a USB enclosure's bridge, the place of a disk behind a CSMI RAID
// controller, and the controllers themselves. Kept apart from SimMachine.h
// so that the records stay plain data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace os::sim {

// The command-block forms, in the order of the engine's command types 4-11.
enum class BridgeForm : uint8_t {
  Sat,
  Sunplus,
  IoData,
  Logitec1,
  Logitec2,
  JMicron,
  Cypress,
  Prolific,
  Count,
};
constexpr size_t BRIDGE_FORM_COUNT = static_cast<size_t>(BridgeForm::Count);

// Manifest name of a form ("sat", "io-data" ...), and the reverse lookup.
const char* BridgeFormName(BridgeForm form);
std::optional<BridgeForm> BridgeFormFromName(std::string_view name);

// What a bridge does with a command block it does not understand.
enum class UnknownForm : uint8_t {
  Refuse,  // CHECK CONDITION: the request completes, no data moves
  Zeros,   // answers with zeros for the whole data length
  Echo,    // completes without touching the buffer: the caller's own bytes
           // come back (after a command sent as data, that command)
};
std::optional<UnknownForm> UnknownFormFromName(std::string_view name);

// The five ways an NVMe disk can be reached.
enum class NvmePath : uint8_t {
  StorageQuery,   // IOCTL_STORAGE_QUERY_PROPERTY, adapter protocol-specific property
  Samsung,        // the Samsung driver's SCSI pass-through commands (B5/A2 FE)
  Miniport,       // "NvmeMini" requests on the disk's SCSI port
  JMicronBridge,  // USB-to-NVMe bridge, JMicron command blocks (A1 80/82)
  ASMediaBridge,  // USB-to-NVMe bridge, ASMedia command blocks (E6)
  Count,
};
constexpr size_t NVME_PATH_COUNT = static_cast<size_t>(NvmePath::Count);
const char* NvmePathName(NvmePath path);
std::optional<NvmePath> NvmePathFromName(std::string_view name);

using LogPage = std::array<uint8_t, 512>;

struct SimNvme {
  std::array<bool, NVME_PATH_COUNT> Paths{};
  std::vector<uint8_t> Identify;  // identify-controller data, 4096 bytes
  std::vector<LogPage> Health;    // successive reads take the next; the last repeats
  // Running state.
  size_t HealthReads = 0;
  uint8_t SamsungPending = 0;  // 5 identify, 6 health log: sent, not yet read
  uint8_t JMicronPending = 0;  // admin opcode of the block sent, not yet read

  bool Answers(NvmePath path) const { return Paths[static_cast<size_t>(path)]; }
  bool Any() const {
    for (bool p : Paths) {
      if (p) return true;
    }
    return false;
  }
};

struct SimUsbBridge {
  std::array<bool, BRIDGE_FORM_COUNT> Forms{};
  UnknownForm Unknown = UnknownForm::Refuse;
  bool Understands(BridgeForm form) const { return Forms[static_cast<size_t>(form)]; }
  bool Any() const {
    for (bool f : Forms) {
      if (f) return true;
    }
    return false;
  }
};

// The PCI Express controller that holds an NVMe disk, as the device-setup
// enumeration and WMI's associations show it.
struct SimPcie {
  std::string ControllerId;  // device instance id; empty: no controller known
  std::string EntityId;      // PnP entity of the disk; its pnp_device_id when empty
  uint8_t MaxSpeed = 0;
  uint8_t MaxWidth = 0;
  uint8_t CurrentSpeed = 0;
  uint8_t CurrentWidth = 0;
};

// A CSMI RAID controller on a SCSI port. Disks join it with `csmi_phy`.
struct SimCsmiController {
  std::string Name;
  int32_t ScsiPort = -1;
  int32_t Phys = -1;  // number of phys reported; -1: one past the highest attached phy
  uint32_t RaidSets = 1;
  uint32_t DrivesPerSet = 4;
  uint32_t Error = 0;      // every CSMI request fails with this system error
  uint32_t FailCode = 0;   // this control code fails ...
  uint32_t FailError = 0;  // ... with this system error
};

// A result of the answering code, converted by the device layer.
struct PathReply {
  bool Ok = false;
  uint32_t Error = 0;
  uint32_t Returned = 0;
};

}  // namespace os::sim
