#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/BenchmarkPane.h"

namespace {

using tools::CBenchHistory;
using tools::CBenchResults;

constexpr uint64_t GIB = 1ull << 30;
constexpr uint64_t MIB = 1ull << 20;

TEST(BenchmarkPane, DriveEntriesSwitchToGigabytesAtEightGiB) {
  const struct {
    uint64_t Total, Free;
    const char* Text;
  } cases[] = {
      {4 * GIB, 3 * GIB, "E: [1024/4096 MB] 25%"},
      {8 * GIB, 2 * GIB, "E: [6/8 GB] 75%"},
      {8 * GIB - 1, 8 * GIB - 1, "E: [0/8192 MB] 0%"},
      {500 * GIB, 0, "E: [500/500 GB] 100%"},
      {0, 0, "E: [0/0 MB] 0%"},
      {100 * MIB, 200 * MIB, "E: [0/100 MB] 0%"},  // free above total: never negative
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tools::BenchDriveText('E', c.Total, c.Free), c.Text) << c.Total << " " << c.Free;
  }
}

TEST(BenchmarkPane, SizesAndBoxesByIndex) {
  EXPECT_EQ(tools::BenchSizeTexts().size(), 9u);
  EXPECT_EQ(tools::BenchSizeTexts()[tools::BENCH_DEFAULT_SIZE], "1 GB");
  const uint32_t sizes[] = {50, 100, 500, 1024, 2048, 4096, 8192, 16384, 32768};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(tools::BenchSizeMiB(i), sizes[i]) << i;
  EXPECT_EQ(tools::BenchSizeMiB(-1), 0u);
  EXPECT_EQ(tools::BenchSizeMiB(9), 0u);
  // Every slot a type runs is shown in a box, and nothing else.
  for (int type = 0; type < 5; ++type) {
    std::vector<int> shown;
    for (int slot : tools::BenchBoxSlots(type)) {
      if (slot >= 0) shown.push_back(slot);
    }
    EXPECT_EQ(shown, tools::BenchSlotsOfType(type)) << type;
    EXPECT_EQ(tools::BenchTypeTexts().size(), 5u);
  }
  // Sequential figures always in the first two boxes, random in the last two.
  EXPECT_EQ(tools::BenchBoxSlots(4)[2], tools::BENCH_RANDOM_READ_3);
  EXPECT_EQ(tools::BenchBoxSlots(1)[1], tools::BENCH_SEQUENTIAL_WRITE);
}

TEST(BenchmarkPane, HistoryKeepsTheLastThreeRunsNewestFirst) {
  CBenchHistory h;
  CBenchResults r{};
  r[tools::BENCH_SEQUENTIAL_READ] = 512.3;
  r[tools::BENCH_SEQUENTIAL_WRITE] = 9.999;
  r[tools::BENCH_RANDOM_READ_1] = 11;
  r[tools::BENCH_RANDOM_READ_2] = 22;
  r[tools::BENCH_RANDOM_WRITE_2] = 23;
  r[tools::BENCH_RANDOM_READ_3] = 33;
  // type 1 touches only the sequential table.
  h.Push(1, 'C', r);
  EXPECT_TRUE(h.Sequential()[0].Visible);
  EXPECT_FALSE(h.Sequential()[1].Visible);
  EXPECT_EQ(h.Sequential()[0].Drive, "C:");
  EXPECT_EQ(h.Sequential()[0].Read, "C: 512.3 MB/s");
  EXPECT_EQ(h.Sequential()[0].Write, "C: 9.999 MB/s");
  EXPECT_FALSE(h.Random()[0].Visible);
  // type 0: both tables, the random one from set 2.
  h.Push(0, 'D', r);
  EXPECT_EQ(h.Sequential()[0].Drive, "D:");
  EXPECT_EQ(h.Sequential()[1].Drive, "C:");
  EXPECT_TRUE(h.Sequential()[1].Visible);
  EXPECT_EQ(h.Random()[0].Read, "D: 22.00 MB/s");
  EXPECT_EQ(h.Random()[0].Write, "D: 23.00 MB/s");
  EXPECT_TRUE(h.Random()[0].Visible);
  EXPECT_FALSE(h.Random()[1].Visible);
  // types 2 and 4: sets 1 and 3.
  h.Push(2, 'E', r);
  EXPECT_EQ(h.Random()[0].Read, "E: 11.00 MB/s");
  EXPECT_EQ(h.Random()[0].Write, "E: 000.0 MB/s");
  h.Push(4, 'F', r);
  EXPECT_EQ(h.Random()[0].Read, "F: 33.00 MB/s");
  h.Push(4, 'G', r);  // a fourth run: the oldest (D) is dropped
  EXPECT_EQ(h.Random()[0].Drive, "G:");
  EXPECT_EQ(h.Random()[1].Drive, "F:");
  EXPECT_EQ(h.Random()[2].Drive, "E:");
  for (const auto& row : h.Random()) EXPECT_TRUE(row.Visible);
  h.Push(7, 'H', r);  // no such type: nothing moves
  EXPECT_EQ(h.Random()[0].Drive, "G:");
  EXPECT_EQ(h.Sequential()[0].Drive, "D:");
  h.Clear();
  for (const auto& row : h.Sequential()) EXPECT_FALSE(row.Visible);
  for (const auto& row : h.Random()) EXPECT_FALSE(row.Visible);
}

TEST(BenchmarkPane, ReportHasEveryLineInOrderWithCrLf) {
  tools::BenchReportInput in;
  in.Os = "Windows 10 Pro [10.0 Build 19045] (x64)";
  in.Date = tools::BenchReportDate({2026, 12, 10, 7, 5, 9});
  in.TestSize = "50 MB";
  in.TestCount = "1";
  in.TestDrive = "C: [120/466 GB] 26%";
  in.Settings.RandomQueues[2] = 128;
  in.Settings.RandomThreads[2] = 16;
  in.Results[tools::BENCH_SEQUENTIAL_READ] = 512.3;
  in.Results[tools::BENCH_RANDOM_WRITE_3] = 1.5;
  const std::string text = tools::BenchReportText(in);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t pos; (pos = text.find("\r\n", start)) != std::string::npos; start = pos + 2) {
    lines.push_back(text.substr(start, pos - start));
  }
  EXPECT_EQ(start, text.size()) << "every line ends in CR LF";
  const std::string rule(71, '-');
  const std::vector<std::string> expected = {
      "[Vardex] Performance Test of File Benchmark",
      "         Version: v4.0.1",
      "         Build: Windows",
      "         Compiled for 32 bit mode.",
      "",
      rule,
      " Windows Version : Windows 10 Pro [10.0 Build 19045] (x64)",
      "       Run began : 2026/12/10 7:05:09",
      "      Test Range : 50 MB",
      "            Loop : 1",
      "          Device : C: [120/466 GB] 26%",
      "* Block size in Sequential R/W is 128 Kbytes",
      "* Block size in Random R/W is 4 Kbytes",
      "* Output is in Mbytes/sec",
      "",
      "   Sequential Read (Q 32 T 1) :   512.300",
      "  Sequential Write (Q 32 T 1) :     0.000",
      "       Random Read (Q  8 T 8) :     0.000",
      "      Random Write (Q  8 T 8) :     0.000",
      "       Random Read (Q 32 T 1) :     0.000",
      "      Random Write (Q 32 T 1) :     0.000",
      "       Random Read (Q128 T16) :     0.000",
      "      Random Write (Q128 T16) :     1.500",
      rule,
  };
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(tools::BenchReportFileName({2026, 1, 2, 3, 4, 5}), "Vardex_2026-0102-304");
}

TEST(BenchmarkPane, ReportFileIsUtf16LeWithBom) {
  const struct {
    std::string In;
    std::vector<uint8_t> Out;
  } cases[] = {
      {"", {0xFF, 0xFE}},
      {"A\r\n", {0xFF, 0xFE, 'A', 0, '\r', 0, '\n', 0}},
      {"\xC3\xA9", {0xFF, 0xFE, 0xE9, 0}},                         // é
      {"\xE6\x97\xA5", {0xFF, 0xFE, 0xE5, 0x65}},                  // 日
      {"\xF0\x9F\x98\x80", {0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE}},  // U+1F600 as a pair
      // Broken input is replaced, never read past its end.
      {"\xE6\x97", {0xFF, 0xFE, 0xFD, 0xFF, 0xFD, 0xFF}},
      {"\xC0\x80", {0xFF, 0xFE, 0xFD, 0xFF, 0xFD, 0xFF}},                  // overlong
      {"\xED\xA0\x80", {0xFF, 0xFE, 0xFD, 0xFF, 0xFD, 0xFF, 0xFD, 0xFF}},  // surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(tools::BenchReportFileBytes(c.In), c.Out) << c.In;
}

}  // namespace
