// The process-wide diagnostic log. One function, `DebugLog`, callable from
// any layer and any thread. It lives at the bottom so the engine and the
// platform backends can log without knowing the application; the sink that
// writes the lines is the application's (app/DebugLogSink.h), installed with
// SetDebugLogSink at start. The level (0 off, 1 file, 2 file and message
// box) is the only global state of the program besides that sink.
#pragma once

#include <cstdint>
#include <string>

namespace base {

// Where log lines go. The application installs one built on the platform;
// tests install one that keeps the lines in memory.
class IDebugLogSink {
 public:
  virtual ~IDebugLogSink() = default;
  virtual uint64_t TickCount() = 0;
  // Removes the previous run's log file (errors ignored).
  virtual void RemoveLog() = 0;
  // Opens the log for appending, writes `line` (ends with "\n"), closes.
  virtual void AppendLine(const std::string& line) = 0;
  // Shows `line` and waits until the user dismisses it.
  virtual void Show(const std::string& line) = 0;
};

// Level as read from "DebugMode": 0, 1 or 2; anything else means 0.
void SetDebugLogLevel(int level);
int GetDebugLogLevel();

// Installs the sink (not owned; must outlive every DebugLog call) and arms
// the one-time deletion of the previous log and the start time. Passing null
// detaches it; lines are then formatted and dropped.
void SetDebugLogSink(IDebugLogSink* sink);

// Formats "%08d text\n" with the milliseconds since the first call, removes
// every '\r' (a text already ending in a line break gets no second one),
// and writes the line according to the level.
void DebugLog(const std::string& text);

// Format checking that matches the runtime's printf: mingw-w64 builds use its
// C99-conforming printf ("gnu_printf" to gcc); clang knows only "printf".
#if defined(__clang__)
#define STAVRION_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define STAVRION_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#endif

// printf-style convenience for the engine's formatted lines.
void DebugLogF(const char* format, ...) STAVRION_PRINTF_FORMAT(1, 2);

// The log file path for an executable path: everything from the last '.'
// replaced by ".log" (no '.' leaves the path as it is plus ".log").
std::string DebugLogPathFor(const std::string& exePath);

}  // namespace base
