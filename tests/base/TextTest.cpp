#include "base/Text.h"

#include <gtest/gtest.h>

#include <cstdint>

// The helpers replace copies that used <cctype> in the "C" locale: bytes
// above 0x7F, which UTF-8 texts from disks are full of, must pass unchanged.
TEST(Text, CaseAndTrimTouchAsciiOnly) {
  struct Case {
    const char* In;
    const char* Lower;
    const char* Upper;
    const char* Trimmed;
  };
  const Case cases[] = {
      {"", "", "", ""},
      {"  Samsung SSD 850 \t\r\n", "  samsung ssd 850 \t\r\n", "  SAMSUNG SSD 850 \t\r\n",
       "Samsung SSD 850"},
      {"\v\fx\v\f", "\v\fx\v\f", "\v\fX\v\f", "x"},
      {"\xC3\x84rger", "\xC3\x84rger", "\xC3\x84RGER", "\xC3\x84rger"},
      {" \t ", " \t ", " \t ", ""},
      {"[Az]@`{", "[az]@`{", "[AZ]@`{", "[Az]@`{"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.In);
    EXPECT_EQ(base::LowerAscii(c.In), c.Lower);
    EXPECT_EQ(base::UpperAscii(c.In), c.Upper);
    EXPECT_EQ(base::Trim(c.In), c.Trimmed);
  }
  EXPECT_EQ(base::TrimRight("  a b \n"), "  a b");
  EXPECT_EQ(base::Trim("\v a \v", " \t\r\n"), "\v a \v");  // a narrower blank set
  EXPECT_EQ(base::Trim(std::string("\0a", 2)), std::string("\0a", 2));
}

TEST(Text, PrefixesSuffixesAndLatin1) {
  EXPECT_TRUE(base::StartsWith("SAMSUNG MZ7", "SAMSUNG"));
  EXPECT_FALSE(base::StartsWith("SAM", "SAMSUNG"));
  EXPECT_TRUE(base::EndsWith("ST1000DM003", "003"));
  EXPECT_FALSE(base::EndsWith("03", "003"));
  EXPECT_TRUE(base::Contains("INTEL SSDSC2", "SSD"));

  const uint8_t field[] = {'A', 0xE9, 0x7F, 0x80, 0, 'Z'};
  EXPECT_EQ(base::Latin1ToUtf8(field, sizeof field), "A\xC3\xA9\x7F\xC2\x80");  // stops at NUL
  EXPECT_EQ(base::Latin1ToUtf8(field, 1), "A");                                 // stops at size
}
