// Start at log-on on the real system (under Wine in CI): the system
// folder's schtasks.exe run hidden with the exact command lines, the task
// scheduler's COM adjustment, the lasting registry value and the shell.
#include <windows.h>

#include <taskschd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "os/Registry.h"
#include "os/win32/ComPtr.h"
#include "os/win32/Win32Shell.h"
#include "os/win32/Win32TaskScheduler.h"
#include "tools/StartupRegistration.h"

namespace {

// The task folder "\\" of the task scheduler, or null.
os::CComPtr<ITaskFolder> RootFolder(os::CComPtr<ITaskService>* service) {
  os::CComPtr<ITaskFolder> folder;
  VARIANT empty;
  VariantInit(&empty);
  if (FAILED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                              reinterpret_cast<void**>(service->Put()))) ||
      FAILED((*service)->Connect(empty, empty, empty, empty))) {
    return folder;
  }
  os::CBstr root(L"\\");
  (*service)->GetFolder(root.Get(), folder.Put());
  return folder;
}

// A log-on task as schtasks.exe creates it (power settings at their
// defaults: no start on battery, stop on battery, priority 7), registered
// through COM where the system's schtasks.exe cannot create one.
bool RegisterTaskByXml(const wchar_t* name) {
  os::CComPtr<ITaskService> service;
  os::CComPtr<ITaskFolder> folder = RootFolder(&service);
  if (!folder) return false;
  const wchar_t* xml =
      L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>"
      L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
      L"<Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>"
      L"<Settings><DisallowStartIfOnBatteries>true</DisallowStartIfOnBatteries>"
      L"<StopIfGoingOnBatteries>true</StopIfGoingOnBatteries><Priority>7</Priority></Settings>"
      L"<Actions><Exec><Command>C:\\Program Files\\Stavrion\\StavrionGui.exe</Command>"
      L"<Arguments>/Startup</Arguments></Exec></Actions></Task>";
  os::CBstr taskName(name), text(xml);
  VARIANT empty;
  VariantInit(&empty);
  os::CComPtr<IRegisteredTask> task;
  return SUCCEEDED(folder->RegisterTask(taskName.Get(), text.Get(), TASK_CREATE_OR_UPDATE, empty,
                                        empty, TASK_LOGON_INTERACTIVE_TOKEN, empty, task.Put()));
}

struct PowerSettings {
  VARIANT_BOOL Disallow = VARIANT_TRUE, Stop = VARIANT_TRUE;
  int Priority = -1;
};
bool ReadPowerSettings(const wchar_t* name, PowerSettings* out) {
  os::CComPtr<ITaskService> service;
  os::CComPtr<ITaskFolder> folder = RootFolder(&service);
  os::CBstr taskName(name);
  os::CComPtr<IRegisteredTask> task;
  os::CComPtr<ITaskDefinition> definition;
  os::CComPtr<ITaskSettings> settings;
  return folder && SUCCEEDED(folder->GetTask(taskName.Get(), task.Put())) &&
         SUCCEEDED(task->get_Definition(definition.Put())) &&
         SUCCEEDED(definition->get_Settings(settings.Put())) &&
         SUCCEEDED(settings->get_DisallowStartIfOnBatteries(&out->Disallow)) &&
         SUCCEEDED(settings->get_StopIfGoingOnBatteries(&out->Stop)) &&
         SUCCEEDED(settings->get_Priority(&out->Priority));
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

TEST(Win32Shell, RunsHiddenAndWaits) {
  os::CWin32Shell shell;
  const std::string system = shell.SystemFolder();
  ASSERT_FALSE(system.empty());
  EXPECT_EQ(Lower(system.substr(system.size() - 8)), "system32");
  const std::string cmd = system + "\\cmd.exe";
  os::HiddenRun run = shell.RunHidden(cmd, "\"" + cmd + "\" /c exit 3", 10000);
  EXPECT_TRUE(run.Started);
  EXPECT_TRUE(run.Finished);
  EXPECT_EQ(run.ExitCode, 3u);
  run = shell.RunHidden(system + "\\no-such-program.exe", "x", 1000);
  EXPECT_FALSE(run.Started);
  // A program is never looked for elsewhere: a bare name does not start.
  EXPECT_FALSE(shell.RunHidden("cmd.exe", "cmd.exe /c exit 0", 1000).Started);
}

TEST(Win32Registry, LastingValueSetAndDeleted) {
  std::unique_ptr<os::IRegistry> registry = os::CreateNativeRegistry("");
  const std::string key = "Software\\StavrionTest\\Run";
  ASSERT_TRUE(registry->CreateKey(key));
  EXPECT_TRUE(registry->SetString(key, "Stavrion", "\"C:\\a b\\StavrionGui.exe\" /Startup"));
  wchar_t value[256] = {};
  DWORD bytes = sizeof value;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\StavrionTest\\Run", L"Stavrion",
                         RRF_RT_REG_SZ, nullptr, value, &bytes),
            ERROR_SUCCESS);
  EXPECT_STREQ(value, L"\"C:\\a b\\StavrionGui.exe\" /Startup");
  EXPECT_TRUE(registry->DeleteValue(key, "Stavrion"));
  EXPECT_TRUE(registry->DeleteValue(key, "Stavrion"));  // gone already: still fine
  EXPECT_TRUE(registry->DeleteValue("Software\\StavrionTest\\Missing", "Stavrion"));
  EXPECT_NE(RegGetValueW(HKEY_CURRENT_USER, L"Software\\StavrionTest\\Run", L"Stavrion",
                         RRF_RT_REG_SZ, nullptr, value, &bytes),
            ERROR_SUCCESS);
  EXPECT_TRUE(registry->DeleteTree("Software\\StavrionTest"));
}

// The real schtasks.exe with the command lines the program builds, then the
// task scheduler's adjustment. What the system (Wine) does not implement is
// reported, not hidden: the log line names the step that failed.
TEST(Win32TaskScheduler, CreateAdjustDelete) {
  os::CWin32Shell shell;
  const std::string schtasks = tools::SchtasksPath(shell.SystemFolder());
  const auto create =
      tools::CreateTaskCommandLine(schtasks, "C:\\Program Files\\Stavrion\\StavrionGui.exe");
  ASSERT_TRUE(create);
  const os::HiddenRun created = shell.RunHidden(schtasks, *create, tools::SCHTASKS_WAIT_MS * 10);
  ASSERT_TRUE(created.Started) << schtasks;
  std::printf("schtasks /Create: finished %d, exit code %u\n", created.Finished ? 1 : 0,
              created.ExitCode);
  os::CWin32TaskScheduler tasks;
  std::string failed;
  const bool adjusted =
      tasks.ChangeTaskSettings(tools::STARTUP_TASK_NAME, os::TaskSettingsChange(), &failed);
  std::printf("task settings changed: %d%s%s\n", adjusted ? 1 : 0, adjusted ? "" : ", failed at ",
              failed.c_str());
  if (!adjusted) {
    EXPECT_FALSE(failed.empty());
  }
  if (created.ExitCode != 0) {
    // Wine's schtasks.exe creates tasks only from XML files: the task is
    // registered through COM instead, and the adjustment runs for real.
    os::CComScope com;
    ASSERT_TRUE(RegisterTaskByXml(L"Stavrion"));
    PowerSettings before;
    ASSERT_TRUE(ReadPowerSettings(L"Stavrion", &before));
    EXPECT_EQ(before.Priority, 7);
    failed.clear();
    EXPECT_TRUE(
        tasks.ChangeTaskSettings(tools::STARTUP_TASK_NAME, os::TaskSettingsChange(), &failed))
        << failed;
    PowerSettings after;
    ASSERT_TRUE(ReadPowerSettings(L"Stavrion", &after));
    EXPECT_EQ(after.Disallow, VARIANT_FALSE);
    EXPECT_EQ(after.Stop, VARIANT_FALSE);
    EXPECT_EQ(after.Priority, 5);
  }
  // A task that is not there fails at GetTask, after the service connected.
  failed.clear();
  EXPECT_FALSE(tasks.ChangeTaskSettings("StavrionNoSuchTask", os::TaskSettingsChange(), &failed));
  std::printf("missing task: failed at %s\n", failed.c_str());
  EXPECT_FALSE(failed.empty());
  const auto remove = tools::DeleteTaskCommandLine(schtasks);
  ASSERT_TRUE(remove);
  const os::HiddenRun deleted = shell.RunHidden(schtasks, *remove, tools::SCHTASKS_WAIT_MS * 10);
  EXPECT_TRUE(deleted.Started);
  EXPECT_TRUE(deleted.Finished);
  EXPECT_EQ(deleted.ExitCode, 0u) << "the task is there to delete";
  {
    os::CComScope com;
    PowerSettings gone;
    EXPECT_FALSE(ReadPowerSettings(L"Stavrion", &gone));
  }
  std::printf("schtasks /Delete: finished %d, exit code %u\n", deleted.Finished ? 1 : 0,
              deleted.ExitCode);
}

}  // namespace
