// A process killed while it writes history, again and again on the same
// files: every line reads back and "Smart.ini" is always whole.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "monitor/HistoryCsv.h"
#include "monitor/HistoryLog.h"
#include "os/IniFile.h"
#include "os/linux/LinuxFileSystem.h"
#include "tests/support/HistoryTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

using monitor::CHistoryLog;

std::tm At(int64_t t) {
  std::tm tm{};
  time_t tt = static_cast<time_t>(t);
  gmtime_r(&tt, &tm);
  return tm;
}

// Writes records of `disk` without end, telling the parent after each.
[[noreturn]] void WriteForever(const std::string& root, ATA_SMART_INFO disk, int pipeOut) {
  os::CLinuxFileSystem files;
  CHistoryLog log(files, root, "PC", "\n", nullptr);
  log.SetSettings({true, 0, true, false});
  for (int64_t t = testutil::START;; ++t) {
    disk.Temperature = static_cast<int8_t>(20 + t % 50);
    disk.Attribute[1].RawValue[0] = static_cast<uint8_t>(t);
    if (log.BeginRecord(disk, t)) log.WriteRecord(disk, At(t));
    const char c = 'r';
    if (write(pipeOut, &c, 1) != 1) _exit(1);
  }
}

std::string ReadAll(os::IFileSystem& files, const std::string& path) {
  auto bytes = files.ReadFile(path);
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

monitor::HistoryReadResult Read(const std::string& text) {
  return monitor::ReadHistoryCsv(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

TEST(HistoryCrash, KilledWriterLeavesReadableFiles) {
  testutil::CTempDir dir;
  const std::string root = dir.File("Smart-") + "/";
  ATA_SMART_INFO disk = testutil::MakeDisk("WDC WD10EZEX", "WX1");
  os::CLinuxFileSystem files;
  const std::string folder =
      CHistoryLog(files, root, "", "\n", nullptr).DiskFolder(disk.ModelSerial);

  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(fds[0]);
      WriteForever(root, disk, fds[1]);
    }
    close(fds[1]);
    // Let it write a number of records, then kill it wherever it is.
    char buffer[64];
    size_t seen = 0;
    const size_t want = 20 + 13 * static_cast<size_t>(round);
    while (seen < want) {
      ssize_t n = read(fds[0], buffer, sizeof buffer);
      ASSERT_GT(n, 0);
      seen += static_cast<size_t>(n);
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(fds[0]);

    for (const char* name : {"Temperature.csv", "09.csv", "PowerOnCount.csv"}) {
      monitor::HistoryReadResult r = Read(ReadAll(files, folder + name));
      EXPECT_GE(r.Points.size(), want - 1) << name;
      EXPECT_EQ(r.SkippedLines, 0u) << name;
    }
    // "Smart.ini" is always a whole file: the latest date is there.
    os::CIniFile ini = os::CIniFile::Parse(*files.ReadFile(folder + "Smart.ini"), "\n");
    EXPECT_TRUE(ini.Find(disk.ModelSerial, "Date").has_value());
    EXPECT_TRUE(ini.Find("FIRST", "Date").has_value());
  }
}

TEST(HistoryCrash, LinuxTailAndListingNeverFollowLinks) {
  testutil::CTempDir dir;
  os::CLinuxFileSystem files;
  const std::string path = dir.File("t.csv");
  ASSERT_TRUE(files.AppendFile(path, "2026/03/01 12:00:00,40\n"));
  const struct {
    uint64_t Count;
    std::string Tail;
  } cases[] = {{1, "\n"}, {3, "40\n"}, {1000, "2026/03/01 12:00:00,40\n"}, {0, ""}};
  for (const auto& c : cases) {
    EXPECT_EQ(files.ReadFileTail(path, c.Count),
              std::vector<uint8_t>(c.Tail.begin(), c.Tail.end()));
  }
  EXPECT_FALSE(files.ReadFileTail(dir.File("none"), 1).has_value());

  std::filesystem::create_directories(dir.File("sub/deeper"));
  std::filesystem::create_directory_symlink(dir.File("sub"), dir.File("link"));
  auto entries = files.ListFolder(dir.Path().string());
  ASSERT_TRUE(entries.has_value());
  std::map<std::string, bool> found;
  for (const auto& e : *entries) found[e.Name] = e.IsFolder;
  EXPECT_EQ(found, (std::map<std::string, bool>{{"sub", true}, {"link", false}, {"t.csv", false}}));
  // A link to a folder is not listed through.
  EXPECT_FALSE(files.ListFolder(dir.File("link")).has_value());
}

}  // namespace
