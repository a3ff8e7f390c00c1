#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "os/IniFile.h"
#include "os/IniProfile.h"
#include "tests/support/IniCases.h"
#include "tests/support/StdFileSystem.h"
#include "tests/support/TempDir.h"

namespace {

using testutil::IniCase;

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::string Text(const std::vector<uint8_t>& b) { return {b.begin(), b.end()}; }

void WriteRaw(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::vector<uint8_t> ReadRaw(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class IniTable : public ::testing::TestWithParam<IniCase> {
 protected:
  testutil::CTempDir m_Dir;
  testutil::CStdFileSystem m_Files;
};

TEST_P(IniTable, AnswersAsWindows) {
  os::CIniProfile profile(m_Files);
  EXPECT_EQ(testutil::RunIniCase(profile, GetParam(), m_Dir.File("case.ini")), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniTable, ::testing::ValuesIn(testutil::IniCases()),
                         [](const ::testing::TestParamInfo<IniCase>& param) {
                           return param.param.Name;
                         });

// Behaviour our engine adds to the Windows rules, or where it must not break.

TEST(IniFile, WriteChangesOnlyItsOwnLines) {
  const std::string before = "; settings\r\n[S]\r\n  A = 1 ; not a comment\r\n\r\n[T]\r\nB=2\r\n";
  os::CIniFile file = os::CIniFile::Parse(Bytes(before));
  EXPECT_EQ(file.GetString("S", "A", ""), "1 ; not a comment");
  ASSERT_TRUE(file.Set("S", "C", "3"));
  ASSERT_TRUE(file.Set("T", "B", "4"));
  EXPECT_EQ(Text(file.Serialise()),
            "; settings\r\n[S]\r\n  A = 1 ; not a comment\r\nC=3\r\n\r\n[T]\r\nB=4\r\n");
}

TEST(IniFile, SameValueChangesNothing) {
  os::CIniFile file = os::CIniFile::Parse(Bytes("[S]\r\n A = 1 \r\n"));
  bool changed = true;
  ASSERT_TRUE(file.Set("s", "a", "1", &changed));
  EXPECT_FALSE(changed);
  EXPECT_EQ(Text(file.Serialise()), "[S]\r\n A = 1 \r\n");
}

TEST(IniFile, NewLinesFollowTheFilesLineEnds) {
  os::CIniFile lf = os::CIniFile::Parse(Bytes("[S]\nA=1"), "\r\n");
  lf.Set("S", "B", "2");
  lf.Set("T", "C", "3");
  EXPECT_EQ(Text(lf.Serialise()), "[S]\nA=1\nB=2\n[T]\nC=3\n");

  os::CIniFile fresh("\n");
  fresh.Set("Setting", "DebugMode", "0");
  EXPECT_EQ(Text(fresh.Serialise()), "[Setting]\nDebugMode=0\n");
}

TEST(IniFile, ByteOrderMarksAreKept) {
  os::CIniFile utf8 = os::CIniFile::Parse(Bytes("\xEF\xBB\xBF[S]\r\nA=\xC3\xA9\r\n"));
  EXPECT_EQ(utf8.GetString("S", "A", ""), "\xC3\xA9");
  utf8.Set("S", "B", "x");
  EXPECT_EQ(Text(utf8.Serialise()), "\xEF\xBB\xBF[S]\r\nA=\xC3\xA9\r\nB=x\r\n");

  std::vector<uint8_t> le = testutil::Utf16LeWithBom("[S]\r\nA=\xF0\x9F\x98\x80\r\n");
  os::CIniFile utf16 = os::CIniFile::Parse(le);
  EXPECT_EQ(utf16.GetEncoding(), os::CIniFile::Encoding::Utf16Le);
  EXPECT_EQ(utf16.GetString("S", "A", ""), "\xF0\x9F\x98\x80");
  EXPECT_EQ(utf16.Serialise(), le);

  std::vector<uint8_t> be = {0xFE, 0xFF, 0, '[', 0, 'S', 0, ']', 0, '\n', 0, 'A', 0, '=', 0, 'z'};
  os::CIniFile utf16be = os::CIniFile::Parse(be);
  EXPECT_EQ(utf16be.GetString("S", "A", ""), "z");
  EXPECT_EQ(utf16be.Serialise(), be);
}

TEST(IniFile, BrokenUtf16AndLatin1StillGiveUtf8) {
  // A lone high surrogate and an odd trailing byte.
  std::vector<uint8_t> lone = {0xFF, 0xFE, '[', 0,   'S', 0,    ']',  0,  '\n',
                               0,    'A',  0,   '=', 0,   0x00, 0xD8, 'x'};
  EXPECT_EQ(os::CIniFile::Parse(lone).GetString("S", "A", ""), "\xEF\xBF\xBD");
  EXPECT_EQ(os::CIniFile::Parse(Bytes("[S]\nK=caf\xE9\n")).GetString("S", "K", ""), "caf\xC3\xA9");
}

TEST(IniFile, CapacityCountsUtf16UnitsAndNeverSplitsACharacter) {
  os::CIniFile file = os::CIniFile::Parse(Bytes("[S]\nK=a\xF0\x9F\x98\x80z\nE=\xC3\xA9\xC3\xA9\n"));
  struct {
    uint32_t Capacity;
    const char* Key;
    const char* Expected;
  } cases[] = {
      {0, "K", ""},
      {1, "K", ""},
      {2, "K", "a"},
      {3, "K", "a"},  // the emoji needs two units
      {4, "K", "a\xF0\x9F\x98\x80"},
      {5, "K", "a\xF0\x9F\x98\x80z"},
      {2, "E", "\xC3\xA9"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(file.GetString("S", c.Key, "", c.Capacity), c.Expected) << c.Capacity;
  }
}

TEST(IniFile, OnlyTheFirstSectionOfANameIsSearchedAndWritten) {
  os::CIniFile file = os::CIniFile::Parse(Bytes("[S]\nA=1\n[T]\n[s]\nB=2\n"));
  EXPECT_EQ(file.GetString("S", "B", "none"), "none");
  file.Set("S", "B", "3");
  EXPECT_EQ(Text(file.Serialise()), "[S]\nA=1\nB=3\n[T]\n[s]\nB=2\n");
  EXPECT_TRUE(file.RemoveSection("S"));
  EXPECT_EQ(Text(file.Serialise()), "[T]\n");
}

TEST(IniFile, IntegerConversionWrapsLikeWindows) {
  os::CIniFile file = os::CIniFile::Parse(
      Bytes("[S]\nA=4294967297\nB=-2147483648\nC=2147483648\nD=\"5\"\nE=-\nF=\n"));
  EXPECT_EQ(file.GetInt("S", "A", 9), 1);
  EXPECT_EQ(file.GetInt("S", "B", 9), INT32_MIN);
  EXPECT_EQ(file.GetInt("S", "C", 9), INT32_MIN);
  EXPECT_EQ(file.GetInt("S", "D", 9), 5);
  EXPECT_EQ(file.GetInt("S", "E", 9), 0);
  EXPECT_EQ(file.GetInt("S", "F", 9), 9);
}

TEST(IniFile, TextThatCannotBeOneLineIsRefused) {
  struct {
    const char* Section;
    const char* Key;
    std::string Value;
  } cases[] = {
      {"S", "K", "a\r\n[Evil]\r\nX=1"},
      {"S", "K", "a\nb"},
      {"S", "K", std::string("a\0b", 3)},
      {"S]", "K", "v"},
      {"S\n", "K", "v"},
      {"S", "K=J", "v"},
      {"S", ";K", "v"},
      {"S", "[K", "v"},
      {"S", "  ", "v"},
      {"", "K", "v"},
  };
  for (const auto& c : cases) {
    os::CIniFile file = os::CIniFile::Parse(Bytes("[S]\r\nK=1\r\n"));
    EXPECT_FALSE(file.Set(c.Section, c.Key, c.Value)) << c.Section << "/" << c.Key;
    EXPECT_EQ(Text(file.Serialise()), "[S]\r\nK=1\r\n");
  }
}

TEST(IniFile, NulEndsAValue) {
  std::string content("[S]\nK=ab\0cd\n", 12);
  EXPECT_EQ(os::CIniFile::Parse(Bytes(content)).GetString("S", "K", ""), "ab");
}

TEST(IniFile, BinaryGarbageParsesAndStaysWritable) {
  std::vector<uint8_t> junk(65536);
  uint32_t x = 12345;
  for (uint8_t& b : junk) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  os::CIniFile file = os::CIniFile::Parse(junk);
  (void)file.GetString("Setting", "DebugMode", "0");
  ASSERT_TRUE(file.Set("Setting", "DebugMode", "1"));
  os::CIniFile again = os::CIniFile::Parse(file.Serialise());
  EXPECT_EQ(again.GetInt("Setting", "DebugMode", 0), 1);
}

TEST(IniProfile, HugeOrUnreadableFilesReadAsEmptyAndAreNeverRewritten) {
  testutil::CTempDir dir;
  testutil::CStdFileSystem files;
  os::CIniProfile profile(files);

  std::string huge = dir.File("huge.ini");
  WriteRaw(huge, Bytes("[S]\r\nK=1\r\n"));
  std::filesystem::resize_file(huge, os::CIniProfile::MAX_FILE_SIZE + 1);
  EXPECT_EQ(profile.GetString("S", "K", "d", huge), "d");
  EXPECT_EQ(profile.GetInt("S", "K", 5, huge), 5);
  EXPECT_FALSE(profile.WriteString("S", "K", "2", huge));
  EXPECT_EQ(std::filesystem::file_size(huge), os::CIniProfile::MAX_FILE_SIZE + 1);

  std::string folder = dir.File("folder.ini");
  std::filesystem::create_directory(folder);
  EXPECT_EQ(profile.GetString("S", "K", "d", folder), "d");
  EXPECT_FALSE(profile.WriteString("S", "K", "2", folder));
  EXPECT_TRUE(std::filesystem::is_directory(folder));

  EXPECT_FALSE(profile.WriteString("S", "K", "2", dir.File("no/such/folder.ini")));
}

TEST(IniProfile, EveryCallReadsTheFileAgain) {
  testutil::CTempDir dir;
  testutil::CStdFileSystem files;
  os::CIniProfile profile(files);
  std::string path = dir.File("s.ini");
  WriteRaw(path, Bytes("[S]\r\nK=1\r\n"));
  EXPECT_EQ(profile.GetInt("S", "K", 0, path), 1);
  WriteRaw(path, Bytes("[S]\r\nK=2\r\n"));
  EXPECT_EQ(profile.GetInt("S", "K", 0, path), 2);
  ASSERT_TRUE(profile.WriteString("S", "J", "3", path));
  EXPECT_EQ(Text(ReadRaw(path)), "[S]\r\nK=2\r\nJ=3\r\n");
  // No temporary file is left beside it.
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 1u);
}

}  // namespace
