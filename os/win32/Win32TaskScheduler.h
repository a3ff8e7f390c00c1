// The task scheduler of Windows through its COM interfaces (ITaskService).
#pragma once

#include "os/TaskScheduler.h"

namespace os {

class CWin32TaskScheduler : public ITaskScheduler {
 public:
  // Joins COM for the call when the thread has not joined it yet. The
  // steps: CoCreateInstance(CLSID_TaskScheduler), Connect, GetFolder("\\"),
  // GetTask, get_Definition, get_Settings, put_DisallowStartIfOnBatteries,
  // put_StopIfGoingOnBatteries, put_Priority, RegisterTaskDefinition.
  bool ChangeTaskSettings(const std::string& name, const TaskSettingsChange& change,
                          std::string* failedStep) override;
};

}  // namespace os
