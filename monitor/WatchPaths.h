// Where `stavrion watch` keeps its files.
//
// Linux, ordinary user (XDG base directories):
//   settings      $XDG_CONFIG_HOME/stavrion/stavrion.ini  (~/.config/...)
//   history root  $XDG_STATE_HOME/stavrion                (~/.local/state/...)
//   status tree   $XDG_RUNTIME_DIR/stavrion/registry      (else the history root's "run" folder)
// Linux, root (a system service):
//   /etc/stavrion/stavrion.ini, /var/lib/stavrion, /run/stavrion/registry
// Windows: the settings file beside the program with its name and ".ini",
//   the history root the window program uses beside it ("Smart-" and the
//   watched machine's first network adapter address, see CHistoryLog::
//   ChooseHistoryRoot), so both keep one history; the status tree is the
//   volatile registry key of the current user.
// With --config FILE: the settings file is FILE, and the history root (with
// "Exchange.ini") and the status tree ("registry") are its folder, so one
// folder holds everything of that monitor.
#pragma once

#include <functional>
#include <string>

#include "os/Platform.h"

namespace monitor {

struct WatchPaths {
  std::string Settings;     // the settings file
  std::string HistoryRoot;  // history folders of the disks and "Exchange.ini"
  std::string Exchange;     // "Exchange.ini" in the history root
  std::string StatusTree;   // root of the file tree that stands for the registry
};

struct WatchEnvironment {
  // The value of an environment variable; empty when it is not set.
  std::function<std::string(const std::string& name)> Getenv;
  bool Root = false;     // effective user id 0
  bool Windows = false;  // Windows paths
  // The running program's full path (Windows).
  std::string ExecutablePath;
  // Windows: the file system and the system of the machine watched, whose
  // first network adapter names the history root (null: none known, the
  // root without an address).
  os::IFileSystem* Files = nullptr;
  os::ISystem* System = nullptr;
};

// This process's: its environment variables, whether it runs as root, the
// system, the program's path, for the machine `platform` (its files and
// its system).
WatchEnvironment ProcessWatchEnvironment(const os::Platform& platform);

// The paths for `config` (the --config value; empty for the defaults).
// False, with a one-line *error, when no folder can be chosen (a user with
// neither the XDG variables nor HOME set).
bool ResolveWatchPaths(const WatchEnvironment& env, const std::string& config, WatchPaths* paths,
                       std::string* error);

}  // namespace monitor
