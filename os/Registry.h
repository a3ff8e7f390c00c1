// The registry of the current user as the program publishes into it: a
// tree of keys holding named values, volatile keys (the system drops them
// at log-off) for the status tree and lasting ones for the start-at-log-on
// value. Windows has the real one (HKEY_CURRENT_USER);
// Linux stands a file tree in for it (CFileTreeRegistry, one folder per key
// and one file per value, under the runtime folder); tests and the
// simulated machine keep it in memory (CMemoryRegistry).
//
// Key paths are relative to the user's root, their parts separated by '\\'
// ("software\\Tessaly\\Vardex"). A part may not be empty or hold a NUL;
// callers map any '\\' of their own names away before they build a path.
// Every call returns whether it succeeded; a failed call changed nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace os {

class IRegistry {
 public:
  virtual ~IRegistry() = default;
  // Deletes the key with all its subkeys and values. True also when the key
  // did not exist.
  virtual bool DeleteTree(const std::string& key) = 0;
  // Creates the key (and its missing parents) as volatile; an existing key
  // is opened.
  virtual bool CreateVolatileKey(const std::string& key) = 0;
  // Creates the key (and its missing parents) to last across log-offs; an
  // existing key is opened as it is.
  virtual bool CreateKey(const std::string& key) = 0;
  // Deletes one value of a key. True also when the value or the key did not
  // exist.
  virtual bool DeleteValue(const std::string& key, const std::string& name) = 0;
  // REG_DWORD and REG_SZ values (strings are stored as wide strings with
  // their terminating zero on Windows, UTF-8 text elsewhere). The key must
  // exist.
  virtual bool SetDword(const std::string& key, const std::string& name, uint32_t value) = 0;
  virtual bool SetString(const std::string& key, const std::string& name,
                         const std::string& value) = 0;
};

// The system's registry: on Windows HKEY_CURRENT_USER (`treeRoot` unused),
// elsewhere a CFileTreeRegistry under `treeRoot`. Implemented per system.
std::unique_ptr<IRegistry> CreateNativeRegistry(const std::string& treeRoot);

}  // namespace os
