// The sub-commands of the command-line program. Each takes the words after
// its name and returns the process exit status: 0 done, 2 bad arguments or
// a machine that cannot be read.
#pragma once

#include <string>
#include <vector>

#include "app/Settings.h"
#include "tools/DiskBenchmark.h"

namespace cli {

constexpr int EXIT_OK = 0;
constexpr int EXIT_USAGE = 2;

// `stavrion probe [--machine DIR|demo] [--raw]`
int RunProbe(const std::vector<std::string>& args);
// `stavrion report [--machine DIR|demo] [--json]`; 1 when no disk was found.
int RunReport(const std::vector<std::string>& args);
// `stavrion watch ...` (cli/WatchCommand.h); runs until stopped, or one
// cycle with --once.
int RunWatch(const std::vector<std::string>& args);

// `stavrion bench PATH [--json] [--type N] [--size MIB] [--loops N]
// [--config FILE]`; 1 when the run failed or was stopped.
int RunBench(const std::vector<std::string>& args);

// The queue and thread counts of the benchmark's tests from a settings file
// (its "Settings" section, as the window program keeps them); a value out
// of its range is the default.
tools::CBenchSettings BenchSettingsFrom(app::CSettings& settings);

}  // namespace cli
