#include "os/Wmi.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace os {

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
}

bool WmiObject::Has(const std::string& name) const {
  return Properties.find(name) != Properties.end();
}

std::string WmiObject::String(const std::string& name) const {
  auto it = Properties.find(name);
  if (it == Properties.end()) return {};
  if (auto* s = std::get_if<std::string>(&it->second)) return *s;
  if (auto* i = std::get_if<int64_t>(&it->second)) return std::to_string(*i);
  return {};
}

int64_t WmiObject::Int(const std::string& name, int64_t fallback) const {
  auto it = Properties.find(name);
  if (it == Properties.end()) return fallback;
  if (auto* i = std::get_if<int64_t>(&it->second)) return *i;
  if (auto* b = std::get_if<bool>(&it->second)) return *b ? 1 : 0;
  if (auto* s = std::get_if<std::string>(&it->second)) {
    // WMI hands uint64 values (Size) as strings.
    if (s->empty()) return fallback;
    int64_t v = 0;
    for (char c : *s) {
      if (c < '0' || c > '9') return fallback;
      if (v > (INT64_MAX - (c - '0')) / 10) return fallback;
      v = v * 10 + (c - '0');
    }
    return v;
  }
  return fallback;
}

std::vector<uint8_t> WmiObject::Bytes(const std::string& name) const {
  auto it = Properties.find(name);
  if (it == Properties.end()) return {};
  if (auto* b = std::get_if<std::vector<uint8_t>>(&it->second)) return *b;
  return {};
}

}  // namespace os
