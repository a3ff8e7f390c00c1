#include "app/LanguageChoice.h"

#include <cstdio>
#include <cstdlib>

namespace app {

std::string LanguageNameOf(const std::string& fileName) {
  const size_t dot = fileName.rfind('.');
  return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

const char* FontFaceFor(const std::string& language) {
  return language == "English" ? "Tahoma" : "Segoe UI";
}

LanguageChoice ChooseLanguage(const std::string& setting, bool settingOpens, uint32_t userLocale,
                              const std::vector<LanguageEntry>& files) {
  LanguageChoice choice;
  const bool fixed = !setting.empty() && settingOpens;
  if (fixed) choice.Current = setting;
  char locale[16];
  std::snprintf(locale, sizeof(locale), "0x%04X", userLocale & 0xFFFFu);
  const uint32_t primary = userLocale & 0x3FFu;
  std::string exact, candidate;
  for (size_t i = 0; i < files.size() && i < MAX_LANGUAGES; ++i) {
    const LanguageEntry& f = files[i];
    if (!fixed && f.LocaleId.find(locale) != std::string::npos) exact = f.Name;
    // The first number of the list, hexadecimal with or without "0x".
    const unsigned long first = std::strtoul(f.LocaleId.c_str(), nullptr, 16);
    if ((first & 0x3FFu) == primary && !f.LocaleId.empty()) candidate = f.Name;
    choice.List.push_back(f.Display + ", [" + f.Name + "]");
  }
  if (!fixed) choice.Current = !exact.empty() ? exact : !candidate.empty() ? candidate : "English";
  return choice;
}

}  // namespace app
