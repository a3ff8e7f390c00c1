// os::ISecretProtector on Windows: the data protection API for the current
// user (CryptProtectData / CryptUnprotectData), with no prompt.
#pragma once

#include "os/Secrets.h"

namespace os {

class CWin32SecretProtector : public ISecretProtector {
 public:
  std::optional<std::vector<uint8_t>> Protect(std::string_view plain) override;
  std::optional<std::string> Unprotect(const std::vector<uint8_t>& blob) override;
};

}  // namespace os
