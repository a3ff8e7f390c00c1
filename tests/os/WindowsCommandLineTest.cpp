#include <gtest/gtest.h>

#include "os/WindowsCommandLine.h"

namespace {

struct QuoteCase {
  const char* Name;
  std::string Argument;
  std::string Expected;
};

class WindowsArgumentQuoting : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(WindowsArgumentQuoting, GivesTheTextTheChildSplitsBack) {
  EXPECT_EQ(os::QuoteWindowsArgument(GetParam().Argument), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowsArgumentQuoting,
    ::testing::Values(
        QuoteCase{"Plain", "/Startup", "/Startup"}, QuoteCase{"Empty", "", "\"\""},
        QuoteCase{"Blank", "two words", "\"two words\""}, QuoteCase{"Tab", "a\tb", "\"a\tb\""},
        QuoteCase{"LineBreak", "a\nb", "\"a\nb\""}, QuoteCase{"Quote", "a\"b", "\"a\\\"b\""},
        QuoteCase{"OnlyQuote", "\"", "\"\\\"\""},
        QuoteCase{"BackslashesWithoutQuoteStayLiteral", "C:\\dir\\", "C:\\dir\\"},
        QuoteCase{"TrailingBackslashDoubledInsideQuotes", "C:\\my dir\\", "\"C:\\my dir\\\\\""},
        QuoteCase{"BackslashesBeforeQuoteDoubled", "a\\\\\"b", "\"a\\\\\\\\\\\"b\""},
        QuoteCase{"BackslashQuoteAtEnd", "x\\\"", "\"x\\\\\\\"\""},
        QuoteCase{"InnerBackslashesKept", "a b\\c", "\"a b\\c\""},
        QuoteCase{"Utf8Untouched", "gr\xC3\xBC\xC3\x9F", "gr\xC3\xBC\xC3\x9F"}),
    [](const ::testing::TestParamInfo<QuoteCase>& p) { return p.param.Name; });

TEST(WindowsCommandLine, QuotesTheProgramAndJoinsArguments) {
  auto line = os::BuildWindowsCommandLine("C:\\Program Files\\S\\s.exe", {"/Startup", "a b", ""});
  ASSERT_TRUE(line);
  EXPECT_EQ(*line, "\"C:\\Program Files\\S\\s.exe\" /Startup \"a b\" \"\"");
}

TEST(WindowsCommandLine, NoArgumentsIsJustTheProgram) {
  EXPECT_EQ(os::BuildWindowsCommandLine("p.exe", {}), std::optional<std::string>("\"p.exe\""));
}

TEST(WindowsCommandLine, RefusesWhatCannotBePassed) {
  EXPECT_FALSE(os::BuildWindowsCommandLine("C:\\a\"b.exe", {}));
  EXPECT_FALSE(os::BuildWindowsCommandLine(std::string("p\0.exe", 6), {}));
  EXPECT_FALSE(os::BuildWindowsCommandLine("p.exe", {"ok", std::string("a\0b", 3)}));
}

// A quote can never end the quoted part early: whatever follows a hostile
// argument stays inside it.
TEST(WindowsCommandLine, HostileArgumentStaysOneArgument) {
  std::string quoted = os::QuoteWindowsArgument("x\\\" && del /q *");
  EXPECT_EQ(quoted, "\"x\\\\\\\" && del /q *\"");
}

}  // namespace
