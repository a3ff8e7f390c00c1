#include "monitor/MetricsExposition.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <set>
#include <string_view>

namespace monitor {
namespace {

constexpr double BYTES_PER_GB = 1024.0 * 1024.0 * 1024.0;

// NVMe disks carry their health log as attribute rows with these ids.
constexpr uint8_t NVME_CRITICAL_WARNING = 1;
constexpr uint8_t NVME_AVAILABLE_SPARE = 3;
constexpr uint8_t NVME_PERCENTAGE_USED = 5;
constexpr uint8_t NVME_MEDIA_ERRORS = 14;

// ATA attributes whose raw value packs the current temperature in its low
// byte with minimum and maximum above it.
bool IsPackedTemperature(uint8_t id) { return id == 0xBE || id == 0xC2; }

void AppendInt(std::string& out, int64_t value) {
  char buffer[24];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, r.ptr);
}

void AppendDouble(std::string& out, double value) {
  char buffer[40];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, r.ptr);
}

// Length of the well-formed UTF-8 sequence at s[i], 0 when it is not one.
size_t Utf8Length(std::string_view s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  size_t n = 0;
  uint32_t min = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  uint32_t cp = c & (0x7Fu >> n);
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

// One label of a sample: name="escaped value".
struct Label {
  std::string_view Name;
  std::string Value;
};

// Writes metric families one after another: the HELP and TYPE lines once,
// then the samples of that family, as the format requires.
class CExposition {
 public:
  void Family(std::string_view name, std::string_view type, std::string_view help) {
    m_Name = name;
    m_Out += "# HELP ";
    m_Out += name;
    m_Out += ' ';
    m_Out += help;
    m_Out += "\n# TYPE ";
    m_Out += name;
    m_Out += ' ';
    m_Out += type;
    m_Out += '\n';
  }

  void Sample(std::initializer_list<Label> labels, double value) {
    Begin(labels);
    AppendDouble(m_Out, value);
    m_Out += '\n';
  }
  void SampleInt(std::initializer_list<Label> labels, int64_t value) {
    Begin(labels);
    AppendInt(m_Out, value);
    m_Out += '\n';
  }

  std::string& Text() { return m_Out; }

 private:
  void Begin(std::initializer_list<Label> labels) {
    m_Out += m_Name;
    if (labels.size() > 0) {
      m_Out += '{';
      bool first = true;
      for (const Label& l : labels) {
        if (!first) m_Out += ',';
        first = false;
        m_Out += l.Name;
        m_Out += "=\"";
        m_Out += EscapeLabelValue(l.Value);
        m_Out += '"';
      }
      m_Out += '}';
    }
    m_Out += ' ';
  }

  std::string m_Out;
  std::string_view m_Name;
};

struct Disk {
  const MetricsDisk* Source;
  const ATA_SMART_INFO& Record() const { return *Source->Disk; }
  std::string Device;
};

int32_t PowerOnHours(const ATA_SMART_INFO& a) {
  return a.MeasuredPowerOnHours >= 1 ? a.MeasuredPowerOnHours : a.DetectedPowerOnHours;
}

// The raw value of an attribute row, or -1 when the disk has no such row.
int64_t AttributeRaw(const ATA_SMART_INFO& a, uint8_t id) {
  const int32_t count = std::min<int32_t>(a.AttributeCount, MAX_ATTRIBUTE);
  for (int32_t i = 0; i < count; ++i) {
    if (a.Attribute[i].Id == id) return static_cast<int64_t>(RawValue48(a.Attribute[i]));
  }
  return -1;
}

uint8_t ThresholdOf(const ATA_SMART_INFO& a, uint8_t id) {
  for (const THRESHOLD_ENTRY& t : a.Threshold) {
    if (t.Id == id) return t.ThresholdValue;
  }
  return 0;
}

std::string AttributeName(const MetricsInput& input, const ATA_SMART_INFO& a, uint8_t id) {
  char key[4];
  std::snprintf(key, sizeof key, "%02X", id);
  std::string name;
  if (input.Text && !a.SmartKeyName.empty()) name = input.Text(a.SmartKeyName, key);
  if (name.empty() && input.Text) name = input.Text("Smart", "VENDOR_SPECIFIC");
  if (name.empty()) name = "Vendor Specific";
  // Names as dashboards know them: words joined by underscores.
  for (char& c : name) {
    if (c == ' ') c = '_';
  }
  return name;
}

void WriteSmartctlFamilies(CExposition& e, const std::vector<Disk>& disks,
                           const MetricsInput& input) {
  e.Family("smartctl_device", "gauge", "Disk identity; the value is always 1.");
  for (const Disk& d : disks) {
    const ATA_SMART_INFO& a = d.Record();
    e.SampleInt({{"device", d.Device},
                 {"model_name", a.Model},
                 {"serial_number", a.SerialNumber},
                 {"firmware_version", a.FirmwareRev},
                 {"interface", a.Interface},
                 {"protocol", a.IsNvme ? "NVMe" : "ATA"}},
                1);
  }

  e.Family("smartctl_device_temperature", "gauge",
           "Current disk temperature in degrees Celsius (absent when the disk reports none).");
  for (const Disk& d : disks) {
    if (d.Record().Temperature == TEMPERATURE_UNKNOWN) continue;
    e.SampleInt({{"device", d.Device}, {"temperature_type", "current"}}, d.Record().Temperature);
  }

  e.Family("smartctl_device_power_on_seconds", "gauge", "Disk power-on time in seconds.");
  for (const Disk& d : disks) {
    const int32_t hours = PowerOnHours(d.Record());
    if (hours < 0) continue;
    e.SampleInt({{"device", d.Device}}, int64_t{hours} * 3600);
  }

  e.Family("smartctl_device_power_cycle_count", "gauge", "Number of disk power cycles.");
  for (const Disk& d : disks) {
    if (d.Record().PowerOnCount <= 0) continue;
    e.SampleInt({{"device", d.Device}}, d.Record().PowerOnCount);
  }

  e.Family("smartctl_device_smart_status", "gauge",
           "1 when the disk's health is good or caution, 0 when it is bad; absent when unknown.");
  for (const Disk& d : disks) {
    const int32_t s = d.Record().DiskStatus;
    if (s != DISK_STATUS_GOOD && s != DISK_STATUS_CAUTION && s != DISK_STATUS_BAD) continue;
    e.SampleInt({{"device", d.Device}}, s == DISK_STATUS_BAD ? 0 : 1);
  }

  // The NVMe health-log figures.
  struct NvmeFigure {
    const char* Name;
    const char* Type;
    const char* Help;
    uint8_t Id;
  };
  static const NvmeFigure kNvme[] = {
      {"smartctl_device_percentage_used", "gauge",
       "NVMe: percentage of the rated endurance used (may exceed 100).", NVME_PERCENTAGE_USED},
      {"smartctl_device_available_spare", "gauge", "NVMe: available spare capacity in percent.",
       NVME_AVAILABLE_SPARE},
      {"smartctl_device_critical_warning", "gauge",
       "NVMe: critical warning bits of the health log (0 when none).", NVME_CRITICAL_WARNING},
      {"smartctl_device_media_errors", "gauge",
       "NVMe: media and data integrity errors the controller detected.", NVME_MEDIA_ERRORS},
  };
  for (const NvmeFigure& f : kNvme) {
    e.Family(f.Name, f.Type, f.Help);
    for (const Disk& d : disks) {
      if (!d.Record().IsNvme) continue;
      const int64_t raw = AttributeRaw(d.Record(), f.Id);
      if (raw < 0) continue;
      e.SampleInt({{"device", d.Device}}, raw);
    }
  }

  e.Family("smartctl_device_attribute", "gauge",
           "ATA S.M.A.R.T. attribute: normalized value, worst value, threshold and raw value. "
           "The raw value of temperature attributes is the current temperature, not the packed "
           "minimum and maximum.");
  for (const Disk& d : disks) {
    const ATA_SMART_INFO& a = d.Record();
    if (a.IsNvme) continue;
    const int32_t count = std::min<int32_t>(a.AttributeCount, MAX_ATTRIBUTE);
    std::set<uint8_t> seen;
    for (int32_t i = 0; i < count; ++i) {
      const ATTRIBUTE_ENTRY& entry = a.Attribute[i];
      if (entry.Id == 0 || !seen.insert(entry.Id).second) continue;
      const std::string id = std::to_string(entry.Id);
      const std::string name = AttributeName(input, a, entry.Id);
      uint64_t raw = RawValue48(entry);
      if (IsPackedTemperature(entry.Id)) raw &= 0xFF;
      e.SampleInt({{"device", d.Device},
                   {"attribute_id", id},
                   {"attribute_name", name},
                   {"attribute_value_type", "value"}},
                  entry.CurrentValue);
      e.SampleInt({{"device", d.Device},
                   {"attribute_id", id},
                   {"attribute_name", name},
                   {"attribute_value_type", "worst"}},
                  entry.WorstValue);
      e.SampleInt({{"device", d.Device},
                   {"attribute_id", id},
                   {"attribute_name", name},
                   {"attribute_value_type", "thresh"}},
                  ThresholdOf(a, entry.Id));
      e.SampleInt({{"device", d.Device},
                   {"attribute_id", id},
                   {"attribute_name", name},
                   {"attribute_value_type", "raw"}},
                  static_cast<int64_t>(raw));
    }
  }
}

void WriteOwnFamilies(CExposition& e, const std::vector<Disk>& disks, const MetricsInput& input) {
  e.Family("stavrion_build_info", "gauge", "The monitor's version; the value is always 1.");
  e.SampleInt({{"version", input.Version}}, 1);

  e.Family("stavrion_disks", "gauge", "Number of disks the monitor watches.");
  e.SampleInt({}, static_cast<int64_t>(disks.size()));

  e.Family("stavrion_disk_info", "gauge",
           "Disk identity with its S.M.A.R.T. family; the value is always 1.");
  for (const Disk& d : disks) {
    const ATA_SMART_INFO& a = d.Record();
    e.SampleInt({{"device", d.Device},
                 {"model", a.Model},
                 {"serial", a.SerialNumber},
                 {"firmware", a.FirmwareRev},
                 {"interface", a.Interface},
                 {"family", a.SmartKeyName},
                 {"ssd", a.IsSsd || a.IsNvme ? "1" : "0"}},
                1);
  }

  e.Family("stavrion_disk_health_status", "gauge",
           "Health status: 0 unknown, 1 good, 2 caution, 3 bad.");
  for (const Disk& d : disks) {
    e.SampleInt({{"device", d.Device}}, d.Record().DiskStatus);
  }

  e.Family("stavrion_disk_life_remaining_ratio", "gauge",
           "Remaining life as a ratio from 0 to 1 (absent when the disk reports none).");
  for (const Disk& d : disks) {
    const int32_t life = d.Record().Life;
    if (life < 0) continue;
    e.Sample({{"device", d.Device}}, life / 100.0);
  }

  struct Writes {
    const char* Name;
    const char* Help;
    int32_t ATA_SMART_INFO::*Field;
  };
  static const Writes kWrites[] = {
      {"stavrion_disk_host_reads_bytes_total", "Bytes the host read (resolution 1 GiB).",
       &ATA_SMART_INFO::HostReads},
      {"stavrion_disk_host_writes_bytes_total", "Bytes the host wrote (resolution 1 GiB).",
       &ATA_SMART_INFO::HostWrites},
      {"stavrion_disk_nand_writes_bytes_total", "Bytes written to the flash (resolution 1 GiB).",
       &ATA_SMART_INFO::NandWrites},
  };
  for (const Writes& w : kWrites) {
    e.Family(w.Name, "counter", w.Help);
    for (const Disk& d : disks) {
      const int32_t gb = d.Record().*(w.Field);
      if (gb < 0) continue;
      e.Sample({{"device", d.Device}}, gb * BYTES_PER_GB);
    }
  }

  e.Family("stavrion_disk_write_amplification_ratio", "gauge",
           "Flash writes per host write (absent when the disk reports no figure for it).");
  for (const Disk& d : disks) {
    const float wa = d.Record().WriteAmplification;
    if (!(wa > 0.0f)) continue;
    e.Sample({{"device", d.Device}}, static_cast<double>(wa));
  }

  e.Family("stavrion_disk_alarm", "gauge",
           "1 while the disk is past the user's limit for the alarm named by the label.");
  for (const Disk& d : disks) {
    const MetricsAlarms& al = d.Source->Alarms;
    e.SampleInt({{"device", d.Device}, {"alarm", "temperature"}}, al.Temperature ? 1 : 0);
    e.SampleInt({{"device", d.Device}, {"alarm", "health"}}, al.Health ? 1 : 0);
    e.SampleInt({{"device", d.Device}, {"alarm", "status"}}, al.Status ? 1 : 0);
  }
}

// The figures that change without a read of the disks: the age of the last
// read, staleness, the performance sampler's figures.
void WriteMomentFamilies(CExposition& e, const std::vector<Disk>& disks,
                         const MetricsInput& input) {
  e.Family("stavrion_disk_last_refresh_age_seconds", "gauge",
           "Seconds since the disk was last read successfully (absent when never read).");
  for (const Disk& d : disks) {
    if (d.Source->LastReadTime <= 0) continue;
    const int64_t age = input.Now - d.Source->LastReadTime;
    e.SampleInt({{"device", d.Device}}, age < 0 ? 0 : age);
  }

  e.Family("stavrion_disk_stale", "gauge",
           "1 when the last read of the disk failed and its figures are the last known ones.");
  for (const Disk& d : disks) e.SampleInt({{"device", d.Device}}, d.Source->Stale ? 1 : 0);

  // The performance sampler's figures: a family only when something has it.
  const auto rates = [&](const char* name, const char* help,
                         std::optional<uint64_t> MetricsDisk::*rate) {
    bool any = false;
    for (const Disk& d : disks) any |= (d.Source->*rate).has_value();
    if (!any) return;
    e.Family(name, "gauge", help);
    for (const Disk& d : disks) {
      if (const auto& r = d.Source->*rate) {
        e.Sample({{"device", d.Device}}, static_cast<double>(*r));
      }
    }
  };
  rates("stavrion_disk_read_bytes_per_second", "Bytes read from the disk per second, lately.",
        &MetricsDisk::ReadBytesPerSecond);
  rates("stavrion_disk_write_bytes_per_second", "Bytes written to the disk per second, lately.",
        &MetricsDisk::WriteBytesPerSecond);
  const MetricsSystem& s = input.System;
  if (s.CpuUsagePercent) {
    e.Family("stavrion_system_cpu_usage_ratio", "gauge",
             "Busy share of all processors over the last ten seconds.");
    e.Sample({}, *s.CpuUsagePercent / 100.0);
  }
  if (s.MemoryAvailableBytes) {
    e.Family("stavrion_system_memory_available_bytes", "gauge",
             "Physical memory available to programs, mean of the last ten seconds.");
    e.Sample({}, static_cast<double>(*s.MemoryAvailableBytes));
  }
  if (s.MemoryTotalBytes) {
    e.Family("stavrion_system_memory_total_bytes", "gauge", "Installed physical memory.");
    e.Sample({}, static_cast<double>(*s.MemoryTotalBytes));
  }
}

}  // namespace

std::string EscapeLabelValue(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size();) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c == 0x7F) {
      out += '?';
    } else if (c >= 0x80) {
      const size_t n = Utf8Length(value, i);
      if (n == 0) {
        out += '?';
      } else {
        out.append(value, i, n);
        i += n;
        continue;
      }
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  return out;
}

std::string MetricsDeviceName(const ATA_SMART_INFO& disk, int32_t index) {
  constexpr std::string_view kDev = "/dev/";
  std::string_view path = disk.DevicePath;
  if (path.substr(0, kDev.size()) == kDev) path.remove_prefix(kDev.size());
  if (!path.empty()) {
    // Device names are plain; anything else becomes '_' so no escaping or
    // byte mix-up can make two disks' names equal after formatting.
    std::string name(path);
    for (char& c : name) {
      const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.' || c == '/' ||
                         c == ':';
      if (!plain) c = '_';
    }
    return name;
  }
  if (disk.PhysicalDriveId >= 0) return "PhysicalDrive" + std::to_string(disk.PhysicalDriveId);
  return "disk" + std::to_string(index);
}

std::string FormatMetrics(const MetricsInput& input, MetricsPart part) {
  std::vector<Disk> disks;
  disks.reserve(input.Disks.size());
  std::set<std::string> names;
  for (size_t i = 0; i < input.Disks.size(); ++i) {
    const MetricsDisk& source = input.Disks[i];
    if (source.Disk == nullptr) continue;
    const int32_t index = static_cast<int32_t>(i);
    std::string name = MetricsDeviceName(*source.Disk, index);
    // Two disks behind one name (an enclosure that shows several disks
    // through one device) must not make two samples with the same labels.
    for (int32_t n = 2; !names.insert(name).second; ++n) {
      name = MetricsDeviceName(*source.Disk, index) + "_" + std::to_string(n);
    }
    disks.push_back({&source, std::move(name)});
  }
  CExposition e;
  if (part != MetricsPart::MOMENT) {
    e.Text().reserve(4096 + disks.size() * 12288);
    WriteSmartctlFamilies(e, disks, input);
    WriteOwnFamilies(e, disks, input);
  }
  if (part != MetricsPart::READINGS) WriteMomentFamilies(e, disks, input);
  return std::move(e.Text());
}

}  // namespace monitor
