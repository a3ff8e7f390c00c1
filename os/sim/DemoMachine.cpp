#include "os/sim/DemoMachine.h"

namespace os::sim {

LoadResult LoadDemoMachine() {
  CMemorySource source("demo", DemoMachineFiles());
  return LoadMachine(source);
}

}  // namespace os::sim
