#include "tools/StartupRegistration.h"

#include "app/Settings.h"
#include "base/DebugLog.h"
#include "os/Registry.h"
#include "os/Shell.h"
#include "os/TaskScheduler.h"
#include "os/WindowsCommandLine.h"

namespace tools {

bool HasTaskScheduler(uint32_t osMajorVersion) { return osMajorVersion > 5; }

StartupMechanism ChooseStartupMechanism(uint32_t osMajorVersion, int32_t registerStartup) {
  return HasTaskScheduler(osMajorVersion) && registerStartup == 0 ? StartupMechanism::TASK
                                                                  : StartupMechanism::RUN_VALUE;
}

std::string SchtasksPath(const std::string& systemFolder) {
  if (systemFolder.empty()) return {};
  const char last = systemFolder.back();
  return systemFolder + (last == '\\' || last == '/' ? "" : "\\") + "schtasks.exe";
}

std::vector<std::string> CreateTaskArguments(const std::string& exePath) {
  // The task's action is the program in quotes followed by "/Startup".
  return {"/Create", "/tn", STARTUP_TASK_NAME, "/tr", "\"" + exePath + "\" /Startup", "/sc",
          "ONLOGON", "/RL", "HIGHEST",         "/F"};
}

std::vector<std::string> DeleteTaskArguments() {
  return {"/Delete", "/tn", STARTUP_TASK_NAME, "/F"};
}

std::optional<std::string> CreateTaskCommandLine(const std::string& schtasks,
                                                 const std::string& exePath) {
  // A path holding a quote could end the task's program early; Windows
  // paths never hold one.
  if (schtasks.empty() || exePath.find('"') != std::string::npos) return std::nullopt;
  return os::BuildWindowsCommandLine(schtasks, CreateTaskArguments(exePath));
}

std::optional<std::string> DeleteTaskCommandLine(const std::string& schtasks) {
  if (schtasks.empty()) return std::nullopt;
  return os::BuildWindowsCommandLine(schtasks, DeleteTaskArguments());
}

std::string RunValueText(const std::string& exePath) { return "\"" + exePath + "\" /Startup"; }

CStartupRegistration::CStartupRegistration(app::CSettings& settings, os::IShell& shell,
                                           os::ITaskScheduler* tasks, os::IRegistry& registry,
                                           std::string exePath, uint32_t osMajorVersion)
    : m_Settings(settings),
      m_Shell(shell),
      m_Tasks(tasks),
      m_Registry(registry),
      m_ExePath(std::move(exePath)),
      m_OsMajor(osMajorVersion) {}

bool CStartupRegistration::CheckStartup() {
  if (m_Settings.Get(app::Setting::STARTUP) == 0) {
    m_StartupFlag = false;
  } else {
    m_StartupFlag = true;
    if (m_Settings.Get(app::Setting::STARTUP_FIXED) == 1) return m_StartupFlag;
    RegisterLogonStart();
  }
  m_Settings.SetText(app::Setting::STARTUP_FIXED, "1");
  return m_StartupFlag;
}

bool CStartupRegistration::RunSchtasks(const std::optional<std::string>& commandLine,
                                       const char* what) {
  if (!commandLine) {
    base::DebugLogF("%s: no command line for schtasks.exe", what);
    return false;
  }
  const os::HiddenRun run =
      m_Shell.RunHidden(SchtasksPath(m_Shell.SystemFolder()), *commandLine, SCHTASKS_WAIT_MS);
  if (!run.Started) {
    base::DebugLogF("%s: schtasks.exe did not start", what);
    return false;
  }
  if (!run.Finished) {
    base::DebugLogF("%s: schtasks.exe still running after %u ms", what, SCHTASKS_WAIT_MS);
    return false;
  }
  if (run.ExitCode != 0) base::DebugLogF("%s: schtasks.exe ended with %u", what, run.ExitCode);
  return run.ExitCode == 0;
}

bool CStartupRegistration::DeleteTask() {
  if (!HasTaskScheduler(m_OsMajor)) return true;
  return RunSchtasks(DeleteTaskCommandLine(SchtasksPath(m_Shell.SystemFolder())),
                     "UnregisterLogonStart");
}

bool CStartupRegistration::DeleteRunValue() {
  return m_Registry.DeleteValue(RUN_KEY, RUN_VALUE_NAME);
}

void CStartupRegistration::RegisterLogonStart() {
  const StartupMechanism mechanism =
      ChooseStartupMechanism(m_OsMajor, m_Settings.Get(app::Setting::REGISTER_STARTUP));
  if (mechanism == StartupMechanism::TASK) {
    const std::string schtasks = SchtasksPath(m_Shell.SystemFolder());
    const bool created =
        RunSchtasks(CreateTaskCommandLine(schtasks, m_ExePath), "RegisterLogonStart");
    if (m_Tasks != nullptr) {
      std::string failed;
      if (!m_Tasks->ChangeTaskSettings(STARTUP_TASK_NAME, os::TaskSettingsChange(), &failed)) {
        base::DebugLogF("RegisterLogonStart: task settings not changed (%s)", failed.c_str());
      }
    }
    if (created) DeleteRunValue();
    return;
  }
  const bool set = m_Registry.CreateKey(RUN_KEY) &&
                   m_Registry.SetString(RUN_KEY, RUN_VALUE_NAME, RunValueText(m_ExePath));
  if (!set) {
    base::DebugLog("RegisterLogonStart: the Run value could not be written");
    return;
  }
  DeleteTask();
}

void CStartupRegistration::UnregisterLogonStart() {
  DeleteTask();
  if (!DeleteRunValue()) base::DebugLog("UnregisterLogonStart: the Run value stays");
}

}  // namespace tools
