// os::ITls on Windows: the system's own TLS (Schannel through SSPI), TLS 1.2,
// no library of ours. The certificate chain and the server name are checked
// by the system's chain engine, against the system's roots or the trust file.
#pragma once

#include "os/Tls.h"

namespace os {

class CSchannelTls : public ITls {
 public:
  std::unique_ptr<ISocket> Connect(std::unique_ptr<ISocket> stream, const TlsOptions& options,
                                   uint32_t timeoutMs, std::string* error) override;
};

}  // namespace os
