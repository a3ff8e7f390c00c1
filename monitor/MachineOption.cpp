#include "monitor/MachineOption.h"

#include "os/sim/DemoMachine.h"

namespace monitor {

bool TakeMachineOption(std::vector<std::string>& args, MachineOption* option, std::string* error) {
  const std::string flag = "--machine";
  for (size_t i = 0; i < args.size();) {
    std::string value;
    size_t words = 0;
    if (args[i] == flag) {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        *error = "--machine needs a folder or \"demo\"";
        return false;
      }
      value = args[i + 1];
      words = 2;
    } else if (args[i].rfind(flag + "=", 0) == 0) {
      value = args[i].substr(flag.size() + 1);
      if (value.empty()) {
        *error = "--machine needs a folder or \"demo\"";
        return false;
      }
      words = 1;
    } else {
      ++i;
      continue;
    }
    if (option->Given) {
      *error = "--machine given twice";
      return false;
    }
    option->Given = true;
    option->Value = value;
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
               args.begin() + static_cast<std::ptrdiff_t>(i + words));
  }
  return true;
}

std::unique_ptr<CMachine> CMachine::Open(const MachineOption& option, std::string* error) {
  auto machine = std::unique_ptr<CMachine>(new CMachine());
  // The real system supplies files and settings even to a simulated machine.
  machine->m_Native = std::make_unique<os::NativePlatform>();
  if (!option.Given) {
    machine->m_Name = "this computer";
    return machine;
  }
  os::sim::LoadResult loaded = option.Value == "demo" ? os::sim::LoadDemoMachine()
                                                      : os::sim::LoadMachineFolder(option.Value);
  if (!loaded.Machine) {
    *error = loaded.Error;
    return nullptr;
  }
  machine->m_Name = option.Value;
  machine->m_Sim = std::make_unique<os::sim::CSimPlatform>(std::move(*loaded.Machine),
                                                           machine->m_Native->Get().Files);
  return machine;
}

os::Platform CMachine::Get() {
  if (!m_Sim) return m_Native->Get();
  // A simulated machine's sockets are the real ones: mail and metrics go to
  // real servers and clients.
  os::Platform p = m_Sim->Get();
  os::Platform native = m_Native->Get();
  p.Net = native.Net;
  p.Tls = native.Tls;
  return p;
}

}  // namespace monitor
