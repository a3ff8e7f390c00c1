// An engine on a simulated machine built in memory, for tests that admit and
// refresh disks through the real transport and the simulated devices.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "engine/AtaSmart.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/SectorBuilder.h"
#include "tests/support/StdFileSystem.h"

namespace testutil {

// A SATA disk on physical drive `pd` that answers the ATA pass-through and
// the S.M.A.R.T. IOCTLs. Successive S.M.A.R.T. reads take the sectors of
// `data` in turn; the last one repeats.
inline os::sim::SimDisk AtaDisk(int32_t pd, const Sector& identify, std::vector<Sector> data = {},
                                std::optional<Sector> thresholds = std::nullopt) {
  os::sim::SimDisk d;
  d.Name = "disk" + std::to_string(pd);
  d.PhysicalDrive = pd;
  d.Paths[static_cast<size_t>(os::sim::SimPath::AtaPassThrough)] = true;
  d.Paths[static_cast<size_t>(os::sim::SimPath::SmartIoctl)] = true;
  d.Identify = identify;
  d.SmartData = std::move(data);
  d.SmartThresholds = thresholds;
  return d;
}

class CSimEngine {
 public:
  explicit CSimEngine(std::vector<os::sim::SimDisk> disks)
      : m_Sim(MakeMachine(std::move(disks)), m_Files) {
    m_Ata = std::make_unique<CAtaSmart>(m_Sim.Get());
  }
  CAtaSmart& Ata() { return *m_Ata; }
  os::sim::CSimPlatform& Sim() { return m_Sim; }
  os::sim::SimDisk& Disk(size_t i) { return m_Sim.Machine().Disks.at(i); }
  // Admits physical drive `pd` as discovery's physical-drive pass does.
  bool Admit(int32_t pd) {
    return m_Ata->GetDiskInfo(pd, -1, -1, INTERFACE_TYPE_UNKNOWN, 0, 0, -1, 0, false, false, "",
                              false);
  }

 private:
  static os::sim::SimMachine MakeMachine(std::vector<os::sim::SimDisk> disks) {
    os::sim::SimMachine m;
    m.Disks = std::move(disks);
    return m;
  }
  testutil::CStdFileSystem m_Files;
  os::sim::CSimPlatform m_Sim;
  std::unique_ptr<CAtaSmart> m_Ata;
};

}  // namespace testutil
