#include "loadgen/LoadResult.h"

#include <cmath>
#include <cstdio>

namespace loadgen {

double MegabytesPerSecond(const CLoadResult& result) {
  if (!(result.Seconds > 0)) return 0;
  return static_cast<double>(result.Bytes) / 1e6 / result.Seconds;
}

int32_t ExitCodeForRate(double megabytesPerSecond, bool* saturated) {
  *saturated = false;
  if (!(megabytesPerSecond > 0)) return 0;
  // Round to 1e-9 before truncating so 512.3456 does not become 5123455 through
  // the binary fraction.
  const double scaled = std::floor(megabytesPerSecond * 10000.0 + 1e-6);
  if (scaled > static_cast<double>(MAX_EXIT_CODE)) {
    *saturated = true;
    return MAX_EXIT_CODE;
  }
  return static_cast<int32_t>(scaled);
}

std::string ResultLine(const CLoadResult& result) {
  bool saturated = false;
  const double rate = MegabytesPerSecond(result);
  const int32_t code = ExitCodeForRate(rate, &saturated);
  char line[256];
  std::snprintf(line, sizeof line, "%.4f MB/s %llu bytes in %.6f s, %llu I/Os, exit code %ld%s",
                rate, static_cast<unsigned long long>(result.Bytes), result.Seconds,
                static_cast<unsigned long long>(result.Ios), static_cast<long>(code),
                saturated ? " (saturated)" : "");
  return line;
}

std::string ResultJson(const CLoadResult& result) {
  bool saturated = false;
  const double rate = MegabytesPerSecond(result);
  const int32_t code = ExitCodeForRate(rate, &saturated);
  char line[256];
  std::snprintf(line, sizeof line,
                "{\"bytes\":%llu,\"seconds\":%.6f,\"mb_per_s\":%.6f,\"ios\":%llu,"
                "\"exit_code\":%ld,\"saturated\":%s}",
                static_cast<unsigned long long>(result.Bytes), result.Seconds, rate,
                static_cast<unsigned long long>(result.Ios), static_cast<long>(code),
                saturated ? "true" : "false");
  return line;
}

}  // namespace loadgen
