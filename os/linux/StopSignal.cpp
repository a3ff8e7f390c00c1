#include "os/StopSignal.h"

#include <signal.h>

#include <cerrno>
#include <ctime>

namespace os {
namespace {

class CLinuxStopSignal : public IStopSignal {
 public:
  CLinuxStopSignal() {
    sigemptyset(&m_Set);
    sigaddset(&m_Set, SIGTERM);
    sigaddset(&m_Set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &m_Set, &m_Previous);
  }
  ~CLinuxStopSignal() override { pthread_sigmask(SIG_SETMASK, &m_Previous, nullptr); }
  CLinuxStopSignal(const CLinuxStopSignal&) = delete;
  CLinuxStopSignal& operator=(const CLinuxStopSignal&) = delete;

  bool WaitForStop(uint32_t milliseconds) override {
    if (m_Stopped) return true;
    timespec wait{};
    wait.tv_sec = static_cast<time_t>(milliseconds / 1000);
    wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
      const int signo = sigtimedwait(&m_Set, nullptr, &wait);
      if (signo == SIGTERM || signo == SIGINT) {
        m_Stopped = true;
        return true;
      }
      if (signo < 0 && errno != EINTR) return false;  // EAGAIN: the time ran out
      // Interrupted by another signal: wait what is left of the time.
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      const int64_t spentMs =
          (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
      if (spentMs >= static_cast<int64_t>(milliseconds)) return false;
      const int64_t leftMs = static_cast<int64_t>(milliseconds) - spentMs;
      wait.tv_sec = static_cast<time_t>(leftMs / 1000);
      wait.tv_nsec = static_cast<long>(leftMs % 1000) * 1000000L;
    }
  }

 private:
  sigset_t m_Set{};
  sigset_t m_Previous{};
  bool m_Stopped = false;
};

}  // namespace

std::unique_ptr<IStopSignal> CreateStopSignal() { return std::make_unique<CLinuxStopSignal>(); }

}  // namespace os
