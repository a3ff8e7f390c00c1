// What the benchmark pane decides without drawing: the texts of its combos
// and result boxes, which result each box shows, the run-history tables,
// the settings it reads and the text report. The window pane only puts
// these on the screen; the worker itself is CBenchmarkWorker.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/DiskBenchmark.h"

namespace app {
class CSettings;
}

namespace tools {

// The queue and thread counts of section "Settings" (out-of-range values
// take their defaults, as the settings file reads them).
CBenchSettings BenchSettingsFrom(app::CSettings& settings);

// Combo entries.
const std::vector<std::string>& BenchTypeTexts();  // "Seq + 4K (Q32 T1)" ...
const std::vector<std::string>& BenchSizeTexts();  // "50 MB" ... "32 GB"
constexpr int BENCH_DEFAULT_SIZE = 3;              // "1 GB"
constexpr int BENCH_DEFAULT_LOOP = 4;              // 5 loops
constexpr int BENCH_LOOP_CHOICES = 8;
// The size used for a size entry, in MiB (0 for an index out of range).
uint32_t BenchSizeMiB(int sizeIndex);

// One drive of the drive combo: "C: [120/466 GB] 26%" (MB below 8 GiB).
std::string BenchDriveText(char letter, uint64_t totalBytes, uint64_t totalFreeBytes);

// The result slot each of the four result boxes shows for a test type
// (read, write, read, write); -1: the box stays at its cleared text.
std::array<int, 4> BenchBoxSlots(int testType);

// The tables of the last three runs: one of sequential results, one of
// random results. A row is hidden until a run has filled it.
struct BenchHistoryRow {
  bool Visible = false;
  std::string Drive;  // "C:"
  std::string Read;   // "C: 512.3 MB/s"
  std::string Write;
};

class CBenchHistory {
 public:
  static constexpr size_t ROWS = 3;
  using Table = std::array<BenchHistoryRow, ROWS>;

  // A finished run of `testType` on drive `letter`: the newest row on top,
  // the oldest dropped; one more row becomes visible per run.
  void Push(int testType, char letter, const CBenchResults& results);
  void Clear();
  const Table& Sequential() const { return m_Sequential; }
  const Table& Random() const { return m_Random; }

 private:
  static void PushInto(Table& table, int& counter, char letter, double read, double write);
  Table m_Sequential{};
  Table m_Random{};
  int m_SequentialCount = 0;
  int m_RandomCount = 0;
};

// What goes into the report besides the results.
struct BenchReportInput {
  std::string Os;         // operating-system description
  std::string Date;       // BenchReportDate of the time of saving
  std::string TestSize;   // the size combo's text
  std::string TestCount;  // the loop combo's text
  std::string TestDrive;  // the drive combo's text
  CBenchSettings Settings;
  CBenchResults Results{};
};

struct BenchLocalTime {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};
std::string BenchReportDate(const BenchLocalTime& t);      // "2026/12/10 7:05:09"
std::string BenchReportFileName(const BenchLocalTime& t);  // without ".txt"
// The report, lines ending in CR LF (UTF-8).
std::string BenchReportText(const BenchReportInput& input);
// The file's bytes: UTF-16LE with a byte-order mark.
std::vector<uint8_t> BenchReportFileBytes(const std::string& utf8Text);

}  // namespace tools
