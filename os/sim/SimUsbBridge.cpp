#include "os/sim/SimUsbBridge.h"

#include <string>

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
