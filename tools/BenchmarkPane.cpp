#include "tools/BenchmarkPane.h"

#include <cstdio>

#include "app/Settings.h"

namespace tools {
namespace {

std::string Printf(const char* format, auto... values) {
  char buf[256];
  std::snprintf(buf, sizeof buf, format, values...);
  return buf;
}

constexpr uint64_t GIB = 1ull << 30;
constexpr uint64_t MIB = 1ull << 20;

}  // namespace

CBenchSettings BenchSettingsFrom(app::CSettings& settings) {
  using app::Setting;
  CBenchSettings s;
  s.SequentialQueues = settings.Get(Setting::SEQUENTIAL_MULTI_QUEUES1);
  s.SequentialThreads = settings.Get(Setting::SEQUENTIAL_MULTI_THREADS1);
  s.RandomQueues = {settings.Get(Setting::RANDOM_MULTI_QUEUES1),
                    settings.Get(Setting::RANDOM_MULTI_QUEUES2),
                    settings.Get(Setting::RANDOM_MULTI_QUEUES3)};
  s.RandomThreads = {settings.Get(Setting::RANDOM_MULTI_THREADS1),
                     settings.Get(Setting::RANDOM_MULTI_THREADS2),
                     settings.Get(Setting::RANDOM_MULTI_THREADS3)};
  return s;
}

const std::vector<std::string>& BenchTypeTexts() {
  static const std::vector<std::string> texts = {"Seq + 4K (Q32 T1)", "Sequential (Q32 T1)",
                                                 "Random_4K (Q8 T8)", "Random_4K (Q32 T1)",
                                                 "Random_4K (Q1 T1)"};
  return texts;
}

const std::vector<std::string>& BenchSizeTexts() {
  static const std::vector<std::string> texts = {"50 MB", "100 MB", "500 MB", "1 GB", "2 GB",
                                                 "4 GB",  "8 GB",   "16 GB",  "32 GB"};
  return texts;
}

uint32_t BenchSizeMiB(int sizeIndex) {
  static constexpr uint32_t sizes[] = {50, 100, 500, 1024, 2048, 4096, 8192, 16384, 32768};
  if (sizeIndex < 0 || sizeIndex >= static_cast<int>(std::size(sizes))) return 0;
  return sizes[sizeIndex];
}

std::string BenchDriveText(char letter, uint64_t totalBytes, uint64_t totalFreeBytes) {
  const uint64_t used = totalBytes > totalFreeBytes ? totalBytes - totalFreeBytes : 0;
  const double percent =
      totalBytes == 0 ? 0.0 : static_cast<double>(used) / static_cast<double>(totalBytes) * 100;
  const bool gb = totalBytes >= 8 * GIB;
  const double unit = static_cast<double>(gb ? GIB : MIB);
  return Printf(gb ? "%c: [%.0f/%.0f GB] %.0f%%" : "%c: [%.0f/%.0f MB] %.0f%%", letter,
                static_cast<double>(used) / unit, static_cast<double>(totalBytes) / unit, percent);
}

std::array<int, 4> BenchBoxSlots(int testType) {
  switch (testType) {
    case 0:
      return {BENCH_SEQUENTIAL_READ, BENCH_SEQUENTIAL_WRITE, BENCH_RANDOM_READ_2,
              BENCH_RANDOM_WRITE_2};
    case 1:
      return {BENCH_SEQUENTIAL_READ, BENCH_SEQUENTIAL_WRITE, -1, -1};
    case 2:
      return {-1, -1, BENCH_RANDOM_READ_1, BENCH_RANDOM_WRITE_1};
    case 3:
      return {-1, -1, BENCH_RANDOM_READ_2, BENCH_RANDOM_WRITE_2};
    case 4:
      return {-1, -1, BENCH_RANDOM_READ_3, BENCH_RANDOM_WRITE_3};
    default:
      return {-1, -1, -1, -1};
  }
}

void CBenchHistory::PushInto(Table& table, int& counter, char letter, double read, double write) {
  for (size_t i = ROWS - 1; i > 0; --i) {
    table[i].Drive = table[i - 1].Drive;
    table[i].Read = table[i - 1].Read;
    table[i].Write = table[i - 1].Write;
  }
  const std::string label = Printf("%c:", letter);
  table[0].Drive = label;
  table[0].Read = FormatRate(read, label);
  table[0].Write = FormatRate(write, label);
  // One more row shows per run; once all three show, the counter starts
  // again and the rows stay shown (they hold the last three runs).
  if (counter >= static_cast<int>(ROWS)) counter = 0;
  table[static_cast<size_t>(counter)].Visible = true;
  ++counter;
}

void CBenchHistory::Push(int testType, char letter, const CBenchResults& results) {
  if (testType == 0 || testType == 1) {
    PushInto(m_Sequential, m_SequentialCount, letter, results[BENCH_SEQUENTIAL_READ],
             results[BENCH_SEQUENTIAL_WRITE]);
  }
  if (testType == 0 || (testType >= 2 && testType <= 4)) {
    const int set = testType == 0 ? 1 : testType - 2;
    const size_t read = static_cast<size_t>(BENCH_RANDOM_READ_1 + 2 * set);
    PushInto(m_Random, m_RandomCount, letter, results[read], results[read + 1]);
  }
}

void CBenchHistory::Clear() { *this = CBenchHistory(); }

std::string BenchReportDate(const BenchLocalTime& t) {
  return Printf("%04d/%02d/%02d %d:%02d:%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second);
}

std::string BenchReportFileName(const BenchLocalTime& t) {
  return Printf("Vardex_%04d-%02d%02d-%0d%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute);
}

std::string BenchReportText(const BenchReportInput& in) {
  const std::string rule(71, '-');
  std::vector<std::string> lines = {
      "[Vardex] Performance Test of File Benchmark",
      "         Version: v4.0.1",
      "         Build: Windows",
      "         Compiled for 32 bit mode.",
      "",
      rule,
      " Windows Version : " + in.Os,
      "       Run began : " + in.Date,
      "      Test Range : " + in.TestSize,
      "            Loop : " + in.TestCount,
      "          Device : " + in.TestDrive,
      "* Block size in Sequential R/W is 128 Kbytes",
      "* Block size in Random R/W is 4 Kbytes",
      "* Output is in Mbytes/sec",
      "",
  };
  const CBenchSettings& s = in.Settings;
  const CBenchResults& r = in.Results;
  lines.push_back(Printf("   Sequential Read (Q%3d T%2d) : %9.3f", s.SequentialQueues,
                         s.SequentialThreads, r[BENCH_SEQUENTIAL_READ]));
  lines.push_back(Printf("  Sequential Write (Q%3d T%2d) : %9.3f", s.SequentialQueues,
                         s.SequentialThreads, r[BENCH_SEQUENTIAL_WRITE]));
  for (size_t set = 0; set < 3; ++set) {
    const size_t read = BENCH_RANDOM_READ_1 + 2 * set;
    lines.push_back(Printf("       Random Read (Q%3d T%2d) : %9.3f", s.RandomQueues[set],
                           s.RandomThreads[set], r[read]));
    lines.push_back(Printf("      Random Write (Q%3d T%2d) : %9.3f", s.RandomQueues[set],
                           s.RandomThreads[set], r[read + 1]));
  }
  lines.push_back(rule);
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::vector<uint8_t> BenchReportFileBytes(const std::string& utf8) {
  std::vector<uint8_t> out = {0xFF, 0xFE};
  auto unit = [&out](uint32_t u) {
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
  };
  size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<uint8_t>(utf8[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (b < 0x80) {
      cp = b;
    } else {
      const size_t need = (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
      bool ok = need != 0 && i + need <= utf8.size();
      uint32_t v = need == 2 ? (b & 0x1Fu) : need == 3 ? (b & 0x0Fu) : (b & 0x07u);
      for (size_t k = 1; ok && k < need; ++k) {
        const auto c = static_cast<uint8_t>(utf8[i + k]);
        ok = (c & 0xC0) == 0x80;
        v = (v << 6) | (c & 0x3Fu);
      }
      static constexpr uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
      if (ok && v >= least[need] && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF)) {
        cp = v;
        len = need;
      }
    }
    if (cp >= 0x10000) {
      unit(0xD800 + ((cp - 0x10000) >> 10));
      unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      unit(cp);
    }
    i += len;
  }
  return out;
}

}  // namespace tools
