#include "os/linux/LinuxWmi.h"

namespace os {
namespace {

// No query answers yet: every query fails as if the service were missing.
class CUnsupportedLinuxWmi : public IWmi {
 public:
  std::optional<std::vector<WmiObject>> Query(const std::string&, const std::string&) override {
    return std::nullopt;
  }
};

}  // namespace

std::unique_ptr<IWmi> CreateLinuxWmi() { return std::make_unique<CUnsupportedLinuxWmi>(); }

}  // namespace os
