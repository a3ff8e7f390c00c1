#include "os/win32/Win32Net.h"

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>

#include "os/win32/WinText.h"

namespace os {
namespace {

using SteadyClock = std::chrono::steady_clock;

std::string WsaText(int code) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out;
  if (n > 0 && text) {
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ')) --n;
    out = WideToUtf8(text, n);
  }
  if (text) LocalFree(text);
  if (out.empty()) out = "Winsock error " + std::to_string(code);
  return out;
}

SteadyClock::time_point DeadlineAfter(uint32_t timeoutMs) {
  return SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
}

// Waits until `s` is readable (forWrite false) or writable, or until
// `deadline`. 1 ready, 0 time-out, -1 error (WSAGetLastError set). A failed
// connect shows in the except set and counts as ready: the caller reads
// SO_ERROR.
int WaitFor(SOCKET s, bool forWrite, SteadyClock::time_point deadline) {
  auto left =
      std::chrono::duration_cast<std::chrono::microseconds>(deadline - SteadyClock::now()).count();
  if (left < 0) left = 0;
  timeval tv{};
  tv.tv_sec = static_cast<long>(left / 1000000);
  tv.tv_usec = static_cast<long>(left % 1000000);
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  fd_set except;
  FD_ZERO(&except);
  FD_SET(s, &except);
  int n = select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, &except, &tv);
  if (n == SOCKET_ERROR) return -1;
  return n > 0 ? 1 : 0;
}

bool SetNonBlocking(SOCKET s) {
  u_long on = 1;
  return ioctlsocket(s, FIONBIO, &on) == 0;
}

// Winsock sends and receives take int lengths.
int ChunkOf(size_t size) { return size > 0x40000000 ? 0x40000000 : static_cast<int>(size); }

class CWin32Socket : public ISocket {
 public:
  explicit CWin32Socket(SOCKET s) : m_Socket(s) {}
  ~CWin32Socket() override { closesocket(m_Socket); }
  CWin32Socket(const CWin32Socket&) = delete;
  CWin32Socket& operator=(const CWin32Socket&) = delete;

  NetStatus Send(std::string_view data, uint32_t timeoutMs) override {
    auto deadline = DeadlineAfter(timeoutMs);
    size_t done = 0;
    while (done < data.size()) {
      int n = send(m_Socket, data.data() + done, ChunkOf(data.size() - done), 0);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      int code = WSAGetLastError();
      if (n == SOCKET_ERROR && code == WSAEWOULDBLOCK) {
        int ready = WaitFor(m_Socket, true, deadline);
        if (ready == 0) return Fail(NetStatus::TimedOut, "send timed out");
        if (ready < 0) return Fail(NetStatus::Failed, WsaText(WSAGetLastError()));
        continue;
      }
      return Fail(NetStatus::Failed, WsaText(code));
    }
    return NetStatus::Ok;
  }

  NetStatus Receive(char* buffer, size_t capacity, size_t* received, uint32_t timeoutMs) override {
    *received = 0;
    if (capacity == 0) return NetStatus::Ok;
    auto deadline = DeadlineAfter(timeoutMs);
    for (;;) {
      int n = recv(m_Socket, buffer, ChunkOf(capacity), 0);
      if (n > 0) {
        *received = static_cast<size_t>(n);
        return NetStatus::Ok;
      }
      if (n == 0) return NetStatus::Closed;
      int code = WSAGetLastError();
      if (code != WSAEWOULDBLOCK) return Fail(NetStatus::Failed, WsaText(code));
      int ready = WaitFor(m_Socket, false, deadline);
      if (ready == 0) return Fail(NetStatus::TimedOut, "receive timed out");
      if (ready < 0) return Fail(NetStatus::Failed, WsaText(WSAGetLastError()));
    }
  }

  void ShutdownSend() override { shutdown(m_Socket, SD_SEND); }

  std::string LastError() const override { return m_LastError; }

 private:
  NetStatus Fail(NetStatus status, std::string text) {
    m_LastError = std::move(text);
    return status;
  }

  SOCKET m_Socket;
  std::string m_LastError;
};

class CWin32Listener : public IListener {
 public:
  CWin32Listener(SOCKET s, uint16_t port) : m_Socket(s), m_Port(port) {}
  ~CWin32Listener() override { closesocket(m_Socket); }
  CWin32Listener(const CWin32Listener&) = delete;
  CWin32Listener& operator=(const CWin32Listener&) = delete;

  NetStatus Accept(std::unique_ptr<ISocket>* connection, uint32_t timeoutMs) override {
    auto deadline = DeadlineAfter(timeoutMs);
    for (;;) {
      SOCKET s = accept(m_Socket, nullptr, nullptr);
      if (s != INVALID_SOCKET) {
        // An accepted socket inherits the listener's mode; set it anyway,
        // the receive loop depends on it.
        if (!SetNonBlocking(s)) {
          closesocket(s);
          return NetStatus::Failed;
        }
        *connection = std::make_unique<CWin32Socket>(s);
        return NetStatus::Ok;
      }
      int code = WSAGetLastError();
      if (code == WSAECONNRESET || code == WSAEINTR) continue;
      if (code != WSAEWOULDBLOCK) return NetStatus::Failed;
      int ready = WaitFor(m_Socket, false, deadline);
      if (ready == 0) return NetStatus::TimedOut;
      if (ready < 0) return NetStatus::Failed;
    }
  }

  uint16_t Port() const override { return m_Port; }

 private:
  SOCKET m_Socket;
  uint16_t m_Port;
};

struct AddrInfoList {
  addrinfo* Head = nullptr;
  ~AddrInfoList() {
    if (Head) freeaddrinfo(Head);
  }
};

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
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
  std::string service = std::to_string(port);
  int rc = getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &list->Head);
  if (rc != 0) {
    *error = "cannot resolve \"" + host + "\": " + WsaText(rc);
    return false;
  }
  return true;
}

}  // namespace

CWin32Net::CWin32Net() {
  WSADATA data{};
  m_Started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

CWin32Net::~CWin32Net() {
  if (m_Started) WSACleanup();
}

std::unique_ptr<ISocket> CWin32Net::Connect(const std::string& host, uint16_t port,
                                            uint32_t timeoutMs, std::string* error) {
  if (!m_Started) {
    *error = "the Winsock library could not be started";
    return nullptr;
  }
  AddrInfoList list;
  if (!Resolve(host, port, false, &list, error)) return nullptr;
  std::string lastError = "no address";
  for (addrinfo* a = list.Head; a; a = a->ai_next) {
    SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) {
      lastError = WsaText(WSAGetLastError());
      continue;
    }
    if (!SetNonBlocking(s)) {
      lastError = WsaText(WSAGetLastError());
      closesocket(s);
      continue;
    }
    int rc = connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen));
    int code = rc == 0 ? 0 : WSAGetLastError();
    if (rc != 0 && code == WSAEWOULDBLOCK) {
      int ready = WaitFor(s, true, DeadlineAfter(timeoutMs));
      if (ready == 0) {
        closesocket(s);
        lastError = "timed out";
        continue;
      }
      int soError = 0;
      int len = sizeof soError;
      if (ready < 0) {
        soError = WSAGetLastError();
      } else if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len) !=
                 0) {
        soError = WSAGetLastError();
      }
      code = soError;
    }
    if (code != 0) {
      lastError = WsaText(code);
      closesocket(s);
      continue;
    }
    BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return std::make_unique<CWin32Socket>(s);
  }
  *error = "cannot connect to " + host + " port " + std::to_string(port) + ": " + lastError;
  return nullptr;
}

std::unique_ptr<IListener> CWin32Net::Listen(const std::string& host, uint16_t port,
                                             std::string* error) {
  if (!m_Started) {
    *error = "the Winsock library could not be started";
    return nullptr;
  }
  AddrInfoList list;
  if (!Resolve(host, port, true, &list, error)) return nullptr;
  std::string lastError = "no address";
  for (addrinfo* a = list.Head; a; a = a->ai_next) {
    SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) {
      lastError = WsaText(WSAGetLastError());
      continue;
    }
    // No other program may take over our port while we listen on it.
    BOOL one = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one);
    if (!SetNonBlocking(s) || bind(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0 ||
        listen(s, 16) != 0) {
      lastError = WsaText(WSAGetLastError());
      closesocket(s);
      continue;
    }
    sockaddr_storage local{};
    int len = sizeof local;
    uint16_t bound = port;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&local), &len) == 0) {
      if (local.ss_family == AF_INET)
        bound = ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
      else if (local.ss_family == AF_INET6)
        bound = ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port);
    }
    return std::make_unique<CWin32Listener>(s, bound);
  }
  *error = "cannot listen on " + (host.empty() ? std::string("*") : host) + " port " +
           std::to_string(port) + ": " + lastError;
  return nullptr;
}

std::string CWin32Net::LocalHostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &size)) return {};
  return WideToUtf8(name, size);
}

}  // namespace os
