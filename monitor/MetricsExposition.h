// The disks as Prometheus sees them: the text exposition format (version
// 0.0.4) built from the records the monitor already holds. Formatting never
// touches a disk, so a scrape cannot wake a sleeping disk or hang on a bad one.
//
// Where a figure means what the widely run smartctl exporter means by it, it
// carries that exporter's name and labels, so existing dashboards and alert
// rules keep working: `device` is the device path without "/dev/",
// `smartctl_device_temperature{temperature_type="current"}`,
// `smartctl_device_power_on_seconds`, `smartctl_device_attribute{attribute_id,
// attribute_name,attribute_value_type}` and so on. Figures of our own start
// with `stavrion_` and follow the Prometheus naming rules: base units in the
// name, `_total` for counters, the serial number only in `stavrion_disk_info`.
//
// The output never holds two samples of one name with the same labels: a disk
// whose device name repeats gets a distinct one, an attribute id that a disk
// reports twice is written once. A disk whose last read failed keeps its last
// known figures and is marked in `stavrion_disk_stale`.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/AtaSmartInfo.h"

namespace monitor {

// The alarms a disk is in now (its figure is past the user's limit).
struct MetricsAlarms {
  bool Temperature = false;
  bool Health = false;  // life below the user's threshold
  bool Status = false;  // health status got worse
};

// One disk of a scrape. `Disk` is borrowed and must outlive the call.
struct MetricsDisk {
  const ATA_SMART_INFO* Disk = nullptr;
  // Seconds since the epoch of the last successful read; 0 when never read.
  int64_t LastReadTime = 0;
  // The last attempt to read the disk failed: its figures are the old ones.
  bool Stale = false;
  MetricsAlarms Alarms;
  // Byte rates of the performance sampler (means are not taken: the last
  // half second); none when the disk has no counters.
  std::optional<uint64_t> ReadBytesPerSecond;
  std::optional<uint64_t> WriteBytesPerSecond;
};

// The machine's own figures of the performance sampler; each none until
// read.
struct MetricsSystem {
  std::optional<int32_t> CpuUsagePercent;  // mean of the last ten seconds, 0-100
  std::optional<uint64_t> MemoryAvailableBytes;
  std::optional<uint64_t> MemoryTotalBytes;
};

struct MetricsInput {
  std::vector<MetricsDisk> Disks;
  MetricsSystem System;
  // Seconds since the epoch at the scrape.
  int64_t Now = 0;
  // The program's version, for `stavrion_build_info`.
  std::string Version;
  // Attribute names (section = the disk's family key, key = "%02X"); may be
  // empty, then ATA attributes are named by the built-in fallback.
  std::function<std::string(const std::string& section, const std::string& key)> Text;
};

// The Content-Type of the exposition.
inline constexpr const char* METRICS_CONTENT_TYPE = "text/plain; version=0.0.4; charset=utf-8";

// The parts of the exposition, in the order they are written: what the
// reads of the disks gave (input.Now, the stale marks and the performance
// figures play no part in it), then what changes between reads (the age of
// the last read, the stale marks, the performance figures). A scrape may
// keep the first part from one read to the next.
enum class MetricsPart : uint8_t { ALL, READINGS, MOMENT };

// The exposition or a part of it, HELP and TYPE lines included, ending with
// a newline; the parts of one input joined are the whole.
std::string FormatMetrics(const MetricsInput& input, MetricsPart part = MetricsPart::ALL);

// The `device` label of a disk: its device path without "/dev/", else
// "PhysicalDrive%d", else "disk%d" with the list index.
std::string MetricsDeviceName(const ATA_SMART_INFO& disk, int32_t index);

// A label value as the exposition writes it between its quotes: backslash,
// double quote and line feed escaped; control bytes and bytes that are not
// well-formed UTF-8 (disk texts are untrusted) replaced by '?'.
std::string EscapeLabelValue(const std::string& value);

}  // namespace monitor
