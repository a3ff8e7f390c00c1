#include "app/LanguageFile.h"

namespace app {

bool CLanguageFile::Load(os::IFileSystem& files, const std::string& path) {
  m_File = os::CIniFile();
  auto size = files.FileSize(path);
  if (!size || *size > MAX_FILE_SIZE) return false;
  auto data = files.ReadFile(path);
  if (!data || data->size() > MAX_FILE_SIZE) return false;
  m_File = os::CIniFile::Parse(*data);
  return true;
}

void CLanguageFile::Parse(const uint8_t* data, size_t size) {
  m_File = os::CIniFile::Parse(data, size);
}

std::string CLanguageFile::GetText(const std::string& section, const std::string& key) const {
  return m_File.GetString(section, key, "", 256);
}

std::string CLanguageText::Get(const std::string& section, const std::string& key,
                               bool englishOnly) const {
  if (!englishOnly) {
    std::string text = m_Current.GetText(section, key);
    if (!text.empty()) return text;
  }
  return m_English.GetText(section, key);
}

}  // namespace app
