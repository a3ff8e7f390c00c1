// Performance counters on Windows: PDH queries. Counters are added by their
// English paths (PdhAddEnglishCounterW), so they are found on a Windows in
// any language; values are read as doubles, not capped at 100 and not cut to
// 32 bits.
#pragma once

#include "os/PerformanceCounters.h"

namespace os {

class CWin32PerformanceCounters : public IPerformanceCounters {
 public:
  // PdhOpenQueryW; null when it fails.
  std::unique_ptr<IPerformanceQuery> OpenQuery() override;
};

}  // namespace os
