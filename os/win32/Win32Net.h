// os::INet on Windows: Winsock 2, non-blocking sockets, every wait through
// select(). The object holds the Winsock library open (WSAStartup) for its
// life; sockets must not outlive it.
#pragma once

#include "os/Net.h"

namespace os {

class CWin32Net : public INet {
 public:
  CWin32Net();
  ~CWin32Net() override;
  CWin32Net(const CWin32Net&) = delete;
  CWin32Net& operator=(const CWin32Net&) = delete;

  std::unique_ptr<ISocket> Connect(const std::string& host, uint16_t port, uint32_t timeoutMs,
                                   std::string* error) override;
  std::unique_ptr<IListener> Listen(const std::string& host, uint16_t port,
                                    std::string* error) override;
  std::string LocalHostName() override;

 private:
  bool m_Started = false;
};

}  // namespace os
