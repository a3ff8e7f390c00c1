// Building a plain-text mail as it goes over the wire after DATA: headers
// that cannot be split by what they carry, a body in UTF-8 with its charset
// declared, CRLF line ends and dot-stuffing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace monitor {

// Longest address we send (RFC 5321 allows a path of 256 bytes with its
// angle brackets).
inline constexpr size_t MAX_MAIL_ADDRESS = 254;

// Why an address cannot be used; empty when it can. Addresses are printable
// ASCII without spaces, angle brackets or quotes, with one "@" and text on
// both sides, and at most MAX_MAIL_ADDRESS bytes.
std::string CheckMailAddress(std::string_view address);

// One header line's value: control bytes (CR and LF above all: texts from
// disks end up here) become spaces; runs of spaces stay as they are.
std::string HeaderSafe(std::string_view text);

// "Subject" text as a header value: as it is when printable ASCII that fits
// a line, else RFC 2047 encoded words ("=?UTF-8?B?...?=") folded over lines.
// Invalid UTF-8 bytes become U+FFFD first.
std::string EncodeHeaderText(std::string_view utf8);

// RFC 5322 date of `unixSeconds` in UTC: "Wed, 09 Dec 2026 23:20:36 +0000".
std::string MailDate(int64_t unixSeconds);

// Standard Base64 (RFC 4648) with "=" padding, no line breaks.
std::string Base64(std::string_view bytes);

// Quoted-printable (RFC 2045) of UTF-8 text whose line ends are already CRLF.
std::string QuotedPrintable(std::string_view text);

// Every line end made CRLF (lone CR or LF included), and a "." doubled at the
// start of every line, so no line of the text can end the message early.
std::string DotStuffed(std::string_view text);

struct MailMessage {
  std::string From;
  std::string To;
  std::string Subject;  // UTF-8
  std::string Body;     // UTF-8, any line ends
  int64_t Date = 0;     // seconds since 1970
  // "<...@...>"; made from the date and a random number when empty.
  std::string MessageId;
};

// The DATA bytes of `message`: headers, blank line, body, all with CRLF and
// dot-stuffed, ending with the CRLF "." CRLF that ends the message.
std::string ComposeMail(const MailMessage& message);

// A fresh "<unique@domain>" with the domain taken from `from` when it has a
// usable one.
std::string NewMessageId(int64_t date, std::string_view from);

}  // namespace monitor
