// Which language the program starts in, and the list of languages.
#include <gtest/gtest.h>

#include "app/LanguageChoice.h"

namespace app {
namespace {

const std::vector<LanguageEntry> kFiles = {
    {"English", "0x0409, 0x0809", "English"},
    {"German", "0x0407", "Deutsch"},
    {"French", "0x040c",
     "Fran\xC3\xA7"
     "ais"},
    {"Japanese", "0x0411", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
};

TEST(LanguageChoice, ChosenBySettingLocaleOrPrimaryLanguage) {
  struct Case {
    const char* Setting;
    bool Opens;
    uint32_t Locale;
    const char* Current;
  };
  const Case cases[] = {
      {"", false, 0x0409, "English"},
      {"", false, 0x0809, "English"},
      // No exact match for Swiss German: German by its primary language.
      {"", false, 0x0807, "German"},
      // Lower-case digits never match the locale text, the primary language does.
      {"", false, 0x040C, "French"},
      {"", false, 0x0411, "Japanese"},
      {"", false, 0x0419, "English"},
      {"Japanese", true, 0x0409, "Japanese"},
      // A setting whose file does not open is ignored.
      {"Klingon", false, 0x0407, "German"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseLanguage(c.Setting, c.Opens, c.Locale, kFiles).Current, c.Current)
        << c.Setting << " " << std::hex << c.Locale;
  }
}

TEST(LanguageChoice, ListShowsDisplayAndFileNamesUpTo256) {
  const LanguageChoice c = ChooseLanguage("", false, 0x0409, kFiles);
  ASSERT_EQ(c.List.size(), 4u);
  EXPECT_EQ(c.List[1], "Deutsch, [German]");
  std::vector<LanguageEntry> many(300, {"X", "0x0409", "X"});
  EXPECT_EQ(ChooseLanguage("", false, 0x0409, many).List.size(), MAX_LANGUAGES);
  EXPECT_EQ(ChooseLanguage("", false, 0x0407, {}).Current, "English");
}

TEST(LanguageChoice, NamesAndFaces) {
  EXPECT_EQ(LanguageNameOf("German.lang"), "German");
  EXPECT_EQ(LanguageNameOf("pt.BR.lang"), "pt.BR");
  EXPECT_EQ(LanguageNameOf("NoDot"), "NoDot");
  EXPECT_STREQ(FontFaceFor("English"), "Tahoma");
  EXPECT_STREQ(FontFaceFor("Japanese"), "Segoe UI");
}

}  // namespace
}  // namespace app
