// How a simulated disk carries out one ATA command that reached it over one
// path: which sector it answers with, and which scripted fault shapes the
// answer. Shared by the device requests and the WMI rows of os/sim.
#pragma once

#include <cstdint>
#include <vector>

#include "os/sim/SimMachine.h"

namespace os::sim {

struct TaskFile {
  uint8_t Features = 0;
  uint8_t SectorCount = 0;
  uint8_t LbaLow = 0;
  uint8_t LbaMid = 0;
  uint8_t LbaHigh = 0;
  uint8_t Device = 0;
  uint8_t Command = 0;
};

struct AtaAnswer {
  enum class Outcome : uint8_t {
    Done,     // the command completed; Data holds DataBytes bytes (0 for non-data)
    Aborted,  // the device rejected the command (status ERR, error ABRT)
    Failed,   // the request itself failed with Error
  };
  Outcome Result = Outcome::Done;
  uint32_t Error = 0;
  SimOp Op = SimOp::Identify;
  bool HasData = false;  // the command transfers a sector in
  Sector Data{};
  uint32_t DataBytes = 0;

  bool Done() const { return Result == Outcome::Done; }
};

// The operation an ATA task file asks for; nullopt for commands the
// simulated disks do not know (they abort them).
std::optional<SimOp> OpOfTaskFile(const TaskFile& tf);

// Runs `tf` on `disk` over `path`. Counts S.M.A.R.T. data reads (successive
// reads walk the disk's queue of sectors).
AtaAnswer ExecuteAta(SimDisk& disk, SimPath path, const TaskFile& tf);

// Runs an operation without a task file (the request names it), as the
// miniport, Silicon Image, predict-failure and WMI paths do.
AtaAnswer ExecuteOp(SimDisk& disk, SimPath path, SimOp op);

}  // namespace os::sim
