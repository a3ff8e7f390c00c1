// Private-profile (INI) files with the Windows semantics: sections and keys
// compared without regard to case, every write goes straight to the file,
// values of at most 255 characters read back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace os {

class IProfile {
 public:
  virtual ~IProfile() = default;

  // GetPrivateProfileString with a buffer of `capacity` characters
  // (the returned text holds at most capacity - 1 characters).
  virtual std::string GetString(const std::string& section, const std::string& key,
                                const std::string& fallback, const std::string& path,
                                uint32_t capacity = 256) = 0;
  // GetPrivateProfileInt: leading decimal digits (with sign), else fallback.
  virtual int32_t GetInt(const std::string& section, const std::string& key, int32_t fallback,
                         const std::string& path) = 0;
  // WritePrivateProfileString. Returns false when the file could not be
  // written; the file is never left half written.
  virtual bool WriteString(const std::string& section, const std::string& key,
                           const std::string& value, const std::string& path) = 0;
  // Removes a key (WritePrivateProfileString with a null value).
  virtual bool DeleteKey(const std::string& section, const std::string& key,
                         const std::string& path) = 0;
  // Removes a whole section.
  virtual bool DeleteSection(const std::string& section, const std::string& path) = 0;
  // Makes the file readable by its owner only before a secret goes into it
  // (see IFileSystem::MakePrivate). False when that could not be done.
  virtual bool MakePrivate(const std::string& /*path*/) { return true; }
  // Names of the keys of a section, in file order.
  virtual std::vector<std::string> Keys(const std::string& section, const std::string& path) = 0;
};

}  // namespace os
