// What the about pane shows: the version, copyright and description texts
// (from "Customization.ini" of a distributor, or the built-in texts in
// English or Traditional Chinese) and the table of the main window's
// keyboard shortcuts.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tools {

struct AboutTexts {
  std::string Version;
  std::string Copyright;
  std::string Description;
  std::string Title;  // the pane's hidden title label
};

// The built-in texts: Traditional Chinese only for the language named
// exactly "Traditional Chinese", English for every other name.
AboutTexts BuiltInAboutTexts(const std::string& languageName);

// Each two-character sequence backslash-n becomes a line break ("\r\n").
std::string ExpandLineBreaks(const std::string& text);

// The texts of the pane. `customization` returns the value of a key of
// section "Information" of the customization file (empty when the file or
// key is missing). "Blank" empties a text; an empty value takes the
// built-in text when `guiStyle` is 1, else stays empty.
AboutTexts BuildAboutTexts(const std::function<std::string(const std::string&)>& customization,
                           int guiStyle, const std::string& languageName);

// One row of the shortcut list: number, key and the language text naming
// what the key does.
struct ShortcutRow {
  const char* Number;
  const char* Key;
  const char* Section;
  const char* TextKey;
};
const std::vector<ShortcutRow>& AboutShortcuts();

}  // namespace tools
