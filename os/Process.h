// The running process and the programs it starts on its own account (not
// through the platform handed to the core, which may be a simulated
// machine): whether it runs with the system's full rights, and starting a
// helper program with extra environment variables.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace os {

using EnvironmentList = std::vector<std::pair<std::string, std::string>>;

// Root (effective user id 0) on Linux; a member of the administrators with
// an elevated token on Windows.
bool IsPrivileged();

// True when the program was built for Windows.
bool IsWindowsBuild();

// The value of an environment variable, UTF-8; empty when not set.
std::string GetEnvironment(const std::string& name);

// Starts `program` with `arguments` directly, never through a shell, so
// nothing in the arguments or the environment is interpreted. The child
// gets this process's environment plus `extra` (replacing variables of the
// same name) and the default signal handling. A program name without a
// path separator is looked up in PATH. Returns at once: the child is waited
// for in the background and never blocks the caller. False, with a one-line
// *error, when it could not be started (names or values holding a NUL or
// '=' in a name are refused).
// `onExit`, when given, is called with the child's exit status (-1 when it
// did not exit normally) on the background thread that waited for it.
bool StartDetached(const std::string& program, const std::vector<std::string>& arguments,
                   const EnvironmentList& extra, std::string* error,
                   std::function<void(int status)> onExit = {});

}  // namespace os
