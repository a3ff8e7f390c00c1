// Which language the program speaks at start: the "Language" setting when
// its file opens, else the file whose "LOCALE_ID" holds the user's locale,
// else one of the user's primary language, else English. Also the list of
// languages offered in the settings dialog.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace app {

// One ".lang" file of the language folder, in the order the folder search
// returned it.
struct LanguageEntry {
  std::string Name;      // file name without extension
  std::string LocaleId;  // "LOCALE_ID" of section "Language"
  std::string Display;   // "LANGUAGE" of section "Language"
};

struct LanguageChoice {
  std::string Current;            // language name
  std::vector<std::string> List;  // "%s, [%s]": display name, language name
};

// At most this many files are listed.
constexpr size_t MAX_LANGUAGES = 256;

// `setting` is the "Language" setting and `settingOpens` whether its file
// can be read; `userLocale` the user's default locale identifier.
LanguageChoice ChooseLanguage(const std::string& setting, bool settingOpens, uint32_t userLocale,
                              const std::vector<LanguageEntry>& files);

// The language name of a file name ("German.lang" -> "German"): cut at the
// last dot.
std::string LanguageNameOf(const std::string& fileName);

// The font face of the windows for a language.
const char* FontFaceFor(const std::string& language);

}  // namespace app
