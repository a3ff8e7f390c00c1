// USB-to-ATA bridges of the simulated machine: how a bridge reads the ATA
// registers out of the SCSI command block of each vendor form, and how it
// answers a pass-through request on the physical drive of an enclosure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

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
  Refuse,  // check condition: the request completes without data
  Zeros,   // answers with a sector of zeros
  Echo,    // answers with the command block itself in the data area
};
std::optional<UnknownForm> UnknownFormFromName(std::string_view name);

// The ATA registers a bridge found in a command block.
struct BridgeCommand {
  BridgeForm Form = BridgeForm::Sat;
  uint8_t Features = 0;
  uint8_t SectorCount = 0;
  uint8_t LbaLow = 0;
  uint8_t LbaMid = 0;
  uint8_t LbaHigh = 0;
  uint8_t Device = 0;
  uint8_t Command = 0;
};

// Recognises the form of a command block by its fixed bytes and reads the
// registers from the form's positions. nullopt for anything else.
std::optional<BridgeCommand> DecodeBridgeCdb(const uint8_t* cdb, size_t length);

}  // namespace os::sim
