// Device setup: the system's list of devices by setup class and their
// properties (SetupDi* on Windows). The disk engine uses it to find the PCI
// Express link of the controller that holds an NVMe disk.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace os {

class IDeviceSetup {
 public:
  virtual ~IDeviceSetup() = default;

  // Device instance identifiers of the present devices of a setup class
  // (class GUID as text, "{4D36E97B-E325-11CE-BFC1-08002BE10318}"), in the
  // system's enumeration order. Empty when the class has none or the system
  // cannot enumerate it.
  virtual std::vector<std::string> PresentDevices(const std::string& classGuid) = 0;

  // The raw bytes of one device property, addressed by its property-set GUID
  // (as text) and property id. nullopt when the device or the property is
  // unknown or cannot be read. The caller decides how to read the bytes.
  virtual std::optional<std::vector<uint8_t>> DeviceProperty(const std::string& instanceId,
                                                             const std::string& propertySet,
                                                             uint32_t propertyId) = 0;
};

// The real system's device setup: SetupDi on Windows, sysfs on Linux. Null
// where a system has no such enumeration: the engine then finds no PCI
// Express link.
std::unique_ptr<IDeviceSetup> CreateNativeDeviceSetup();

}  // namespace os
