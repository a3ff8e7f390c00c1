// The WMI service of a simulated machine: running, or stopped and starting
// after a given number of start requests, or never starting. Tests set the
// fields; every call is counted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "os/ServiceControl.h"

namespace os::sim {

class CSimServiceControl : public IServiceControl {
 public:
  // State of the "Winmgmt" service (any other name cannot be opened).
  uint32_t State = SERVICE_STATE_RUNNING;
  // Start requests after which a stopped service runs; 0 never.
  uint32_t RunsAfterStarts = 1;
  // The service starts only once "sc config ... start= auto" has run.
  bool NeedsAutoStart = false;
  // The manager cannot be opened at all.
  bool Unreachable = false;

  std::optional<uint32_t> QueryState(const std::string& service) override;
  bool Start(const std::string& service) override;
  bool ConfigureAutoStart(const std::string& service) override;

  uint32_t Queries = 0;
  uint32_t Starts = 0;
  uint32_t AutoStartRuns = 0;

 private:
  bool Known(const std::string& service) const { return !Unreachable && service == "Winmgmt"; }
};

}  // namespace os::sim
