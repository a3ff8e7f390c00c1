// The figure a run reports, and the exit code that carries it to the
// benchmark pane: MB/s x 10,000, truncated, with MB = 10^6 bytes.
#pragma once

#include <cstdint>
#include <string>

namespace loadgen {

struct CLoadResult {
  uint64_t Bytes = 0;  // bytes of the I/Os completed inside the counted window
  uint64_t Ios = 0;
  double Seconds = 0;  // length of the counted window
};

double MegabytesPerSecond(const CLoadResult& result);

// The largest rate an exit code can carry: INT32_MAX / 10,000 MB/s.
constexpr int32_t MAX_EXIT_CODE = 2147483647;

// MB/s x 10,000, truncated. A rate beyond 214,748.3647 MB/s cannot be
// expressed: the code saturates at MAX_EXIT_CODE and *saturated is set so
// the caller can say so. 0 for no throughput (and for a NaN).
int32_t ExitCodeForRate(double megabytesPerSecond, bool* saturated);

// One line for people and scripts: "<MB/s> MB/s <bytes> bytes in <s> s ...".
std::string ResultLine(const CLoadResult& result);
// {"bytes":...,"seconds":...,"mb_per_s":...,"ios":...,"exit_code":...}
std::string ResultJson(const CLoadResult& result);

}  // namespace loadgen
