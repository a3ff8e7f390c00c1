#include "os/Process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace os {

bool IsPrivileged() { return geteuid() == 0; }

bool IsWindowsBuild() { return false; }

std::string GetEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value == nullptr ? std::string() : std::string(value);
}

bool StartDetached(const std::string& program, const std::vector<std::string>& arguments,
                   const EnvironmentList& extra, std::string* error,
                   std::function<void(int status)> onExit) {
  if (program.empty() || program.find('\0') != std::string::npos) {
    *error = "no program to start";
    return false;
  }
  std::vector<std::string> env;
  for (const auto& [name, value] : extra) {
    if (name.empty() || name.find_first_of(std::string("=\0", 2)) != std::string::npos ||
        value.find('\0') != std::string::npos) {
      *error = "environment variable name or value not allowed: " + name;
      return false;
    }
    env.push_back(name + "=" + value);
  }
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    const char* eq = std::strchr(*e, '=');
    const std::string name =
        eq == nullptr ? std::string(*e) : std::string(*e, static_cast<size_t>(eq - *e));
    bool replaced = false;
    for (const auto& entry : extra) replaced = replaced || entry.first == name;
    if (!replaced) env.emplace_back(*e);
  }
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args;
  args.push_back(program);
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : args) {
    if (a.find('\0') != std::string::npos) {
      *error = "argument holds a NUL";
      return false;
    }
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);

  // The child starts with no signal blocked and the default handling of the
  // signals a monitor changes (it blocks SIGTERM and SIGINT to stop cleanly
  // and ignores SIGPIPE for its sockets); otherwise the child could not be
  // stopped with SIGTERM.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGINT);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  const int rc = program.find('/') == std::string::npos
                     ? posix_spawnp(&pid, program.c_str(), nullptr, &attr, argv.data(), envp.data())
                     : posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), envp.data());
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    *error = "cannot start " + program + ": " + std::strerror(rc);
    return false;
  }
  std::thread([pid, onExit = std::move(onExit)]() {
    int status = 0;
    pid_t got = 0;
    while ((got = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (onExit) onExit(got == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }).detach();
  return true;
}

}  // namespace os
