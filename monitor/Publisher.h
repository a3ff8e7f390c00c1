// What publishes the disks' state to other programs ("Exchange.ini", the
// status registry tree, metrics). Plugged into the services object
// (CDiskServices::AddPublisher); each is called in turn on the monitor's
// thread and must not block it for long.
#pragma once

#include "engine/AtaSmart.h"

namespace monitor {

class IPublisher {
 public:
  virtual ~IPublisher() = default;
  // The state of every disk, after the disk initialisation and whenever a
  // status may have changed. `disks` is only valid during the call.
  virtual void Publish(const CDiskArray& disks) = 0;
};

}  // namespace monitor
