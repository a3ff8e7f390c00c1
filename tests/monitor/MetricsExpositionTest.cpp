// The Prometheus exposition of the disks: well formed for any disk texts, no
// duplicate series, figures in base units, temperatures never packed.
#include "monitor/MetricsExposition.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "monitor/DiskReport.h"
#include "os/sim/DemoMachine.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/StdFileSystem.h"

namespace {

ATA_SMART_INFO AtaDisk(const std::string& path, const std::string& model) {
  ATA_SMART_INFO a;
  a.DevicePath = path;
  a.Model = model;
  a.SerialNumber = "S123";
  a.FirmwareRev = "FW1";
  a.Interface = "Serial ATA";
  a.SmartKeyName = "SmartSsd";
  a.DiskStatus = DISK_STATUS_GOOD;
  a.Temperature = 37;
  a.Life = 88;
  a.HostWrites = 3;
  a.MeasuredPowerOnHours = 10;
  a.PowerOnCount = 7;
  a.WriteAmplification = 1.5f;
  a.AttributeCount = 2;
  a.Attribute[0].Id = 0x05;
  a.Attribute[0].CurrentValue = 100;
  a.Attribute[0].WorstValue = 99;
  a.Attribute[0].RawValue[0] = 2;
  a.Threshold[0].Id = 0x05;
  a.Threshold[0].ThresholdValue = 10;
  // Temperature 37 with minimum 20 and maximum 40 packed above it.
  a.Attribute[1].Id = 0xC2;
  a.Attribute[1].CurrentValue = 63;
  a.Attribute[1].WorstValue = 60;
  a.Attribute[1].RawValue[0] = 37;
  a.Attribute[1].RawValue[2] = 20;
  a.Attribute[1].RawValue[4] = 40;
  return a;
}

ATA_SMART_INFO NvmeDisk(const std::string& path) {
  ATA_SMART_INFO a;
  a.DevicePath = path;
  a.Model = "NVMe Disk";
  a.SerialNumber = "N1";
  a.IsNvme = 1;
  a.DiskStatus = DISK_STATUS_CAUTION;
  a.Temperature = TEMPERATURE_UNKNOWN;
  a.AttributeCount = 15;
  for (int i = 0; i < 15; ++i) a.Attribute[i].Id = static_cast<uint8_t>(i + 1);
  a.Attribute[0].RawValue[0] = 4;   // critical warning
  a.Attribute[2].RawValue[0] = 95;  // available spare
  a.Attribute[4].RawValue[0] = 12;  // percentage used
  a.Attribute[13].RawValue[0] = 9;  // media errors
  return a;
}

struct Series {
  std::string Name;
  std::string Labels;  // the text between the braces
  std::string Value;
};

// A strict reading of the exposition: every sample's family has HELP and
// TYPE before it, families are contiguous, no series repeats, every line is
// known. Failures are recorded on the test.
std::vector<Series> Parse(const std::string& text) {
  std::vector<Series> out;
  std::set<std::string> helped, typed, closed, seen;
  std::string current;
  std::istringstream in(text);
  std::string line;
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  while (std::getline(in, line)) {
    if (line.rfind("# HELP ", 0) == 0 || line.rfind("# TYPE ", 0) == 0) {
      std::string rest = line.substr(7);
      std::string name = rest.substr(0, rest.find(' '));
      if (name != current) {
        if (!current.empty()) closed.insert(current);
        EXPECT_EQ(closed.count(name), 0u) << "family split: " << name;
        current = name;
      }
      (line[2] == 'H' ? helped : typed).insert(name);
      continue;
    }
    if (line.rfind('#', 0) == 0) {
      ADD_FAILURE() << "unknown comment line: " << line;
      continue;
    }
    Series s;
    size_t brace = line.find('{');
    size_t space;
    if (brace != std::string::npos && brace < line.find(' ')) {
      s.Name = line.substr(0, brace);
      // The closing brace is the last one outside quotes.
      bool quoted = false;
      size_t i = brace + 1;
      for (; i < line.size(); ++i) {
        if (line[i] == '\\') {
          ++i;
        } else if (line[i] == '"') {
          quoted = !quoted;
        } else if (line[i] == '}' && !quoted) {
          break;
        }
      }
      EXPECT_LT(i, line.size()) << line;
      s.Labels = line.substr(brace + 1, i - brace - 1);
      space = i + 1;
    } else {
      space = line.find(' ');
      s.Name = line.substr(0, space);
    }
    EXPECT_EQ(line[space], ' ') << line;
    s.Value = line.substr(space + 1);
    EXPECT_EQ(s.Name, current) << "sample outside its family: " << line;
    EXPECT_TRUE(helped.count(s.Name) && typed.count(s.Name)) << line;
    EXPECT_TRUE(seen.insert(s.Name + "{" + s.Labels + "}").second) << "duplicate series: " << line;
    out.push_back(s);
  }
  return out;
}

// Value of the one series of `name` whose labels contain all of `parts`.
std::string ValueOf(const std::vector<Series>& all, const std::string& name,
                    const std::vector<std::string>& parts) {
  std::string found;
  int matches = 0;
  for (const Series& s : all) {
    if (s.Name != name) continue;
    bool ok = true;
    for (const std::string& p : parts) ok = ok && s.Labels.find(p) != std::string::npos;
    if (ok) {
      found = s.Value;
      ++matches;
    }
  }
  EXPECT_LE(matches, 1) << name;
  return matches == 1 ? found : "absent";
}

std::string Format(std::vector<ATA_SMART_INFO>& disks,
                   std::vector<monitor::MetricsAlarms> alarms = {}, std::vector<bool> stale = {}) {
  monitor::MetricsInput in;
  in.Now = 1'000'000;
  in.Version = "1.2.3";
  for (size_t i = 0; i < disks.size(); ++i) {
    monitor::MetricsDisk d;
    d.Disk = &disks[i];
    d.LastReadTime = 1'000'000 - 30 * static_cast<int64_t>(i);
    if (i < alarms.size()) d.Alarms = alarms[i];
    if (i < stale.size()) d.Stale = stale[i];
    in.Disks.push_back(d);
  }
  return monitor::FormatMetrics(in);
}

TEST(MetricsExposition, FiguresOfAnAtaAndAnNvmeDisk) {
  std::vector<ATA_SMART_INFO> disks = {AtaDisk("/dev/sda", "Disk A"), NvmeDisk("/dev/nvme0n1")};
  monitor::MetricsAlarms hot;
  hot.Temperature = true;
  const std::vector<Series> s = Parse(Format(disks, {hot}, {false, true}));

  struct Case {
    std::string Name;
    std::vector<std::string> Labels;
    std::string Value;
  };
  const Case cases[] = {
      {"smartctl_device_temperature", {"device=\"sda\"", "temperature_type=\"current\""}, "37"},
      // Unknown temperature: no sample rather than -127.
      {"smartctl_device_temperature", {"device=\"nvme0n1\""}, "absent"},
      {"smartctl_device_power_on_seconds", {"device=\"sda\""}, "36000"},
      {"smartctl_device_power_cycle_count", {"device=\"sda\""}, "7"},
      {"smartctl_device_smart_status", {"device=\"sda\""}, "1"},
      {"smartctl_device_smart_status", {"device=\"nvme0n1\""}, "1"},
      {"smartctl_device_attribute",
       {"device=\"sda\"", "attribute_id=\"5\"", "attribute_value_type=\"value\""},
       "100"},
      {"smartctl_device_attribute",
       {"device=\"sda\"", "attribute_id=\"5\"", "attribute_value_type=\"worst\""},
       "99"},
      {"smartctl_device_attribute",
       {"device=\"sda\"", "attribute_id=\"5\"", "attribute_value_type=\"thresh\""},
       "10"},
      {"smartctl_device_attribute",
       {"device=\"sda\"", "attribute_id=\"5\"", "attribute_value_type=\"raw\""},
       "2"},
      // The packed temperature raw value comes out as the temperature.
      {"smartctl_device_attribute",
       {"device=\"sda\"", "attribute_id=\"194\"", "attribute_value_type=\"raw\""},
       "37"},
      // NVMe health-log rows are not ATA attributes.
      {"smartctl_device_attribute", {"device=\"nvme0n1\"", "attribute_id=\"1\""}, "absent"},
      {"smartctl_device_critical_warning", {"device=\"nvme0n1\""}, "4"},
      {"smartctl_device_available_spare", {"device=\"nvme0n1\""}, "95"},
      {"smartctl_device_percentage_used", {"device=\"nvme0n1\""}, "12"},
      {"smartctl_device_media_errors", {"device=\"nvme0n1\""}, "9"},
      {"smartctl_device_percentage_used", {"device=\"sda\""}, "absent"},
      {"stavrion_disk_health_status", {"device=\"nvme0n1\""}, "2"},
      {"stavrion_disk_life_remaining_ratio", {"device=\"sda\""}, "0.88"},
      {"stavrion_disk_life_remaining_ratio", {"device=\"nvme0n1\""}, "absent"},
      {"stavrion_disk_host_writes_bytes_total", {"device=\"sda\""}, "3221225472"},
      {"stavrion_disk_host_reads_bytes_total", {"device=\"sda\""}, "absent"},
      {"stavrion_disk_write_amplification_ratio", {"device=\"sda\""}, "1.5"},
      {"stavrion_disk_alarm", {"device=\"sda\"", "alarm=\"temperature\""}, "1"},
      {"stavrion_disk_alarm", {"device=\"sda\"", "alarm=\"health\""}, "0"},
      {"stavrion_disk_last_refresh_age_seconds", {"device=\"nvme0n1\""}, "30"},
      {"stavrion_disk_stale", {"device=\"nvme0n1\""}, "1"},
      {"stavrion_disk_stale", {"device=\"sda\""}, "0"},
      {"stavrion_disks", {}, "2"},
      {"stavrion_build_info", {"version=\"1.2.3\""}, "1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ValueOf(s, c.Name, c.Labels), c.Value) << c.Name << " " << c.Labels.front();
  }
  // The serial number appears only in the identity series.
  for (const Series& x : s) {
    if (x.Labels.find("S123") != std::string::npos) {
      EXPECT_TRUE(x.Name == "stavrion_disk_info" || x.Name == "smartctl_device") << x.Name;
    }
  }
}

TEST(MetricsExposition, UntrustedTextsAndRepeatsNeverBreakTheScrape) {
  std::vector<ATA_SMART_INFO> disks = {
      AtaDisk("/dev/sda", "Quote\" back\\slash\nnew line"),
      AtaDisk("/dev/sda", std::string("bad \xC3\x28 utf8 \xE2\x82\xAC ok \x01 \x7F")),
      AtaDisk("", "no path"),
      AtaDisk("/dev/weird\"name\n", "x"),
  };
  // One disk reports attribute 05 twice.
  disks[0].AttributeCount = 3;
  disks[0].Attribute[2] = disks[0].Attribute[0];
  disks[0].Attribute[2].CurrentValue = 1;
  disks[2].PhysicalDriveId = 4;
  disks[0].SerialNumber = "}\" 1\n";
  const std::string text = Format(disks);
  const std::vector<Series> s = Parse(text);
  EXPECT_EQ(ValueOf(s, "smartctl_device_attribute",
                    {"device=\"sda\"", "attribute_id=\"5\"", "attribute_value_type=\"value\""}),
            "100");
  EXPECT_EQ(ValueOf(s, "stavrion_disk_stale", {"device=\"sda_2\""}), "0");
  EXPECT_EQ(ValueOf(s, "stavrion_disk_stale", {"device=\"PhysicalDrive4\""}), "0");
  EXPECT_EQ(ValueOf(s, "stavrion_disk_stale", {"device=\"weird_name_\""}), "0");
  EXPECT_NE(text.find("model=\"Quote\\\" back\\\\slash\\nnew line\""), std::string::npos);
  EXPECT_NE(text.find("model=\"bad ?( utf8 \xE2\x82\xAC ok ? ?\""), std::string::npos);
}

TEST(MetricsExposition, EscapeLabelValue) {
  struct Case {
    std::string In, Out;
  } cases[] = {
      {"plain", "plain"},
      {"a\"b", "a\\\"b"},
      {"a\\b", "a\\\\b"},
      {"a\nb", "a\\nb"},
      {"a\rb\tc", "a?b?c"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},  // a four-byte character stays
      {"\xED\xA0\x80", "???"},                   // an encoded surrogate does not
      {"\xC0\xAF", "??"},                        // nor an overlong form
      {"\xE2\x82", "??"},                        // nor a cut sequence
  };
  for (const Case& c : cases) EXPECT_EQ(monitor::EscapeLabelValue(c.In), c.Out) << c.In;
}

TEST(MetricsExposition, DemoMachineIsWellFormed) {
  os::sim::LoadResult loaded = os::sim::LoadDemoMachine();
  ASSERT_TRUE(loaded.Machine) << loaded.Error;
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), files);
  CAtaSmart ata(sim.Get());
  monitor::DiscoverDisks(ata);
  ASSERT_GT(ata.vars.GetCount(), 0);
  monitor::MetricsInput in;
  for (const ATA_SMART_INFO& a : ata.vars) {
    in.Disks.push_back({&a, 1, false, {}, std::nullopt, std::nullopt});
  }
  std::vector<Series> s = Parse(monitor::FormatMetrics(in));
  EXPECT_EQ(ValueOf(s, "stavrion_disks", {}), std::to_string(ata.vars.GetCount()));
  // No sampler figures yet: no such family at all.
  for (const Series& series : s) EXPECT_EQ(series.Name.find("stavrion_system_"), std::string::npos);

  // The sampler's figures; a rate of one disk only, above 4 GiB a second.
  in.System.CpuUsagePercent = 37;
  in.System.MemoryAvailableBytes = 4096ull << 20;
  in.System.MemoryTotalBytes = 16384ull << 20;
  in.Disks[0].ReadBytesPerSecond = 5120000000ull;
  in.Disks[0].WriteBytesPerSecond = 0;
  s = Parse(monitor::FormatMetrics(in));
  EXPECT_EQ(ValueOf(s, "stavrion_system_cpu_usage_ratio", {}), "0.37");
  EXPECT_EQ(ValueOf(s, "stavrion_system_memory_available_bytes", {}), "4294967296");
  EXPECT_EQ(ValueOf(s, "stavrion_system_memory_total_bytes", {}), "17179869184");
  const std::string device = "device=\"" + monitor::MetricsDeviceName(ata.vars[0], 0) + "\"";
  EXPECT_EQ(ValueOf(s, "stavrion_disk_read_bytes_per_second", {device}), "5.12e+09");
  EXPECT_EQ(ValueOf(s, "stavrion_disk_write_bytes_per_second", {device}), "0");
  size_t rates = 0;
  for (const Series& series : s) rates += series.Name == "stavrion_disk_read_bytes_per_second";
  EXPECT_EQ(rates, 1u);
}

}  // namespace
