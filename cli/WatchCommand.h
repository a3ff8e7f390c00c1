// `stavrion watch`: the monitor without a window. The command and what tests
// may replace in it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace os::sim {
class CSimPlatform;
}

namespace cli {

struct WatchHooks {
  // Called once the simulated machine is open (not for the real one). By
  // default its clock is set to the real time, so history dates are today's.
  std::function<void(os::sim::CSimPlatform& sim)> OnSimulatedMachine;
  // Replaces the wait between timers: waits up to `ms` (a simulated
  // machine's clock moves by it) and tells whether to stop. By default the
  // real time passes and SIGTERM/SIGINT (Ctrl+C on Windows) stop.
  std::function<bool(os::sim::CSimPlatform* sim, uint32_t ms)> Wait;
  // Called once the metrics endpoint listens, with its port (the chosen one
  // for port 0).
  std::function<void(uint16_t port)> OnMetricsListening;
};

// `stavrion watch [--once] [--machine demo|DIR] [--config FILE]
//                 [--metrics HOST:PORT] [--alarm-command PROG] [--all-disks]`
int RunWatch(const std::vector<std::string>& args);
int RunWatchWith(const std::vector<std::string>& args, const WatchHooks& hooks);

}  // namespace cli
