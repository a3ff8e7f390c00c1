#include "os/FileTreeRegistry.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace os {

namespace fs = std::filesystem;

namespace {
// Longer than the coarsest time resolution of a file system (two seconds).
constexpr auto TRUSTED_TIME_AGE = std::chrono::seconds(5);
}  // namespace

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
  Forget(folder);
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
  return WriteFile(folder, EncodeName(name), text);
}

bool CFileTreeRegistry::WriteFile(const std::string& folder, const std::string& file,
                                  const std::string& text) {
  const std::string path = folder + "/" + file;
  // Encoded names never start with '.', so the temporary file cannot be
  // another value.
  const std::string temp = folder + "/.new-" + file;
  std::error_code ec;
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text << '\n';
    out.close();
    if (!out) {
      fs::remove(temp, ec);
      Unsure(folder, file);
      return false;
    }
  }
  fs::rename(temp, path, ec);
  if (ec) {
    fs::remove(temp, ec);
    Unsure(folder, file);
    return false;
  }
  WrittenFolder& written = m_Written[folder];
  written.Files[file] = text;
  written.Time.reset();
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

void CFileTreeRegistry::Forget(const std::string& folder) {
  for (auto it = m_Written.lower_bound(folder); it != m_Written.end();) {
    const std::string& f = it->first;
    if (f.compare(0, folder.size(), folder) != 0) break;
    if (f.size() == folder.size() || f[folder.size()] == '/') {
      it = m_Written.erase(it);
    } else {
      ++it;
    }
  }
}

bool CFileTreeRegistry::MakeFolder(const std::string& folder) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(folder, ec);
  if (fs::is_directory(status)) return true;
  if (fs::exists(status)) {
    // A file or a link where a key belongs: the key replaces it, and a link
    // is never followed out of the tree.
    Forget(folder);
    fs::remove(folder, ec);
  }
  fs::create_directories(folder, ec);
  return fs::is_directory(fs::symlink_status(folder, ec));
}

void CFileTreeRegistry::Unsure(const std::string& folder, const std::string& file) {
  WrittenFolder& written = m_Written[folder];
  written.Files.erase(file);
  written.Time.reset();
}

bool CFileTreeRegistry::SyncFolder(const std::string& folder,
                                   const std::map<std::string, std::string>& files,
                                   const std::set<std::string>& folders) {
  WrittenFolder& written = m_Written[folder];
  std::set<std::string> present;
  std::vector<std::string> extra;
  std::error_code ec;
  const fs::file_time_type before = fs::last_write_time(folder, ec);
  bool whole = true;
  if (!ec && written.Time && *written.Time == before) {
    // Nothing was added, removed or renamed here since the last time.
    for (const auto& [name, text] : written.Files) {
      if (files.count(name) != 0) {
        present.insert(name);
      } else {
        extra.push_back(name);
      }
    }
    for (const std::string& name : written.Folders) {
      if (folders.count(name) == 0) extra.push_back(name);
    }
  } else {
    ec.clear();
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
      // The type the listing gave, without another system call per entry.
      std::error_code typeError;
      fs::file_type type = fs::file_type::unknown;
      if (it->is_symlink(typeError)) {
        type = fs::file_type::symlink;
      } else if (it->is_directory(typeError)) {
        type = fs::file_type::directory;
      } else if (it->is_regular_file(typeError)) {
        type = fs::file_type::regular;
      }
      std::string name = it->path().filename().string();
      if (type == fs::file_type::regular && files.count(name) != 0) {
        present.insert(std::move(name));
      } else if (type != fs::file_type::directory || folders.count(name) == 0) {
        extra.push_back(std::move(name));
      }
    }
    // A folder that cannot be listed: what was written there is not known.
    if (ec) {
      present.clear();
      whole = false;
    }
  }
  written.Time.reset();
  // What stands where a wanted value or key belongs goes first.
  for (const std::string& name : extra) {
    if (files.count(name) == 0 && folders.count(name) == 0) continue;
    std::error_code removeError;
    fs::remove_all(folder + "/" + name, removeError);
    whole = whole && !removeError;
    written.Files.erase(name);
    Forget(folder + "/" + name);
  }
  for (const auto& [name, text] : files) {
    const auto w = written.Files.find(name);
    if (present.count(name) != 0 && w != written.Files.end() && w->second == text) continue;
    whole = WriteFile(folder, name, text) && whole;
  }
  // Then what is no longer wanted: values and keys of disks gone, files
  // left by others or by a crash.
  for (const std::string& name : extra) {
    if (files.count(name) != 0 || folders.count(name) != 0) continue;
    std::error_code removeError;
    fs::remove_all(folder + "/" + name, removeError);
    whole = whole && !removeError;
    Forget(folder + "/" + name);
  }
  for (auto w = written.Files.begin(); w != written.Files.end();) {
    w = files.count(w->first) == 0 ? written.Files.erase(w) : std::next(w);
  }
  written.Folders = folders;
  // The time is relied on next time only when it is old enough that a
  // change after this moment gives another one, whatever the resolution of
  // the file system's times.
  const fs::file_time_type after = fs::last_write_time(folder, ec);
  if (whole && !ec && fs::file_time_type::clock::now() - after >= TRUSTED_TIME_AGE) {
    written.Time = after;
  }
  return whole;
}

bool CFileTreeRegistry::ReplaceTree(const std::string& key, const RegistryTree& tree) {
  const std::string folder = KeyFolder(key);
  if (folder.empty() || !MakeFolder(folder)) return false;
  const auto usable = [](const RegistryValue& v) {
    return !v.Name.empty() && v.Name.find('\0') == std::string::npos &&
           (v.IsDword || v.Text.find('\0') == std::string::npos);
  };
  const auto text = [](const RegistryValue& v) {
    return v.IsDword ? std::to_string(v.Dword) : v.Text;
  };
  std::map<std::string, std::string> rootFiles;
  for (const RegistryValue& v : tree.Values) {
    if (usable(v)) rootFiles[EncodeName(v.Name)] = text(v);
  }
  // Encoded subkey name -> its files, in the order of first appearance.
  std::vector<std::pair<std::string, std::map<std::string, std::string>>> subkeys;
  std::set<std::string> subkeyNames;
  for (const RegistryTree::Subkey& sub : tree.Subkeys) {
    if (!RegistryPartValid(sub.Name)) continue;
    const std::string name = EncodeName(sub.Name);
    auto found = std::find_if(subkeys.begin(), subkeys.end(),
                              [&](const auto& s) { return s.first == name; });
    if (found == subkeys.end()) {
      if (!MakeFolder(folder + "/" + name)) continue;
      subkeys.emplace_back(name, std::map<std::string, std::string>());
      subkeyNames.insert(name);
      found = std::prev(subkeys.end());
    }
    for (const RegistryValue& v : sub.Values) {
      if (usable(v)) found->second[EncodeName(v.Name)] = text(v);
    }
    for (const RegistryValue& v : sub.ParentValues) {
      if (usable(v)) rootFiles[EncodeName(v.Name)] = text(v);
    }
  }
  // The disks' keys first, then the values naming them, then what is gone:
  // a reader that follows a "Disk%d" finds its key.
  for (const auto& [name, files] : subkeys) SyncFolder(folder + "/" + name, files, {});
  SyncFolder(folder, rootFiles, subkeyNames);
  return true;
}

}  // namespace os
