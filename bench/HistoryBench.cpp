// Cost of one history record of 48 disks (each with 16 attributes, the
// daily file on) on real files through the Linux file layer: with empty
// files, and again once every file holds a year of records, to show the
// cost does not grow with the files. "Smart.ini" is replaced whole and
// flushed to the disk per disk, which dominates the time on real storage;
// the CPU beside it leaves the waits for the disk out.
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "monitor/HistoryLog.h"
#include "os/linux/LinuxFileSystem.h"

namespace {

ATA_SMART_INFO Disk(int i) {
  ATA_SMART_INFO d;
  d.Model = "BENCH DISK MODEL " + std::to_string(i);
  d.SerialNumber = "SN" + std::to_string(1000 + i);
  d.ModelSerial = d.Model + d.SerialNumber;
  d.IsSmartCorrect = 1;
  d.Temperature = 35;
  d.MeasuredPowerOnHours = 12345;
  d.PowerOnCount = 321;
  d.Life = 90;
  d.DiskStatus = DISK_STATUS_GOOD;
  d.AttributeCount = 16;
  const uint8_t ids[16] = {0x01, 0x03, 0x04, 0x05, 0x07, 0x09, 0x0A, 0x0C,
                           0xC0, 0xC1, 0xC2, 0xC4, 0xC5, 0xC6, 0xC7, 0xF1};
  for (int j = 0; j < 16; ++j) {
    d.Attribute[j].Id = ids[j];
    d.Attribute[j].RawValue[0] = static_cast<uint8_t>(j * 7 + i);
    d.Threshold[j].ThresholdValue = 10;
  }
  return d;
}

double CpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Milliseconds per record pass over all disks: the time it took and the
// CPU it used (the waits for the disk to flush left out).
struct Cost {
  double Wall = 0;
  double Cpu = 0;
};

Cost Pass(monitor::CHistoryLog& log, std::vector<ATA_SMART_INFO>& disks, int64_t& now, int passes) {
  auto start = std::chrono::steady_clock::now();
  const double cpu = CpuMs();
  for (int p = 0; p < passes; ++p) {
    now += 150;
    time_t t = static_cast<time_t>(now);
    std::tm local{};
    gmtime_r(&t, &local);
    for (ATA_SMART_INFO& d : disks) {
      if (log.BeginRecord(d, now)) log.WriteRecord(d, local);
    }
  }
  auto end = std::chrono::steady_clock::now();
  return {std::chrono::duration<double, std::milli>(end - start).count() / passes,
          (CpuMs() - cpu) / passes};
}

}  // namespace

int main() {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("stavrion-history-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  os::CLinuxFileSystem files;
  std::vector<ATA_SMART_INFO> disks;
  for (int i = 0; i < MAX_DISK; ++i) disks.push_back(Disk(i));
  int64_t now = 1772366400;
  size_t filesPerDisk = 0;
  {
    monitor::CHistoryLog log(files, dir.string() + "/Smart-", "PC", "\n", nullptr);
    log.SetSettings({true, 150, true, false});
    const Cost first = Pass(log, disks, now, 1);
    const Cost empty = Pass(log, disks, now, 20);
    std::printf("one record of 48 disks, first (creates files): %8.2f ms, %6.2f ms CPU\n",
                first.Wall, first.Cpu);
    std::printf("one record of 48 disks, small files:           %8.2f ms, %6.2f ms CPU\n",
                empty.Wall, empty.Cpu);
    filesPerDisk = static_cast<size_t>(
        std::distance(std::filesystem::directory_iterator(log.DiskFolder(disks[0].ModelSerial)),
                      std::filesystem::directory_iterator()));
  }
  // A year of hourly records in every item file.
  {
    monitor::CHistoryLog log(files, dir.string() + "/Smart-", "PC", "\n", nullptr);
    std::string year;
    for (int h = 0; h < 365 * 24; ++h) year += "2025/01/01 00:00:00,123456\n";
    for (const ATA_SMART_INFO& d : disks) {
      for (const auto& e : std::filesystem::directory_iterator(log.DiskFolder(d.ModelSerial))) {
        if (e.path().extension() == ".csv") files.AppendFile(e.path().string(), year);
      }
    }
    log.SetSettings({true, 150, true, false});
    Pass(log, disks, now, 1);  // a new process checks each file's end once
    const Cost big = Pass(log, disks, now, 20);
    std::printf("one record of 48 disks, files of a year (%zu KB each): %8.2f ms, %6.2f ms CPU\n",
                year.size() / 1024, big.Wall, big.Cpu);
  }
  std::printf("files per disk: %zu\n", filesPerDisk);
  std::filesystem::remove_all(dir);
  return 0;
}
