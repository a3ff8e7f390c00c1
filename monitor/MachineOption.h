// "--machine DIR|demo": which machine a program looks at. Without it, the
// real system; with a folder, the simulated machine described there
// (docs/simulated-machine.md); with "demo", the machine built into the
// program. The command line and the window program take the same option.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "os/NativePlatform.h"
#include "os/Platform.h"
#include "os/sim/SimPlatform.h"

namespace monitor {

struct MachineOption {
  bool Given = false;
  std::string Value;
};

// Takes "--machine X" or "--machine=X" out of `args`. False, with a one-line
// *error, when the value is missing or the option is given twice.
bool TakeMachineOption(std::vector<std::string>& args, MachineOption* option, std::string* error);

// The platform a command runs on.
class CMachine {
 public:
  // Null, with a one-line *error, when the machine cannot be loaded.
  static std::unique_ptr<CMachine> Open(const MachineOption& option, std::string* error);

  os::Platform Get();
  // "this computer", "demo" or the folder.
  const std::string& Name() const { return m_Name; }
  // The simulated machine, or null on the real system.
  os::sim::CSimPlatform* Sim() { return m_Sim.get(); }

 private:
  std::string m_Name;
  std::unique_ptr<os::NativePlatform> m_Native;
  std::unique_ptr<os::sim::CSimPlatform> m_Sim;
};

}  // namespace monitor
