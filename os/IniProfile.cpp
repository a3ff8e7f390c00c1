#include "os/IniProfile.h"

namespace os {

CIniProfile::CIniProfile(IFileSystem& files, std::string newline)
    : m_Files(files), m_Newline(std::move(newline)) {}

CIniFile CIniProfile::LoadForReading(const std::string& path) {
  std::optional<uint64_t> size = m_Files.FileSize(path);
  if (!size || *size > MAX_FILE_SIZE) return CIniFile(m_Newline);
  std::optional<std::vector<uint8_t>> data = m_Files.ReadFile(path);
  if (!data || data->size() > MAX_FILE_SIZE) return CIniFile(m_Newline);
  return CIniFile::Parse(*data, m_Newline);
}

std::optional<CIniFile> CIniProfile::LoadForWriting(const std::string& path) {
  std::optional<uint64_t> size = m_Files.FileSize(path);
  if (!size) {
    // Missing: start a new file. Present but not a regular file, or not
    // readable: leave it alone.
    if (m_Files.Exists(path)) return std::nullopt;
    return CIniFile(m_Newline);
  }
  if (*size > MAX_FILE_SIZE) return std::nullopt;
  std::optional<std::vector<uint8_t>> data = m_Files.ReadFile(path);
  if (!data || data->size() > MAX_FILE_SIZE) return std::nullopt;
  return CIniFile::Parse(*data, m_Newline);
}

bool CIniProfile::Save(const std::string& path, const CIniFile& file) {
  return m_Files.WriteFileAtomic(path, file.Serialise());
}

std::string CIniProfile::GetString(const std::string& section, const std::string& key,
                                   const std::string& fallback, const std::string& path,
                                   uint32_t capacity) {
  return LoadForReading(path).GetString(section, key, fallback, capacity);
}

int32_t CIniProfile::GetInt(const std::string& section, const std::string& key, int32_t fallback,
                            const std::string& path) {
  return LoadForReading(path).GetInt(section, key, fallback);
}

bool CIniProfile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value, const std::string& path) {
  if (!CIniFile::IsStorable(section, key, value)) return false;
  std::optional<CIniFile> file = LoadForWriting(path);
  if (!file) return false;
  bool changed = false;
  if (!file->Set(section, key, value, &changed)) return false;
  return !changed || Save(path, *file);
}

bool CIniProfile::DeleteKey(const std::string& section, const std::string& key,
                            const std::string& path) {
  std::optional<CIniFile> file = LoadForWriting(path);
  if (!file) return false;
  return !file->RemoveKey(section, key) || Save(path, *file);
}

bool CIniProfile::DeleteSection(const std::string& section, const std::string& path) {
  std::optional<CIniFile> file = LoadForWriting(path);
  if (!file) return false;
  return !file->RemoveSection(section) || Save(path, *file);
}

std::vector<std::string> CIniProfile::Keys(const std::string& section, const std::string& path) {
  return LoadForReading(path).Keys(section);
}

}  // namespace os
