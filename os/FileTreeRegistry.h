// os::IRegistry as a file tree, for systems without a registry: a key is a
// folder under the root, a value is a file in its key's folder holding the
// value as text (a DWORD in decimal, a string as is) and a line feed, so
// `cat` reads it. Each value file is replaced whole (written beside, then
// renamed), so a reader never sees half a value.
//
// Names are stored so that any name is one file name and never leaves the
// tree: bytes '/', '%', control bytes and a leading '.' are written as '%'
// and two hex digits ("a/b" -> "a%2Fb", ".." -> "%2E."). Unlike the
// registry, names are compared with their case.
#pragma once

#include <string>

#include "os/Registry.h"

namespace os {

class CFileTreeRegistry : public IRegistry {
 public:
  // `root` is created when the first key is.
  explicit CFileTreeRegistry(std::string root) : m_Root(std::move(root)) {}

  bool DeleteTree(const std::string& key) override;
  bool CreateVolatileKey(const std::string& key) override;
  // The tree has no volatile keys of its own (it lives under the runtime
  // folder, which the system empties): both kinds are folders.
  bool CreateKey(const std::string& key) override { return CreateVolatileKey(key); }
  bool DeleteValue(const std::string& key, const std::string& name) override;
  bool SetDword(const std::string& key, const std::string& name, uint32_t value) override;
  bool SetString(const std::string& key, const std::string& name,
                 const std::string& value) override;

  // The file name a key or value name is stored under.
  static std::string EncodeName(const std::string& name);
  // The folder of a key; empty for a path that is not valid.
  std::string KeyFolder(const std::string& key) const;

 private:
  bool WriteValue(const std::string& key, const std::string& name, const std::string& text);
  std::string m_Root;
};

}  // namespace os
