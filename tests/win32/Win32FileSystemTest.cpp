#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

#include "os/win32/Win32FileSystem.h"
#include "tests/support/TempDir.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

class Win32Files : public ::testing::Test {
 protected:
  testutil::CTempDir m_Dir;
  os::CWin32FileSystem m_Files;
};

TEST_F(Win32Files, AtomicWriteCreatesThenReplaces) {
  std::string path = m_Dir.File("a.bin");
  ASSERT_TRUE(m_Files.WriteFileAtomic(path, Bytes("first\r\nline")));
  EXPECT_EQ(m_Files.ReadFile(path), Bytes("first\r\nline"));
  ASSERT_TRUE(m_Files.WriteFileAtomic(path, Bytes("2")));
  EXPECT_EQ(m_Files.ReadFile(path), Bytes("2"));
  EXPECT_EQ(m_Files.FileSize(path), std::optional<uint64_t>(1));
  ASSERT_TRUE(m_Files.WriteFileAtomic(path, {}));
  EXPECT_EQ(m_Files.ReadFile(path), std::vector<uint8_t>{});
  // Nothing but the file itself is left in the folder.
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(m_Dir.Path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 1u);
}

TEST_F(Win32Files, ReadsAnywhereInAnOpenFile) {
  const std::string path = m_Dir.File("t.csv");
  ASSERT_TRUE(m_Files.AppendFile(path, "0123456789"));
  std::unique_ptr<os::IReadableFile> file = m_Files.OpenForReading(path);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Size(), 10u);
  // The history log appends while a graph reads: sharing allows it.
  ASSERT_TRUE(m_Files.AppendFile(path, "abc"));
  struct Case {
    uint64_t Offset;
    size_t Count;
    std::string Want;
  } cases[] = {{0, 4, "0123"}, {7, 3, "789"}, {8, 10, "89abc"}, {13, 4, ""}, {1000, 4, ""}};
  for (const Case& c : cases) {
    std::string buffer(c.Count, '?');
    std::optional<size_t> got =
        file->ReadAt(c.Offset, reinterpret_cast<uint8_t*>(buffer.data()), c.Count);
    ASSERT_TRUE(got.has_value()) << c.Offset;
    EXPECT_EQ(buffer.substr(0, *got), c.Want) << c.Offset;
  }
  EXPECT_FALSE(m_Files.OpenForReading(m_Dir.File("none")));
  EXPECT_FALSE(m_Files.OpenForReading(m_Dir.Path().string()));
}

TEST_F(Win32Files, FailedAtomicWriteLeavesNothing) {
  EXPECT_FALSE(m_Files.WriteFileAtomic(m_Dir.File("missing\\a.bin"), Bytes("x")));
  EXPECT_FALSE(m_Files.LastErrorText().empty());
  // A folder in the way is not replaced.
  ASSERT_TRUE(m_Files.CreateDirectories(m_Dir.File("folder")));
  EXPECT_FALSE(m_Files.WriteFileAtomic(m_Dir.File("folder"), Bytes("x")));
  EXPECT_TRUE(m_Files.Exists(m_Dir.File("folder")));
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(m_Dir.Path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 1u);
}

TEST_F(Win32Files, AppendKeepsBytesAsGiven) {
  std::string path = m_Dir.File("log.txt");
  ASSERT_TRUE(m_Files.AppendFile(path, "00000000 one\n"));
  ASSERT_TRUE(m_Files.AppendFile(path, "00000001 two\r\n"));
  EXPECT_EQ(m_Files.ReadFile(path), Bytes("00000000 one\n00000001 two\r\n"));
}

TEST_F(Win32Files, CreateDirectoriesMakesEveryLevel) {
  std::string deep = m_Dir.File("a\\b/c\\\\d\\");
  ASSERT_TRUE(m_Files.CreateDirectories(deep));
  EXPECT_TRUE(m_Files.Exists(m_Dir.File("a\\b\\c\\d")));
  EXPECT_TRUE(m_Files.CreateDirectories(deep)) << "existing folders are fine";
  EXPECT_FALSE(m_Files.FileSize(m_Dir.File("a")));
}

TEST_F(Win32Files, CreateDirectoriesRefusesAFileInTheWay) {
  std::string file = m_Dir.File("f");
  ASSERT_TRUE(m_Files.WriteFileAtomic(file, Bytes("x")));
  EXPECT_FALSE(m_Files.CreateDirectories(file));
  EXPECT_FALSE(m_Files.CreateDirectories(file + "\\below"));
}

TEST_F(Win32Files, RemoveTakesFilesAndEmptyFolders) {
  std::string file = m_Dir.File("f");
  ASSERT_TRUE(m_Files.WriteFileAtomic(file, Bytes("x")));
  EXPECT_TRUE(m_Files.Remove(file));
  EXPECT_FALSE(m_Files.Exists(file));
  EXPECT_FALSE(m_Files.Remove(file));
  ASSERT_TRUE(m_Files.CreateDirectories(m_Dir.File("d\\e")));
  EXPECT_FALSE(m_Files.Remove(m_Dir.File("d"))) << "not empty";
  EXPECT_TRUE(m_Files.Remove(m_Dir.File("d\\e")));
  EXPECT_TRUE(m_Files.Remove(m_Dir.File("d")));
}

TEST_F(Win32Files, MissingAndOddPathsFailCleanly) {
  EXPECT_FALSE(m_Files.ReadFile(m_Dir.File("none")));
  EXPECT_FALSE(m_Files.FileSize(m_Dir.File("none")));
  EXPECT_FALSE(m_Files.ReadFile(""));
  EXPECT_FALSE(m_Files.Exists(""));
  std::string withNul = m_Dir.File("x") + std::string("\0y", 2);
  EXPECT_FALSE(m_Files.WriteFileAtomic(withNul, Bytes("x")));
  EXPECT_FALSE(m_Files.Exists(m_Dir.File("x")));
}

TEST_F(Win32Files, NonAsciiNamesWork) {
  std::string path = m_Dir.File("Gr\xC3\xBC\xC3\x9F\x65-\xE2\x82\xAC.ini");
  ASSERT_TRUE(m_Files.WriteFileAtomic(path, Bytes("x")));
  EXPECT_TRUE(m_Files.Exists(path));
  EXPECT_EQ(m_Files.ReadFile(path), Bytes("x"));
}

TEST_F(Win32Files, KnowsItsOwnProgram) {
  std::string exe = m_Files.ExecutablePath();
  ASSERT_GE(exe.size(), 18u);
  EXPECT_EQ(exe.substr(exe.size() - 18), "stavrion_tests.exe");
  EXPECT_TRUE(m_Files.Exists(exe));
  EXPECT_EQ(m_Files.Separator(), '\\');
  EXPECT_EQ(m_Files.HandOffFilePath(), "c:\\m.out");
}

}  // namespace

namespace {

TEST_F(Win32Files, TailAndFolderListing) {
  const std::string path = m_Dir.File("t.csv");
  ASSERT_TRUE(m_Files.AppendFile(path, "2026/03/01 12:00:00,40\r\n"));
  const struct {
    uint64_t Count;
    const char* Tail;
  } cases[] = {{1, "\n"}, {4, "40\r\n"}, {1000, "2026/03/01 12:00:00,40\r\n"}, {0, ""}};
  for (const auto& c : cases) EXPECT_EQ(m_Files.ReadFileTail(path, c.Count), Bytes(c.Tail));
  EXPECT_FALSE(m_Files.ReadFileTail(m_Dir.File("none.csv"), 1).has_value());

  ASSERT_TRUE(m_Files.CreateDirectories(m_Dir.File("sub\\deeper")));
  auto entries = m_Files.ListFolder(m_Dir.Path().string());
  ASSERT_TRUE(entries.has_value());
  std::map<std::string, bool> found;
  for (const auto& e : *entries) found[e.Name] = e.IsFolder;
  EXPECT_EQ(found, (std::map<std::string, bool>{{"sub", true}, {"t.csv", false}}));
  EXPECT_FALSE(m_Files.ListFolder(m_Dir.File("none")).has_value());
}

}  // namespace
