// The system's service manager, as far as discovery needs it: is a service
// running, start it, and make it start automatically.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace os {

// SERVICE_STATUS.dwCurrentState values.
enum : uint32_t {
  SERVICE_STATE_STOPPED = 1,
  SERVICE_STATE_START_PENDING = 2,
  SERVICE_STATE_STOP_PENDING = 3,
  SERVICE_STATE_RUNNING = 4,
  SERVICE_STATE_CONTINUE_PENDING = 5,
  SERVICE_STATE_PAUSE_PENDING = 6,
  SERVICE_STATE_PAUSED = 7,
};

class IServiceControl {
 public:
  virtual ~IServiceControl() = default;

  // Opens the manager and the service with query-status and start rights,
  // reads the current state, closes both. nullopt when the manager or the
  // service cannot be opened or queried.
  virtual std::optional<uint32_t> QueryState(const std::string& service) = 0;
  // StartService. True when the manager accepted the request (the service
  // may still be starting); false when it was refused or could not be sent.
  virtual bool Start(const std::string& service) = 0;
  // Runs "sc config <service> start= auto" as a hidden child process and
  // waits for it. True when it ran and reported success.
  virtual bool ConfigureAutoStart(const std::string& service) = 0;

  bool IsRunning(const std::string& service) {
    auto state = QueryState(service);
    return state && *state == SERVICE_STATE_RUNNING;
  }
};

// The real system's service manager (os/win32, os/linux). On systems without
// one every service counts as running and nothing is ever started.
std::unique_ptr<IServiceControl> CreateNativeServiceControl();

}  // namespace os
