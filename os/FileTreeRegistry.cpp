#include "os/FileTreeRegistry.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace os {

namespace fs = std::filesystem;

std::string CFileTreeRegistry::EncodeName(const std::string& name) {
  static const char* const HEX = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c == '/' || c == '%' || c < 0x20 || c == 0x7F || (i == 0 && c == '.')) {
      out.push_back('%');
      out.push_back(HEX[c >> 4]);
      out.push_back(HEX[c & 0xF]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

std::string CFileTreeRegistry::KeyFolder(const std::string& key) const {
  if (key.empty() || key.find('\0') != std::string::npos) return {};
  std::string folder = m_Root;
  size_t start = 0;
  for (;;) {
    const size_t end = key.find('\\', start);
    const std::string part = key.substr(start, end == std::string::npos ? end : end - start);
    if (part.empty()) return {};
    folder += "/" + EncodeName(part);
    if (end == std::string::npos) return folder;
    start = end + 1;
  }
}

bool CFileTreeRegistry::DeleteTree(const std::string& key) {
  const std::string folder = KeyFolder(key);
  if (folder.empty()) return false;
  std::error_code ec;
  fs::remove_all(folder, ec);
  return !ec;
}

bool CFileTreeRegistry::CreateVolatileKey(const std::string& key) {
  const std::string folder = KeyFolder(key);
  if (folder.empty()) return false;
  std::error_code ec;
  fs::create_directories(folder, ec);
  return !ec && fs::is_directory(folder, ec);
}

bool CFileTreeRegistry::WriteValue(const std::string& key, const std::string& name,
                                   const std::string& text) {
  const std::string folder = KeyFolder(key);
  std::error_code ec;
  if (folder.empty() || name.empty() || name.find('\0') != std::string::npos ||
      text.find('\0') != std::string::npos || !fs::is_directory(folder, ec)) {
    return false;
  }
  const std::string path = folder + "/" + EncodeName(name);
  // Encoded names never start with '.', so the temporary file cannot be
  // another value.
  const std::string temp = folder + "/.new-" + EncodeName(name);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text << '\n';
    out.close();
    if (!out) {
      fs::remove(temp, ec);
      return false;
    }
  }
  fs::rename(temp, path, ec);
  if (ec) {
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

bool CFileTreeRegistry::DeleteValue(const std::string& key, const std::string& name) {
  const std::string folder = KeyFolder(key);
  if (folder.empty() || name.empty() || name.find('\0') != std::string::npos) return false;
  std::error_code ec;
  fs::remove(folder + "/" + EncodeName(name), ec);
  return !ec;
}

bool CFileTreeRegistry::SetDword(const std::string& key, const std::string& name, uint32_t value) {
  return WriteValue(key, name, std::to_string(value));
}

bool CFileTreeRegistry::SetString(const std::string& key, const std::string& name,
                                  const std::string& value) {
  return WriteValue(key, name, value);
}

}  // namespace os
