#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "os/IniProfile.h"
#include "os/linux/LinuxClock.h"
#include "os/linux/LinuxFileSystem.h"
#include "os/linux/LinuxSystem.h"
#include "tests/support/IniCases.h"
#include "tests/support/TempDir.h"

namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// Sets an environment variable for the life of the object.
class CEnv {
 public:
  CEnv(const char* name, const char* value) : m_Name(name) {
    const char* old = getenv(name);
    if (old) m_Old = old;
    m_Had = old != nullptr;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~CEnv() {
    if (m_Had) {
      setenv(m_Name.c_str(), m_Old.c_str(), 1);
    } else {
      unsetenv(m_Name.c_str());
    }
  }

 private:
  std::string m_Name;
  std::string m_Old;
  bool m_Had = false;
};

TEST(LinuxFileSystem, AtomicWriteKeepsModeAndFollowsLinks) {
  testutil::CTempDir dir;
  os::CLinuxFileSystem fs;
  std::string real = dir.File("real.ini");
  std::string link = dir.File("link.ini");
  ASSERT_TRUE(fs.WriteFileAtomic(real, Bytes("old")));
  ASSERT_EQ(chmod(real.c_str(), 0600), 0);
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);

  ASSERT_TRUE(fs.WriteFileAtomic(link, Bytes("new")));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadText(real), "new");
  struct stat st {};
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                          std::filesystem::directory_iterator()),
            2);
}

TEST(LinuxFileSystem, FailedAtomicWriteLeavesTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  testutil::CTempDir dir;
  os::CLinuxFileSystem fs;
  std::string path = dir.File("s.ini");
  ASSERT_TRUE(fs.WriteFileAtomic(path, Bytes("old")));
  ASSERT_EQ(chmod(dir.Path().c_str(), 0500), 0);
  EXPECT_FALSE(fs.WriteFileAtomic(path, Bytes("new")));
  EXPECT_FALSE(fs.LastErrorText().empty());
  chmod(dir.Path().c_str(), 0700);
  EXPECT_EQ(ReadText(path), "old");
}

TEST(LinuxFileSystem, AtomicWriteOfALongestName) {
  testutil::CTempDir dir;
  os::CLinuxFileSystem fs;
  std::string path = dir.File(std::string(250, 'n') + ".ini");
  ASSERT_TRUE(fs.WriteFileAtomic(path, Bytes("old")));
  ASSERT_TRUE(fs.WriteFileAtomic(path, Bytes("new")));
  EXPECT_EQ(ReadText(path), "new");
}

TEST(LinuxFileSystem, FilesAndSizes) {
  testutil::CTempDir dir;
  os::CLinuxFileSystem fs;
  std::string path = dir.File("a.log");
  EXPECT_FALSE(fs.FileSize(path));
  EXPECT_FALSE(fs.ReadFile(path));
  ASSERT_TRUE(fs.AppendFile(path, "one\n"));
  ASSERT_TRUE(fs.AppendFile(path, "two\n"));
  EXPECT_EQ(fs.FileSize(path), 8u);
  EXPECT_EQ(ReadText(path), "one\ntwo\n");
  EXPECT_FALSE(fs.FileSize(dir.Path().string()));
  EXPECT_FALSE(fs.ReadFile(dir.Path().string()));
  EXPECT_TRUE(fs.Remove(path));
  EXPECT_FALSE(fs.Exists(path));
  EXPECT_TRUE(fs.CreateDirectories(dir.File("x/y/z")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("x/y/z")));
  EXPECT_EQ(fs.Separator(), '/');
  EXPECT_TRUE(std::filesystem::equivalent(fs.ExecutablePath(), "/proc/self/exe"));
}

TEST(LinuxFileSystem, ReadsAnywhereInAnOpenFile) {
  testutil::CTempDir dir;
  os::CLinuxFileSystem fs;
  const std::string path = dir.File("t.csv");
  ASSERT_TRUE(fs.AppendFile(path, "0123456789"));
  std::unique_ptr<os::IReadableFile> file = fs.OpenForReading(path);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Size(), 10u);
  // Appends after opening are not part of what was opened.
  ASSERT_TRUE(fs.AppendFile(path, "abc"));
  EXPECT_EQ(file->Size(), 10u);
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
  EXPECT_FALSE(fs.OpenForReading(dir.File("none")));
  EXPECT_FALSE(fs.OpenForReading(dir.Path().string()));
}

TEST(LinuxFileSystem, HandOffFileIsPrivateToTheUser) {
  os::CLinuxFileSystem fs;
  {
    CEnv runtime("XDG_RUNTIME_DIR", "/run/user/1234");
    EXPECT_EQ(fs.HandOffFilePath(), "/run/user/1234/stavrion-m.out");
  }
  {
    CEnv runtime("XDG_RUNTIME_DIR", nullptr);
    CEnv cache("XDG_CACHE_HOME", nullptr);
    CEnv home("HOME", "/home/u");
    EXPECT_EQ(fs.HandOffFilePath(), "/home/u/.cache/stavrion-m.out");
  }
  {
    CEnv runtime("XDG_RUNTIME_DIR", "relative");
    CEnv cache("XDG_CACHE_HOME", nullptr);
    CEnv home("HOME", nullptr);
    EXPECT_EQ(fs.HandOffFilePath(), "");
  }
}

TEST(LinuxSystem, VersionReadsAsWindows10WithTheKernelRelease) {
  os::CLinuxSystem sys;
  os::OsVersion v = sys.GetOsVersion();
  EXPECT_EQ(v.MajorVersion, 10u);
  EXPECT_EQ(v.MinorVersion, 0u);
  EXPECT_EQ(v.CSDVersion.rfind("Linux ", 0), 0u) << v.CSDVersion;
  EXPECT_GT(v.BuildNumber, 20000u);  // every kernel we run on is 2.x or later
}

TEST(LinuxSystem, MutexLockPathIsOneSafeFileName) {
  const std::string uid = std::to_string(getuid());
  struct Case {
    const char* Runtime;  // XDG_RUNTIME_DIR, null when unset
    const char* Name;
    std::string Path;
  };
  const Case cases[] = {
      {"/run/user/7", "Vardex", "/run/user/7/Vardex.lock"},
      {"/run/user/7", "../x/y", "/run/user/7/_.._x_y.lock"},
      {"/run/user/7", "", "/run/user/7/_.lock"},
      {"/run/user/7", ".hidden", "/run/user/7/_.hidden.lock"},
      {"/run/user/7", "a b\\c\xC3\xA4", "/run/user/7/a_b_c__.lock"},
      {"relative", "Vardex", "/tmp/Vardex-" + uid + ".lock"},  // only an absolute dir counts
      {nullptr, "Vardex", "/tmp/Vardex-" + uid + ".lock"},
      {nullptr, "", "/tmp/_-" + uid + ".lock"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    CEnv runtime("XDG_RUNTIME_DIR", c.Runtime);
    EXPECT_EQ(os::CLinuxSystem::MutexLockPath(c.Name), c.Path);
  }
}

TEST(LinuxSystem, NamedMutexIsHeldUntilReleased) {
  testutil::CTempDir dir;
  CEnv runtime("XDG_RUNTIME_DIR", dir.Path().c_str());
  os::CLinuxSystem sys;
  EXPECT_EQ(os::CLinuxSystem::MutexLockPath("Vardex"), dir.File("Vardex.lock"));
  EXPECT_EQ(os::CLinuxSystem::MutexLockPath("../x/y"), dir.File("_.._x_y.lock"));

  bool existed = true;
  auto first = sys.CreateNamedMutex("Vardex", &existed);
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(existed);
  auto second = sys.CreateNamedMutex("Vardex", &existed);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(existed);
  auto other = sys.CreateNamedMutex("Other", &existed);
  EXPECT_FALSE(existed);
  second.reset();
  first.reset();
  auto third = sys.CreateNamedMutex("Vardex", &existed);
  ASSERT_NE(third, nullptr);
  EXPECT_FALSE(existed);
}

TEST(LinuxSystem, StartProcessPassesArgumentsWithoutAShell) {
  testutil::CTempDir dir;
  os::CLinuxSystem sys;
  std::string odd = dir.File("a b;touch c");
  ASSERT_TRUE(sys.StartProcess("/usr/bin/touch", {odd}));
  // A real child process: wait for it, bounded.
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!std::filesystem::exists(odd) && std::chrono::steady_clock::now() < until) {
    std::this_thread::yield();
  }
  EXPECT_TRUE(std::filesystem::exists(odd));
  EXPECT_FALSE(std::filesystem::exists(dir.File("c")));
  EXPECT_FALSE(sys.StartProcess(dir.File("missing-program"), {}));
}

TEST(LinuxClock, TicksMoveForwardAndLocalTimeRoundTrips) {
  os::CLinuxClock clock;
  uint64_t a = clock.TickCount();
  clock.Sleep(0);
  EXPECT_GE(clock.TickCount(), a);
  int64_t now = clock.Now();
  std::tm local = clock.LocalTime(now);
  EXPECT_EQ(clock.MakeLocalTime(local), now);
}

// The Linux program's settings go through this pair; the shared table must
// hold for it as it does for the engine alone.
TEST(LinuxProfile, AnswersEveryIniCaseAsWindows) {
  os::CLinuxFileSystem fs;
  os::CIniProfile profile(fs, "\n");
  for (const testutil::IniCase& c : testutil::IniCases()) {
    testutil::CTempDir dir;
    EXPECT_EQ(testutil::RunIniCase(profile, c, dir.File("case.ini")), c.Expected) << c.Name;
  }
}

}  // namespace
