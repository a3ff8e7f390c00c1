// The shared table of private-profile cases against the real Windows calls:
// what our own INI engine promises is what Windows does.
#include <gtest/gtest.h>

#include "os/win32/Win32Profile.h"
#include "tests/support/IniCases.h"
#include "tests/support/TempDir.h"

namespace {

using testutil::IniCase;

class Win32IniTable : public ::testing::TestWithParam<IniCase> {
 protected:
  testutil::CTempDir m_Dir;
  os::CWin32Profile m_Profile;
};

TEST_P(Win32IniTable, WindowsAnswersAsTheTableSays) {
  const IniCase& c = GetParam();
  EXPECT_EQ(testutil::RunIniCase(m_Profile, c, m_Dir.File("case.ini")), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Win32IniTable, ::testing::ValuesIn(testutil::IniCases()),
                         [](const ::testing::TestParamInfo<IniCase>& p) { return p.param.Name; });

class Win32Profile : public ::testing::Test {
 protected:
  testutil::CTempDir m_Dir;
  os::CWin32Profile m_Profile;
};

// Text outside ASCII survives the UTF-8 / UTF-16 crossing in a file Windows
// keeps as UTF-16.
TEST_F(Win32Profile, NonAsciiValueRoundTripsInAUtf16File) {
  std::string path = m_Dir.File("u.ini");
  {
    auto bytes = testutil::Utf16LeWithBom("[S]\r\n");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  const std::string value = "Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC \xF0\x9F\x92\xBE";
  ASSERT_TRUE(m_Profile.WriteString("S", "Name", value, path));
  EXPECT_EQ(m_Profile.GetString("S", "Name", "", path), value);
}

TEST_F(Win32Profile, StringsHoldingNulAreRefused) {
  std::string path = m_Dir.File("n.ini");
  std::string withNul("Key\0Other", 9);
  EXPECT_FALSE(m_Profile.WriteString("S", withNul, "v", path));
  EXPECT_FALSE(m_Profile.DeleteKey("S", withNul, path));
  EXPECT_FALSE(m_Profile.DeleteSection(withNul, path));
  EXPECT_EQ(m_Profile.GetString("S", withNul, "fb", path), "fb");
  EXPECT_EQ(m_Profile.GetInt("S", withNul, 7, path), 7);
}

TEST_F(Win32Profile, ZeroCapacityReadsNothing) {
  std::string path = m_Dir.File("z.ini");
  ASSERT_TRUE(m_Profile.WriteString("S", "K", "value", path));
  EXPECT_EQ(m_Profile.GetString("S", "K", "fb", path, 0), "");
  EXPECT_EQ(m_Profile.GetString("S", "K", "fb", path, 3), "va");
}

TEST_F(Win32Profile, LongKeyListIsReadWhole) {
  std::string path = m_Dir.File("k.ini");
  std::string text = "[S]\r\n";
  std::string expected;
  for (int i = 0; i < 1500; ++i) {
    std::string key = "LongishKeyName" + std::to_string(i);
    text += key + "=1\r\n";
    expected += (expected.empty() ? "" : "|") + key;
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  std::string got;
  for (const auto& k : m_Profile.Keys("S", path)) got += (got.empty() ? "" : "|") + k;
  EXPECT_EQ(got, expected);
}

}  // namespace
