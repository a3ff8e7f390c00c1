#include "os/sim/SimCsmi.h"

#include <algorithm>
#include <cstring>

#include "os/DeviceIo.h"
#include "os/sim/SimAtaDevice.h"
#include "os/wire/WinIoctlPaths.h"

namespace os::sim {
namespace {

using namespace winio;

constexpr uint32_t CSMI_SAS_STATUS_SUCCESS = 0;
constexpr uint32_t CSMI_SAS_STATUS_FAILED = 1;
constexpr uint32_t CSMI_SAS_STATUS_INVALID_PARAMETER = 3;
constexpr uint8_t CSMI_SAS_END_DEVICE = 0x40;
constexpr uint8_t CSMI_SAS_PROTOCOL_SATA = 0x01;
constexpr uint8_t CSMI_SAS_PROTOCOL_STP = 0x04;
constexpr uint8_t CSMI_SAS_LINK_RATE_3_0_GBPS = 0x09;

PathReply Fail(uint32_t error) { return PathReply{false, error, 0}; }
PathReply Done(size_t returned) { return PathReply{true, 0, static_cast<uint32_t>(returned)}; }

const char* SignatureFor(uint32_t code) {
  switch (code) {
    case CC_CSMI_SAS_GET_DRIVER_INFO:
      return "CSMIALL";
    case CC_CSMI_SAS_GET_RAID_INFO:
    case CC_CSMI_SAS_GET_RAID_CONFIG:
      return "CSMIARY";
    case CC_CSMI_SAS_GET_PHY_INFO:
    case CC_CSMI_SAS_STP_PASSTHRU:
      return "CSMISAS";
    default:
      return nullptr;
  }
}

void SetReturnCode(std::vector<uint8_t>& sys, uint32_t code) {
  Store32(sys.data() + offsetof(SRB_IO_CONTROL, ReturnCode), code);
}

// The disks attached to the controller's phys, by phy number.
std::vector<SimDisk*> AttachedDisks(SimMachine& machine, const SimCsmiController& c) {
  std::vector<SimDisk*> byPhy(CSMI_MAX_PHYS, nullptr);
  for (SimDisk& disk : machine.Disks) {
    if (disk.ScsiPort == c.ScsiPort && disk.CsmiPhy >= 0 && disk.CsmiPhy < CSMI_MAX_PHYS) {
      byPhy[static_cast<size_t>(disk.CsmiPhy)] = &disk;
    }
  }
  return byPhy;
}

int32_t ReportedPhys(const SimCsmiController& c, const std::vector<SimDisk*>& byPhy) {
  if (c.Phys >= 0) return c.Phys;
  int32_t n = 0;
  for (int32_t i = 0; i < CSMI_MAX_PHYS; ++i) {
    if (byPhy[static_cast<size_t>(i)] != nullptr) n = i + 1;
  }
  return n;
}

// The SAS address the controller gives the device on phy `phy`.
void AttachedAddress(int32_t port, int32_t phy, uint8_t* address) {
  const uint8_t a[8] = {
      0x50, 0x00, 0x51, 0x17, 0x00, static_cast<uint8_t>(port), 0x00, static_cast<uint8_t>(phy)};
  std::memcpy(address, a, 8);
}

void FillPhyEntity(uint8_t* entity, int32_t port, int32_t phy, bool attached) {
  std::memset(entity, 0, sizeof(CSMI_SAS_PHY_ENTITY));
  uint8_t* own = entity + offsetof(CSMI_SAS_PHY_ENTITY, Identify);
  own[offsetof(CSMI_SAS_IDENTIFY, bInitiatorPortProtocol)] = CSMI_SAS_PROTOCOL_STP;
  own[offsetof(CSMI_SAS_IDENTIFY, bPhyIdentifier)] = static_cast<uint8_t>(phy);
  entity[offsetof(CSMI_SAS_PHY_ENTITY, bPortIdentifier)] = static_cast<uint8_t>(phy);
  if (!attached) return;
  entity[offsetof(CSMI_SAS_PHY_ENTITY, bNegotiatedLinkRate)] = CSMI_SAS_LINK_RATE_3_0_GBPS;
  uint8_t* other = entity + offsetof(CSMI_SAS_PHY_ENTITY, Attached);
  other[offsetof(CSMI_SAS_IDENTIFY, bDeviceType)] = CSMI_SAS_END_DEVICE;
  other[offsetof(CSMI_SAS_IDENTIFY, bTargetPortProtocol)] = CSMI_SAS_PROTOCOL_SATA;
  AttachedAddress(port, phy, other + offsetof(CSMI_SAS_IDENTIFY, bSASAddress));
  other[offsetof(CSMI_SAS_IDENTIFY, bPhyIdentifier)] = static_cast<uint8_t>(phy);
}

PathReply StpPassThrough(SimMachine& machine, const SimCsmiController& c, std::vector<uint8_t>& sys,
                         size_t size) {
  constexpr size_t kParams = offsetof(CSMI_SAS_STP_PASSTHRU_HEAD, Parameters);
  constexpr size_t kStatus = offsetof(CSMI_SAS_STP_PASSTHRU_HEAD, Status);
  if (size < CSMI_STP_DATA_OFFSET) return Fail(ERR_INVALID_PARAMETER);
  const uint8_t* p = sys.data() + kParams;
  const uint8_t phy = p[offsetof(CSMI_SAS_STP_PASSTHRU, bPhyIdentifier)];
  const uint8_t* address = p + offsetof(CSMI_SAS_STP_PASSTHRU, bDestinationSASAddress);
  const uint8_t* fis = p + offsetof(CSMI_SAS_STP_PASSTHRU, bCommandFIS);
  const uint32_t flags = Load32(p + offsetof(CSMI_SAS_STP_PASSTHRU, uFlags));
  const uint32_t length = Load32(p + offsetof(CSMI_SAS_STP_PASSTHRU, uDataLength));
  if (!Fits(size, CSMI_STP_DATA_OFFSET, length)) {
    SetReturnCode(sys, CSMI_SAS_STATUS_INVALID_PARAMETER);
    return Done(size);
  }
  std::vector<SimDisk*> byPhy = AttachedDisks(machine, c);
  SimDisk* disk = phy < CSMI_MAX_PHYS ? byPhy[phy] : nullptr;
  uint8_t expected[8];
  AttachedAddress(c.ScsiPort, phy, expected);
  uint8_t* status = sys.data() + kStatus;
  std::memset(status, 0, sizeof(CSMI_SAS_STP_PASSTHRU_STATUS));
  // Nothing on that phy (or the address names another device): the
  // connection is not made and no data moves.
  if (disk == nullptr || std::memcmp(address, expected, 8) != 0 || fis[0] != 0x27) {
    status[offsetof(CSMI_SAS_STP_PASSTHRU_STATUS, bConnectionStatus)] = 0x02;
    SetReturnCode(sys, CSMI_SAS_STATUS_FAILED);
    return Done(size);
  }
  TaskFile tf{fis[3], fis[12], fis[4], fis[5], fis[6], fis[7], fis[2]};
  AtaAnswer a = ExecuteAta(*disk, SimPath::Csmi, tf);
  if (a.Result == AtaAnswer::Outcome::Failed) return Fail(a.Error);
  uint8_t* statusFis = status + offsetof(CSMI_SAS_STP_PASSTHRU_STATUS, bStatusFIS);
  statusFis[0] = 0x34;  // register, device to host
  statusFis[2] = a.Done() ? 0x50 : 0x51;
  statusFis[3] = a.Done() ? 0x00 : 0x04;
  if (!a.Done()) {
    SetReturnCode(sys, CSMI_SAS_STATUS_FAILED);
    return Done(size);
  }
  if (a.HasData) {
    if (!(flags & CSMI_SAS_STP_READ) || length < a.DataBytes) {
      SetReturnCode(sys, CSMI_SAS_STATUS_INVALID_PARAMETER);
      return Done(size);
    }
    std::memcpy(sys.data() + CSMI_STP_DATA_OFFSET, a.Data.data(), a.DataBytes);
    Store32(status + offsetof(CSMI_SAS_STP_PASSTHRU_STATUS, uDataBytes), a.DataBytes);
  }
  SetReturnCode(sys, CSMI_SAS_STATUS_SUCCESS);
  return Done(size);
}

}  // namespace

const SimCsmiController* CsmiControllerOnPort(const SimMachine& machine, int32_t scsiPort) {
  for (const SimCsmiController& c : machine.CsmiControllers) {
    if (c.ScsiPort == scsiPort) return &c;
  }
  return nullptr;
}

bool IsCsmiSignature(const uint8_t* signature) { return std::memcmp(signature, "CSMI", 4) == 0; }

PathReply AnswerCsmi(SimMachine& machine, int32_t scsiPort, std::vector<uint8_t>& sys,
                     size_t inSize, uint32_t outSize) {
  const SimCsmiController* c = CsmiControllerOnPort(machine, scsiPort);
  if (c == nullptr) return Fail(ERR_INVALID_FUNCTION);
  if (c->Error != 0) return Fail(c->Error);
  const size_t size = std::min<size_t>(inSize, outSize);
  if (size < sizeof(SRB_IO_CONTROL)) return Fail(ERR_INVALID_PARAMETER);
  const uint32_t code = Load32(sys.data() + offsetof(SRB_IO_CONTROL, ControlCode));
  const char* signature = SignatureFor(code);
  if (signature == nullptr ||
      std::memcmp(sys.data() + offsetof(SRB_IO_CONTROL, Signature), signature, 8) != 0) {
    return Fail(ERR_INVALID_FUNCTION);
  }
  if (c->FailCode == code) return Fail(c->FailError);
  switch (code) {
    case CC_CSMI_SAS_GET_DRIVER_INFO: {
      if (size < sizeof(CSMI_SAS_DRIVER_INFO_BUFFER)) return Fail(ERR_INVALID_PARAMETER);
      uint8_t* info = sys.data() + sizeof(SRB_IO_CONTROL);
      std::memset(info, 0, sizeof(CSMI_SAS_DRIVER_INFO_BUFFER) - sizeof(SRB_IO_CONTROL));
      const std::string name = c->Name.substr(0, 80);
      std::memcpy(info, name.data(), name.size());
      Store16(sys.data() + offsetof(CSMI_SAS_DRIVER_INFO_BUFFER, usCSMIMajorRevision), 0);
      Store16(sys.data() + offsetof(CSMI_SAS_DRIVER_INFO_BUFFER, usCSMIMinorRevision), 77);
      break;
    }
    case CC_CSMI_SAS_GET_RAID_INFO:
      if (size < sizeof(CSMI_SAS_RAID_INFO_BUFFER)) return Fail(ERR_INVALID_PARAMETER);
      Store32(sys.data() + offsetof(CSMI_SAS_RAID_INFO_BUFFER, uNumRaidSets), c->RaidSets);
      Store32(sys.data() + offsetof(CSMI_SAS_RAID_INFO_BUFFER, uMaxDrivesPerSet), c->DrivesPerSet);
      break;
    case CC_CSMI_SAS_GET_RAID_CONFIG: {
      if (size < sizeof(CSMI_SAS_RAID_CONFIG_HEAD)) return Fail(ERR_INVALID_PARAMETER);
      const uint32_t set = Load32(sys.data() + offsetof(CSMI_SAS_RAID_CONFIG_HEAD, uRaidSetIndex));
      if (set >= c->RaidSets) {
        SetReturnCode(sys, CSMI_SAS_STATUS_INVALID_PARAMETER);
        return Done(size);
      }
      sys[offsetof(CSMI_SAS_RAID_CONFIG_HEAD, bRaidType)] = 0x01;  // RAID 1
      sys[offsetof(CSMI_SAS_RAID_CONFIG_HEAD, bStatus)] = 0x00;    // good
      sys[offsetof(CSMI_SAS_RAID_CONFIG_HEAD, bDriveCount)] = 0;
      break;
    }
    case CC_CSMI_SAS_GET_PHY_INFO: {
      if (size < sizeof(CSMI_SAS_PHY_INFO_BUFFER)) return Fail(ERR_INVALID_PARAMETER);
      std::vector<SimDisk*> byPhy = AttachedDisks(machine, *c);
      const int32_t phys = ReportedPhys(*c, byPhy);
      sys[offsetof(CSMI_SAS_PHY_INFO_BUFFER, bNumberOfPhys)] =
          static_cast<uint8_t>(std::min(phys, 255));
      for (int32_t i = 0; i < CSMI_MAX_PHYS; ++i) {
        uint8_t* entity = sys.data() + offsetof(CSMI_SAS_PHY_INFO_BUFFER, Phy) +
                          static_cast<size_t>(i) * sizeof(CSMI_SAS_PHY_ENTITY);
        FillPhyEntity(entity, c->ScsiPort, i, i < phys && byPhy[static_cast<size_t>(i)] != nullptr);
      }
      break;
    }
    case CC_CSMI_SAS_STP_PASSTHRU:
      return StpPassThrough(machine, *c, sys, size);
    default:
      return Fail(ERR_INVALID_FUNCTION);
  }
  SetReturnCode(sys, CSMI_SAS_STATUS_SUCCESS);
  return Done(size);
}

}  // namespace os::sim
