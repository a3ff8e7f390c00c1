// The demo machine that ships inside the program: the files of
// fixtures/machines/demo/, embedded at build time (cmake/EmbedFiles.cmake).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "os/sim/SimMachine.h"

namespace os::sim {

// Every file of the demo folder, by relative path.
std::map<std::string, std::vector<uint8_t>> DemoMachineFiles();

LoadResult LoadDemoMachine();

}  // namespace os::sim
