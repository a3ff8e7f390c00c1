// Recording stand-ins for the shell and the task scheduler: what the
// program would have opened or run, and scripted answers.
#pragma once

#include <string>
#include <vector>

#include "os/Shell.h"
#include "os/TaskScheduler.h"

namespace testutil {

class CRecordingShell : public os::IShell {
 public:
  struct Opened {
    std::string File, Parameters, Folder;
  };
  struct Ran {
    std::string Program, CommandLine;
    uint32_t TimeoutMs = 0;
  };

  bool Open(const std::string& file, const std::string& parameters,
            const std::string& folder) override {
    m_Opened.push_back({file, parameters, folder});
    return m_OpenSucceeds;
  }
  os::HiddenRun RunHidden(const std::string& program, const std::string& commandLine,
                          uint32_t timeoutMs) override {
    m_Ran.push_back({program, commandLine, timeoutMs});
    return m_RunResult;
  }
  std::string SystemFolder() override { return m_SystemFolder; }

  bool m_OpenSucceeds = true;
  os::HiddenRun m_RunResult{true, true, 0};
  std::string m_SystemFolder = "C:\\Windows\\system32";
  std::vector<Opened> m_Opened;
  std::vector<Ran> m_Ran;
};

class CRecordingTaskScheduler : public os::ITaskScheduler {
 public:
  struct Change {
    std::string Name;
    os::TaskSettingsChange Settings;
  };
  bool ChangeTaskSettings(const std::string& name, const os::TaskSettingsChange& change,
                          std::string* failedStep) override {
    m_Changes.push_back({name, change});
    if (!m_FailAt.empty()) *failedStep = m_FailAt;
    return m_FailAt.empty();
  }
  std::string m_FailAt;
  std::vector<Change> m_Changes;
};

}  // namespace testutil
