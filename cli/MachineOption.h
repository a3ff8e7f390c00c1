// The machine choice of the commands ("--machine DIR|demo") lives with the
// monitor, which the window program shares; these names keep the commands
// reading as before.
#pragma once

#include "monitor/MachineOption.h"

namespace cli {

using monitor::CMachine;
using monitor::MachineOption;
using monitor::TakeMachineOption;

}  // namespace cli
