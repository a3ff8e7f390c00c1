#include "os/win32/Win32Performance.h"

#include <windows.h>
// After windows.h:
#include <pdh.h>
#include <pdhmsg.h>

#include <vector>

#include "os/win32/WinText.h"

namespace os {
namespace {

class CPdhQuery : public IPerformanceQuery {
 public:
  explicit CPdhQuery(PDH_HQUERY query) : m_Query(query) {}
  ~CPdhQuery() override { PdhCloseQuery(m_Query); }
  CPdhQuery(const CPdhQuery&) = delete;
  CPdhQuery& operator=(const CPdhQuery&) = delete;

  int32_t AddCounter(const std::string& englishPath) override {
    if (HasNul(englishPath)) return -1;
    PDH_HCOUNTER counter = nullptr;
    const std::wstring path = Utf8ToWide(englishPath);
    if (PdhAddEnglishCounterW(m_Query, path.c_str(), 0, &counter) != ERROR_SUCCESS) return -1;
    m_Counters.push_back(counter);
    return static_cast<int32_t>(m_Counters.size() - 1);
  }

  bool Collect() override { return PdhCollectQueryData(m_Query) == ERROR_SUCCESS; }

  std::optional<double> Value(int32_t counter) override {
    if (counter < 0 || static_cast<size_t>(counter) >= m_Counters.size()) return std::nullopt;
    PDH_FMT_COUNTERVALUE value{};
    const PDH_STATUS status =
        PdhGetFormattedCounterValue(m_Counters[static_cast<size_t>(counter)],
                                    PDH_FMT_DOUBLE | PDH_FMT_NOCAP100, nullptr, &value);
    if (status != ERROR_SUCCESS ||
        (value.CStatus != PDH_CSTATUS_VALID_DATA && value.CStatus != PDH_CSTATUS_NEW_DATA)) {
      return std::nullopt;
    }
    return value.doubleValue < 0 ? 0 : value.doubleValue;
  }

 private:
  PDH_HQUERY m_Query;
  std::vector<PDH_HCOUNTER> m_Counters;
};

}  // namespace

std::unique_ptr<IPerformanceQuery> CWin32PerformanceCounters::OpenQuery() {
  PDH_HQUERY query = nullptr;
  if (PdhOpenQueryW(nullptr, 1, &query) != ERROR_SUCCESS) return nullptr;
  return std::make_unique<CPdhQuery>(query);
}

}  // namespace os
