// os::IProfile on Windows: the private-profile calls themselves, with the
// program's UTF-8 converted to UTF-16 and back at the boundary.
#pragma once

#include "os/Profile.h"

namespace os {

class CWin32Profile : public IProfile {
 public:
  // GetPrivateProfileStringW with a buffer of `capacity` UTF-16 units.
  // Capacity 0 reads nothing and gives "".
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& fallback, const std::string& path,
                        uint32_t capacity = 256) override;
  // GetPrivateProfileIntW.
  int32_t GetInt(const std::string& section, const std::string& key, int32_t fallback,
                 const std::string& path) override;
  // WritePrivateProfileStringW. Returns what the call returned.
  bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path) override;
  // WritePrivateProfileStringW with a null value.
  bool DeleteKey(const std::string& section, const std::string& key,
                 const std::string& path) override;
  // WritePrivateProfileStringW with a null key.
  bool DeleteSection(const std::string& section, const std::string& path) override;
  // GetPrivateProfileStringW with a null key, the buffer grown until the
  // whole list fits (at most 1M UTF-16 units; a longer list is cut there).
  std::vector<std::string> Keys(const std::string& section, const std::string& path) override;
  // Nothing to do: secrets go into the file protected for the user (see
  // os/Secrets.h), and the file lies in the user's own folder.
  bool MakePrivate(const std::string& /*path*/) override { return true; }
};

}  // namespace os
