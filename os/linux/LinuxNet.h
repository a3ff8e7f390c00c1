// os::INet on Linux: BSD sockets, non-blocking, every wait through poll().
#pragma once

#include "os/Net.h"

namespace os {

class CLinuxNet : public INet {
 public:
  std::unique_ptr<ISocket> Connect(const std::string& host, uint16_t port, uint32_t timeoutMs,
                                   std::string* error) override;
  std::unique_ptr<IListener> Listen(const std::string& host, uint16_t port,
                                    std::string* error) override;
  std::string LocalHostName() override;
};

}  // namespace os
