// Parsers of the kernel's statistics files: /proc/stat (processor time),
// /proc/meminfo (available memory), /proc/diskstats (sectors moved per
// disk). They take the files' text, which is untrusted: anything malformed
// is skipped, never read past.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace os {

// Processor time since boot, all processors together, in the kernel's units.
struct CpuTimes {
  uint64_t Busy = 0;
  uint64_t Total = 0;
};

// The "cpu" line of /proc/stat: busy and total time over all processors.
std::optional<CpuTimes> ParseProcStatCpu(std::string_view text);

// MemAvailable of /proc/meminfo in KiB; on kernels without it (before
// 3.14), MemFree + Buffers + Cached.
std::optional<uint64_t> ParseMemAvailableKb(std::string_view text);

struct DiskIoCounts {
  uint64_t SectorsRead = 0;  // 512-byte units
  uint64_t SectorsWritten = 0;
};
// Every device line of /proc/diskstats, by kernel name.
std::map<std::string, DiskIoCounts> ParseDiskStats(std::string_view text);

}  // namespace os
