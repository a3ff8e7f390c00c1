#include <gtest/gtest.h>

#include "app/Settings.h"
#include "os/IniProfile.h"
#include "os/MemoryRegistry.h"
#include "tests/support/AppFakes.h"
#include "tests/support/ShellFakes.h"
#include "tests/support/StdFileSystem.h"
#include "tests/support/TempDir.h"
#include "tools/StartupRegistration.h"

namespace {

constexpr const char* EXE = "C:\\Program Files\\Stavrion\\StavrionGui.exe";
constexpr const char* CREATE_LINE =
    "\"C:\\Windows\\system32\\schtasks.exe\" /Create /tn Stavrion /tr "
    "\"\\\"C:\\Program Files\\Stavrion\\StavrionGui.exe\\\" /Startup\" /sc ONLOGON /RL HIGHEST /F";
constexpr const char* DELETE_LINE =
    "\"C:\\Windows\\system32\\schtasks.exe\" /Delete /tn Stavrion /F";

// How the task's program splits its command line (CommandLineToArgvW's rules
// for arguments after the first).
std::vector<std::string> SplitArguments(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  // The program: up to the closing quote.
  if (!line.empty() && line[0] == '"') i = line.find('"', 1) + 1;
  for (;;) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      size_t slashes = 0;
      while (i < line.size() && line[i] == '\\') {
        ++slashes;
        ++i;
      }
      if (i < line.size() && line[i] == '"') {
        arg.append(slashes / 2, '\\');
        if (slashes % 2 == 1) {
          arg.push_back('"');
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        arg.append(slashes, '\\');
        if (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t')))
          arg.push_back(line[i++]);
      }
    }
    out.push_back(arg);
  }
  return out;
}

TEST(StartupCommandLines, AreExactAndSplitBackIntoTheTaskAction) {
  EXPECT_EQ(tools::SchtasksPath("C:\\Windows\\system32"), "C:\\Windows\\system32\\schtasks.exe");
  EXPECT_EQ(tools::SchtasksPath("C:\\Windows\\system32\\"), "C:\\Windows\\system32\\schtasks.exe");
  EXPECT_EQ(tools::SchtasksPath(""), "");
  const auto create =
      tools::CreateTaskCommandLine(tools::SchtasksPath("C:\\Windows\\system32"), EXE);
  ASSERT_TRUE(create);
  EXPECT_EQ(*create, CREATE_LINE);
  const std::vector<std::string> args = SplitArguments(*create);
  ASSERT_EQ(args.size(), 10u);
  EXPECT_EQ(args[4], std::string("\"") + EXE + "\" /Startup");
  EXPECT_EQ(tools::DeleteTaskCommandLine("C:\\Windows\\system32\\schtasks.exe"), DELETE_LINE);
  EXPECT_EQ(tools::RunValueText(EXE), std::string("\"") + EXE + "\" /Startup");
  // Nothing is run without the system folder, or with a path that could
  // end the task's program early.
  EXPECT_FALSE(tools::CreateTaskCommandLine("", EXE));
  EXPECT_FALSE(tools::CreateTaskCommandLine("C:\\s.exe", "C:\\a\" /evil.exe"));
  EXPECT_FALSE(tools::DeleteTaskCommandLine(""));
}

TEST(StartupMechanism, TaskOnCurrentSystemsUnlessTheWorkaroundAsks) {
  struct Case {
    uint32_t Major;
    int32_t Workaround;
    tools::StartupMechanism Expected;
  } cases[] = {
      {10, 0, tools::StartupMechanism::TASK},      {6, 0, tools::StartupMechanism::TASK},
      {5, 0, tools::StartupMechanism::RUN_VALUE},  {10, 1, tools::StartupMechanism::RUN_VALUE},
      {10, 2, tools::StartupMechanism::RUN_VALUE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tools::ChooseStartupMechanism(c.Major, c.Workaround), c.Expected)
        << c.Major << " " << c.Workaround;
  }
}

class StartupFixture : public ::testing::Test {
 protected:
  StartupFixture() : m_Profile(m_Files), m_Settings(m_Profile, m_Clock, m_Dir.File("s.ini")) {}
  tools::CStartupRegistration Make(uint32_t major = 10) {
    return tools::CStartupRegistration(m_Settings, m_Shell, &m_Tasks, m_Registry, EXE, major);
  }
  std::optional<std::string> RunValue() const {
    auto v = m_Registry.Get(tools::RUN_KEY, tools::RUN_VALUE_NAME);
    if (!v) return std::nullopt;
    return std::get<std::string>(*v);
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (const auto& r : m_Shell.m_Ran) {
      EXPECT_EQ(r.Program, "C:\\Windows\\system32\\schtasks.exe");
      EXPECT_EQ(r.TimeoutMs, 1000u);
      lines.push_back(r.CommandLine);
    }
    return lines;
  }

  testutil::CTempDir m_Dir;
  testutil::CStdFileSystem m_Files;
  os::CIniProfile m_Profile;
  testutil::CFakeClock m_Clock;
  app::CSettings m_Settings;
  testutil::CRecordingShell m_Shell;
  testutil::CRecordingTaskScheduler m_Tasks;
  os::CMemoryRegistry m_Registry;
};

TEST_F(StartupFixture, FirstStartRegistersTheTaskOnceAndAdjustsIt) {
  m_Settings.Set(app::Setting::STARTUP, 1);
  tools::CStartupRegistration r = Make();
  EXPECT_TRUE(r.CheckStartup());
  EXPECT_EQ(Lines(), std::vector<std::string>{CREATE_LINE});
  ASSERT_EQ(m_Tasks.m_Changes.size(), 1u);
  const auto& change = m_Tasks.m_Changes[0];
  EXPECT_EQ(change.Name, "Stavrion");
  EXPECT_FALSE(change.Settings.DisallowStartIfOnBatteries);
  EXPECT_FALSE(change.Settings.StopIfGoingOnBatteries);
  EXPECT_EQ(change.Settings.Priority, 5);
  EXPECT_EQ(change.Settings.RegisterFlags, 6);
  EXPECT_EQ(change.Settings.LogonType, 3);
  EXPECT_EQ(m_Settings.GetText(app::Setting::STARTUP_FIXED), "1");
  // Later starts leave it alone.
  tools::CStartupRegistration again = Make();
  EXPECT_TRUE(again.CheckStartup());
  EXPECT_EQ(m_Shell.m_Ran.size(), 1u);
}

TEST_F(StartupFixture, StartupOffOnlyMarksTheCheckDone) {
  tools::CStartupRegistration r = Make();
  EXPECT_FALSE(r.CheckStartup());
  EXPECT_TRUE(m_Shell.m_Ran.empty());
  EXPECT_EQ(m_Settings.GetText(app::Setting::STARTUP_FIXED), "1");
}

TEST_F(StartupFixture, WorkaroundAndOldSystemsUseTheRunValue) {
  m_Settings.Set(app::Setting::REGISTER_STARTUP, 1);
  Make().RegisterLogonStart();
  EXPECT_EQ(RunValue(), std::string("\"") + EXE + "\" /Startup");
  EXPECT_FALSE(m_Registry.IsVolatile(tools::RUN_KEY));
  // The task from before the workaround was set is removed.
  EXPECT_EQ(Lines(), std::vector<std::string>{DELETE_LINE});
  EXPECT_TRUE(m_Tasks.m_Changes.empty());

  // A system without the task scheduler: the value alone, no schtasks.
  m_Shell.m_Ran.clear();
  m_Settings.Set(app::Setting::REGISTER_STARTUP, 0);
  Make(5).RegisterLogonStart();
  EXPECT_TRUE(m_Shell.m_Ran.empty());
  EXPECT_TRUE(RunValue());
}

TEST_F(StartupFixture, TurningOffRemovesTaskAndRunValueWhicheverWasUsed) {
  m_Registry.CreateKey(tools::RUN_KEY);
  m_Registry.SetString(tools::RUN_KEY, tools::RUN_VALUE_NAME, "old");
  m_Registry.SetString(tools::RUN_KEY, "Other", "kept");
  Make().UnregisterLogonStart();
  EXPECT_EQ(Lines(), std::vector<std::string>{DELETE_LINE});
  EXPECT_FALSE(RunValue());
  EXPECT_TRUE(m_Registry.Get(tools::RUN_KEY, "Other"));
  // With the workaround set the task is removed too.
  m_Shell.m_Ran.clear();
  m_Settings.Set(app::Setting::REGISTER_STARTUP, 1);
  Make().UnregisterLogonStart();
  EXPECT_EQ(Lines(), std::vector<std::string>{DELETE_LINE});
}

TEST_F(StartupFixture, TheOtherMechanismGoesOnlyOnceTheTaskIsThere) {
  m_Registry.CreateKey(tools::RUN_KEY);
  m_Registry.SetString(tools::RUN_KEY, tools::RUN_VALUE_NAME, "old");
  struct Case {
    os::HiddenRun Run;
    bool ValueRemoved;
  } cases[] = {
      {{false, false, 0}, false},  // schtasks did not start
      {{true, false, 0}, false},   // still running after the wait
      {{true, true, 1}, false},    // refused
      {{true, true, 0}, true},
  };
  for (const Case& c : cases) {
    m_Shell.m_RunResult = c.Run;
    Make().RegisterLogonStart();
    EXPECT_EQ(!RunValue().has_value(), c.ValueRemoved);
  }
  // The adjustment's failure is only logged.
  m_Tasks.m_FailAt = "GetTask";
  Make().RegisterLogonStart();
  EXPECT_EQ(m_Tasks.m_Changes.size(), 5u);
}

TEST_F(StartupFixture, NoSystemFolderRunsNothing) {
  m_Shell.m_SystemFolder.clear();
  Make().RegisterLogonStart();
  Make().UnregisterLogonStart();
  EXPECT_TRUE(m_Shell.m_Ran.empty());
}

}  // namespace
