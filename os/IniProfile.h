// os::IProfile over os::IFileSystem with our own INI engine (CIniFile): the
// private-profile calls for systems that have none, and for the simulated
// machine. Every call reads the file afresh; every change is written at once
// through IFileSystem::WriteFileAtomic, so the file on disk is always either
// the old or the new text, never a mixture.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "os/FileSystem.h"
#include "os/IniFile.h"
#include "os/Profile.h"

namespace os {

class CIniProfile : public IProfile {
 public:
  // Files larger than this read as empty and are never rewritten: a
  // settings file is a few kilobytes, anything this big is not one of ours.
  static constexpr uint64_t MAX_FILE_SIZE = 16u * 1024u * 1024u;

  // `newline` ends the lines of files this profile creates.
  explicit CIniProfile(IFileSystem& files, std::string newline = "\r\n");

  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& fallback, const std::string& path,
                        uint32_t capacity = 256) override;
  int32_t GetInt(const std::string& section, const std::string& key, int32_t fallback,
                 const std::string& path) override;
  bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path) override;
  bool DeleteKey(const std::string& section, const std::string& key,
                 const std::string& path) override;
  bool DeleteSection(const std::string& section, const std::string& path) override;
  std::vector<std::string> Keys(const std::string& section, const std::string& path) override;
  bool MakePrivate(const std::string& path) override { return m_Files.MakePrivate(path); }

 private:
  // The file as it is now: empty when missing, unreadable or too big.
  CIniFile LoadForReading(const std::string& path);
  // The file as it is now, or nullopt when it exists but cannot be read
  // whole (rewriting it would lose what we could not read).
  std::optional<CIniFile> LoadForWriting(const std::string& path);
  bool Save(const std::string& path, const CIniFile& file);

  IFileSystem& m_Files;
  std::string m_Newline;
};

}  // namespace os
