// Performance counters: queries of counters named by their English paths
// ("\Processor(_Total)\% Processor Time", "\Memory\Available MBytes",
// "\PhysicalDisk(0 C:)\Disk Read Bytes/sec"), sampled together. Windows
// answers through PDH, Linux from /proc, a simulated machine from a script.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace os {

class IPerformanceQuery {
 public:
  virtual ~IPerformanceQuery() = default;

  // Adds a counter by its English path (whatever the system's language).
  // Returns its handle (0 or more), or -1 when the system has no such
  // counter.
  virtual int32_t AddCounter(const std::string& englishPath) = 0;
  // Samples every counter of the query at once. False when the collection
  // failed (the values stay those of the last collection).
  virtual bool Collect() = 0;
  // The counter's value: a rate or percentage over the time between the
  // last two collections, or a level at the last one. Values are never
  // negative and are not capped (a percentage may exceed 100 by rounding).
  // nullopt when there is none: the first sample of a rate, no time passed,
  // a count that went backwards (a device reset), an unknown handle.
  virtual std::optional<double> Value(int32_t counter) = 0;
};

class IPerformanceCounters {
 public:
  virtual ~IPerformanceCounters() = default;
  // A new query; null when the counter library cannot be used.
  virtual std::unique_ptr<IPerformanceQuery> OpenQuery() = 0;
};

}  // namespace os
