#include "os/sim/SimPerformance.h"

#include <algorithm>

namespace os::sim {
namespace {

class CSimQuery : public IPerformanceQuery {
 public:
  explicit CSimQuery(std::shared_ptr<CSimPerformanceCounters::State> state)
      : m_State(std::move(state)) {}

  int32_t AddCounter(const std::string& englishPath) override {
    auto it = m_State->Scripts.find(englishPath);
    if (it == m_State->Scripts.end()) return -1;
    // Map nodes stay put: a script set again later is seen through this.
    m_Scripts.push_back(&it->second);
    return static_cast<int32_t>(m_Scripts.size() - 1);
  }

  bool Collect() override {
    const size_t n = m_State->Collections++;
    const auto& failing = m_State->Failing;
    if (std::find(failing.begin(), failing.end(), n) != failing.end()) return false;
    ++m_Step;
    return true;
  }

  std::optional<double> Value(int32_t counter) override {
    if (counter < 0 || static_cast<size_t>(counter) >= m_Scripts.size() || m_Step == 0) {
      return std::nullopt;
    }
    const CounterScript& script = *m_Scripts[static_cast<size_t>(counter)];
    if (script.empty()) return std::nullopt;
    return script[std::min(m_Step, script.size()) - 1];
  }

 private:
  std::shared_ptr<CSimPerformanceCounters::State> m_State;
  std::vector<const CounterScript*> m_Scripts;
  size_t m_Step = 0;  // successful collections of this query
};

}  // namespace

std::unique_ptr<IPerformanceQuery> CSimPerformanceCounters::OpenQuery() {
  if (!m_Available) return nullptr;
  return std::make_unique<CSimQuery>(m_State);
}

}  // namespace os::sim
