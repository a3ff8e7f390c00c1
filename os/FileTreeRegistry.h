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
//
// Writing a file is dear next to a registry value, and the tree is
// published again after every change of a disk, mostly with the same
// values. So the tree remembers what it wrote, and ReplaceTree writes only
// the values that differ from that or whose files are gone, and removes
// only what is no longer wanted: the key never vanishes for a reader. A
// value file that another program changed in place (rather than removed)
// is not noticed until the value changes; the tree is ours, others read it.
// A key's folder is listed only when its modification time is not the one
// it had after the last replacement (anything added, removed or renamed in
// it changes that time); a time is relied on only once it is a few seconds
// old, so a change within the time's resolution of it is never missed.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <set>
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
  bool ReplaceTree(const std::string& key, const RegistryTree& tree) override;

  // The file name a key or value name is stored under.
  static std::string EncodeName(const std::string& name);
  // The folder of a key; empty for a path that is not valid.
  std::string KeyFolder(const std::string& key) const;

 private:
  bool WriteValue(const std::string& key, const std::string& name, const std::string& text);
  // Replaces the file `file` (an encoded name) of `folder` with `text` and
  // a line feed; remembers what was written.
  bool WriteFile(const std::string& folder, const std::string& file, const std::string& text);
  // Makes `folder` a folder (a file or link in its place is removed).
  bool MakeFolder(const std::string& folder);
  // Makes `folder` hold exactly `files` (encoded name -> text) and the
  // folders `folders`, writing only files that differ from what was
  // written or are missing. False when something could not be written or
  // removed.
  bool SyncFolder(const std::string& folder, const std::map<std::string, std::string>& files,
                  const std::set<std::string>& folders);
  // What was written as `file` in `folder` is no longer known.
  void Unsure(const std::string& folder, const std::string& file);
  // Forgets what was written in `folder` and below.
  void Forget(const std::string& folder);

  // What this object wrote in a key folder and has not seen removed.
  struct WrittenFolder {
    std::map<std::string, std::string> Files;  // encoded value name -> text
    std::set<std::string> Folders;             // subkeys, after the last replacement
    // The folder's modification time after the last replacement, when the
    // folder then held exactly Files and Folders and the time can be told
    // apart from a later change.
    std::optional<std::filesystem::file_time_type> Time;
  };

  std::string m_Root;
  std::map<std::string, WrittenFolder> m_Written;  // by key folder
};

}  // namespace os
