// os::ITls on Linux: OpenSSL (linked statically into the program), TLS 1.2
// or later, certificate chain and name always verified.
#pragma once

#include "os/Tls.h"

namespace os {

class COpenSslTls : public ITls {
 public:
  std::unique_ptr<ISocket> Connect(std::unique_ptr<ISocket> stream, const TlsOptions& options,
                                   uint32_t timeoutMs, std::string* error) override;
};

}  // namespace os
