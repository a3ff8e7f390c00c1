#include "os/linux/LinuxPerformance.h"

#include <chrono>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/Text.h"
#include "os/linux/ProcStats.h"

namespace os {
namespace {

constexpr size_t MAX_STAT_FILE = 4u << 20;

std::optional<std::string> ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text;
  char buffer[8192];
  while (text.size() < MAX_STAT_FILE && in.read(buffer, sizeof buffer).gcount() > 0) {
    text.append(buffer, static_cast<size_t>(in.gcount()));
  }
  return text;
}

enum class Kind { AvailableMb, ProcessorTime, DiskRead, DiskWrite, DiskTotal };

struct Counter {
  Kind What;
  std::string Disk;  // kernel name for the disk counters
};

struct Snapshot {
  uint64_t TimeMs = 0;
  std::optional<CpuTimes> Cpu;
  std::optional<uint64_t> AvailableKb;
  std::map<std::string, DiskIoCounts> Disks;
};

// The number N of "\PhysicalDisk(N rest)\..." (lower case).
std::optional<size_t> DriveNumber(const std::string& path) {
  const std::string prefix = "\\physicaldisk(";
  size_t i = prefix.size();
  if (path.rfind(prefix, 0) != 0 || i >= path.size()) return std::nullopt;
  size_t n = 0;
  size_t digits = 0;
  while (i < path.size() && path[i] >= '0' && path[i] <= '9' && digits < 4) {
    n = n * 10 + static_cast<size_t>(path[i++] - '0');
    ++digits;
  }
  if (digits == 0 || i >= path.size() || (path[i] != ' ' && path[i] != ')')) return std::nullopt;
  return n;
}

class CLinuxQuery : public IPerformanceQuery {
 public:
  CLinuxQuery(const LinuxRoots& roots, std::function<uint64_t()> nowMs)
      : m_Roots(roots), m_NowMs(std::move(nowMs)) {}

  int32_t AddCounter(const std::string& englishPath) override {
    const std::string path = base::LowerAscii(englishPath);
    Counter c{Kind::AvailableMb, {}};
    if (path == "\\memory\\available mbytes") {
      c.What = Kind::AvailableMb;
    } else if (path == "\\processor(_total)\\% processor time") {
      c.What = Kind::ProcessorTime;
    } else if (const auto n = DriveNumber(path)) {
      const size_t close = path.find(")\\");
      if (close == std::string::npos) return -1;
      const std::string what = path.substr(close + 2);
      if (what == "disk read bytes/sec") {
        c.What = Kind::DiskRead;
      } else if (what == "disk write bytes/sec") {
        c.What = Kind::DiskWrite;
      } else if (what == "disk bytes/sec") {
        c.What = Kind::DiskTotal;
      } else {
        return -1;
      }
      const std::vector<std::string> names = CSysfsDisks(m_Roots).ListNames();
      if (*n >= names.size()) return -1;
      c.Disk = names[*n];
    } else {
      return -1;
    }
    m_Counters.push_back(c);
    return static_cast<int32_t>(m_Counters.size() - 1);
  }

  bool Collect() override {
    Snapshot s;
    s.TimeMs = m_NowMs();
    bool cpu = false, memory = false, disks = false;
    for (const Counter& c : m_Counters) {
      cpu |= c.What == Kind::ProcessorTime;
      memory |= c.What == Kind::AvailableMb;
      disks |= c.What != Kind::ProcessorTime && c.What != Kind::AvailableMb;
    }
    if (cpu) {
      const auto text = ReadWhole(m_Roots.Proc + "/stat");
      if (!text) return false;
      s.Cpu = ParseProcStatCpu(*text);
    }
    if (memory) {
      const auto text = ReadWhole(m_Roots.Proc + "/meminfo");
      if (!text) return false;
      s.AvailableKb = ParseMemAvailableKb(*text);
    }
    if (disks) {
      const auto text = ReadWhole(m_Roots.Proc + "/diskstats");
      if (!text) return false;
      s.Disks = ParseDiskStats(*text);
    }
    m_Previous = std::move(m_Current);
    m_Current = std::move(s);
    return true;
  }

  std::optional<double> Value(int32_t counter) override {
    if (counter < 0 || static_cast<size_t>(counter) >= m_Counters.size() || !m_Current) {
      return std::nullopt;
    }
    const Counter& c = m_Counters[static_cast<size_t>(counter)];
    if (c.What == Kind::AvailableMb) {
      if (!m_Current->AvailableKb) return std::nullopt;
      return static_cast<double>(*m_Current->AvailableKb / 1024);
    }
    if (!m_Previous) return std::nullopt;  // a rate needs two collections
    if (c.What == Kind::ProcessorTime) {
      const auto& a = m_Previous->Cpu;
      const auto& b = m_Current->Cpu;
      if (!a || !b || b->Total <= a->Total || b->Busy < a->Busy) return std::nullopt;
      return static_cast<double>(b->Busy - a->Busy) * 100 /
             static_cast<double>(b->Total - a->Total);
    }
    if (m_Current->TimeMs <= m_Previous->TimeMs) return std::nullopt;
    const auto a = m_Previous->Disks.find(c.Disk);
    const auto b = m_Current->Disks.find(c.Disk);
    if (a == m_Previous->Disks.end() || b == m_Current->Disks.end()) return std::nullopt;
    // A count that went backwards: the device was reset or replaced.
    if (b->second.SectorsRead < a->second.SectorsRead ||
        b->second.SectorsWritten < a->second.SectorsWritten) {
      return std::nullopt;
    }
    const double read = static_cast<double>(b->second.SectorsRead - a->second.SectorsRead);
    const double written = static_cast<double>(b->second.SectorsWritten - a->second.SectorsWritten);
    const double sectors = c.What == Kind::DiskRead    ? read
                           : c.What == Kind::DiskWrite ? written
                                                       : read + written;
    const double seconds = static_cast<double>(m_Current->TimeMs - m_Previous->TimeMs) / 1000;
    return sectors * 512 / seconds;
  }

 private:
  LinuxRoots m_Roots;
  std::function<uint64_t()> m_NowMs;
  std::vector<Counter> m_Counters;
  std::optional<Snapshot> m_Previous, m_Current;
};

}  // namespace

CLinuxPerformanceCounters::CLinuxPerformanceCounters(LinuxRoots roots,
                                                     std::function<uint64_t()> nowMs)
    : m_Roots(std::move(roots)), m_NowMs(std::move(nowMs)) {
  if (!m_NowMs) {
    m_NowMs = [] {
      return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::steady_clock::now().time_since_epoch())
                                       .count());
    };
  }
}

std::unique_ptr<IPerformanceQuery> CLinuxPerformanceCounters::OpenQuery() {
  return std::make_unique<CLinuxQuery>(m_Roots, m_NowMs);
}

}  // namespace os
