// Keeping a secret (the mail password) in a file readable by others who can
// read the settings file: the secret is turned into bytes only the same user
// on the same machine can turn back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace os {

class ISecretProtector {
 public:
  virtual ~ISecretProtector() = default;
  // The protected form of `plain`; nullopt when the system refused.
  virtual std::optional<std::vector<uint8_t>> Protect(std::string_view plain) = 0;
  // `blob` turned back; nullopt when it was not protected by this user on
  // this machine, was damaged, or the system refused.
  virtual std::optional<std::string> Unprotect(const std::vector<uint8_t>& blob) = 0;
};

}  // namespace os
