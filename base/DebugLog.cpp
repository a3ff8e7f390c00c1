#include "base/DebugLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace base {
namespace {

std::atomic<int> g_level{0};
std::atomic<IDebugLogSink*> g_sink{nullptr};
std::mutex g_startLock;
bool g_started = false;
uint64_t g_startTick = 0;
std::atomic<bool> g_deletePending{true};

// True when a line would change nothing: no sink, or level 0 once the old
// log is gone. Callers then skip the formatting, which costs more than the
// disk reads it describes.
bool Silent() {
  return g_sink.load() == nullptr || (g_level.load() == 0 && !g_deletePending.load());
}

}  // namespace

void SetDebugLogLevel(int level) { g_level = (level >= 0 && level <= 2) ? level : 0; }

int GetDebugLogLevel() { return g_level; }

void SetDebugLogSink(IDebugLogSink* sink) {
  std::lock_guard<std::mutex> lock(g_startLock);
  g_sink = sink;
  g_started = false;
  g_deletePending = true;
}

void DebugLog(const std::string& text) {
  if (Silent()) return;
  IDebugLogSink* sink = g_sink.load();
  uint64_t now;
  uint64_t start;
  {
    // The tick is read under the lock so that no line can carry a time
    // before the start time another thread has just taken.
    std::lock_guard<std::mutex> lock(g_startLock);
    now = sink ? sink->TickCount() : 0;
    if (!g_started) {
      g_started = true;
      g_startTick = now;
    }
    start = g_startTick;
    // The previous run's log goes before any line of this run is written,
    // also when another thread logs at the same moment.
    if (sink && g_deletePending.exchange(false)) {
      sink->RemoveLog();
    }
  }
  // Elapsed milliseconds, unsigned so a run of more than 24 days does not
  // print a negative stamp.
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%08llu ", static_cast<unsigned long long>(now - start));
  std::string line = stamp;
  line.reserve(line.size() + text.size() + 1);
  for (char c : text) {
    if (c != '\r') line.push_back(c);
  }
  // Callers that end their text with "\r\n" or "\n" get one line, not a
  // blank one after it.
  if (line.back() != '\n') line.push_back('\n');

  if (!sink) return;
  int level = g_level;
  if (level == 0) return;
  sink->AppendLine(line);
  if (level == 2) sink->Show(line);
}

void DebugLogF(const char* format, ...) {
  if (Silent()) return;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (n > 0) {
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, args);
    text.assign(buf.data(), static_cast<size_t>(n));
  }
  va_end(args);
  DebugLog(text);
}

std::string DebugLogPathFor(const std::string& exePath) {
  size_t dot = exePath.rfind('.');
  size_t slash = exePath.find_last_of("\\/");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return exePath + ".log";
  }
  return exePath.substr(0, dot) + ".log";
}

}  // namespace base
