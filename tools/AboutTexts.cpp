#include "tools/AboutTexts.h"

namespace tools {

AboutTexts BuiltInAboutTexts(const std::string& languageName) {
  AboutTexts t;
  if (languageName == "Traditional Chinese") {
    t.Version = "版本 4.0.2";
    t.Copyright = "版權所有 (C) 2026 Tessaly\r\n保留所有權利。";
    t.Description =
        "Stavrion 監看這台電腦中每一顆磁碟的健康狀態、溫度與剩餘壽命，"
        "特別是固態硬碟。";
  } else {
    t.Version = "ver 4.0.2";
    t.Copyright = "Copyright (C) 2026 Tessaly\r\nAll rights reserved.";
    t.Description =
        "Stavrion watches the health, temperature and remaining life of every "
        "disk in this computer, above all solid-state disks.";
  }
  t.Title = "Stavrion";
  return t;
}

std::string ExpandLineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      out += "\r\n";
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

AboutTexts BuildAboutTexts(const std::function<std::string(const std::string&)>& customization,
                           int guiStyle, const std::string& languageName) {
  const AboutTexts builtIn = BuiltInAboutTexts(languageName);
  AboutTexts t;
  auto pick = [&](const char* key, const std::string& fallback, bool expand) {
    const std::string value = customization(key);
    if (value == "Blank") return std::string();
    if (!value.empty()) return expand ? ExpandLineBreaks(value) : value;
    return guiStyle == 1 ? fallback : std::string();
  };
  t.Version = pick("VERSION", builtIn.Version, false);
  t.Copyright = pick("COPYRIGHT", builtIn.Copyright, true);
  t.Description = pick("DETAILS", builtIn.Description, true);
  t.Title = pick("TITLE", builtIn.Title, false);
  return t;
}

const std::vector<ShortcutRow>& AboutShortcuts() {
  static const std::vector<ShortcutRow> rows = {
      {"1", "F1", "Dialog", "STAVRION_ABOUT"},    {"2", "F2", "WindowTitle", "MEMORY_INFORMATION"},
      {"3", "F5", "Dialog", "REFRESH"},           {"4", "F6", "Dialog", "RESCAN"},
      {"5", "F7", "Dialog", "STAVRION_SETTINGS"}, {"6", "F9", "Dialog", "STAVRION_SMART"},
      {"7", "F10", "Dialog", "STAVRION_GRAPH"},
  };
  return rows;
}

}  // namespace tools
