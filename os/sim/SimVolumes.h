// Drive letters of a simulated machine: a letter some disk lists is a fixed
// drive (removable when that disk's media is removable); every other letter
// has no root.
#pragma once

#include "os/Volumes.h"
#include "os/sim/SimMachine.h"

namespace os::sim {

class CSimVolumes : public IVolumes {
 public:
  explicit CSimVolumes(const SimMachine& machine) : m_Machine(machine) {}
  DriveType DriveTypeOf(char letter) override;
  // The volume of a disk that lists the letter and describes it
  // ("volume.X" in the machine file); nullopt otherwise.
  std::optional<VolumeInfo> InfoOf(char letter) override;

 private:
  const SimMachine& m_Machine;
};

}  // namespace os::sim
