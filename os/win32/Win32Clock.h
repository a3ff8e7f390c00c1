// os::IClock on Windows.
#pragma once

#include "os/Clock.h"

namespace os {

class CWin32Clock : public IClock {
 public:
  // GetTickCount64.
  uint64_t TickCount() override;
  // time().
  int64_t Now() override;
  // localtime_s; an all-zero record when the time cannot be represented.
  std::tm LocalTime(int64_t t) override;
  // mktime on a copy; -1 when the time cannot be represented.
  int64_t MakeLocalTime(const std::tm& local) override;
  // ::Sleep.
  void Sleep(uint32_t milliseconds) override;
};

}  // namespace os
