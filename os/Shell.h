// Starting other programs on the user's behalf: the shell's default action
// on a program, document or link (the updater, a web page), and a helper
// program run with its window hidden whose end is awaited for a short while
// (the system's task scheduler tool). The window program on Windows has the
// real one (os/win32/Win32Shell.h); tests record what would have run.
#pragma once

#include <cstdint>
#include <string>

namespace os {

struct HiddenRun {
  bool Started = false;   // the program could be started
  bool Finished = false;  // it ended within the wait
  uint32_t ExitCode = 0;  // its exit code when it ended
};

class IShell {
 public:
  virtual ~IShell() = default;
  // The shell's "open" action on `file` with `parameters` (may be empty),
  // `folder` as the working folder (empty: the current one), normal show
  // state. True when the shell reports that it started something. The
  // caller decides what may be opened: this passes `file` on as it is.
  virtual bool Open(const std::string& file, const std::string& parameters,
                    const std::string& folder) = 0;
  // Starts `program` (a full path; no search) with `commandLine` (which
  // begins with the program itself, quoted as its first argument), its
  // window hidden, and waits at most `timeoutMs` for it to end.
  virtual HiddenRun RunHidden(const std::string& program, const std::string& commandLine,
                              uint32_t timeoutMs) = 0;
  // The system folder ("C:\\Windows\\system32"), without a trailing
  // separator; empty when unknown.
  virtual std::string SystemFolder() = 0;
};

}  // namespace os
