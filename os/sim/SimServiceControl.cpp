#include "os/sim/SimServiceControl.h"

namespace os::sim {

std::optional<uint32_t> CSimServiceControl::QueryState(const std::string& service) {
  ++Queries;
  if (!Known(service)) return std::nullopt;
  return State;
}

bool CSimServiceControl::Start(const std::string& service) {
  if (!Known(service)) return false;
  ++Starts;
  if (State == SERVICE_STATE_RUNNING) return false;  // already running
  if (NeedsAutoStart && AutoStartRuns == 0) return false;
  if (RunsAfterStarts != 0 && Starts >= RunsAfterStarts) State = SERVICE_STATE_RUNNING;
  return true;
}

bool CSimServiceControl::ConfigureAutoStart(const std::string& service) {
  if (!Known(service)) return false;
  ++AutoStartRuns;
  return true;
}

}  // namespace os::sim
