#include "os/linux/LinuxDeviceIo.h"

namespace os {
namespace {

// No disk access yet: every device refuses to open, so discovery finds
// nothing and the program runs on with an empty disk list.
class CUnsupportedLinuxDeviceIo : public IDeviceIo {
 public:
  std::unique_ptr<IDeviceHandle> Open(const std::string&, Access, uint32_t* error) override {
    if (error) *error = ERR_NOT_SUPPORTED;
    return nullptr;
  }
  bool DefineRawDosDevice(const std::string&, const std::string&) override { return false; }
};

}  // namespace

std::unique_ptr<IDeviceIo> CreateLinuxDeviceIo() {
  return std::make_unique<CUnsupportedLinuxDeviceIo>();
}

}  // namespace os
