// Texts of the user interface, looked up by (section, key) in a language
// file, with the English file as the fallback. A language file is INI text
// read with the private-profile rules (os/IniFile.h); it is outside input:
// any bytes are accepted and a text is never longer than 255 characters.
#pragma once

#include <cstdint>
#include <string>

#include "os/FileSystem.h"
#include "os/IniFile.h"

namespace app {

// One language file held in memory.
class CLanguageFile {
 public:
  // Language files hold a few hundred kilobytes of text; anything bigger is
  // refused whole rather than read.
  static constexpr uint64_t MAX_FILE_SIZE = 4u * 1024u * 1024u;

  // Reads and parses the file. Returns false, leaving the file empty (every
  // text missing), when it is missing, unreadable or too big.
  bool Load(os::IFileSystem& files, const std::string& path);
  // Parses text already in memory.
  void Parse(const uint8_t* data, size_t size);

  // The text of `key` in `section` as the private-profile call returns it
  // through a 256-character buffer; empty when missing.
  std::string GetText(const std::string& section, const std::string& key) const;

 private:
  os::CIniFile m_File;
};

// The current language and English side by side: the lookup every text of
// the program goes through.
class CLanguageText {
 public:
  CLanguageFile& Current() { return m_Current; }
  CLanguageFile& English() { return m_English; }

  // The text of `key` in `section`. With `englishOnly` the English file alone
  // is read; otherwise the current file, and the English file when that
  // gives an empty text. Missing from both: empty.
  std::string Get(const std::string& section, const std::string& key,
                  bool englishOnly = false) const;

 private:
  CLanguageFile m_Current;
  CLanguageFile m_English;
};

}  // namespace app
