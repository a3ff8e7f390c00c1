// Keeps the diagnostic log in memory while a test runs: installed as the
// log's sink at level 1 on construction, detached (level 0) on destruction.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "base/DebugLog.h"

namespace testutil {

class CLogCapture : public base::IDebugLogSink {
 public:
  CLogCapture() {
    base::SetDebugLogLevel(1);
    base::SetDebugLogSink(this);
  }
  ~CLogCapture() override {
    base::SetDebugLogSink(nullptr);
    base::SetDebugLogLevel(0);
  }
  CLogCapture(const CLogCapture&) = delete;
  CLogCapture& operator=(const CLogCapture&) = delete;

  uint64_t TickCount() override { return 0; }
  void RemoveLog() override {}
  void AppendLine(const std::string& line) override { Lines.push_back(line); }
  void Show(const std::string&) override {}

  // Some line holds `text`.
  bool Has(const std::string& text) const {
    return std::any_of(Lines.begin(), Lines.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
  }

  std::vector<std::string> Lines;
};

}  // namespace testutil
