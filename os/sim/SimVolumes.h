// Drive letters of a simulated machine: a letter some disk lists is a fixed
// drive, or a removable one when that disk holds removable media. The
// volumes' extents are answered by the device backend.
#pragma once

#include "os/Volumes.h"
#include "os/sim/SimMachine.h"

namespace os::sim {

class CSimVolumes : public IVolumes {
 public:
  explicit CSimVolumes(const SimMachine& machine) : m_Machine(machine) {}
  DriveType DriveTypeOf(char letter) override;

 private:
  const SimMachine& m_Machine;
};

}  // namespace os::sim
