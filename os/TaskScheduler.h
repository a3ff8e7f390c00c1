// The system's task scheduler, for the one thing the command-line tool
// cannot set when it creates the log-on task: the task's power and priority
// settings. Windows has the real one (os/win32/Win32TaskScheduler.h, over
// the Task Scheduler COM interfaces); tests record the request.
#pragma once

#include <cstdint>
#include <string>

namespace os {

// What is changed in a task's settings, and how the changed definition is
// registered again.
struct TaskSettingsChange {
  bool DisallowStartIfOnBatteries = false;
  bool StopIfGoingOnBatteries = false;
  int32_t Priority = 5;
  // TASK_CREATE_OR_UPDATE.
  int32_t RegisterFlags = 6;
  // TASK_LOGON_INTERACTIVE_TOKEN.
  int32_t LogonType = 3;
};

class ITaskScheduler {
 public:
  virtual ~ITaskScheduler() = default;
  // Opens the task `name` of the root task folder, changes its settings as
  // `change` says and registers it again under the same name (user,
  // password and security descriptor empty). False at the first step that
  // fails, with that step's name in *failedStep ("Connect",
  // "GetTask" ...); nothing is changed then.
  virtual bool ChangeTaskSettings(const std::string& name, const TaskSettingsChange& change,
                                  std::string* failedStep) = 0;
};

}  // namespace os
