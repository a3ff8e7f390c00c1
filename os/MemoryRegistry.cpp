#include "os/MemoryRegistry.h"

#include <algorithm>

namespace os {

std::string CMemoryRegistry::Fold(const std::string& text) {
  std::string folded = text;
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return folded;
}

bool CMemoryRegistry::ValidPath(const std::string& key) {
  if (key.empty() || key.find('\0') != std::string::npos) return false;
  size_t start = 0;
  for (;;) {
    const size_t end = key.find('\\', start);
    const size_t length = (end == std::string::npos ? key.size() : end) - start;
    if (length == 0) return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

bool CMemoryRegistry::DeleteTree(const std::string& key) {
  if (!ValidPath(key)) return false;
  const std::string folded = Fold(key);
  for (auto it = m_Keys.begin(); it != m_Keys.end();) {
    if (it->first == folded || it->first.rfind(folded + "\\", 0) == 0) {
      it = m_Keys.erase(it);
    } else {
      ++it;
    }
  }
  return true;
}

bool CMemoryRegistry::CreateVolatileKey(const std::string& key) { return Create(key, true); }

bool CMemoryRegistry::CreateKey(const std::string& key) { return Create(key, false); }

bool CMemoryRegistry::Create(const std::string& key, bool isVolatile) {
  if (!ValidPath(key)) return false;
  const size_t last = key.find_last_of('\\');
  const std::string leaf = last == std::string::npos ? key : key.substr(last + 1);
  if (!m_Refused.empty() && leaf == m_Refused) return false;
  // The parents exist too, as RegCreateKeyEx makes them.
  size_t end = 0;
  for (;;) {
    end = key.find('\\', end);
    const std::string part = end == std::string::npos ? key : key.substr(0, end);
    m_Keys.try_emplace(Fold(part), Key{part, isVolatile, {}});
    if (end == std::string::npos) return true;
    ++end;
  }
}

bool CMemoryRegistry::SetDword(const std::string& key, const std::string& name, uint32_t value) {
  auto it = m_Keys.find(Fold(key));
  if (it == m_Keys.end() || name.find('\0') != std::string::npos) return false;
  it->second.Values[Fold(name)] = {name, Value(value)};
  return true;
}

bool CMemoryRegistry::SetString(const std::string& key, const std::string& name,
                                const std::string& value) {
  auto it = m_Keys.find(Fold(key));
  if (it == m_Keys.end() || name.find('\0') != std::string::npos ||
      value.find('\0') != std::string::npos) {
    return false;
  }
  it->second.Values[Fold(name)] = {name, Value(value)};
  return true;
}

bool CMemoryRegistry::DeleteValue(const std::string& key, const std::string& name) {
  if (!ValidPath(key) || name.find('\0') != std::string::npos) return false;
  auto it = m_Keys.find(Fold(key));
  if (it != m_Keys.end()) it->second.Values.erase(Fold(name));
  return true;
}

bool CMemoryRegistry::IsVolatile(const std::string& key) const {
  auto it = m_Keys.find(Fold(key));
  return it != m_Keys.end() && it->second.Volatile;
}

bool CMemoryRegistry::HasKey(const std::string& key) const { return m_Keys.count(Fold(key)) != 0; }

std::optional<CMemoryRegistry::Value> CMemoryRegistry::Get(const std::string& key,
                                                           const std::string& name) const {
  auto it = m_Keys.find(Fold(key));
  if (it == m_Keys.end()) return std::nullopt;
  auto v = it->second.Values.find(Fold(name));
  if (v == it->second.Values.end()) return std::nullopt;
  return v->second.second;
}

std::vector<std::string> CMemoryRegistry::SubKeys(const std::string& key) const {
  const std::string prefix = Fold(key) + "\\";
  std::vector<std::string> names;
  for (const auto& [folded, k] : m_Keys) {
    if (folded.rfind(prefix, 0) != 0) continue;
    const std::string rest = k.Path.substr(prefix.size());
    if (rest.find('\\') == std::string::npos) names.push_back(rest);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> CMemoryRegistry::ValueNames(const std::string& key) const {
  std::vector<std::string> names;
  auto it = m_Keys.find(Fold(key));
  if (it == m_Keys.end()) return names;
  for (const auto& [folded, v] : it->second.Values) names.push_back(v.first);
  return names;
}

}  // namespace os
