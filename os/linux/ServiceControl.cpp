// Linux has no WMI service to start: the objects discovery asks for are
// built from the system's own tables, so the service always counts as
// running and nothing is ever started.
#include "os/ServiceControl.h"

namespace os {
namespace {

class CLinuxServiceControl final : public IServiceControl {
 public:
  std::optional<uint32_t> QueryState(const std::string&) override { return SERVICE_STATE_RUNNING; }
  bool Start(const std::string&) override { return true; }
  bool ConfigureAutoStart(const std::string&) override { return true; }
};

}  // namespace

std::unique_ptr<IServiceControl> CreateNativeServiceControl() {
  return std::make_unique<CLinuxServiceControl>();
}

}  // namespace os
