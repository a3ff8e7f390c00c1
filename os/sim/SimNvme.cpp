#include "os/sim/SimNvme.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/Text.h"
#include "os/DeviceIo.h"
#include "os/wire/DeviceNames.h"
#include "os/wire/WinIoctlPaths.h"

namespace os::sim {
namespace {

using namespace winio;

constexpr uint8_t OPCODE_GET_LOG_PAGE = 0x02;
constexpr uint8_t OPCODE_IDENTIFY = 0x06;
constexpr uint8_t CNS_CONTROLLER = 0x01;
constexpr uint8_t LOG_HEALTH = 0x02;

const char* const kNvmePathNames[NVME_PATH_COUNT] = {
    "storage-query", "samsung", "nvme-miniport", "jmicron-bridge", "asmedia-bridge",
};

PathReply Fail(uint32_t error) { return PathReply{false, error, 0}; }
PathReply Done(uint32_t returned) { return PathReply{true, 0, returned}; }

// The next health log of the disk's queue (the last one repeats); zeros
// when it has none.
LogPage NextHealth(SimNvme& nvme) {
  if (nvme.Health.empty()) return LogPage{};
  LogPage page = nvme.Health[std::min(nvme.HealthReads, nvme.Health.size() - 1)];
  ++nvme.HealthReads;
  return page;
}

// Copies up to `room` bytes of the identify data.
void PutIdentify(const SimNvme& nvme, uint8_t* out, size_t room) {
  size_t n = std::min(room, nvme.Identify.size());
  if (n) std::memcpy(out, nvme.Identify.data(), n);
}

}  // namespace

PathReply SptCheckCondition(const SptRequest& r, std::vector<uint8_t>& sys) {
  sys[offsetof(SCSI_PASS_THROUGH32, ScsiStatus)] = 0x02;
  Store32(sys.data() + offsetof(SCSI_PASS_THROUGH32, DataTransferLength), 0);
  if (r.SenseLength >= 13 && Fits(sys.size(), r.SenseAt, r.SenseLength)) {
    uint8_t* sense = sys.data() + r.SenseAt;
    std::memset(sense, 0, r.SenseLength);
    sense[0] = 0x70;
    sense[2] = 0x05;  // ILLEGAL REQUEST
    sense[7] = static_cast<uint8_t>(r.SenseLength - 8);
    sense[12] = 0x20;  // invalid command operation code
  }
  return Done(static_cast<uint32_t>(r.DataAt));
}

namespace {

PathReply CheckCondition(const SptRequest& r, std::vector<uint8_t>& sys) {
  return SptCheckCondition(r, sys);
}

// A data-in request's answer: `bytes` into the data area.
PathReply DataIn(const SptRequest& r, std::vector<uint8_t>& sys, const uint8_t* bytes,
                 size_t size) {
  if (r.DataIn != SPT_DATA_IN || !Fits(r.OutSize, r.DataAt, r.TransferLength)) {
    return CheckCondition(r, sys);
  }
  std::memset(sys.data() + r.DataAt, 0, r.TransferLength);
  std::memcpy(sys.data() + r.DataAt, bytes, std::min<size_t>(size, r.TransferLength));
  return Done(static_cast<uint32_t>(r.DataAt + r.TransferLength));
}

bool DataOutFits(const SptRequest& r, size_t need) {
  return r.DataIn == SPT_DATA_OUT && r.TransferLength >= need && Fits(r.InSize, r.DataAt, need);
}

std::string EntityOf(const SimDisk& disk) {
  return disk.Pcie.EntityId.empty() ? disk.PnpDeviceId : disk.Pcie.EntityId;
}

// The text between the first pair of single quotes.
std::optional<std::string> Quoted(const std::string& wql) {
  size_t open = wql.find('\'');
  if (open == std::string::npos) return std::nullopt;
  size_t close = wql.find('\'', open + 1);
  if (close == std::string::npos) return std::nullopt;
  return wql.substr(open + 1, close - open - 1);
}

}  // namespace

const char* NvmePathName(NvmePath path) {
  size_t i = static_cast<size_t>(path);
  return i < NVME_PATH_COUNT ? kNvmePathNames[i] : "?";
}

std::optional<NvmePath> NvmePathFromName(std::string_view name) {
  for (size_t i = 0; i < NVME_PATH_COUNT; ++i) {
    if (name == kNvmePathNames[i]) return static_cast<NvmePath>(i);
  }
  return std::nullopt;
}

PathReply AnswerNvmeStorageQuery(SimDisk& disk, std::vector<uint8_t>& sys, size_t inSize,
                                 uint32_t outSize) {
  if (!disk.Nvme.Answers(NvmePath::StorageQuery)) return Fail(ERR_NOT_SUPPORTED);
  constexpr size_t kProtocol = offsetof(STORAGE_QUERY_NVME, Protocol);
  if (inSize < kProtocol + sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA)) {
    return Fail(ERR_INVALID_PARAMETER);
  }
  const uint8_t* p = sys.data() + kProtocol;
  const uint32_t protocol = Load32(p + offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolType));
  const uint32_t type = Load32(p + offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, DataType));
  const uint32_t value =
      Load32(p + offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestValue));
  const uint32_t offset = Load32(p + offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataOffset));
  const uint32_t length = Load32(p + offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataLength));
  if (protocol != PROTOCOL_NVME) return Fail(ERR_NOT_SUPPORTED);
  if (offset < sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA) || length == 0 ||
      !Fits(outSize, kProtocol + size_t{offset}, length)) {
    return Fail(ERR_INVALID_PARAMETER);
  }
  std::vector<uint8_t> data(length, 0);
  if (type == NVME_DATA_IDENTIFY && value == CNS_CONTROLLER) {
    PutIdentify(disk.Nvme, data.data(), data.size());
  } else if (type == NVME_DATA_LOG_PAGE && value == LOG_HEALTH) {
    LogPage page = NextHealth(disk.Nvme);
    std::memcpy(data.data(), page.data(), std::min(data.size(), page.size()));
  } else {
    return Fail(ERR_NOT_SUPPORTED);
  }
  // STORAGE_PROTOCOL_DATA_DESCRIPTOR: version and size, the protocol
  // structure as sent, then the data where it asked for it.
  const size_t end = kProtocol + size_t{offset} + length;
  if (sys.size() < end) sys.resize(end);
  std::vector<uint8_t> request(p, p + sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA));
  std::fill(sys.begin(), sys.begin() + static_cast<ptrdiff_t>(end), uint8_t{0});
  Store32(sys.data(), 48);
  Store32(sys.data() + 4, 48);
  std::memcpy(sys.data() + kProtocol, request.data(), request.size());
  std::memcpy(sys.data() + kProtocol + offset, data.data(), data.size());
  return Done(static_cast<uint32_t>(end));
}

std::optional<PathReply> AnswerNvmePassThrough(SimDisk& disk, const SptRequest& r,
                                               std::vector<uint8_t>& sys) {
  SimNvme& nvme = disk.Nvme;
  const uint8_t* cdb = r.Cdb;
  // Samsung driver: B5 sends the request block, A2 reads the answer.
  if (r.CdbLength == 16 && (cdb[0] == 0xB5 || cdb[0] == 0xA2) && cdb[1] == 0xFE &&
      nvme.Answers(NvmePath::Samsung)) {
    const uint8_t page = cdb[3];
    if (page != 0x05 && page != 0x06) return CheckCondition(r, sys);
    if (cdb[0] == 0xB5) {
      if (!DataOutFits(r, 8)) return CheckCondition(r, sys);
      const uint8_t* block = sys.data() + r.DataAt;
      const bool ok = page == 0x05 ? block[0] == CNS_CONTROLLER : block[0] == LOG_HEALTH;
      nvme.SamsungPending = ok ? page : 0;
      return Done(static_cast<uint32_t>(r.HeaderSize));
    }
    if (nvme.SamsungPending != page) return CheckCondition(r, sys);
    nvme.SamsungPending = 0;
    if (page == 0x05) return DataIn(r, sys, nvme.Identify.data(), nvme.Identify.size());
    LogPage log = NextHealth(nvme);
    return DataIn(r, sys, log.data(), log.size());
  }
  // JMicron USB-to-NVMe bridge: A1 80 carries an "NVME" block with the admin
  // command, A1 82 reads its answer.
  if (r.CdbLength == 12 && cdb[0] == 0xA1 && (cdb[1] == 0x80 || cdb[1] == 0x82) &&
      nvme.Answers(NvmePath::JMicronBridge)) {
    if (cdb[1] == 0x80) {
      if (!DataOutFits(r, 512)) return CheckCondition(r, sys);
      const uint8_t* block = sys.data() + r.DataAt;
      nvme.JMicronPending = 0;
      if (std::memcmp(block, "NVME", 4) == 0) {
        if (block[8] == OPCODE_IDENTIFY && block[48] == CNS_CONTROLLER) {
          nvme.JMicronPending = OPCODE_IDENTIFY;
        }
        if (block[8] == OPCODE_GET_LOG_PAGE && block[48] == LOG_HEALTH) {
          nvme.JMicronPending = OPCODE_GET_LOG_PAGE;
        }
      }
      return Done(static_cast<uint32_t>(r.HeaderSize));
    }
    const uint8_t pending = nvme.JMicronPending;
    nvme.JMicronPending = 0;
    if (pending == OPCODE_IDENTIFY) {
      return DataIn(r, sys, nvme.Identify.data(), nvme.Identify.size());
    }
    if (pending == OPCODE_GET_LOG_PAGE) {
      LogPage log = NextHealth(nvme);
      return DataIn(r, sys, log.data(), log.size());
    }
    return CheckCondition(r, sys);
  }
  // ASMedia USB-to-NVMe bridge: E6, the admin opcode, then dword 10.
  if (r.CdbLength == 16 && cdb[0] == 0xE6 && nvme.Answers(NvmePath::ASMediaBridge)) {
    if (cdb[1] == OPCODE_IDENTIFY && cdb[3] == CNS_CONTROLLER) {
      return DataIn(r, sys, nvme.Identify.data(), nvme.Identify.size());
    }
    if (cdb[1] == OPCODE_GET_LOG_PAGE && cdb[3] == LOG_HEALTH) {
      LogPage log = NextHealth(nvme);
      return DataIn(r, sys, log.data(), log.size());
    }
    return CheckCondition(r, sys);
  }
  return std::nullopt;
}

PathReply AnswerNvmeMiniport(SimMachine& machine, const std::vector<size_t>& portDisks,
                             std::vector<uint8_t>& sys, size_t inSize, uint32_t outSize) {
  SimDisk* disk = nullptr;
  for (size_t i : portDisks) {
    if (machine.Disks[i].Nvme.Answers(NvmePath::Miniport)) disk = &machine.Disks[i];
  }
  if (disk == nullptr) return Fail(ERR_INVALID_FUNCTION);
  constexpr size_t kData = offsetof(NVME_PASS_THROUGH_IOCTL, DataBuffer);
  if (inSize < kData || outSize < kData) return Fail(ERR_INVALID_PARAMETER);
  if (Load32(sys.data() + offsetof(SRB_IO_CONTROL, ControlCode)) != NVME_IOCTL_PASS_THROUGH) {
    return Fail(ERR_INVALID_FUNCTION);
  }
  const uint8_t* cmd = sys.data() + offsetof(NVME_PASS_THROUGH_IOCTL, NVMeCmd);
  const uint32_t opcode = Load32(cmd) & 0xFF;
  const uint32_t cdw10 = Load32(cmd + 40);
  const uint32_t length = Load32(sys.data() + offsetof(NVME_PASS_THROUGH_IOCTL, DataBufferLen));
  if (Load32(sys.data() + offsetof(NVME_PASS_THROUGH_IOCTL, Direction)) != NVME_FROM_DEV_TO_HOST ||
      length == 0 || !Fits(outSize, kData, length)) {
    return Fail(ERR_INVALID_PARAMETER);
  }
  std::vector<uint8_t> data(length, 0);
  if (opcode == OPCODE_IDENTIFY && (cdw10 & 0xFF) == CNS_CONTROLLER) {
    PutIdentify(disk->Nvme, data.data(), data.size());
  } else if (opcode == OPCODE_GET_LOG_PAGE && (cdw10 & 0xFF) == LOG_HEALTH) {
    LogPage log = NextHealth(disk->Nvme);
    std::memcpy(data.data(), log.data(), std::min(data.size(), log.size()));
  } else {
    // The controller rejects the command: invalid field in command.
    Store32(sys.data() + offsetof(NVME_PASS_THROUGH_IOCTL, CplEntry) + 12, 0x0002u << 17);
    return Done(static_cast<uint32_t>(kData));
  }
  if (sys.size() < kData + length) sys.resize(kData + length);
  Store32(sys.data() + offsetof(SRB_IO_CONTROL, ReturnCode), 0);
  std::memset(sys.data() + offsetof(NVME_PASS_THROUGH_IOCTL, CplEntry), 0, 16);
  std::memcpy(sys.data() + kData, data.data(), data.size());
  return Done(static_cast<uint32_t>(kData + length));
}

std::optional<std::vector<WmiObject>> AnswerNvmeAssociators(const SimMachine& machine,
                                                            const std::string& wql) {
  const std::string l = base::LowerAscii(wql);
  const std::string fromDrive = "associators of {win32_diskdrive.deviceid='";
  const std::string fromEntity = "associators of {win32_pnpentity.deviceid='";
  if (l.rfind(fromDrive, 0) == 0 && l.find("resultclass=win32_pnpentity") != std::string::npos) {
    auto id = Quoted(wql);
    if (!id) return std::nullopt;
    std::vector<WmiObject> rows;
    const int32_t drive = winio::PhysicalDriveNumber(*id);
    if (drive < 0) return rows;
    for (const SimDisk& disk : machine.Disks) {
      if (disk.PhysicalDrive != drive || EntityOf(disk).empty()) continue;
      WmiObject o;
      o.Properties["DeviceID"] = EntityOf(disk);
      rows.push_back(std::move(o));
    }
    return rows;
  }
  if (l.rfind(fromEntity, 0) == 0 &&
      l.find("assocclass=win32_scsicontrollerdevice") != std::string::npos) {
    auto id = Quoted(wql);
    if (!id) return std::nullopt;
    std::vector<WmiObject> rows;
    for (const SimDisk& disk : machine.Disks) {
      if (disk.Pcie.ControllerId.empty() || EntityOf(disk) != *id) continue;
      WmiObject o;
      o.Properties["DeviceID"] = disk.Pcie.ControllerId;
      rows.push_back(std::move(o));
    }
    return rows;
  }
  return std::nullopt;
}

std::vector<std::string> CSimDeviceSetup::PresentDevices(const std::string& classGuid) {
  std::vector<std::string> ids;
  if (base::LowerAscii(classGuid) != "{4d36e97b-e325-11ce-bfc1-08002be10318}") return ids;
  for (const SimDisk& disk : m_Machine.Disks) {
    const std::string& id = disk.Pcie.ControllerId;
    if (!id.empty() && std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
  }
  return ids;
}

std::optional<std::vector<uint8_t>> CSimDeviceSetup::DeviceProperty(const std::string& instanceId,
                                                                    const std::string& propertySet,
                                                                    uint32_t propertyId) {
  if (base::LowerAscii(propertySet) != "{3ab22e31-8264-4b4e-9af5-a8d2d8e33e62}")
    return std::nullopt;
  for (const SimDisk& disk : m_Machine.Disks) {
    if (disk.Pcie.ControllerId != instanceId) continue;
    uint8_t value = 0;
    switch (propertyId) {
      case 9:
        value = disk.Pcie.CurrentSpeed;
        break;
      case 10:
        value = disk.Pcie.CurrentWidth;
        break;
      case 11:
        value = disk.Pcie.MaxSpeed;
        break;
      case 12:
        value = disk.Pcie.MaxWidth;
        break;
      default:
        return std::nullopt;
    }
    // DEVPROP_TYPE_UINT32
    return std::vector<uint8_t>{value, 0, 0, 0};
  }
  return std::nullopt;
}

}  // namespace os::sim
