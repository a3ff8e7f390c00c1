#include <gtest/gtest.h>

#include <string>

#include "monitor/MailMessage.h"

namespace {

using namespace monitor;

TEST(MailMessage, AddressesAreCheckedBeforeAnythingIsSent) {
  struct Case {
    std::string Address;
    bool Ok;
  };
  const Case cases[] = {
      {"alarm@example.org", true},
      {"noauth@localhost", true},
      {std::string(242, 'a') + "@example.org", true},   // 254
      {std::string(243, 'a') + "@example.org", false},  // 255
      {"", false},
      {"no-at-sign", false},
      {"@example.org", false},
      {"a@", false},
      {"a@b@c", false},
      {"a@b>\r\nRCPT TO:<evil@x", false},
      {"a b@c", false},
      {"a@b\n", false},
      {"j\xC3\xBCrgen@example.org", false},
      {"a<b@c", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CheckMailAddress(c.Address).empty(), c.Ok)
        << c.Address << ": " << CheckMailAddress(c.Address);
}

TEST(MailMessage, WireEncodings) {
  struct Case {
    const char* Name;
    std::string (*Encode)(std::string_view);
    std::string In;
    std::string Out;
  };
  const Case cases[] = {
      {"base64 empty", Base64, "", ""},
      {"base64 one", Base64, "t", "dA=="},
      {"base64 two", Base64, "te", "dGU="},
      {"base64 user", Base64, "testuser", "dGVzdHVzZXI="},
      {"base64 high bytes", Base64, std::string("\xff\xfe\x00", 3), "//4A"},
      {"header control bytes", HeaderSafe, "ST1000\r\nBcc: x\t\x7f", "ST1000  Bcc: x  "},
      {"subject plain", EncodeHeaderText, "[Smart] HOST Alarm [1]", "[Smart] HOST Alarm [1]"},
      {"subject utf-8", EncodeHeaderText,
       "Temperatur \xC3\xBC"
       "ber 50",
       "=?UTF-8?B?VGVtcGVyYXR1ciDDvGJlciA1MA==?="},
      {"subject looks encoded", EncodeHeaderText, "=?x?", "=?UTF-8?B?PT94Pw==?="},
      {"subject invalid utf-8", EncodeHeaderText, "a\xC3", "=?UTF-8?B?Ye+/vQ==?="},
      {"subject line break", EncodeHeaderText, "a\r\nb", "a  b"},
      {"qp plain", QuotedPrintable, "abc\r\ndef", "abc\r\ndef"},
      {"qp utf-8 and equals", QuotedPrintable,
       "55 \xC2\xB0"
       "C = hot",
       "55 =C2=B0C =3D hot"},
      {"qp trailing space", QuotedPrintable, "a \r\nb\t", "a=20\r\nb=09"},
      {"qp soft break", QuotedPrintable, std::string(80, 'x'),
       std::string(75, 'x') + "=\r\n" + std::string(5, 'x')},
      {"dots", DotStuffed, ".\r\n..x\r\na.b\r\n.", "..\r\n...x\r\na.b\r\n.."},
      {"line ends", DotStuffed, "a\nb\rc\r\n\n", "a\r\nb\r\nc\r\n\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.Encode(c.In), c.Out) << c.Name;
}

TEST(MailMessage, LongSubjectsFoldIntoWholeCharacters) {
  std::string subject;
  for (int i = 0; i < 40; ++i) subject += "\xE2\x82\xAC";  // euro signs, 3 bytes each
  std::string header = EncodeHeaderText(subject);
  size_t start = 0;
  int words = 0;
  while (start < header.size()) {
    size_t end = header.find("\r\n ", start);
    if (end == std::string::npos) end = header.size();
    std::string word = header.substr(start, end - start);
    EXPECT_LE(word.size(), 75u);
    EXPECT_EQ(word.rfind("=?UTF-8?B?", 0), 0u);
    // 45 bytes = 15 whole euro signs = 60 Base64 characters without padding.
    if (end != header.size()) {
      EXPECT_EQ(word.size(), 72u);
    }
    ++words;
    start = end + 3;
  }
  EXPECT_EQ(words, 3);  // 15 + 15 + 10 signs
}

TEST(MailMessage, DatesInTheMailFormat) {
  struct Case {
    int64_t Seconds;
    const char* Text;
  };
  const Case cases[] = {
      {0, "Thu, 01 Jan 1970 00:00:00 +0000"},
      {951782400, "Tue, 29 Feb 2000 00:00:00 +0000"},
      {1796858436, "Wed, 09 Dec 2026 23:20:36 +0000"},
      {-1, "Wed, 31 Dec 1969 23:59:59 +0000"},
      {4102444799, "Thu, 31 Dec 2099 23:59:59 +0000"},
  };
  for (const Case& c : cases) EXPECT_EQ(MailDate(c.Seconds), c.Text);
}

TEST(MailMessage, ComposedMailCannotBeSplitOrEndedEarly) {
  MailMessage m;
  m.From = "alarm@example.org";
  m.To = "admin@example.org";
  // A model name from the disk that tries to add a header.
  m.Subject = "[Smart] PC Evil\r\nBcc: victim@example.org";
  m.Body = "line one\n.\nline after the dot\r\n";
  m.Date = 1796858436;
  m.MessageId = "<1@example.org>";
  std::string data = ComposeMail(m);
  EXPECT_EQ(data,
            "Date: Wed, 09 Dec 2026 23:20:36 +0000\r\n"
            "From: <alarm@example.org>\r\n"
            "To: <admin@example.org>\r\n"
            "Subject: [Smart] PC Evil  Bcc: victim@example.org\r\n"
            "Message-ID: <1@example.org>\r\n"
            "MIME-Version: 1.0\r\n"
            "Content-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: 7bit\r\n"
            "\r\n"
            "line one\r\n"
            "..\r\n"
            "line after the dot\r\n"
            ".\r\n");
  m.Body =
      "55 \xC2\xB0"
      "C";
  data = ComposeMail(m);
  EXPECT_NE(data.find("Content-Transfer-Encoding: quoted-printable\r\n"), std::string::npos);
  EXPECT_NE(data.find("\r\n\r\n55 =C2=B0C\r\n.\r\n"), std::string::npos) << data;
}

TEST(MailMessage, MessageIdsAreUniqueAndUseTheSendersDomain) {
  std::string a = NewMessageId(100, "alarm@example.org");
  std::string b = NewMessageId(100, "alarm@example.org");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.front(), '<');
  EXPECT_NE(a.find("@example.org>"), std::string::npos);
  EXPECT_NE(NewMessageId(1, "bad\r\n@x").find("@stavrion.invalid>"), std::string::npos);
}

}  // namespace
