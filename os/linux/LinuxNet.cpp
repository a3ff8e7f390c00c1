#include "os/linux/LinuxNet.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace os {
namespace {

using SteadyClock = std::chrono::steady_clock;

std::string ErrnoText(int code) { return std::strerror(code); }

// Milliseconds left until `deadline`, never negative.
int Remaining(SteadyClock::time_point deadline) {
  auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  if (left <= 0) return 0;
  return left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
}

// Waits for `events` on `fd` until `deadline`. 1 ready, 0 time-out, -1 error
// (errno set).
int WaitFor(int fd, short events, SteadyClock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    int n = poll(&p, 1, Remaining(deadline));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n;
    return 1;
  }
}

SteadyClock::time_point DeadlineAfter(uint32_t timeoutMs) {
  return SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
}

class CLinuxSocket : public ISocket {
 public:
  explicit CLinuxSocket(int fd) : m_Fd(fd) {}
  ~CLinuxSocket() override { close(m_Fd); }
  CLinuxSocket(const CLinuxSocket&) = delete;
  CLinuxSocket& operator=(const CLinuxSocket&) = delete;

  NetStatus Send(std::string_view data, uint32_t timeoutMs) override {
    auto deadline = DeadlineAfter(timeoutMs);
    size_t done = 0;
    while (done < data.size()) {
      // MSG_NOSIGNAL: a peer that went away is an error result, not SIGPIPE.
      ssize_t n = send(m_Fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        int ready = WaitFor(m_Fd, POLLOUT, deadline);
        if (ready == 0) return Fail(NetStatus::TimedOut, "send timed out");
        if (ready < 0) return Fail(NetStatus::Failed, ErrnoText(errno));
        continue;
      }
      return Fail(NetStatus::Failed, ErrnoText(errno));
    }
    return NetStatus::Ok;
  }

  NetStatus Receive(char* buffer, size_t capacity, size_t* received, uint32_t timeoutMs) override {
    *received = 0;
    if (capacity == 0) return NetStatus::Ok;
    auto deadline = DeadlineAfter(timeoutMs);
    for (;;) {
      ssize_t n = recv(m_Fd, buffer, capacity, 0);
      if (n > 0) {
        *received = static_cast<size_t>(n);
        return NetStatus::Ok;
      }
      if (n == 0) return NetStatus::Closed;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return Fail(NetStatus::Failed, ErrnoText(errno));
      int ready = WaitFor(m_Fd, POLLIN, deadline);
      if (ready == 0) return Fail(NetStatus::TimedOut, "receive timed out");
      if (ready < 0) return Fail(NetStatus::Failed, ErrnoText(errno));
    }
  }

  void ShutdownSend() override { shutdown(m_Fd, SHUT_WR); }

  std::string LastError() const override { return m_LastError; }

 private:
  NetStatus Fail(NetStatus status, std::string text) {
    m_LastError = std::move(text);
    return status;
  }

  int m_Fd;
  std::string m_LastError;
};

class CLinuxListener : public IListener {
 public:
  CLinuxListener(int fd, uint16_t port) : m_Fd(fd), m_Port(port) {}
  ~CLinuxListener() override { close(m_Fd); }
  CLinuxListener(const CLinuxListener&) = delete;
  CLinuxListener& operator=(const CLinuxListener&) = delete;

  NetStatus Accept(std::unique_ptr<ISocket>* connection, uint32_t timeoutMs) override {
    auto deadline = DeadlineAfter(timeoutMs);
    for (;;) {
      int fd = accept4(m_Fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd >= 0) {
        *connection = std::make_unique<CLinuxSocket>(fd);
        return NetStatus::Ok;
      }
      // A connection that was reset before we took it is not our failure.
      if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return NetStatus::Failed;
      int ready = WaitFor(m_Fd, POLLIN, deadline);
      if (ready == 0) return NetStatus::TimedOut;
      if (ready < 0) return NetStatus::Failed;
    }
  }

  uint16_t Port() const override { return m_Port; }

 private:
  int m_Fd;
  uint16_t m_Port;
};

struct AddrInfoList {
  addrinfo* Head = nullptr;
  ~AddrInfoList() {
    if (Head) freeaddrinfo(Head);
  }
};

// Resolves host and port; false with *error set.
bool Resolve(const std::string& hostText, uint16_t port, bool passive, AddrInfoList* list,
             std::string* error) {
  std::string host = StripHostBrackets(hostText);
  if (!(passive && host.empty()) && !IsAcceptableHostText(host)) {
    *error = "host name is empty, too long or holds unusable characters";
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
  std::string service = std::to_string(port);
  int rc = getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &list->Head);
  if (rc != 0) {
    *error = "cannot resolve \"" + host + "\": " + gai_strerror(rc);
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<ISocket> CLinuxNet::Connect(const std::string& host, uint16_t port,
                                            uint32_t timeoutMs, std::string* error) {
  AddrInfoList list;
  if (!Resolve(host, port, false, &list, error)) return nullptr;
  std::string lastError = "no address";
  for (addrinfo* a = list.Head; a; a = a->ai_next) {
    int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      lastError = ErrnoText(errno);
      continue;
    }
    int rc = connect(fd, a->ai_addr, a->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
      int ready = WaitFor(fd, POLLOUT, DeadlineAfter(timeoutMs));
      if (ready == 0) {
        close(fd);
        lastError = "timed out";
        continue;
      }
      int soError = 0;
      socklen_t len = sizeof soError;
      if (ready < 0) {
        soError = errno;
      } else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) {
        soError = errno;
      }
      rc = soError == 0 ? 0 : -1;
      errno = soError;
    }
    if (rc != 0) {
      lastError = ErrnoText(errno);
      close(fd);
      continue;
    }
    int one = 1;
    // Commands are short lines; waiting to coalesce them only adds delay.
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return std::make_unique<CLinuxSocket>(fd);
  }
  *error = "cannot connect to " + host + " port " + std::to_string(port) + ": " + lastError;
  return nullptr;
}

std::unique_ptr<IListener> CLinuxNet::Listen(const std::string& host, uint16_t port,
                                             std::string* error) {
  AddrInfoList list;
  if (!Resolve(host, port, true, &list, error)) return nullptr;
  std::string lastError = "no address";
  for (addrinfo* a = list.Head; a; a = a->ai_next) {
    int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      lastError = ErrnoText(errno);
      continue;
    }
    int one = 1;
    // A restarted monitor gets its port back while old connections linger.
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, a->ai_addr, a->ai_addrlen) != 0 || listen(fd, 16) != 0) {
      lastError = ErrnoText(errno);
      close(fd);
      continue;
    }
    sockaddr_storage local{};
    socklen_t len = sizeof local;
    uint16_t bound = port;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) == 0) {
      if (local.ss_family == AF_INET)
        bound = ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
      else if (local.ss_family == AF_INET6)
        bound = ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port);
    }
    return std::make_unique<CLinuxListener>(fd, bound);
  }
  *error = "cannot listen on " + (host.empty() ? std::string("*") : host) + " port " +
           std::to_string(port) + ": " + lastError;
  return nullptr;
}

std::string CLinuxNet::LocalHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace os
