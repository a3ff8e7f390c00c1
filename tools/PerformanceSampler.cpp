#include "tools/PerformanceSampler.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/DebugLog.h"

namespace {

constexpr int32_t READ_IMAGE_ZERO = 463;
constexpr int32_t READ_IMAGE_FULL = 473;

int64_t ToCounterValue(double v) {
  if (!(v > 0)) return 0;  // negative or NaN
  if (v >= 9.2e18) return INT64_MAX;
  return std::llround(v);
}

double Clamp100(double p) { return p < 0 ? 0 : p > 100 ? 100 : p; }

std::string Format(const char* format, double value, const std::string& unit) {
  char text[64];
  std::snprintf(text, sizeof text, format, value, unit.c_str());
  return text;
}

std::string FormatInt(const char* format, int64_t value, const std::string& unit) {
  char text[64];
  std::snprintf(text, sizeof text, format, static_cast<long long>(value), unit.c_str());
  return text;
}

std::string PercentText(int32_t p) { return std::to_string(p) + "%"; }

}  // namespace

// ---- the counter set ---------------------------------------------------------

bool CPerformanceCounterSet::Open() {
  Close();
  if (m_Counters != nullptr) m_Query = m_Counters->OpenQuery();
  return m_Query != nullptr;
}

void CPerformanceCounterSet::Close() {
  m_Query.reset();
  m_Entries.clear();
}

int32_t CPerformanceCounterSet::AddCounter(const std::string& englishPath) {
  if (!m_Query) return -1;
  const int32_t handle = m_Query->AddCounter(englishPath);
  if (handle < 0) return -1;
  PDHCounterStruct entry;
  entry.id = static_cast<int32_t>(m_Entries.size());
  entry.Handle = handle;
  m_Entries.push_back(entry);
  return entry.id;
}

bool CPerformanceCounterSet::Collect() { return m_Query && m_Query->Collect(); }

int64_t CPerformanceCounterSet::GetCounterValue(int32_t id) {
  if (!m_Query || id < 0 || id >= static_cast<int32_t>(m_Entries.size())) {
    return COUNTER_UNAVAILABLE;
  }
  PDHCounterStruct& c = m_Entries[static_cast<size_t>(id)];
  const std::optional<double> value = m_Query->Value(c.Handle);
  if (!value) return COUNTER_UNAVAILABLE;
  c.lValue = ToCounterValue(*value);
  c.Ring[static_cast<size_t>(c.NextSlot)] = c.lValue;
  c.NextSlot = (c.NextSlot + 1) % PERFORMANCE_RING_SIZE;
  if (c.Count < PERFORMANCE_RING_SIZE) {
    ++c.Count;
  } else {
    c.FirstSlot = (c.FirstSlot + 1) % PERFORMANCE_RING_SIZE;
  }
  return c.lValue;
}

bool CPerformanceCounterSet::GetStatistics(int32_t id, CounterStatistics* statistics) const {
  if (id < 0 || id >= static_cast<int32_t>(m_Entries.size())) return false;
  const PDHCounterStruct& c = m_Entries[static_cast<size_t>(id)];
  if (c.Count == 0) return false;
  CounterStatistics s;
  s.Min = INT64_MAX;
  s.Max = 0;
  int64_t sum = 0;
  bool overflow = false;
  for (int32_t n = 0; n < c.Count; ++n) {
    const int64_t v = c.Ring[static_cast<size_t>((c.FirstSlot + n) % PERFORMANCE_RING_SIZE)];
    s.Min = std::min(s.Min, v);
    s.Max = std::max(s.Max, v);
    overflow = overflow || __builtin_add_overflow(sum, v, &sum);
  }
  if (!overflow) {
    s.Mean = sum / c.Count;
  } else {
    // Huge values: the mean from whole parts and remainders, which cannot
    // overflow.
    int64_t whole = 0;
    int64_t remainders = 0;
    for (int32_t n = 0; n < c.Count; ++n) {
      const int64_t v = c.Ring[static_cast<size_t>((c.FirstSlot + n) % PERFORMANCE_RING_SIZE)];
      whole += v / c.Count;
      remainders += v % c.Count;
    }
    s.Mean = whole + remainders / c.Count;
  }
  *statistics = s;
  return true;
}

// ---- the sampler ---------------------------------------------------------------

std::string DiskCounterPath(int32_t physicalDriveId, const std::string& driveMap,
                            const std::string& what) {
  std::string map;
  for (char c : driveMap) {
    if (c != '\r' && c != '\n') map += c;
  }
  // The system names the instance "0 C: D:", without a blank at the end.
  while (!map.empty() && map.back() == ' ') map.pop_back();
  return "\\PhysicalDisk(" + std::to_string(physicalDriveId) + " " + map + ")\\" + what;
}

bool CPerformanceSampler::Start(const std::vector<PerformanceDisk>& disks) {
  Stop();
  if (!m_Set.Open()) {
    base::DebugLog("Unable to init pdh library.");
    return false;
  }
  m_MemoryId = m_Set.AddCounter(COUNTER_AVAILABLE_MB);
  m_CpuId = m_Set.AddCounter(COUNTER_PROCESSOR_TIME);
  for (size_t i = 0; i < disks.size(); ++i) {
    DiskCounterRecord record;
    record.Flag = disks[i].Flag;
    record.Index = static_cast<int32_t>(i);
    record.PhysicalDriveId = disks[i].PhysicalDriveId;
    if (!disks[i].DriveMap.empty() && disks[i].PhysicalDriveId >= 0) {
      const int32_t id = disks[i].PhysicalDriveId;
      record.WriteId =
          m_Set.AddCounter(DiskCounterPath(id, disks[i].DriveMap, "Disk Write Bytes/sec"));
      record.ReadId =
          m_Set.AddCounter(DiskCounterPath(id, disks[i].DriveMap, "Disk Read Bytes/sec"));
      record.TotalId = m_Set.AddCounter(DiskCounterPath(id, disks[i].DriveMap, "Disk Bytes/sec"));
    }
    m_Disks.push_back(record);
  }
  m_Live.assign(disks.size(), LiveSamples());
  return true;
}

void CPerformanceSampler::Stop() {
  m_Set.Close();
  m_CpuId = m_MemoryId = -1;
  m_CpuUsage.reset();
  m_AvailableMb.reset();
  m_Disks.clear();
  m_Live.clear();
}

bool CPerformanceSampler::Tick() {
  if (!m_Set.Collect()) return false;
  CounterStatistics s;
  if (m_Set.GetCounterValue(m_MemoryId) != COUNTER_UNAVAILABLE &&
      m_Set.GetStatistics(m_MemoryId, &s)) {
    m_AvailableMb = s.Mean;
  }
  if (m_Set.GetCounterValue(m_CpuId) != COUNTER_UNAVAILABLE && m_Set.GetStatistics(m_CpuId, &s)) {
    m_CpuUsage = static_cast<int32_t>(std::clamp<int64_t>(s.Mean, 0, 100));
  }
  for (DiskCounterRecord& d : m_Disks) {
    if (!d.HasCounters()) continue;
    d.Read = m_Set.GetCounterValue(d.ReadId);
    d.Write = m_Set.GetCounterValue(d.WriteId);
    d.Total = m_Set.GetCounterValue(d.TotalId);
    if (d.Total == COUNTER_UNAVAILABLE) {
      d.Activity = 0;
    } else if (m_Set.GetStatistics(d.TotalId, &s) && s.Max != 0) {
      d.Activity = Clamp100(static_cast<double>(d.Total) / static_cast<double>(s.Max) * 100);
    }
  }
  return true;
}

void CPerformanceSampler::AppendLiveSamples(const std::vector<int8_t>& temperatures,
                                            bool logPassDone) {
  if (logPassDone) return;
  for (size_t i = 0; i < m_Disks.size() && i < m_Live.size(); ++i) {
    const DiskCounterRecord& d = m_Disks[i];
    if (!d.HasCounters()) continue;
    LiveSamples& live = m_Live[i];
    if (live.TemperatureSamples.size() >= LIVE_SAMPLES_MAX) live.TemperatureSamples.pop_front();
    if (live.ReadRateSamples.size() >= LIVE_SAMPLES_MAX) live.ReadRateSamples.pop_front();
    if (live.WriteRateSamples.size() >= LIVE_SAMPLES_MAX) live.WriteRateSamples.pop_front();
    live.TemperatureSamples.push_back(i < temperatures.size() ? temperatures[i] : int8_t{-127});
    if (d.Read != COUNTER_UNAVAILABLE)
      live.ReadRateSamples.push_back(static_cast<uint64_t>(d.Read));
    if (d.Write != COUNTER_UNAVAILABLE) {
      live.WriteRateSamples.push_back(static_cast<uint64_t>(d.Write));
    }
  }
}

void CPerformanceSampler::ClearLiveSamples(int32_t disk) {
  if (disk < 0 || disk >= static_cast<int32_t>(m_Live.size())) return;
  m_Live[static_cast<size_t>(disk)] = LiveSamples();
}

// ---- read-outs -----------------------------------------------------------------

std::string RateText(int64_t rate, const RateUnits& units, bool twoLines) {
  if (rate == COUNTER_UNAVAILABLE) return twoLines ? "N/A" : "0 " + units.Byte;
  if (rate < 0) rate = 0;
  const char* whole = twoLines ? "%lld \n%s" : "%lld %s";
  if (rate <= 1023) return FormatInt(whole, rate, units.Byte);
  if (rate <= 1048575) return FormatInt(whole, rate / 1024, units.Kilo);
  return Format(twoLines ? "%.2f \n%s" : "%.2f %s", static_cast<double>(rate) / 1048576,
                units.Mega);
}

int32_t ReadGaugeImage(double p) {
  if (p <= 0) return READ_IMAGE_ZERO;
  if (p < 10) return 464;
  if (p >= 90) return READ_IMAGE_FULL;
  return 465 + static_cast<int32_t>((p - 10) / 10);
}

int32_t WriteGaugeImage(double p) {
  if (p >= 100) return READ_IMAGE_FULL;
  for (int32_t step = 9; step >= 1; --step) {
    if (p > step * 10) return 463 + step;
  }
  return READ_IMAGE_ZERO;
}

int32_t LoadImage(double q) {
  if (q <= 0.2) return 193;
  if (q <= 0.4) return 192;
  if (q <= 0.6) return 194;
  if (q <= 0.8) return 212;
  if (q <= 0.99) return 195;
  return 196;
}

std::string GaugePercentText(double p, bool maxIsZero) {
  if (maxIsZero) return "0.0 %";
  if (p == 100) return "100%";
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%", p);
  return text;
}

DiskReadouts ClearedReadouts() {
  DiskReadouts r;
  r.Cleared = true;
  r.ReadText = "----";
  r.WriteText = "----";
  r.TotalText = "N/A";
  return r;
}

DiskReadouts ComputeDiskReadouts(const CPerformanceSampler& sampler, int32_t disk,
                                 const RateUnits& units) {
  const auto& disks = sampler.Disks();
  if (disk < 0 || disk >= static_cast<int32_t>(disks.size()) ||
      !disks[static_cast<size_t>(disk)].HasCounters()) {
    return ClearedReadouts();
  }
  const DiskCounterRecord& d = disks[static_cast<size_t>(disk)];
  DiskReadouts r;
  r.TotalText = RateText(d.Total, units, true);
  struct Gauge {
    int64_t Rate;
    int32_t Id;
    std::string* Text;
    std::string* Percent;
    int32_t* Position;
    int32_t* Image;
    int32_t (*ImageOf)(double);
  } gauges[] = {
      {d.Read, d.ReadId, &r.ReadText, &r.ReadPercentText, &r.ReadGauge, &r.ReadImage,
       ReadGaugeImage},
      {d.Write, d.WriteId, &r.WriteText, &r.WritePercentText, &r.WriteGauge, &r.WriteImage,
       WriteGaugeImage},
  };
  for (const Gauge& g : gauges) {
    CounterStatistics s;
    if (!sampler.Set().GetStatistics(g.Id, &s)) {
      *g.Text = "0 " + units.Byte;
      *g.Percent = "0.0 %";
      *g.Position = 0;
      *g.Image = READ_IMAGE_ZERO;
      continue;
    }
    *g.Text = RateText(g.Rate, units);
    const double p = s.Max == 0 || g.Rate == COUNTER_UNAVAILABLE
                         ? 0
                         : Clamp100(static_cast<double>(g.Rate) / static_cast<double>(s.Max) * 100);
    *g.Percent = GaugePercentText(p, s.Max == 0);
    *g.Position = static_cast<int32_t>(p);
    *g.Image = g.ImageOf(p);
  }
  CounterStatistics total;
  if (sampler.Set().GetStatistics(d.TotalId, &total) && total.Max != 0 &&
      d.Total != COUNTER_UNAVAILABLE) {
    r.LoadImage = LoadImage(static_cast<double>(d.Total) / static_cast<double>(total.Max));
  }
  return r;
}

std::optional<int32_t> MemoryUsePercent(uint32_t ramSizeMb, std::optional<int64_t> availableMb) {
  if (ramSizeMb == 0 || !availableMb) return std::nullopt;
  const int64_t ram = ramSizeMb;
  const int64_t percent = (ram - *availableMb) * 100 / ram;
  return static_cast<int32_t>(std::clamp<int64_t>(percent, 0, 100));
}

int32_t PerformanceGaugeImage(int32_t p) {
  if (p <= 0) return 520;
  if (p >= 96) return 434;
  const int32_t band = (p + 4) / 5;  // 1 for 1-5, 2 for 6-10 ... 19 for 91-95
  return band % 2 == 1 ? 537 + (band - 1) / 2 : 425 + band / 2 - 1;
}

int32_t FindSystemDisk(const std::vector<std::string>& driveMaps) {
  for (size_t i = 0; i < driveMaps.size(); ++i) {
    if (driveMaps[i].find("C:") != std::string::npos) return static_cast<int32_t>(i);
  }
  return -1;
}

PerformancePaneFigures ComputePerformancePane(const CPerformanceSampler& sampler,
                                              uint32_t ramSizeMb, int32_t systemDisk,
                                              int32_t systemDiskDriveId) {
  PerformancePaneFigures f;
  f.CpuPercent = sampler.CpuUsage().value_or(0);
  f.CpuText = PercentText(f.CpuPercent);
  f.CpuImage = PerformanceGaugeImage(f.CpuPercent);
  // An unknown memory size is shown as unknown, never divided by.
  if (const auto memory = MemoryUsePercent(ramSizeMb, sampler.AvailableMb())) {
    f.MemoryPercent = *memory;
    f.MemoryText = PercentText(*memory);
  } else {
    f.MemoryText = "----";
  }
  f.MemoryImage = PerformanceGaugeImage(f.MemoryPercent);
  f.ActivityText = "0%";
  if (systemDisk < 0 || systemDiskDriveId == -1) return f;  // the "perfMeter10" image
  f.ActivityFound = true;
  const auto& disks = sampler.Disks();
  if (systemDisk < static_cast<int32_t>(disks.size())) {
    const DiskCounterRecord& d = disks[static_cast<size_t>(systemDisk)];
    if (d.HasCounters()) f.ActivityPercent = static_cast<int32_t>(Clamp100(d.Activity));
  }
  f.ActivityText = PercentText(f.ActivityPercent);
  f.ActivityImage = PerformanceGaugeImage(f.ActivityPercent);
  return f;
}
