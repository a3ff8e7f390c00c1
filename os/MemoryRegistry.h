// os::IRegistry in memory, for tests and the simulated machine. Names are
// compared without regard to ASCII case, as the registry compares them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "os/Registry.h"

namespace os {

class CMemoryRegistry : public IRegistry {
 public:
  using Value = std::variant<uint32_t, std::string>;

  bool DeleteTree(const std::string& key) override;
  bool CreateVolatileKey(const std::string& key) override;
  bool CreateKey(const std::string& key) override;
  bool DeleteValue(const std::string& key, const std::string& name) override;
  bool SetDword(const std::string& key, const std::string& name, uint32_t value) override;
  bool SetString(const std::string& key, const std::string& name,
                 const std::string& value) override;

  // For tests: whether a key exists, a value, the direct subkeys of a key
  // (their names as created, sorted) and the names of its values.
  bool HasKey(const std::string& key) const;
  // Whether the key was created volatile (false for a missing key).
  bool IsVolatile(const std::string& key) const;
  std::optional<Value> Get(const std::string& key, const std::string& name) const;
  std::vector<std::string> SubKeys(const std::string& key) const;
  std::vector<std::string> ValueNames(const std::string& key) const;
  // Calls that fail from now on, to test failure handling: a key whose
  // last part equals `name` cannot be created.
  void RefuseKeyNamed(const std::string& name) { m_Refused = name; }

 private:
  struct Key {
    std::string Path;  // as created
    bool Volatile = false;
    std::map<std::string, std::pair<std::string, Value>> Values;  // folded name -> (name, value)
  };
  static std::string Fold(const std::string& text);
  static bool ValidPath(const std::string& key);
  bool Create(const std::string& key, bool isVolatile);
  std::map<std::string, Key> m_Keys;  // folded path -> key
  std::string m_Refused;
};

}  // namespace os
