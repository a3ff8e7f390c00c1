#include "os/Registry.h"

namespace os {

bool RegistryPartValid(const std::string& part) {
  return !part.empty() && part.find('\\') == std::string::npos &&
         part.find('\0') == std::string::npos;
}

namespace {

void SetValues(IRegistry& registry, const std::string& key,
               const std::vector<RegistryValue>& values) {
  for (const RegistryValue& v : values) {
    if (v.IsDword) {
      registry.SetDword(key, v.Name, v.Dword);
    } else {
      registry.SetString(key, v.Name, v.Text);
    }
  }
}

}  // namespace

bool IRegistry::ReplaceTree(const std::string& key, const RegistryTree& tree) {
  DeleteTree(key);
  if (!CreateVolatileKey(key)) return false;
  SetValues(*this, key, tree.Values);
  for (const RegistryTree::Subkey& sub : tree.Subkeys) {
    if (!RegistryPartValid(sub.Name)) continue;
    const std::string path = key + "\\" + sub.Name;
    if (!CreateVolatileKey(path)) continue;
    SetValues(*this, key, sub.ParentValues);
    SetValues(*this, path, sub.Values);
  }
  return true;
}

}  // namespace os
