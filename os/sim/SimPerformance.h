// Performance counters of a simulated machine: each counter path has a
// script of values, one per collection (the last repeats; a missing value
// reads as none). Paths are compared without case. Collections can be made
// to fail, and the whole library to be missing.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "os/PerformanceCounters.h"
#include "os/Wmi.h"

namespace os::sim {

using CounterScript = std::vector<std::optional<double>>;

class CSimPerformanceCounters : public IPerformanceCounters {
 public:
  std::unique_ptr<IPerformanceQuery> OpenQuery() override;

  void SetScript(const std::string& path, CounterScript values) {
    (*m_State).Scripts[path] = std::move(values);
  }
  // Collections numbered in `failing` (counted from 0 over every query) fail.
  void FailCollections(std::vector<size_t> failing) { (*m_State).Failing = std::move(failing); }
  void SetAvailable(bool available) { m_Available = available; }
  size_t Collections() const { return m_State->Collections; }

  struct State {
    std::map<std::string, CounterScript, CaseInsensitiveLess> Scripts;
    std::vector<size_t> Failing;
    size_t Collections = 0;
  };

 private:
  std::shared_ptr<State> m_State = std::make_shared<State>();
  bool m_Available = true;
};

}  // namespace os::sim
