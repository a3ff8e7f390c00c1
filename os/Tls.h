// TLS over an open stream (mail: STARTTLS, or TLS from the first byte). The
// system's own TLS where it has one: Schannel on Windows, OpenSSL on Linux.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "os/Net.h"

namespace os {

struct TlsOptions {
  // The name the certificate must be issued to (also sent as SNI); a
  // numeric address is checked against the certificate's IP entries.
  std::string ServerName;
  // A PEM file of certificates to trust instead of the system's roots;
  // empty for the system's roots.
  std::string TrustFile;
};

class ITls {
 public:
  virtual ~ITls() = default;
  // Runs the client handshake over `stream` within `timeoutMs` and returns
  // the encrypted stream, which owns `stream`. Null with a one-line *error
  // when the handshake fails or the certificate is refused ("certificate
  // verify failed: self-signed certificate").
  virtual std::unique_ptr<ISocket> Connect(std::unique_ptr<ISocket> stream,
                                           const TlsOptions& options, uint32_t timeoutMs,
                                           std::string* error) = 0;
};

}  // namespace os
