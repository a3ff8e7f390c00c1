// The shell and hidden helper programs of the window program on Windows.
#pragma once

#include "os/Shell.h"

namespace os {

class CWin32Shell : public IShell {
 public:
  // ShellExecuteW "open", SW_SHOWNORMAL.
  bool Open(const std::string& file, const std::string& parameters,
            const std::string& folder) override;
  // CreateProcessW with the window hidden (STARTF_USESHOWWINDOW, SW_HIDE),
  // no handles inherited, then WaitForSingleObject.
  HiddenRun RunHidden(const std::string& program, const std::string& commandLine,
                      uint32_t timeoutMs) override;
  // GetSystemDirectoryW.
  std::string SystemFolder() override;
};

}  // namespace os
