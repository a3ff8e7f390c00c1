// The performance sampler: every 500 ms the processor use, the available
// memory and each disk's read, write and total byte rates, with a ring of
// the last twenty values per counter for means and maxima; the live lists
// the graphs draw; and what the main window, the memory pane and the
// performance pane show of them (texts and gauge images).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "os/PerformanceCounters.h"

constexpr uint32_t TIMER_UPDATE_PERFORMANCE = 8201;
constexpr uint32_t PERFORMANCE_PERIOD_MS = 500;
constexpr int32_t PERFORMANCE_RING_SIZE = 20;
constexpr int64_t COUNTER_UNAVAILABLE = -999;
constexpr size_t LIVE_SAMPLES_MAX = 51;

inline constexpr const char* COUNTER_AVAILABLE_MB = "\\Memory\\Available MBytes";
inline constexpr const char* COUNTER_PROCESSOR_TIME = "\\Processor(_Total)\\% Processor Time";

// One counter of a set: its last value and a ring of the last twenty.
// Values are 64-bit: a disk moves more than 2 GiB a second.
struct PDHCounterStruct {
  int32_t id = -1;
  int64_t lValue = 0;
  int32_t Handle = -1;  // the query's handle
  int32_t NextSlot = 0;
  int32_t FirstSlot = 0;
  int32_t Count = 0;
  std::array<int64_t, PERFORMANCE_RING_SIZE> Ring{};
};

struct CounterStatistics {
  int64_t Min = 0;
  int64_t Max = 0;
  int64_t Mean = 0;
};

// A query and its counters, numbered from 0 in order of addition.
class CPerformanceCounterSet {
 public:
  // `counters` may be null (no counters on this platform).
  explicit CPerformanceCounterSet(os::IPerformanceCounters* counters) : m_Counters(counters) {}

  // False when no query can be opened.
  bool Open();
  void Close();
  bool IsOpen() const { return m_Query != nullptr; }
  // The counter's id, or -1 when the system has no such counter.
  int32_t AddCounter(const std::string& englishPath);
  bool Collect();
  // The counter's current value (rounded to an integer, 64 bits), which
  // also goes into its ring; COUNTER_UNAVAILABLE when it has none, or for
  // an unknown id.
  int64_t GetCounterValue(int32_t id);
  // Minimum, maximum and mean of the ring. False for an unknown id or an
  // empty ring.
  bool GetStatistics(int32_t id, CounterStatistics* statistics) const;
  const std::vector<PDHCounterStruct>& Counters() const { return m_Entries; }

 private:
  os::IPerformanceCounters* m_Counters;
  std::unique_ptr<os::IPerformanceQuery> m_Query;
  std::vector<PDHCounterStruct> m_Entries;
};

// What the sampler needs of a disk of the disk list.
struct PerformanceDisk {
  std::string DriveMap;  // its drive letters ("C: D:"), possibly with line breaks
  int32_t PhysicalDriveId = -1;
  bool Flag = false;  // copied from the disk record
};

// The counters of one disk, and its figures at the last tick.
struct DiskCounterRecord {
  bool Flag = false;
  int32_t Index = 0;
  int32_t PhysicalDriveId = -1;
  int32_t ReadId = -1;
  int32_t WriteId = -1;
  int32_t TotalId = -1;
  int64_t Read = COUNTER_UNAVAILABLE;
  int64_t Write = COUNTER_UNAVAILABLE;
  int64_t Total = COUNTER_UNAVAILABLE;
  double Activity = 0;  // percent of the largest total rate of its ring, 0 to 100
  bool HasCounters() const { return ReadId >= 0 || WriteId >= 0 || TotalId >= 0; }
};

// The last 51 samples of a disk, oldest first.
struct LiveSamples {
  std::deque<int8_t> TemperatureSamples;  // degrees Celsius
  std::deque<uint64_t> ReadRateSamples;   // bytes per second
  std::deque<uint64_t> WriteRateSamples;
};

class CPerformanceSampler {
 public:
  explicit CPerformanceSampler(os::IPerformanceCounters* counters) : m_Set(counters) {}

  // Opens the counters of the memory, the processor and each disk with
  // drive letters and a physical drive. False (logged "Unable to init pdh
  // library.") when no query can be opened.
  bool Start(const std::vector<PerformanceDisk>& disks);
  void Stop();
  bool Running() const { return m_Set.IsOpen(); }

  // One tick's sampling. False when the collection failed: the figures
  // stay those of the last tick.
  bool Tick();
  // The live lists, on every tick except the first after a history log
  // pass; `temperatures` in disk order.
  void AppendLiveSamples(const std::vector<int8_t>& temperatures, bool logPassDone);
  void ClearLiveSamples(int32_t disk);

  // Means of the last twenty samples (ten seconds); nullopt until read.
  std::optional<int32_t> CpuUsage() const { return m_CpuUsage; }        // 0 to 100
  std::optional<int64_t> AvailableMb() const { return m_AvailableMb; }  // MiB
  const std::vector<DiskCounterRecord>& Disks() const { return m_Disks; }
  const std::vector<LiveSamples>& Live() const { return m_Live; }
  const CPerformanceCounterSet& Set() const { return m_Set; }

 private:
  CPerformanceCounterSet m_Set;
  int32_t m_CpuId = -1;
  int32_t m_MemoryId = -1;
  std::optional<int32_t> m_CpuUsage;
  std::optional<int64_t> m_AvailableMb;
  std::vector<DiskCounterRecord> m_Disks;
  std::vector<LiveSamples> m_Live;
};

// The counter path of a disk: "\PhysicalDisk(0 C: D:)\Disk Read Bytes/sec"
// and so on (`what` = "Disk Read Bytes/sec"), line breaks and trailing
// blanks of the drive map removed.
std::string DiskCounterPath(int32_t physicalDriveId, const std::string& driveMap,
                            const std::string& what);

// ---- what is shown ----------------------------------------------------------

// Unit texts of the language (section "Dialog": BYTE_UNIT, KB_UNIT, MB_UNIT).
struct RateUnits {
  std::string Byte = "B/s";
  std::string Kilo = "KB/s";
  std::string Mega = "MB/s";
};

// "0 B/s" for unavailable, "%d B/s" to 1023, "%d KB/s" to 1 MiB - 1, else
// "%.2f MB/s"; with `twoLines` the number and the unit on two lines and
// "N/A" for unavailable (the total read-out).
std::string RateText(int64_t rate, const RateUnits& units, bool twoLines = false);

// The main window's read-outs of the selected disk.
struct DiskReadouts {
  bool Cleared = false;  // no counters: gauges empty, texts "----", "----", "N/A"
  std::string ReadText, WriteText, TotalText;
  std::string ReadPercentText, WritePercentText;
  int32_t ReadGauge = 0, WriteGauge = 0;  // 0 to 100
  int32_t ReadImage = 463, WriteImage = 463, LoadImage = 193;
};
DiskReadouts ComputeDiskReadouts(const CPerformanceSampler& sampler, int32_t disk,
                                 const RateUnits& units);
// The read-outs when the collection failed or there is no disk.
DiskReadouts ClearedReadouts();

// Gauge images of the read and write rates (p in percent of the ring's
// maximum) and of the load (q, the fraction of it).
int32_t ReadGaugeImage(double p);
int32_t WriteGaugeImage(double p);
int32_t LoadImage(double q);
// "%.1f%%", "100%" at exactly 100, "0.0 %" when the maximum is 0.
std::string GaugePercentText(double p, bool maxIsZero);

// Memory in use, in percent of the installed memory (0 to 100); nullopt
// when the installed memory is unknown (0) or nothing was read yet.
std::optional<int32_t> MemoryUsePercent(uint32_t ramSizeMb, std::optional<int64_t> availableMb);

// The performance pane.
struct PerformancePaneFigures {
  std::string CpuText, MemoryText, ActivityText;  // "%d%%", or "----" for unknown
  int32_t CpuPercent = 0, MemoryPercent = 0, ActivityPercent = 0;
  int32_t CpuImage = 520, MemoryImage = 520, ActivityImage = 520;
  bool ActivityFound = false;  // false: the "perfMeter10" image
};
// Gauge image of the performance pane for p percent.
int32_t PerformanceGaugeImage(int32_t p);
// `systemDisk`: the index of the first disk whose drive map holds "C:"
// (-1 none); `systemDiskDriveId` its PhysicalDriveId.
PerformancePaneFigures ComputePerformancePane(const CPerformanceSampler& sampler,
                                              uint32_t ramSizeMb, int32_t systemDisk,
                                              int32_t systemDiskDriveId);
// The first of `driveMaps` holding "C:"; -1 when none does.
int32_t FindSystemDisk(const std::vector<std::string>& driveMaps);
