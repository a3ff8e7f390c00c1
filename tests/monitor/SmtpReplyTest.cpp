#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/SmtpReply.h"

namespace {

using monitor::CSmtpReplyReader;
using State = CSmtpReplyReader::State;

TEST(SmtpReplyReader, ReadsEveryLineOfAReplyWhateverTheChunks) {
  struct Case {
    const char* Name;
    std::vector<std::string> Chunks;
    State Final;
    int Code;
    std::vector<std::string> Lines;
  };
  const Case cases[] = {
      {"one line", {"220 mx.test ESMTP\r\n"}, State::Complete, 220, {"mx.test ESMTP"}},
      {"EHLO with extensions in one receive",
       {"250-mx.test Hello\r\n250-SIZE 52428800\r\n250-AUTH LOGIN PLAIN\r\n250 "
        "HELP\r\n"},
       State::Complete,
       250,
       {"mx.test Hello", "SIZE 52428800", "AUTH LOGIN PLAIN", "HELP"}},
      {"split inside a line and between lines",
       {"250-mx", ".test\r", "\n250-STARTTLS\r\n", "250 HE", "LP\r\n"},
       State::Complete,
       250,
       {"mx.test", "STARTTLS", "HELP"}},
      {"code alone", {"354\r\n"}, State::Complete, 354, {""}},
      {"bare line feeds", {"235-a\n235 b\n"}, State::Complete, 235, {"a", "b"}},
      {"continuation still open", {"250-a\r\n250-b\r\n"}, State::NeedMore, 0, {}},
      {"no line end yet", {"220 ready"}, State::NeedMore, 0, {}},
      {"not a code", {"hello\r\n"}, State::Malformed, 0, {}},
      {"code out of range", {"600 no\r\n"}, State::Malformed, 0, {}},
      {"wrong separator", {"250_x\r\n"}, State::Malformed, 0, {}},
      {"codes differ between lines", {"250-a\r\n251 b\r\n"}, State::Malformed, 0, {}},
      {"endless line", {std::string(3000, '2')}, State::Malformed, 0, {}},
      {"control bytes in text",
       {"550 no\x01such\x1b[31m\r\n"},
       State::Complete,
       550,
       {"no such [31m"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    CSmtpReplyReader reader;
    State state = State::NeedMore;
    for (const std::string& chunk : c.Chunks) state = reader.Feed(chunk);
    ASSERT_EQ(state, c.Final) << reader.Error();
    if (state != State::Complete) continue;
    monitor::SmtpReply reply = reader.Take();
    EXPECT_EQ(reply.Code, c.Code);
    EXPECT_EQ(reply.Lines, c.Lines);
  }
}

TEST(SmtpReplyReader, KeepsWhatFollowsAReplyForTheNextOne) {
  CSmtpReplyReader reader;
  ASSERT_EQ(reader.Feed("220 hi\r\n250-a\r\n250 b\r\n33"), State::Complete);
  EXPECT_EQ(reader.Take().Code, 220);
  EXPECT_EQ(reader.GetState(), State::Complete);
  EXPECT_EQ(reader.Take().Lines.size(), 2u);
  EXPECT_TRUE(reader.HasPendingBytes());  // "33": what STARTTLS must never see
  EXPECT_EQ(reader.Feed("4 go on\r\n"), State::Complete);
  EXPECT_EQ(reader.Take().Code, 334);
  EXPECT_FALSE(reader.HasPendingBytes());
}

TEST(SmtpReplyReader, RefusesEndlessReplies) {
  CSmtpReplyReader reader;
  State state = State::NeedMore;
  for (size_t i = 0; i <= CSmtpReplyReader::MAX_LINES && state == State::NeedMore; ++i)
    state = reader.Feed("250-x\r\n");
  EXPECT_EQ(state, State::Malformed);
}

TEST(SmtpReply, SummaryIsOneBoundedLine) {
  monitor::SmtpReply reply{535, {"5.7.8 Authentication failed", "second"}};
  EXPECT_EQ(reply.Summary(), "535 5.7.8 Authentication failed");
  reply.Lines = {std::string(500, 'x')};
  EXPECT_EQ(reply.Summary().size(), 200u);
}

}  // namespace
