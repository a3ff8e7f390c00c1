#include <gtest/gtest.h>

#include <map>

#include "tools/AboutTexts.h"

namespace {

TEST(AboutTexts, CustomizationBlankBuiltInAndEmpty) {
  struct Case {
    const char* Name;
    std::map<std::string, std::string> Keys;
    int GuiStyle;
    const char* Language;
    tools::AboutTexts Expected;
  };
  const tools::AboutTexts english = tools::BuiltInAboutTexts("English");
  const tools::AboutTexts chinese = tools::BuiltInAboutTexts("Traditional Chinese");
  const Case cases[] = {
      {"NoFileStyle0", {}, 0, "English", {"", "", "", ""}},
      {"NoFileStyle1", {}, 1, "English", english},
      {"ChineseByExactName", {}, 1, "Traditional Chinese", chinese},
      {"LowerCaseNameIsEnglish", {}, 1, "traditional chinese", english},
      {"OtherLanguageIsEnglish", {}, 1, "German", english},
      {"BlankEmptiesEvenStyle1",
       {{"VERSION", "Blank"}, {"TITLE", "Blank"}},
       1,
       "English",
       {"", english.Copyright, english.Description, ""}},
      {"ValuesWithLineBreaks",
       {{"VERSION", "v9"}, {"COPYRIGHT", "(C) Dist\\nAll rights"}, {"DETAILS", "a\\nb\\\\c"}},
       0,
       "English",
       {"v9", "(C) Dist\r\nAll rights", "a\r\nb\\\\c", ""}},
  };
  for (const Case& c : cases) {
    const tools::AboutTexts t = tools::BuildAboutTexts(
        [&](const std::string& key) {
          auto it = c.Keys.find(key);
          return it == c.Keys.end() ? std::string() : it->second;
        },
        c.GuiStyle, c.Language);
    EXPECT_EQ(t.Version, c.Expected.Version) << c.Name;
    EXPECT_EQ(t.Copyright, c.Expected.Copyright) << c.Name;
    EXPECT_EQ(t.Description, c.Expected.Description) << c.Name;
    EXPECT_EQ(t.Title, c.Expected.Title) << c.Name;
  }
  EXPECT_NE(english.Version, chinese.Version);
  EXPECT_EQ(english.Version, "ver 4.0.2");
}

TEST(AboutTexts, ShortcutRowsFollowTheAccelerators) {
  const auto& rows = tools::AboutShortcuts();
  ASSERT_EQ(rows.size(), 7u);
  const char* keys[] = {"F1", "F2", "F5", "F6", "F7", "F9", "F10"};
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(std::string(rows[i].Number), std::to_string(i + 1));
    EXPECT_STREQ(rows[i].Key, keys[i]);
  }
  EXPECT_STREQ(rows[1].Section, "WindowTitle");
  EXPECT_STREQ(rows[1].TextKey, "MEMORY_INFORMATION");
}

}  // namespace
