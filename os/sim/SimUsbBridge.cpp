#include "os/sim/SimUsbBridge.h"

#include <cstring>
#include <string>

#include "os/DeviceIo.h"
#include "os/sim/SimAtaDevice.h"
#include "os/sim/SimNvme.h"
#include "os/wire/WinIoctl.h"

namespace os::sim {
namespace {

// Where each form keeps its signature and the task-file registers. A bridge
// firmware reads a command block exactly this way: fixed bytes say whose
// command it is, the rest sit at fixed places.
struct FormLayout {
  BridgeForm Form;
  const char* Name;
  uint8_t Length;
  struct {
    int8_t At;
    uint8_t Value;
  } Signature[6];  // At -1 ends the list
  uint8_t Features, Count, Low, Mid, High, Device, Command;
};

constexpr int8_t END = -1;

const FormLayout kForms[] = {
    // ATA PASS-THROUGH(12): protocol in byte 1 (08 PIO in, 06 non-data).
    {BridgeForm::Sat, "sat", 12, {{0, 0xA1}, {2, 0x0E}, {END, 0}}, 3, 4, 5, 6, 7, 8, 9},
    {BridgeForm::Sunplus,
     "sunplus",
     12,
     {{0, 0xF8}, {1, 0x00}, {2, 0x22}, {3, 0x10}, {END, 0}},
     5,
     6,
     7,
     8,
     9,
     10,
     11},
    {BridgeForm::IoData, "io-data", 12, {{0, 0xE3}, {1, 0x00}, {END, 0}}, 2, 3, 4, 5, 6, 7, 8},
    {BridgeForm::Logitec1,
     "logitec1",
     10,
     {{0, 0xE0}, {1, 0x00}, {9, 0x4C}, {END, 0}},
     2,
     3,
     4,
     5,
     6,
     7,
     8},
    {BridgeForm::Logitec2,
     "logitec2",
     16,
     {{0, 0xD8}, {1, 0x15}, {2, 0x00}, {4, 0x06}, {5, 0x7B}, {END, 0}},
     3,
     10,
     11,
     12,
     13,
     14,
     15},
    {BridgeForm::JMicron,
     "jmicron",
     12,
     {{0, 0xDF}, {1, 0x10}, {2, 0x00}, {3, 0x02}, {4, 0x00}, {END, 0}},
     5,
     6,
     7,
     8,
     9,
     10,
     11},
    {BridgeForm::Cypress,
     "cypress",
     16,
     {{0, 0x24}, {1, 0x24}, {2, 0x00}, {3, 0xBE}, {END, 0}},
     6,
     7,
     8,
     9,
     10,
     11,
     12},
    {BridgeForm::Prolific,
     "prolific",
     12,
     {{0, 0xA1}, {1, 0x1C}, {2, 0x0E}, {END, 0}},
     3,
     4,
     5,
     6,
     7,
     8,
     9},
};
static_assert(sizeof(kForms) / sizeof(kForms[0]) == BRIDGE_FORM_COUNT);

bool Matches(const FormLayout& f, const uint8_t* cdb, size_t length) {
  if (length != f.Length) return false;
  for (const auto& s : f.Signature) {
    if (s.At == END) break;
    if (cdb[s.At] != s.Value) return false;
  }
  // The plain translation and the Prolific form share their first byte.
  if (f.Form == BridgeForm::Sat && cdb[1] == 0x1C) return false;
  return true;
}

}  // namespace

const char* BridgeFormName(BridgeForm form) {
  size_t i = static_cast<size_t>(form);
  return i < BRIDGE_FORM_COUNT ? kForms[i].Name : "?";
}

std::optional<BridgeForm> BridgeFormFromName(std::string_view name) {
  for (const FormLayout& f : kForms) {
    if (name == f.Name) return f.Form;
  }
  return std::nullopt;
}

std::optional<UnknownForm> UnknownFormFromName(std::string_view name) {
  if (name == "refuse") return UnknownForm::Refuse;
  if (name == "zeros") return UnknownForm::Zeros;
  if (name == "echo") return UnknownForm::Echo;
  return std::nullopt;
}

std::optional<BridgeCommand> DecodeBridgeCdb(const uint8_t* cdb, size_t length) {
  if (cdb == nullptr) return std::nullopt;
  for (const FormLayout& f : kForms) {
    if (!Matches(f, cdb, length)) continue;
    BridgeCommand c;
    c.Form = f.Form;
    c.Features = cdb[f.Features];
    c.SectorCount = cdb[f.Count];
    c.LbaLow = cdb[f.Low];
    c.LbaMid = cdb[f.Mid];
    c.LbaHigh = cdb[f.High];
    c.Device = cdb[f.Device];
    c.Command = cdb[f.Command];
    return c;
  }
  return std::nullopt;
}

}  // namespace os::sim

// ---- answering -------------------------------------------------------------

namespace os::sim {
namespace {

using namespace winio;

PathReply Fail(uint32_t error) { return PathReply{false, error, 0}; }
PathReply Done(size_t returned) { return PathReply{true, 0, static_cast<uint32_t>(returned)}; }

}  // namespace

PathReply AnswerScsiPassThrough(SimDisk& disk, std::vector<uint8_t>& sys, size_t inSize,
                                uint32_t outSize) {
  if (inSize < 2) return Fail(ERR_INVALID_PARAMETER);
  const ScsiPassThroughLayout* layout = ScsiPassThroughLayoutFor(Load16(sys.data()));
  if (layout == nullptr || inSize < layout->HeaderSize || outSize < layout->HeaderSize) {
    return Fail(ERR_INVALID_PARAMETER);
  }
  SptRequest r;
  r.HeaderSize = layout->HeaderSize;
  r.InSize = inSize;
  r.OutSize = outSize;
  r.CdbLength = sys[offsetof(SCSI_PASS_THROUGH32, CdbLength)];
  r.SenseLength = sys[offsetof(SCSI_PASS_THROUGH32, SenseInfoLength)];
  r.DataIn = sys[offsetof(SCSI_PASS_THROUGH32, DataIn)];
  r.TransferLength = Load32(sys.data() + offsetof(SCSI_PASS_THROUGH32, DataTransferLength));
  const uint64_t dataAt =
      LoadUintPtr(sys.data() + layout->DataBufferOffsetAt, layout->PointerWidth);
  r.SenseAt = Load32(sys.data() + layout->SenseInfoOffsetAt);
  if (r.CdbLength == 0 || r.CdbLength > 16 || r.DataIn > SPT_DATA_UNSPECIFIED) {
    return Fail(ERR_INVALID_PARAMETER);
  }
  // The system checks the data area against the buffer it moves: the
  // output for data in, the input for data out.
  if (dataAt > outSize || dataAt > inSize + size_t{outSize}) return Fail(ERR_INVALID_PARAMETER);
  r.DataAt = static_cast<size_t>(dataAt);
  if (r.TransferLength > 0 &&
      (r.DataAt < r.HeaderSize ||
       !Fits(r.DataIn == SPT_DATA_OUT ? inSize : outSize, r.DataAt, r.TransferLength))) {
    return Fail(ERR_INVALID_PARAMETER);
  }
  if (r.SenseLength > 0 && !Fits(outSize, r.SenseAt, r.SenseLength)) {
    return Fail(ERR_INVALID_PARAMETER);
  }
  uint8_t cdb[16] = {};
  std::memcpy(cdb, sys.data() + layout->CdbAt, r.CdbLength);
  r.Cdb = cdb;

  if (auto reply = AnswerNvmePassThrough(disk, r, sys)) return *reply;
  if (!disk.Usb.Any()) return SptCheckCondition(r, sys);

  const bool reading = r.DataIn == SPT_DATA_IN && r.TransferLength > 0;
  auto command = DecodeBridgeCdb(cdb, r.CdbLength);
  if (!command || !disk.Usb.Understands(command->Form)) {
    switch (disk.Usb.Unknown) {
      case UnknownForm::Refuse:
        return SptCheckCondition(r, sys);
      case UnknownForm::Zeros:
        if (reading) std::memset(sys.data() + r.DataAt, 0, r.TransferLength);
        return Done(reading ? r.DataAt + r.TransferLength : r.DataAt);
      case UnknownForm::Echo:
        return Done(reading ? r.DataAt + r.TransferLength : r.DataAt);
    }
  }
  TaskFile tf{command->Features, command->SectorCount, command->LbaLow, command->LbaMid,
              command->LbaHigh,  command->Device,      command->Command};
  AtaAnswer a = ExecuteAta(disk, SimPath::UsbBridge, tf);
  if (a.Result == AtaAnswer::Outcome::Failed) return Fail(a.Error);
  if (!a.Done()) return SptCheckCondition(r, sys);  // the disk aborted the command
  if (!a.HasData) return Done(r.DataAt);
  if (!reading || r.TransferLength < a.DataBytes) return SptCheckCondition(r, sys);
  std::memcpy(sys.data() + r.DataAt, a.Data.data(), a.DataBytes);
  return Done(r.DataAt + a.DataBytes);
}

}  // namespace os::sim
