// Linux has no device-setup classes: NVMe disks show no PCI Express link.
#include "os/DeviceSetup.h"

namespace os {

std::unique_ptr<IDeviceSetup> CreateNativeDeviceSetup() { return nullptr; }

}  // namespace os
