// Starting the program when the user logs on. On current Windows systems a
// log-on task with the highest run level, created with the system's
// "schtasks.exe" and then adjusted through the task scheduler (no stop on
// battery, priority 5); on older systems, or when "RegisterStartup" of
// section "Workaround" asks for it, the per-user "Run" registry value. Both
// start the program with "/Startup", which delays the start.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace app {
class CSettings;
}
namespace os {
class IRegistry;
class IShell;
class ITaskScheduler;
}  // namespace os

namespace tools {

constexpr const char* STARTUP_TASK_NAME = "Stavrion";
constexpr const char* RUN_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* RUN_VALUE_NAME = "Stavrion";
// How long the window waits for "schtasks.exe" each time.
constexpr uint32_t SCHTASKS_WAIT_MS = 1000;

enum class StartupMechanism { TASK, RUN_VALUE };
// The task on systems with a major version above 5 unless the workaround
// asks for the "Run" value.
StartupMechanism ChooseStartupMechanism(uint32_t osMajorVersion, int32_t registerStartup);
// Whether the system has the task scheduler at all (major version above 5).
bool HasTaskScheduler(uint32_t osMajorVersion);

// "schtasks.exe" in the system folder; empty when the folder is unknown
// (the bare name would be looked for in the program's own folder first).
std::string SchtasksPath(const std::string& systemFolder);
// The arguments that create and delete the log-on task.
std::vector<std::string> CreateTaskArguments(const std::string& exePath);
std::vector<std::string> DeleteTaskArguments();
// The whole command lines (program quoted first); nothing when a path
// cannot be passed on a command line.
std::optional<std::string> CreateTaskCommandLine(const std::string& schtasks,
                                                 const std::string& exePath);
std::optional<std::string> DeleteTaskCommandLine(const std::string& schtasks);
// The "Run" value: "\"%s\" /Startup".
std::string RunValueText(const std::string& exePath);

// The start-up check of the window's initialisation and the registration
// the settings switch on and off.
class CStartupRegistration {
 public:
  // `tasks` may be null (no task scheduler interface: the task keeps the
  // settings "schtasks.exe" gave it). `exePath` is the program's full path.
  CStartupRegistration(app::CSettings& settings, os::IShell& shell, os::ITaskScheduler* tasks,
                       os::IRegistry& registry, std::string exePath, uint32_t osMajorVersion);

  // "Startup" on: registers once ("StartupFixed" is then written 1 and
  // later starts leave the registration alone). Returns the start-up flag.
  bool CheckStartup();
  // Registers with the chosen mechanism; once it is in place the other one
  // is removed, so the program never starts twice.
  void RegisterLogonStart();
  // Removes both mechanisms, whichever was used before.
  void UnregisterLogonStart();
  // "Startup" as last applied.
  bool StartupFlag() const { return m_StartupFlag; }

 private:
  bool RunSchtasks(const std::optional<std::string>& commandLine, const char* what);
  bool DeleteTask();
  bool DeleteRunValue();

  app::CSettings& m_Settings;
  os::IShell& m_Shell;
  os::ITaskScheduler* m_Tasks;
  os::IRegistry& m_Registry;
  std::string m_ExePath;
  uint32_t m_OsMajor;
  bool m_StartupFlag = false;
};

}  // namespace tools
