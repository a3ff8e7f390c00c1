#include "os/linux/LinuxClock.h"

#include <cerrno>
#include <ctime>

namespace os {

uint64_t CLinuxClock::TickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

int64_t CLinuxClock::Now() { return static_cast<int64_t>(std::time(nullptr)); }

std::tm CLinuxClock::LocalTime(int64_t t) {
  std::tm out{};
  time_t value = static_cast<time_t>(t);
  if (!localtime_r(&value, &out)) out = std::tm{};
  return out;
}

int64_t CLinuxClock::MakeLocalTime(const std::tm& local) {
  std::tm copy = local;
  return static_cast<int64_t>(mktime(&copy));
}

void CLinuxClock::Sleep(uint32_t milliseconds) {
  timespec want{};
  want.tv_sec = static_cast<time_t>(milliseconds / 1000u);
  want.tv_nsec = static_cast<long>(milliseconds % 1000u) * 1000000L;
  timespec left{};
  while (nanosleep(&want, &left) != 0 && errno == EINTR) want = left;
}

}  // namespace os
