#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/StavrionApp.h"
#include "base/DebugLog.h"
#include "tests/support/AppFakes.h"
#include "tests/support/TempDir.h"

namespace {

using Outcome = app::CStavrionApp::Outcome;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Log lines without their time stamps.
std::vector<std::string> LogTexts(const std::string& log) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < log.size()) {
    size_t end = log.find('\n', pos);
    std::string line = log.substr(pos, end - pos);
    lines.push_back(line.size() > 9 ? line.substr(9) : line);
    pos = end == std::string::npos ? log.size() : end + 1;
  }
  return lines;
}

struct AppCase {
  const char* Name;
  std::vector<std::string> Args;
  const char* Settings;  // content of prog.ini, null: none
  bool OtherInstance;    // another copy holds the mutex
  Outcome Result;
  std::vector<uint32_t> Sleeps;
  bool Relaunched;
  const char* DebugModeAfter;
  std::vector<std::string> Log;  // texts of the log lines; empty: no log file
};

class StavrionAppTest : public ::testing::TestWithParam<AppCase> {
 protected:
  ~StavrionAppTest() override { base::SetDebugLogLevel(0); }
  testutil::CTempDir m_Dir;
  testutil::CFakeMutexTable m_Mutexes;
};

TEST_P(StavrionAppTest, StartsAsTheCommandLineSays) {
  const AppCase& c = GetParam();
  std::string exe = m_Dir.File("prog.exe");
  std::string ini = m_Dir.File("prog.ini");
  std::string handOff = m_Dir.File("m.out");
  if (c.Settings) std::ofstream(ini, std::ios::binary) << c.Settings;

  testutil::CTestProcess other(m_Mutexes, exe, handOff);
  std::unique_ptr<os::INamedMutex> held;
  if (c.OtherInstance) {
    bool existed = false;
    held = other.System.CreateNamedMutex("Vardex", &existed);
  }

  testutil::CTestProcess process(m_Mutexes, exe, handOff);
  int windows = 0;
  int holdersDuringWindow = -1;
  {
    app::CStavrionApp application(process.Get());
    EXPECT_FALSE(application.Run(c.Args, [&](app::CStavrionApp&) {
      ++windows;
      holdersDuringWindow = m_Mutexes.Holders["Vardex"];
    }));
    EXPECT_EQ(application.GetOutcome(), c.Result);
    EXPECT_EQ(application.SettingsPath(), ini);
    EXPECT_TRUE(application.Warning().empty()) << application.Warning();
  }

  EXPECT_EQ(windows, c.Result == Outcome::MAIN_WINDOW_RAN ? 1 : 0);
  if (c.Result == Outcome::MAIN_WINDOW_RAN) {
    bool zedarareda = !c.Args.empty() && c.Args[0] == "/Zedarareda";
    EXPECT_EQ(holdersDuringWindow, (c.OtherInstance ? 1 : 0) + (zedarareda ? 0 : 1));
    EXPECT_EQ(ReadText(handOff), m_Dir.File(""));
  } else {
    EXPECT_FALSE(std::filesystem::exists(handOff));
  }
  EXPECT_EQ(m_Mutexes.Holders["Vardex"], c.OtherInstance ? 1 : 0);  // released at the end
  EXPECT_EQ(process.Clock.m_Sleeps, c.Sleeps);
  if (c.Relaunched) {
    ASSERT_EQ(process.System.m_Started.size(), 1u);
    EXPECT_EQ(process.System.m_Started[0].Path, exe);
    EXPECT_TRUE(process.System.m_Started[0].Args.empty());
  } else {
    EXPECT_TRUE(process.System.m_Started.empty());
  }
  EXPECT_EQ(process.Profile.GetString("Setting", "DebugMode", "<none>", ini), c.DebugModeAfter);
  std::string log = m_Dir.File("prog.log");
  if (c.Log.empty()) {
    EXPECT_FALSE(std::filesystem::exists(log));
  } else {
    EXPECT_EQ(LogTexts(ReadText(log)), c.Log);
    EXPECT_EQ(ReadText(log).rfind("00000000 ", 0), 0u);
  }
}

const AppCase APP_CASES[] = {
    {"PlainStart", {}, nullptr, false, Outcome::MAIN_WINDOW_RAN, {}, false, "0", {}},
    {"PlainStartLogged",
     {},
     "[Setting]\r\nDebugMode=1\r\n",
     false,
     Outcome::MAIN_WINDOW_RAN,
     {},
     false,
     "1",
     {"CreateMutex", "dlg.DoModal()"}},
    {"UnknownArgumentIsAPlainStart",
     {"/Other", "/Startup"},
     "[Setting]\r\nDebugMode=1\r\n",
     false,
     Outcome::MAIN_WINDOW_RAN,
     {},
     false,
     "1",
     {"CreateMutex", "dlg.DoModal()"}},
    {"DebugModeOutOfRangeRunsSilentAndStays",
     {},
     "[Setting]\r\nDebugMode=7\r\n",
     false,
     Outcome::MAIN_WINDOW_RAN,
     {},
     false,
     "7",
     {}},
    {"SecondCopyEndsSilently",
     {},
     "[Setting]\r\nDebugMode=1\r\n",
     true,
     Outcome::ALREADY_RUNNING,
     {},
     false,
     "1",
     {"CreateMutex", "ERROR_ALREADY_EXISTS"}},
    {"ZedararedaRunsBesideTheFirst",
     {"/Zedarareda"},
     "[Setting]\r\nDebugMode=1\r\n",
     true,
     Outcome::MAIN_WINDOW_RAN,
     {},
     false,
     "1",
     {"dlg.DoModal()"}},
    {"StartupLowerCaseWithoutWaitTime",
     {"/startup"},
     nullptr,
     false,
     Outcome::RELAUNCHED,
     {},
     true,
     "0",
     {}},
    {"StartupWaitsNinetySeconds",
     {"/Startup"},
     "[Setting]\r\nStartupWaitTime=9\r\n",
     true,
     Outcome::RELAUNCHED,
     {90000},
     true,
     "0",
     {}},
    {"StartupWaitsAtMostFourMinutes",
     {"/STARTUP"},
     "[Setting]\r\nStartupWaitTime=14\r\n",
     false,
     Outcome::RELAUNCHED,
     {240000},
     true,
     "0",
     {}},
    {"StartupOutOfRangeWaitsNothing",
     {"/Startup"},
     "[Setting]\r\nStartupWaitTime=15\r\n",
     false,
     Outcome::RELAUNCHED,
     {},
     true,
     "0",
     {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, StavrionAppTest, ::testing::ValuesIn(APP_CASES),
                         [](const ::testing::TestParamInfo<AppCase>& param) {
                           return param.param.Name;
                         });

class StavrionAppFiles : public ::testing::Test {
 protected:
  ~StavrionAppFiles() override { base::SetDebugLogLevel(0); }
  testutil::CTempDir m_Dir;
  testutil::CFakeMutexTable m_Mutexes;
};

TEST_F(StavrionAppFiles, FoldersComeFromTheExecutablePath) {
  testutil::CTestProcess process(m_Mutexes, m_Dir.File("prog.exe"), m_Dir.File("m.out"));
  app::CStavrionApp application(process.Get());
  application.Run({}, nullptr);
  std::string sep(1, process.Files.Separator());
  std::string folder = m_Dir.Path().string();
  EXPECT_EQ(application.ExeFolder(), folder + sep);
  EXPECT_EQ(application.CustomizationFolder(),
            folder + sep + "TslResource" + sep + "customization" + sep);
  EXPECT_EQ(application.LanguageFolder(), folder + sep + "TslResource" + sep + "language" + sep);
  EXPECT_EQ(application.SmartFolder(), folder + sep + "Smart");
  EXPECT_EQ(application.OpusDecoderPath(),
            folder + sep + "TslResource" + sep + "opus" + sep + "opusdec.exe");
  EXPECT_EQ(application.UpdaterFolder(), folder + sep + "TslResource" + sep + "wingup" + sep);
}

TEST_F(StavrionAppFiles, OldHandOffFileIsReplacedAfterAPause) {
  std::string handOff = m_Dir.File("m.out");
  std::ofstream(handOff) << "C:\\old\\folder\\";
  testutil::CTestProcess process(m_Mutexes, m_Dir.File("prog.exe"), handOff);
  app::CStavrionApp application(process.Get());
  application.Run({}, nullptr);
  EXPECT_EQ(process.Clock.m_Sleeps, std::vector<uint32_t>{100});
  EXPECT_EQ(ReadText(handOff), m_Dir.File(""));
}

TEST_F(StavrionAppFiles, UnwritableHandOffFileIsLoggedAndStartContinues) {
  std::ofstream(m_Dir.File("prog.ini")) << "[Setting]\r\nDebugMode=1\r\n";
  testutil::CTestProcess process(m_Mutexes, m_Dir.File("prog.exe"),
                                 m_Dir.File("missing-folder/m.out"));
  app::CStavrionApp application(process.Get());
  int windows = 0;
  application.Run({}, [&](app::CStavrionApp&) { ++windows; });
  EXPECT_EQ(windows, 1);
  std::vector<std::string> log = LogTexts(ReadText(m_Dir.File("prog.log")));
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0], "CreateMutex");
  EXPECT_EQ(log[1], "CFileException: Unable to save CD file...");
  EXPECT_EQ(log[3], "dlg.DoModal()");
}

TEST_F(StavrionAppFiles, UnwritableSettingsFileIsAWarning) {
  std::filesystem::create_directory(m_Dir.File("prog.ini"));
  testutil::CTestProcess process(m_Mutexes, m_Dir.File("prog.exe"), m_Dir.File("m.out"));
  app::CStavrionApp application(process.Get());
  int windows = 0;
  application.Run({}, [&](app::CStavrionApp&) { ++windows; });
  EXPECT_EQ(windows, 1);
  EXPECT_NE(application.Warning().find("prog.ini"), std::string::npos);
}

TEST(StavrionAppPaths, SettingsFileBesideTheExecutable) {
  const struct {
    const char* Exe;
    const char* Separators;
    const char* Settings;
  } cases[] = {
      {"D:\\Tools\\prog.exe", "\\/", "D:\\Tools\\prog.ini"},
      {"D:\\Tools\\prog.v2.exe", "\\/", "D:\\Tools\\prog.v2.ini"},
      // No extension: never the program itself.
      {"D:\\Tools\\prog", "\\/", "D:\\Tools\\prog.ini"},
      {"D:\\Tools.v2\\prog", "\\/", "D:\\Tools.v2\\prog.ini"},
      {"/opt/stavrion/stavrion", "/", "/opt/stavrion/stavrion.ini"},
      {"/home/u/.local/bin/stavrion", "/", "/home/u/.local/bin/stavrion.ini"},
      {"/opt/.hidden", "/", "/opt/.hidden.ini"},
      {"", "/", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(app::CStavrionApp::SettingsPathFor(c.Exe, c.Separators), c.Settings) << c.Exe;
  }
}

}  // namespace
