// The whole program apart from the operating system: reads the command
// line, plans the run, lets the backend run it and reports the result.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "loadgen/LoadBackend.h"

namespace loadgen {

enum class ExitStyle {
  // The benchmark pane's contract: the exit code is MB/s x 10,000; any
  // failure exits with 0, which the pane reads as 0 MB/s.
  RateInExitCode,
  // An exit status holds only 8 bits on POSIX systems: 0 measured (the
  // figure is on stdout), 1 the run failed, 2 usage error.
  Conventional,
};

int LoadMain(const std::string& program, const std::vector<std::string>& args,
             ILoadBackend& backend, uint64_t seed, ExitStyle style, std::FILE* out, std::FILE* err);

}  // namespace loadgen
