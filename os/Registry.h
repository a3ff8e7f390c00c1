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
#include <vector>

namespace os {

// A value for IRegistry::ReplaceTree: a REG_DWORD when `IsDword`, else a
// REG_SZ holding `Text`.
struct RegistryValue {
  std::string Name;
  bool IsDword = false;
  uint32_t Dword = 0;
  std::string Text;
};

// What a key is to hold after IRegistry::ReplaceTree: its values, and its
// subkeys with their values, each in the order written.
struct RegistryTree {
  struct Subkey {
    // One part of a key path: not empty, no '\\' or NUL (such a subkey is
    // left out).
    std::string Name;
    // Values of the parent key that belong to this subkey: written only
    // when the subkey could be created, so a reader never finds one naming
    // a subkey that is not there.
    std::vector<RegistryValue> ParentValues;
    std::vector<RegistryValue> Values;
  };
  std::vector<RegistryValue> Values;
  std::vector<Subkey> Subkeys;
};

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
  // Makes the key (created as volatile) hold exactly `tree`: afterwards it
  // has no other values or subkeys. A subkey that cannot be created is left
  // out with its parent values; other failures are ignored. False when the
  // key itself could not be created. A later subkey of the same name as an
  // earlier one adds to it and overrides its values. This default deletes
  // the key and writes the tree again (a reader may see it gone for that
  // moment); a backend where writing is dear may change only what differs.
  virtual bool ReplaceTree(const std::string& key, const RegistryTree& tree);
};

// Whether `part` can be one part of a key path (not empty, no '\\', no NUL).
bool RegistryPartValid(const std::string& part);

// The system's registry: on Windows HKEY_CURRENT_USER (`treeRoot` unused),
// elsewhere a CFileTreeRegistry under `treeRoot`. Implemented per system.
std::unique_ptr<IRegistry> CreateNativeRegistry(const std::string& treeRoot);

}  // namespace os
