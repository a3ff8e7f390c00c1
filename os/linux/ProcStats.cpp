#include "os/linux/ProcStats.h"

#include <charconv>
#include <vector>

namespace os {
namespace {

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

std::optional<uint64_t> Number(std::string_view text) {
  uint64_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

template <typename F>
void ForEachLine(std::string_view text, F f) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    f(text.substr(pos, end - pos));
    pos = end + 1;
  }
}

}  // namespace

std::optional<CpuTimes> ParseProcStatCpu(std::string_view text) {
  std::optional<CpuTimes> result;
  ForEachLine(text, [&result](std::string_view line) {
    if (result) return;
    const auto f = Fields(line);
    if (f.size() < 5 || f[0] != "cpu") return;
    // user nice system idle iowait irq softirq steal; guest time is already
    // inside user and nice.
    uint64_t v[8] = {};
    for (size_t i = 0; i < 8 && i + 1 < f.size(); ++i) {
      const auto n = Number(f[i + 1]);
      if (!n) return;
      v[i] = *n;
    }
    CpuTimes t;
    for (uint64_t x : v) {
      if (t.Total > UINT64_MAX - x) return;
      t.Total += x;
    }
    t.Busy = t.Total - v[3] - v[4];
    result = t;
  });
  return result;
}

std::optional<uint64_t> ParseMemAvailableKb(std::string_view text) {
  std::optional<uint64_t> available, free, buffers, cached;
  ForEachLine(text, [&](std::string_view line) {
    const auto f = Fields(line);
    if (f.size() < 2) return;
    const auto n = Number(f[1]);
    if (!n) return;
    if (f[0] == "MemAvailable:") available = n;
    if (f[0] == "MemFree:") free = n;
    if (f[0] == "Buffers:") buffers = n;
    if (f[0] == "Cached:") cached = n;
  });
  if (available) return available;
  if (free && buffers && cached && *buffers <= UINT64_MAX / 4 && *cached <= UINT64_MAX / 4 &&
      *free <= UINT64_MAX / 4) {
    return *free + *buffers + *cached;
  }
  return std::nullopt;
}

std::map<std::string, DiskIoCounts> ParseDiskStats(std::string_view text) {
  std::map<std::string, DiskIoCounts> disks;
  ForEachLine(text, [&disks](std::string_view line) {
    // major minor name reads merged sectors ms writes merged sectors ...
    const auto f = Fields(line);
    if (f.size() < 10) return;
    const auto read = Number(f[5]);
    const auto written = Number(f[9]);
    if (!read || !written || f[2].size() > 64) return;
    disks[std::string(f[2])] = {*read, *written};
  });
  return disks;
}

}  // namespace os
