#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "app/LanguageFile.h"
#include "engine/SmartFamily.h"
#include "tests/support/StdFileSystem.h"
#include "tests/support/TempDir.h"

namespace {

const std::string kEnglishPath =
    std::string(STAVRION_SOURCE_DIR) + "/resources/TslResource/language/English.lang";

void ParseText(app::CLanguageFile& file, const std::string& text) {
  file.Parse(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

TEST(LanguageText, CurrentThenEnglish) {
  app::CLanguageText text;
  ParseText(text.Current(), "[Smart]\r\nC2=Temperatur\r\n05=\r\n");
  ParseText(text.English(),
            "[Smart]\r\nC2=Temperature\r\n05=Reallocated Sectors Count\r\n"
            "09=Power-On Hours\r\n");
  EXPECT_EQ(text.Get("Smart", "C2"), "Temperatur");
  EXPECT_EQ(text.Get("Smart", "C2", true), "Temperature");
  EXPECT_EQ(text.Get("Smart", "05"), "Reallocated Sectors Count");  // empty falls back
  EXPECT_EQ(text.Get("Smart", "09"), "Power-On Hours");             // missing falls back
  EXPECT_EQ(text.Get("Smart", "FF"), "");
  EXPECT_EQ(text.Get("Nowhere", "C2"), "");
  EXPECT_EQ(text.Get("smart", "c2"), "Temperatur");  // names ignore case
}

TEST(LanguageText, TextsAreCutTo255Characters) {
  app::CLanguageFile file;
  ParseText(file, "[S]\nK=" + std::string(400, 'x') + "\n");
  EXPECT_EQ(file.GetText("S", "K"), std::string(255, 'x'));
}

TEST(LanguageFile, LoadRefusesMissingAndHugeFiles) {
  testutil::CTempDir dir;
  testutil::CStdFileSystem files;
  app::CLanguageFile file;
  EXPECT_FALSE(file.Load(files, (dir.Path() / "Missing.lang").string()));

  const std::string huge = (dir.Path() / "Huge.lang").string();
  {
    std::ofstream out(huge, std::ios::binary);
    out << "[Smart]\nC2=Temperature\n";
    out << std::string(app::CLanguageFile::MAX_FILE_SIZE, ';');
  }
  ParseText(file, "[Smart]\nC2=old\n");
  EXPECT_FALSE(file.Load(files, huge));
  EXPECT_EQ(file.GetText("Smart", "C2"), "");  // nothing of the refused file, nothing old

  const std::string small = (dir.Path() / "Small.lang").string();
  {
    std::ofstream out(small, std::ios::binary);
    out << "[Smart]\r\nC2=Temperature\r\n";
  }
  EXPECT_TRUE(file.Load(files, small));
  EXPECT_EQ(file.GetText("Smart", "C2"), "Temperature");
}

// ---- the English file the program ships ----

struct Section {
  std::set<std::string> Keys;
};

// Reads the shipped file line by line, independently of the INI engine.
std::map<std::string, Section> ReadSections(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::map<std::string, Section> sections;
  std::string line;
  std::string current;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      current = line.substr(1, line.find(']') - 1);
      EXPECT_EQ(sections.count(current), 0u) << "section twice: " << current;
      sections[current];
      continue;
    }
    size_t eq = line.find('=');
    EXPECT_NE(eq, std::string::npos) << line;
    EXPECT_TRUE(sections[current].Keys.insert(line.substr(0, eq)).second)
        << "key twice in " << current << ": " << line;
  }
  return sections;
}

bool IsAttributeKey(const std::string& key) {
  auto hex = [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F');
  };
  return key.size() == 2 && hex(key[0]) && hex(key[1]);
}

TEST(EnglishLanguageFile, HasEverySectionTheFamiliesName) {
  auto sections = ReadSections(kEnglishPath);
  ASSERT_FALSE(sections.empty()) << kEnglishPath;
  app::CLanguageFile english;
  testutil::CStdFileSystem files;
  ASSERT_TRUE(english.Load(files, kEnglishPath));

  EXPECT_EQ(english.GetText("Smart", "VENDOR_SPECIFIC"), "Vendor Specific");
  for (std::string_view key : kSmartKeyNames) {
    const std::string name(key);
    ASSERT_EQ(sections.count(name), 1u) << name;
    for (const std::string& k : sections[name].Keys) {
      EXPECT_TRUE(IsAttributeKey(k) || k == "VENDOR_SPECIFIC" || k == "NUMBER_OF_SPARE_BLOCK")
          << name << ": " << k;
      const std::string value = english.GetText(name, k);
      EXPECT_FALSE(value.empty()) << name << ": " << k;
      EXPECT_LT(value.size(), 256u) << name << ": " << k;
    }
    // Every family names the counters every disk has.
    for (const char* id : {"05", "09", "0C", "C2"}) {
      EXPECT_FALSE(english.GetText(name, id).empty()) << name << ": " << id;
    }
  }
  // The history header of families 22 and 23 starts with this name.
  EXPECT_FALSE(english.GetText("SmartIX", "NUMBER_OF_SPARE_BLOCK").empty());
  EXPECT_FALSE(english.GetText("SmartP60", "NUMBER_OF_SPARE_BLOCK").empty());
  for (const char* status : {"GOOD", "CAUTION", "BAD", "UNKNOWN", "FEW_DAYS"}) {
    EXPECT_FALSE(english.GetText("DiskStatus", status).empty()) << status;
  }
}

TEST(EnglishLanguageFile, FamiliesNameTheirOwnMeanings) {
  app::CLanguageFile english;
  testutil::CStdFileSystem files;
  ASSERT_TRUE(english.Load(files, kEnglishPath));
  // The attribute each family's life or counters come from carries that
  // family's meaning, not the hard-disk one.
  EXPECT_EQ(english.GetText("SmartSandForce", "E7"), "SSD Life Left");
  EXPECT_EQ(english.GetText("SmartIntel", "E9"), "Media Wearout Indicator");
  EXPECT_EQ(english.GetText("SmartIntel", "E1"), "Total Host Writes (32 MB units)");
  EXPECT_EQ(english.GetText("SmartMicron", "CA"), "Percentage Lifetime Remaining");
  EXPECT_EQ(english.GetText("SmartIE", "A9"), "Remaining Life (%)");
  EXPECT_EQ(english.GetText("SmartOczVector", "C7"), "Host Writes (GB)");
  EXPECT_EQ(english.GetText("SmartIndlinx", "D1"), "Remaining Life (%)");
  EXPECT_EQ(english.GetText("SmartMtron", "BB"), "Remaining Life (%)");
  EXPECT_EQ(english.GetText("SmartP60", "02"), "Composite Temperature");  // NVMe health log
  EXPECT_EQ(english.GetText("Smart", "C5"), "Current Pending Sector Count");
  EXPECT_EQ(english.GetText("Smart", "E8"), "Endurance Remaining");
}

}  // namespace
