#include "os/sim/SimDeviceIo.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/Text.h"
#include "os/sim/SimAtaDevice.h"
#include "os/sim/SimCsmi.h"
#include "os/sim/SimNvme.h"
#include "os/sim/SimUsbBridge.h"
#include "os/wire/DeviceNames.h"
#include "os/wire/WinIoctl.h"

namespace os::sim {
namespace {

using namespace winio;

// "3512" controllers are driven by the 3112 driver and named after it.
int32_t DriverChip(int32_t chip) { return chip == 3512 ? 3112 : chip; }

// What a driver did with one request: the system buffer (input bytes first,
// then whatever the driver wrote) and how many bytes go back to the caller.
struct Reply {
  bool Ok = false;
  uint32_t Error = 0;
  uint32_t Returned = 0;
};

Reply Fail(uint32_t error) { return Reply{false, error, 0}; }
Reply Done(uint32_t returned) { return Reply{true, ERR_SUCCESS, returned}; }
// The answers of the NVMe, USB bridge and CSMI parts.
Reply From(const PathReply& r) { return Reply{r.Ok, r.Ok ? ERR_SUCCESS : r.Error, r.Returned}; }

// IDENTIFY text field (byte-swapped words), trimmed of blanks and NULs.
std::string IdentifyText(const Sector& id, size_t from, size_t to) {
  std::string s;
  for (size_t i = from; i + 1 < to; i += 2) {
    s.push_back(static_cast<char>(id[i + 1]));
    s.push_back(static_cast<char>(id[i]));
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  size_t b = 0;
  while (b < s.size() && s[b] == ' ') ++b;
  return s.substr(b);
}

void WriteStatus(uint8_t* taskFile, const AtaAnswer& a) {
  // Error register shares the features slot, status the command slot.
  taskFile[TASK_FEATURES] = a.Done() ? 0x00 : 0x04;
  taskFile[TASK_COMMAND] = a.Done() ? 0x50 : 0x51;
}

// ---- requests on a physical drive ---------------------------------------

Reply AtaPassThrough(SimDisk& disk, std::vector<uint8_t>& sys, size_t inSize, uint32_t outSize) {
  if (inSize < 2) return Fail(ERR_INVALID_PARAMETER);
  const AtaPassThroughLayout* layout = AtaPassThroughLayoutFor(Load16(sys.data()));
  if (!layout) return Fail(ERR_INVALID_PARAMETER);
  if (inSize < layout->HeaderSize || outSize < layout->HeaderSize) {
    return Fail(ERR_INVALID_PARAMETER);
  }
  uint16_t flags = Load16(sys.data() + 2);
  uint32_t transfer = Load32(sys.data() + offsetof(ATA_PASS_THROUGH_EX32, DataTransferLength));
  uint64_t dataAt = LoadUintPtr(sys.data() + layout->DataBufferOffsetAt, layout->PointerWidth);
  if (transfer > 0 && (dataAt < layout->HeaderSize || dataAt > outSize ||
                       !Fits(outSize, static_cast<size_t>(dataAt), transfer))) {
    return Fail(ERR_INVALID_PARAMETER);
  }
  uint8_t* current = sys.data() + layout->CurrentTaskFileAt;
  TaskFile tf{current[TASK_FEATURES], current[TASK_SECTOR_COUNT], current[TASK_LBA_LOW],
              current[TASK_LBA_MID],  current[TASK_LBA_HIGH],     current[TASK_DEVICE],
              current[TASK_COMMAND]};
  AtaAnswer a = ExecuteAta(disk, SimPath::AtaPassThrough, tf);
  if (a.Result == AtaAnswer::Outcome::Failed) return Fail(a.Error);
  if (a.Done() && a.HasData && (!(flags & APT_FLAGS_DATA_IN) || transfer < a.Data.size())) {
    return Fail(ERR_INVALID_PARAMETER);
  }
  WriteStatus(current, a);
  if (!a.Done() || !a.HasData) return Done(static_cast<uint32_t>(layout->HeaderSize));
  std::memcpy(sys.data() + dataAt, a.Data.data(), a.DataBytes);
  return Done(static_cast<uint32_t>(dataAt + a.DataBytes));
}

Reply IdePassThrough(SimDisk& disk, std::vector<uint8_t>& sys, size_t inSize, uint32_t outSize) {
  constexpr size_t kHeader = sizeof(IDE_PASS_THROUGH_HEADER);
  if (inSize < kHeader || outSize < kHeader) return Fail(ERR_INVALID_PARAMETER);
  uint32_t size = Load32(sys.data() + offsetof(IDE_PASS_THROUGH_HEADER, DataBufferSize));
  if (!Fits(outSize, kHeader, size)) return Fail(ERR_INVALID_PARAMETER);
  uint8_t* r = sys.data();
  TaskFile tf{r[0], r[1], r[2], r[3], r[4], r[5], r[6]};
  AtaAnswer a = ExecuteAta(disk, SimPath::IdePassThrough, tf);
  if (a.Result == AtaAnswer::Outcome::Failed) return Fail(a.Error);
  if (a.Done() && a.HasData && size < a.Data.size()) return Fail(ERR_INVALID_PARAMETER);
  r[0] = a.Done() ? 0x00 : 0x04;
  r[6] = a.Done() ? 0x50 : 0x51;
  if (!a.Done() || !a.HasData) return Done(static_cast<uint32_t>(kHeader));
  std::memcpy(sys.data() + kHeader, a.Data.data(), a.DataBytes);
  return Done(static_cast<uint32_t>(kHeader + a.DataBytes));
}

TaskFile TaskFileOfSendCmd(const std::vector<uint8_t>& sys) {
  const uint8_t* r = sys.data() + offsetof(SENDCMDINPARAMS, irDriveRegs);
  return TaskFile{r[0], r[1], r[2], r[3], r[4], r[5], r[6]};
}

Reply SmartReceive(SimDisk& disk, std::vector<uint8_t>& sys, size_t inSize, uint32_t outSize) {
  if (!disk.Answers(SimPath::SmartIoctl)) return Fail(ERR_INVALID_FUNCTION);
  if (inSize < sizeof(SENDCMDINPARAMS) - 1) return Fail(ERR_INVALID_PARAMETER);
  TaskFile tf = TaskFileOfSendCmd(sys);
  auto op = OpOfTaskFile(tf);
  if (!op || (*op != SimOp::Identify && *op != SimOp::SmartData && *op != SimOp::SmartThresholds)) {
    return Fail(ERR_INVALID_PARAMETER);
  }
  constexpr size_t kData = offsetof(SENDCMDOUTPARAMS, bBuffer);
  if (outSize < kData + SECTOR_SIZE) return Fail(ERR_INSUFFICIENT_BUFFER);
  AtaAnswer a = ExecuteAta(disk, SimPath::SmartIoctl, tf);
  if (a.Result == AtaAnswer::Outcome::Failed) return Fail(a.Error);
  std::fill(sys.begin(), sys.begin() + kData, uint8_t{0});
  if (!a.Done()) {
    sys[offsetof(SENDCMDOUTPARAMS, DriverStatus)] = 1;  // SMART_IDE_ERROR
    sys[offsetof(SENDCMDOUTPARAMS, DriverStatus) + 1] = 0x04;
    return Fail(ERR_IO_DEVICE);
  }
  Store32(sys.data(), static_cast<uint32_t>(SECTOR_SIZE));
  std::memcpy(sys.data() + kData, a.Data.data(), a.DataBytes);
  return Done(static_cast<uint32_t>(kData + a.DataBytes));
}

Reply SmartSend(SimDisk& disk, std::vector<uint8_t>& sys, size_t inSize, uint32_t outSize) {
  if (!disk.Answers(SimPath::SmartIoctl)) return Fail(ERR_INVALID_FUNCTION);
  if (inSize < sizeof(SENDCMDINPARAMS) - 1) return Fail(ERR_INVALID_PARAMETER);
  constexpr size_t kData = offsetof(SENDCMDOUTPARAMS, bBuffer);
  if (outSize < kData) return Fail(ERR_INSUFFICIENT_BUFFER);
  TaskFile tf = TaskFileOfSendCmd(sys);
  auto op = OpOfTaskFile(tf);
  if (op && (*op == SimOp::Identify || *op == SimOp::SmartData || *op == SimOp::SmartThresholds)) {
    return Fail(ERR_INVALID_PARAMETER);  // data commands go through SMART_RCV_DRIVE_DATA
  }
  AtaAnswer a = ExecuteAta(disk, SimPath::SmartIoctl, tf);
  if (a.Result == AtaAnswer::Outcome::Failed) return Fail(a.Error);
  std::fill(sys.begin(), sys.begin() + kData, uint8_t{0});
  if (!a.Done()) {
    sys[offsetof(SENDCMDOUTPARAMS, DriverStatus)] = 1;
    sys[offsetof(SENDCMDOUTPARAMS, DriverStatus) + 1] = 0x04;
    return Fail(ERR_IO_DEVICE);
  }
  return Done(static_cast<uint32_t>(kData));
}

Reply SmartVersion(SimDisk& disk, std::vector<uint8_t>& sys, uint32_t outSize) {
  if (!disk.Answers(SimPath::SmartIoctl)) return Fail(ERR_INVALID_FUNCTION);
  if (outSize < sizeof(GETVERSIONINPARAMS)) return Fail(ERR_INSUFFICIENT_BUFFER);
  std::fill(sys.begin(), sys.begin() + sizeof(GETVERSIONINPARAMS), uint8_t{0});
  sys[0] = 1;  // version
  sys[1] = 1;  // revision
  sys[3] = disk.Target == ATA_TARGET_SLAVE ? 0x02 : 0x01;
  Store32(sys.data() + offsetof(GETVERSIONINPARAMS, fCapabilities), 0x01 | 0x04);
  return Done(sizeof(GETVERSIONINPARAMS));
}

Reply PredictFailure(SimDisk& disk, std::vector<uint8_t>& sys, uint32_t outSize) {
  if (outSize < sizeof(STORAGE_PREDICT_FAILURE)) return Fail(ERR_INSUFFICIENT_BUFFER);
  AtaAnswer a = ExecuteOp(disk, SimPath::PredictFailure, SimOp::SmartData);
  if (a.Result == AtaAnswer::Outcome::Failed) return Fail(a.Error);
  if (!a.Done()) return Fail(ERR_IO_DEVICE);
  std::fill(sys.begin(), sys.begin() + sizeof(STORAGE_PREDICT_FAILURE), uint8_t{0});
  Store32(sys.data(), disk.PredictFailure);
  std::memcpy(sys.data() + offsetof(STORAGE_PREDICT_FAILURE, VendorSpecific), a.Data.data(),
              a.DataBytes);
  return Done(
      static_cast<uint32_t>(offsetof(STORAGE_PREDICT_FAILURE, VendorSpecific) + a.DataBytes));
}

Reply Geometry(SimDisk& disk, std::vector<uint8_t>& sys, uint32_t outSize, bool extended) {
  if (!disk.HasGeometry) return Fail(ERR_NOT_READY);
  size_t size = extended ? sizeof(DISK_GEOMETRY_EX_HEADER) : sizeof(DISK_GEOMETRY);
  const Fault& f = disk.Faults[0][static_cast<size_t>(SimOp::Geometry)];
  if (f.Kind == FaultKind::NoAnswer) return Fail(ERR_SEM_TIMEOUT);
  if (f.Kind == FaultKind::Error) return Fail(f.Error);
  if (outSize < size) return Fail(ERR_INSUFFICIENT_BUFFER);
  uint64_t sectors = disk.SectorCount();
  std::fill(sys.begin(), sys.begin() + static_cast<ptrdiff_t>(size), uint8_t{0});
  if (f.Kind != FaultKind::Zero) {
    Store64(sys.data() + offsetof(DISK_GEOMETRY, Cylinders), sectors / (255 * 63));
    Store32(sys.data() + offsetof(DISK_GEOMETRY, MediaType), disk.MediaType);
    Store32(sys.data() + offsetof(DISK_GEOMETRY, TracksPerCylinder), 255);
    Store32(sys.data() + offsetof(DISK_GEOMETRY, SectorsPerTrack), 63);
    Store32(sys.data() + offsetof(DISK_GEOMETRY, BytesPerSector), 512);
    if (extended) Store64(sys.data() + offsetof(DISK_GEOMETRY_EX_HEADER, DiskSize), sectors * 512);
  }
  if (f.Kind == FaultKind::Short) {
    return Done(static_cast<uint32_t>(std::min<size_t>(f.Bytes, size)));
  }
  return Done(static_cast<uint32_t>(size));
}

Reply QueryProperty(SimDisk& disk, std::vector<uint8_t>& sys, size_t inSize, uint32_t outSize) {
  if (inSize < 8) return Fail(ERR_INVALID_PARAMETER);
  uint32_t property = Load32(sys.data());
  uint32_t query = Load32(sys.data() + 4);
  if (property == PROPERTY_STORAGE_ADAPTER_PROTOCOL_SPECIFIC ||
      property == PROPERTY_STORAGE_DEVICE_PROTOCOL_SPECIFIC) {
    return From(AnswerNvmeStorageQuery(disk, sys, inSize, outSize));
  }
  if (property != PROPERTY_STORAGE_DEVICE) return Fail(ERR_INVALID_FUNCTION);
  if (query == PROPERTY_EXISTS_QUERY) return Done(0);
  if (query != PROPERTY_STANDARD_QUERY) return Fail(ERR_INVALID_PARAMETER);
  if (outSize < 8) return Fail(ERR_INSUFFICIENT_BUFFER);
  std::string model, firmware, serial;
  if (disk.Identify) {
    model = IdentifyText(*disk.Identify, 54, 94);
    firmware = IdentifyText(*disk.Identify, 46, 54);
    serial = IdentifyText(*disk.Identify, 20, 40);
  }
  std::vector<uint8_t> d(sizeof(STORAGE_DEVICE_DESCRIPTOR), 0);
  auto add = [&](const std::string& s, size_t field) {
    if (s.empty()) return;
    Store32(d.data() + field, static_cast<uint32_t>(d.size()));
    d.insert(d.end(), s.begin(), s.end());
    d.push_back(0);
  };
  add(disk.Vendor, offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset));
  add(model, offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset));
  add(firmware, offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductRevisionOffset));
  add(serial, offsetof(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset));
  Store32(d.data(), sizeof(STORAGE_DEVICE_DESCRIPTOR));
  Store32(d.data() + 4, static_cast<uint32_t>(d.size()));
  d[offsetof(STORAGE_DEVICE_DESCRIPTOR, RemovableMedia)] = disk.MediaType == MEDIA_TYPE_REMOVABLE;
  Store32(d.data() + offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType), disk.BusType);
  size_t n = std::min<size_t>(outSize, d.size());
  if (sys.size() < n) sys.resize(n);
  std::memcpy(sys.data(), d.data(), n);
  return Done(static_cast<uint32_t>(n));
}

Reply ScsiAddress(SimDisk& disk, std::vector<uint8_t>& sys, uint32_t outSize) {
  if (disk.ScsiPort < 0) return Fail(ERR_INVALID_FUNCTION);
  if (outSize < sizeof(SCSI_ADDRESS)) return Fail(ERR_INSUFFICIENT_BUFFER);
  Store32(sys.data(), sizeof(SCSI_ADDRESS));
  sys[4] = static_cast<uint8_t>(disk.ScsiPort);
  sys[5] = static_cast<uint8_t>(std::max(disk.ScsiBus, 0));
  sys[6] = static_cast<uint8_t>(std::max(disk.ScsiTarget, 0));
  sys[7] = 0;
  return Done(sizeof(SCSI_ADDRESS));
}

Reply AnswerDrive(SimDisk& disk, uint32_t code, std::vector<uint8_t>& sys, size_t inSize,
                  uint32_t outSize) {
  switch (code) {
    case CTL_ATA_PASS_THROUGH:
      return AtaPassThrough(disk, sys, inSize, outSize);
    case CTL_IDE_PASS_THROUGH:
      return IdePassThrough(disk, sys, inSize, outSize);
    case CTL_SMART_RCV_DRIVE_DATA:
      return SmartReceive(disk, sys, inSize, outSize);
    case CTL_SMART_SEND_DRIVE_COMMAND:
      return SmartSend(disk, sys, inSize, outSize);
    case CTL_SMART_GET_VERSION:
      return SmartVersion(disk, sys, outSize);
    case CTL_STORAGE_PREDICT_FAILURE:
      return PredictFailure(disk, sys, outSize);
    case CTL_DISK_GET_DRIVE_GEOMETRY:
      return Geometry(disk, sys, outSize, false);
    case CTL_DISK_GET_DRIVE_GEOMETRY_EX:
      return Geometry(disk, sys, outSize, true);
    case CTL_STORAGE_QUERY_PROPERTY:
      return QueryProperty(disk, sys, inSize, outSize);
    case CTL_SCSI_GET_ADDRESS:
      return ScsiAddress(disk, sys, outSize);
    case CTL_SCSI_PASS_THROUGH:
      return From(AnswerScsiPassThrough(disk, sys, inSize, outSize));
    default:
      return Fail(ERR_INVALID_FUNCTION);
  }
}

// ---- requests on a SCSI port ------------------------------------------------

std::optional<SimOp> MiniportOp(uint32_t code) {
  switch (code) {
    case CTL_MINIPORT_IDENTIFY:
      return SimOp::Identify;
    case CTL_MINIPORT_READ_SMART_ATTRIBS:
      return SimOp::SmartData;
    case CTL_MINIPORT_READ_SMART_THRESHOLDS:
      return SimOp::SmartThresholds;
    case CTL_MINIPORT_ENABLE_SMART:
      return SimOp::SmartEnable;
    default:
      return std::nullopt;
  }
}

Reply ScsiDisk(SimMachine& m, const std::vector<size_t>& disks, std::vector<uint8_t>& sys,
               size_t inSize, uint32_t outSize) {
  bool anyMiniport = false;
  for (size_t i : disks) anyMiniport |= m.Disks[i].Answers(SimPath::ScsiMiniport);
  if (!anyMiniport) return Fail(ERR_INVALID_FUNCTION);
  if (inSize < SCSIDISK_INPUT_SIZE) return Fail(ERR_INVALID_PARAMETER);
  auto op = MiniportOp(Load32(sys.data() + offsetof(SRB_IO_CONTROL, ControlCode)));
  if (!op) return Fail(ERR_INVALID_FUNCTION);
  bool data = *op != SimOp::SmartEnable;
  size_t answerSize = SCSIDISK_DATA_AT + (data ? SECTOR_SIZE : 0);
  if (outSize < answerSize) return Fail(ERR_INSUFFICIENT_BUFFER);
  uint8_t driveNumber = sys[sizeof(SRB_IO_CONTROL) + offsetof(SENDCMDINPARAMS, bDriveNumber)];
  SimDisk* disk = nullptr;
  for (size_t i : disks) {
    SimDisk& d = m.Disks[i];
    if (d.ScsiTarget == driveNumber && d.Answers(SimPath::ScsiMiniport)) disk = &d;
  }
  if (sys.size() < answerSize) sys.resize(answerSize);
  std::fill(sys.begin() + sizeof(SRB_IO_CONTROL), sys.begin() + static_cast<ptrdiff_t>(answerSize),
            uint8_t{0});
  Store32(sys.data() + offsetof(SRB_IO_CONTROL, ReturnCode), 0);
  // An empty target answers with nothing in the buffer; the driver still
  // reports success.
  if (!disk) return Done(static_cast<uint32_t>(answerSize));
  AtaAnswer a = ExecuteOp(*disk, SimPath::ScsiMiniport, *op);
  if (a.Result == AtaAnswer::Outcome::Failed) return Fail(a.Error);
  uint8_t* out = sys.data() + sizeof(SRB_IO_CONTROL);
  if (!a.Done()) {
    out[offsetof(SENDCMDOUTPARAMS, DriverStatus)] = 1;
    out[offsetof(SENDCMDOUTPARAMS, DriverStatus) + 1] = 0x04;
    return Done(static_cast<uint32_t>(answerSize));
  }
  if (!data) return Done(static_cast<uint32_t>(answerSize));
  Store32(out, static_cast<uint32_t>(SECTOR_SIZE));
  std::memcpy(sys.data() + SCSIDISK_DATA_AT, a.Data.data(), a.DataBytes);
  return Done(static_cast<uint32_t>(SCSIDISK_DATA_AT + a.DataBytes));
}

Reply SiliconImageIde(SimMachine& m, const std::vector<size_t>& disks, std::vector<uint8_t>& sys,
                      size_t inSize, uint32_t outSize) {
  bool siliconImage = false;
  for (size_t i : disks) siliconImage |= m.Disks[i].SiliconImageType != 0;
  if (!siliconImage) return Fail(ERR_INVALID_FUNCTION);
  if (Load32(sys.data() + offsetof(SRB_IO_CONTROL, ControlCode)) != CTL_SILICON_IMAGE_IDENTIFY) {
    return Fail(ERR_INVALID_FUNCTION);
  }
  constexpr size_t kSize = sizeof(SILICON_IMAGE_IDE_REQUEST);
  if (inSize < kSize || outSize < kSize) return Fail(ERR_INVALID_PARAMETER);
  uint16_t port = Load16(sys.data() + offsetof(SILICON_IMAGE_IDE_REQUEST, Port));
  SimDisk* disk = nullptr;
  for (size_t i : disks) {
    SimDisk& d = m.Disks[i];
    if (d.SiliconImageType != 0 && d.ScsiBus == port) disk = &d;
  }
  if (!disk) return Fail(ERR_IO_DEVICE);
  AtaAnswer a = ExecuteOp(*disk, SimPath::SiliconImage, SimOp::Identify);
  if (a.Result == AtaAnswer::Outcome::Failed) return Fail(a.Error);
  if (!a.Done()) return Fail(ERR_IO_DEVICE);
  Store32(sys.data() + offsetof(SRB_IO_CONTROL, ReturnCode), 0);
  std::memcpy(sys.data() + offsetof(SILICON_IMAGE_IDE_REQUEST, Data), a.Data.data(), a.DataBytes);
  return Done(static_cast<uint32_t>(offsetof(SILICON_IMAGE_IDE_REQUEST, Data) + a.DataBytes));
}

Reply AnswerPort(SimMachine& m, int32_t port, const std::vector<size_t>& disks, uint32_t code,
                 std::vector<uint8_t>& sys, size_t inSize, uint32_t outSize) {
  if (code != CTL_SCSI_MINIPORT) return Fail(ERR_INVALID_FUNCTION);
  if (inSize < sizeof(SRB_IO_CONTROL)) return Fail(ERR_INVALID_PARAMETER);
  if (Load32(sys.data()) != sizeof(SRB_IO_CONTROL)) return Fail(ERR_INVALID_PARAMETER);
  const uint8_t* signature = sys.data() + offsetof(SRB_IO_CONTROL, Signature);
  if (std::memcmp(signature, "SCSIDISK", 8) == 0) return ScsiDisk(m, disks, sys, inSize, outSize);
  if (std::memcmp(signature, "CMD_IDE ", 8) == 0) {
    return SiliconImageIde(m, disks, sys, inSize, outSize);
  }
  if (std::memcmp(signature, "NvmeMini", 8) == 0) {
    return From(AnswerNvmeMiniport(m, disks, sys, inSize, outSize));
  }
  if (IsCsmiSignature(signature)) return From(AnswerCsmi(m, port, sys, inSize, outSize));
  return Fail(ERR_INVALID_FUNCTION);
}

// ---- requests on a volume -----------------------------------------------------

Reply AnswerVolume(SimMachine& m, char letter, uint32_t code, std::vector<uint8_t>& sys,
                   uint32_t outSize) {
  if (code != CTL_VOLUME_GET_VOLUME_DISK_EXTENTS) return Fail(ERR_INVALID_FUNCTION);
  if (outSize < sizeof(VOLUME_DISK_EXTENTS)) return Fail(ERR_INSUFFICIENT_BUFFER);
  std::vector<const SimDisk*> on;
  for (const SimDisk& d : m.Disks) {
    if (d.PhysicalDrive >= 0 && d.DriveLetters.find(letter) != std::string::npos) on.push_back(&d);
  }
  size_t room = (outSize - offsetof(VOLUME_DISK_EXTENTS, Extents)) / sizeof(DISK_EXTENT);
  size_t n = std::min(room, on.size());
  size_t size = offsetof(VOLUME_DISK_EXTENTS, Extents) + n * sizeof(DISK_EXTENT);
  if (sys.size() < size) sys.resize(size);
  std::fill(sys.begin(), sys.begin() + static_cast<ptrdiff_t>(size), uint8_t{0});
  Store32(sys.data(), static_cast<uint32_t>(on.size()));
  for (size_t i = 0; i < n; ++i) {
    uint8_t* e = sys.data() + offsetof(VOLUME_DISK_EXTENTS, Extents) + i * sizeof(DISK_EXTENT);
    uint64_t bytes = on[i]->SectorCount() * 512;
    Store32(e, static_cast<uint32_t>(on[i]->PhysicalDrive));
    Store64(e + offsetof(DISK_EXTENT, StartingOffset), 1u << 20);
    Store64(e + offsetof(DISK_EXTENT, ExtentLength),
            bytes > (2u << 20) ? bytes - (1u << 20) : 1u << 20);
  }
  if (n < on.size()) return Reply{false, ERR_MORE_DATA, static_cast<uint32_t>(size)};
  return Done(static_cast<uint32_t>(size));
}

// ---- handles -------------------------------------------------------------------

enum class HandleKind : uint8_t { Drive, Port, Volume };

class CSimHandle : public IDeviceHandle {
 public:
  CSimHandle(CSimDeviceIo& io, std::string name, HandleKind kind)
      : m_Io(io), m_Name(std::move(name)), m_Kind(kind) {}

  size_t m_Disk = 0;                // Drive
  std::vector<size_t> m_PortDisks;  // Port
  int32_t m_Port = -1;              // Port, when opened by its number
  char m_Letter = 0;                // Volume

  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned, uint32_t* error) override {
    if (!in) inSize = 0;
    if (!out) outSize = 0;
    SimRequest r;
    r.Type = SimRequest::Kind::Control;
    r.Device = m_Name;
    r.Code = code;
    r.In.assign(static_cast<const uint8_t*>(in), static_cast<const uint8_t*>(in) + inSize);
    r.OutSize = outSize;
    // The system buffer of a buffered request: the input, room for the output.
    std::vector<uint8_t> sys(std::max(inSize, outSize), 0);
    if (inSize) std::memcpy(sys.data(), in, inSize);
    SimMachine& m = m_Io.Machine();
    Reply reply;
    switch (m_Kind) {
      case HandleKind::Drive:
        reply = AnswerDrive(m.Disks[m_Disk], code, sys, inSize, outSize);
        break;
      case HandleKind::Port:
        reply = AnswerPort(m, m_Port, m_PortDisks, code, sys, inSize, outSize);
        break;
      case HandleKind::Volume:
        reply = AnswerVolume(m, m_Letter, code, sys, outSize);
        break;
    }
    uint32_t n = std::min<uint32_t>(reply.Returned, outSize);
    n = std::min<uint32_t>(n, static_cast<uint32_t>(sys.size()));
    if (n) std::memcpy(out, sys.data(), n);
    r.Ok = reply.Ok;
    r.Error = reply.Ok ? 0 : reply.Error;
    r.Returned = reply.Ok ? n : 0;
    if (returned) *returned = r.Returned;
    if (error) *error = r.Error;
    m_Io.Record(std::move(r));
    return reply.Ok;
  }

  bool Read(void* buffer, uint32_t size, uint32_t* read) override {
    SimRequest r;
    r.Type = SimRequest::Kind::Read;
    r.Device = m_Name;
    r.OutSize = size;
    if (m_Kind != HandleKind::Drive || !buffer) {
      r.Error = ERR_INVALID_FUNCTION;
      if (read) *read = 0;
      m_Io.Record(std::move(r));
      return false;
    }
    const SimDisk& disk = m_Io.Machine().Disks[m_Disk];
    uint8_t* b = static_cast<uint8_t*>(buffer);
    std::memset(b, 0, size);
    size_t n = std::min<size_t>(size, disk.Sector0.size());
    if (n) std::memcpy(b, disk.Sector0.data(), n);
    r.Ok = true;
    r.Returned = size;
    if (read) *read = size;
    m_Io.Record(std::move(r));
    return true;
  }

 private:
  CSimDeviceIo& m_Io;
  std::string m_Name;
  HandleKind m_Kind;
};

}  // namespace

std::unique_ptr<IDeviceHandle> CSimDeviceIo::Open(const std::string& name, Access access,
                                                  uint32_t* error) {
  SimRequest r;
  r.Type = SimRequest::Kind::Open;
  r.Device = name;
  r.OpenAccess = access;
  auto finish = [&](std::unique_ptr<IDeviceHandle> h, uint32_t code) {
    r.Ok = h != nullptr;
    r.Error = h ? 0 : code;
    if (error) *error = r.Error;
    Record(std::move(r));
    return h;
  };
  std::string lower = base::LowerAscii(name);
  const std::string prefix = "\\\\.\\";
  if (lower.rfind(prefix, 0) != 0) return finish(nullptr, ERR_FILE_NOT_FOUND);
  std::string rest = lower.substr(prefix.size());

  int32_t n = winio::PhysicalDriveNumber(name);
  if (n >= 0) {
    for (size_t i = 0; i < m_Machine.Disks.size(); ++i) {
      const SimDisk& d = m_Machine.Disks[i];
      if (d.PhysicalDrive != n) continue;
      if (d.OpenError) return finish(nullptr, *d.OpenError);
      auto h = std::make_unique<CSimHandle>(*this, name, HandleKind::Drive);
      h->m_Disk = i;
      return finish(std::move(h), 0);
    }
    return finish(nullptr, ERR_FILE_NOT_FOUND);
  }
  n = winio::ScsiPortNumber(name);
  if (n >= 0) {
    auto h = std::make_unique<CSimHandle>(*this, name, HandleKind::Port);
    for (size_t i = 0; i < m_Machine.Disks.size(); ++i) {
      const SimDisk& d = m_Machine.Disks[i];
      if (d.ScsiPort == n && d.ScsiPortVisible) h->m_PortDisks.push_back(i);
    }
    h->m_Port = n;
    if (h->m_PortDisks.empty() && !CsmiControllerOnPort(m_Machine, n)) {
      return finish(nullptr, ERR_FILE_NOT_FOUND);
    }
    return finish(std::move(h), 0);
  }
  if (char letter = winio::VolumeLetter(name); letter != 0) {
    for (const SimDisk& d : m_Machine.Disks) {
      if (d.PhysicalDrive >= 0 && d.DriveLetters.find(letter) != std::string::npos) {
        auto h = std::make_unique<CSimHandle>(*this, name, HandleKind::Volume);
        h->m_Letter = letter;
        return finish(std::move(h), 0);
      }
    }
    return finish(nullptr, ERR_FILE_NOT_FOUND);
  }
  auto dos = m_DosDevices.find(rest);
  if (dos != m_DosDevices.end()) {
    const std::string& target = dos->second;  // lower case
    const std::string kernel = "\\device\\scsi\\si";
    if (target.rfind(kernel, 0) == 0 && target.size() > kernel.size() + 1 && target.back() == '1') {
      int32_t chip = 0;
      std::string digits = target.substr(kernel.size(), target.size() - kernel.size() - 1);
      bool ok =
          !digits.empty() && digits.size() <= 5 &&
          std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
      if (ok) chip = std::stoi(digits);
      auto h = std::make_unique<CSimHandle>(*this, name, HandleKind::Port);
      for (size_t i = 0; ok && i < m_Machine.Disks.size(); ++i) {
        const SimDisk& d = m_Machine.Disks[i];
        if (d.SiliconImageType != 0 && DriverChip(d.SiliconImageType) == chip) {
          h->m_PortDisks.push_back(i);
        }
      }
      if (!h->m_PortDisks.empty()) return finish(std::move(h), 0);
    }
  }
  return finish(nullptr, ERR_FILE_NOT_FOUND);
}

bool CSimDeviceIo::DefineRawDosDevice(const std::string& name, const std::string& target) {
  SimRequest r;
  r.Type = SimRequest::Kind::DefineDosDevice;
  r.Device = name;
  r.Target = target;
  r.Ok = !name.empty() && name.find('\\') == std::string::npos;
  r.Error = r.Ok ? uint32_t{0} : uint32_t{ERR_INVALID_PARAMETER};
  if (r.Ok) m_DosDevices[base::LowerAscii(name)] = base::LowerAscii(target);
  bool ok = r.Ok;
  Record(std::move(r));
  return ok;
}

std::vector<SimRequest> CSimDeviceIo::RequestsWithCode(uint32_t code) const {
  std::vector<SimRequest> out;
  for (const SimRequest& r : m_Requests) {
    if (r.Type == SimRequest::Kind::Control && r.Code == code) out.push_back(r);
  }
  return out;
}

size_t CSimDeviceIo::CountOpens() const {
  return static_cast<size_t>(
      std::count_if(m_Requests.begin(), m_Requests.end(),
                    [](const SimRequest& r) { return r.Type == SimRequest::Kind::Open; }));
}

}  // namespace os::sim
