#include "monitor/WatchPaths.h"

#include <utility>

#include "monitor/HistoryLog.h"
#include "os/Process.h"

namespace monitor {
namespace {

// The folder part of a path ("." for a bare name), with either separator.
std::string FolderOf(const std::string& path, bool windows) {
  const size_t slash = windows ? path.find_last_of("\\/") : path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return path.substr(0, 1);
  if (windows && slash == 2 && path[1] == ':') return path.substr(0, 3);  // "C:\"
  return path.substr(0, slash);
}

std::string Join(const std::string& folder, const std::string& name, bool windows) {
  const char sep = windows ? '\\' : '/';
  if (!folder.empty() && (folder.back() == sep || folder.back() == '/')) return folder + name;
  return folder + sep + name;
}

// An XDG variable is used only when it holds an absolute path.
std::string XdgFolder(const WatchEnvironment& env, const char* variable, const char* fallback) {
  std::string value = env.Getenv(variable);
  if (!value.empty() && value[0] == '/') return value;
  const std::string home = env.Getenv("HOME");
  if (home.empty() || home[0] != '/') return {};
  return Join(home, fallback, false);
}

}  // namespace

bool ResolveWatchPaths(const WatchEnvironment& env, const std::string& config, WatchPaths* paths,
                       std::string* error) {
  const bool win = env.Windows;
  if (!config.empty()) {
    const std::string folder = FolderOf(config, win);
    paths->Settings = config;
    paths->HistoryRoot = folder;
    paths->StatusTree = Join(folder, "registry", win);
  } else if (win) {
    const std::string& exe = env.ExecutablePath;
    const size_t slash = exe.find_last_of("\\/");
    const size_t dot = exe.find_last_of('.');
    paths->Settings = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                          ? exe.substr(0, dot) + ".ini"
                          : exe;
    // The window program's root for the same machine.
    const std::string smart = Join(FolderOf(exe, true), "Smart", true);
    std::string root =
        env.Files != nullptr && env.System != nullptr
            ? CHistoryLog::ChooseHistoryRoot(*env.Files, *env.System, smart)
            : CHistoryLog::HistoryRoot(smart, std::nullopt,
                                       env.Files != nullptr ? env.Files->Separator() : '\\');
    while (root.size() > 1 && (root.back() == '\\' || root.back() == '/')) root.pop_back();
    paths->HistoryRoot = root;
    paths->StatusTree.clear();  // the registry itself
  } else if (env.Root) {
    paths->Settings = "/etc/stavrion/stavrion.ini";
    paths->HistoryRoot = "/var/lib/stavrion";
    paths->StatusTree = "/run/stavrion/registry";
  } else {
    const std::string configHome = XdgFolder(env, "XDG_CONFIG_HOME", ".config");
    const std::string stateHome = XdgFolder(env, "XDG_STATE_HOME", ".local/state");
    if (configHome.empty() || stateHome.empty()) {
      *error =
          "cannot choose a folder for the settings: neither XDG_CONFIG_HOME nor HOME is set "
          "(give --config FILE)";
      return false;
    }
    paths->Settings = Join(configHome, "stavrion/stavrion.ini", false);
    paths->HistoryRoot = Join(stateHome, "stavrion", false);
    const std::string runtime = env.Getenv("XDG_RUNTIME_DIR");
    paths->StatusTree = !runtime.empty() && runtime[0] == '/'
                            ? Join(runtime, "stavrion/registry", false)
                            : Join(paths->HistoryRoot, "run/registry", false);
  }
  paths->Exchange = Join(paths->HistoryRoot, "Exchange.ini", win);
  return true;
}

WatchEnvironment ProcessWatchEnvironment(const os::Platform& platform) {
  WatchEnvironment env;
  env.Getenv = os::GetEnvironment;
  env.Root = os::IsPrivileged();
  env.Windows = os::IsWindowsBuild();
  env.ExecutablePath = platform.Files.ExecutablePath();
  env.Files = &platform.Files;
  env.System = &platform.System;
  return env;
}

}  // namespace monitor
