#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/DebugLogSink.h"
#include "base/DebugLog.h"
#include "tests/support/AppFakes.h"
#include "tests/support/TempDir.h"

namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class DebugLogTest : public ::testing::Test {
 protected:
  DebugLogTest() : m_Process(m_Mutexes, m_Dir.File("prog.exe"), "") {}
  ~DebugLogTest() override {
    base::SetDebugLogSink(nullptr);
    base::SetDebugLogLevel(0);
  }
  void Start(int level) {
    base::SetDebugLogLevel(level);
    base::SetDebugLogSink(&m_Sink);
  }
  std::string Log() { return ReadText(m_Dir.File("prog.log")); }

  testutil::CTempDir m_Dir;
  testutil::CFakeMutexTable m_Mutexes;
  testutil::CTestProcess m_Process;
  app::CDebugLogSink m_Sink{m_Process.Get()};
};

TEST_F(DebugLogTest, LinesCarryMillisecondsSinceTheFirstLine) {
  EXPECT_EQ(m_Sink.LogPath(), m_Dir.File("prog.log"));
  Start(1);
  base::DebugLog("CreateMutex");
  m_Process.Clock.Advance(1234);
  base::DebugLogF("disk %d of %s", 3, "8");
  m_Process.Clock.Advance(100000000);
  base::DebugLog("late");
  EXPECT_EQ(Log(), "00000000 CreateMutex\n00001234 disk 3 of 8\n100001234 late\n");
  EXPECT_TRUE(m_Process.System.m_Messages.empty());
}

TEST_F(DebugLogTest, CarriageReturnsAreDroppedAndNoBlankLineFollows) {
  Start(1);
  const struct {
    const char* Text;
    const char* Line;
  } cases[] = {
      {"ends in crlf\r\n", "00000000 ends in crlf\n"},
      {"ends in lf\n", "00000000 ends in lf\n"},
      {"a\r\nb", "00000000 a\nb\n"},
      {"cr\ronly", "00000000 cronly\n"},
      {"", "00000000 \n"},
  };
  std::string expected;
  for (const auto& c : cases) {
    base::DebugLog(c.Text);
    expected += c.Line;
  }
  EXPECT_EQ(Log(), expected);
}

TEST_F(DebugLogTest, LevelZeroDeletesTheLeftoverLogAndWritesNothing) {
  { std::ofstream(m_Dir.File("prog.log")) << "00000000 old run\n"; }
  Start(0);
  base::DebugLog("CreateMutex");
  base::DebugLog("more");
  EXPECT_FALSE(std::filesystem::exists(m_Dir.File("prog.log")));
}

TEST_F(DebugLogTest, EachRunStartsWithANewLog) {
  { std::ofstream(m_Dir.File("prog.log")) << "00000000 old run\n"; }
  Start(1);
  base::DebugLog("first");
  base::DebugLog("second");
  EXPECT_EQ(Log(), "00000000 first\n00000000 second\n");
}

TEST_F(DebugLogTest, LevelTwoAlsoShowsEveryLine) {
  Start(2);
  base::DebugLog("CreateMutex");
  base::DebugLog("SelectDrive");
  EXPECT_EQ(Log(), "00000000 CreateMutex\n00000000 SelectDrive\n");
  EXPECT_EQ(m_Process.System.m_Messages,
            (std::vector<std::string>{"|00000000 CreateMutex\n", "|00000000 SelectDrive\n"}));
}

TEST_F(DebugLogTest, LevelsOutsideZeroToTwoMeanOff) {
  for (int level : {-1, 3, 7}) {
    base::SetDebugLogLevel(level);
    EXPECT_EQ(base::GetDebugLogLevel(), 0) << level;
  }
}

TEST(DebugLogPath, ReplacesTheExtensionOfTheFileName) {
  EXPECT_EQ(base::DebugLogPathFor("C:\\Tools\\prog.exe"), "C:\\Tools\\prog.log");
  EXPECT_EQ(base::DebugLogPathFor("/opt/my.dir/stavrion"), "/opt/my.dir/stavrion.log");
  EXPECT_EQ(base::DebugLogPathFor("/opt/bin/a.b.c"), "/opt/bin/a.b.log");
}

}  // namespace
