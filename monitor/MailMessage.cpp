#include "monitor/MailMessage.h"

#include <atomic>
#include <cstdio>
#include <random>

namespace monitor {
namespace {

bool IsControl(unsigned char u) { return u < 0x20 || u == 0x7F; }

// Length of the valid UTF-8 sequence at `text[i]`, or 0 when it is not one.
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char b = at(i);
  if (b < 0x80) return 1;
  size_t n = 0;
  uint32_t cp = 0;
  if ((b & 0xE0) == 0xC0) {
    n = 2;
    cp = b & 0x1Fu;
  } else if ((b & 0xF0) == 0xE0) {
    n = 3;
    cp = b & 0x0Fu;
  } else if ((b & 0xF8) == 0xF0) {
    n = 4;
    cp = b & 0x07u;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((at(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (at(i + k) & 0x3Fu);
  }
  // Overlong forms, surrogates and numbers past U+10FFFF are not text.
  static const uint32_t MIN[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < MIN[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t n = Utf8SequenceLength(text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(text.substr(i, n));
      i += n;
    }
  }
  return out;
}

std::string CrLfLines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

// True when the CRLF text can go as it is: printable ASCII, tabs, and lines
// of at most 998 bytes.
bool IsSevenBitText(std::string_view crlfText) {
  size_t lineLength = 0;
  for (size_t i = 0; i < crlfText.size(); ++i) {
    auto u = static_cast<unsigned char>(crlfText[i]);
    if (u == '\r' && i + 1 < crlfText.size() && crlfText[i + 1] == '\n') {
      lineLength = 0;
      ++i;
      continue;
    }
    if (u >= 0x80 || (IsControl(u) && u != '\t')) return false;
    if (++lineLength > 998) return false;
  }
  return true;
}

const char HEX[] = "0123456789ABCDEF";

}  // namespace

std::string CheckMailAddress(std::string_view address) {
  if (address.empty()) return "the address is empty";
  if (address.size() > MAX_MAIL_ADDRESS)
    return "the address is longer than " + std::to_string(MAX_MAIL_ADDRESS) + " characters";
  size_t at = address.rfind('@');
  for (char c : address) {
    auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F || c == '<' || c == '>' || c == '"' || c == '(' || c == ')' ||
        c == ',' || c == ';' || c == '\\')
      return "the address holds a character that cannot be sent";
  }
  if (at == std::string_view::npos || at == 0 || at + 1 == address.size() ||
      address.find('@') != at)
    return "the address is not of the form name@domain";
  return {};
}

std::string HeaderSafe(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (IsControl(static_cast<unsigned char>(c))) c = ' ';
  return out;
}

std::string Base64(std::string_view bytes) {
  static const char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                 static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                 static_cast<unsigned char>(bytes[i + 2]);
    out += ALPHABET[v >> 18 & 63];
    out += ALPHABET[v >> 12 & 63];
    out += ALPHABET[v >> 6 & 63];
    out += ALPHABET[v & 63];
  }
  size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (rest == 2) v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out += ALPHABET[v >> 18 & 63];
    out += ALPHABET[v >> 12 & 63];
    out += rest == 2 ? ALPHABET[v >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

std::string EncodeHeaderText(std::string_view utf8) {
  std::string text = ValidUtf8(HeaderSafe(utf8));
  bool plain = text.size() <= 900;
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) plain = false;
  // "=?" could be read as the start of an encoded word.
  if (plain && text.find("=?") == std::string::npos) return text;
  // Encoded words of at most 45 bytes (75 characters with their frame),
  // never splitting a character, one per folded line.
  std::string out;
  for (size_t i = 0; i < text.size();) {
    size_t end = i;
    while (end < text.size()) {
      size_t n = Utf8SequenceLength(text, end);
      if (end + n - i > 45) break;
      end += n;
    }
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + Base64(std::string_view(text).substr(i, end - i)) + "?=";
    i = end;
  }
  return out;
}

std::string MailDate(int64_t unixSeconds) {
  int64_t days = unixSeconds / 86400;
  int64_t secs = unixSeconds % 86400;
  if (secs < 0) {
    secs += 86400;
    --days;
  }
  // Civil date from a day count (H. Hinnant's algorithm).
  int64_t z = days + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t day = doy - (153 * mp + 2) / 5 + 1;
  int64_t month = mp < 10 ? mp + 3 : mp - 9;
  int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  static const char* const WEEKDAYS[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
  static const char* const MONTHS[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int64_t weekday = days % 7;
  if (weekday < 0) weekday += 7;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04lld %02d:%02d:%02d +0000", WEEKDAYS[weekday],
                static_cast<int>(day), MONTHS[month - 1], static_cast<long long>(year),
                static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                static_cast<int>(secs % 60));
  return buffer;
}

std::string QuotedPrintable(std::string_view text) {
  std::string out;
  size_t lineStart = 0;
  while (lineStart <= text.size()) {
    size_t lineEnd = text.find("\r\n", lineStart);
    bool last = lineEnd == std::string_view::npos;
    if (last) lineEnd = text.size();
    std::string_view line = text.substr(lineStart, lineEnd - lineStart);
    size_t column = 0;
    for (size_t i = 0; i < line.size(); ++i) {
      auto u = static_cast<unsigned char>(line[i]);
      bool atEnd = i + 1 == line.size();
      std::string token;
      if ((u >= 33 && u <= 126 && u != '=') || ((u == ' ' || u == '\t') && !atEnd)) {
        token = static_cast<char>(u);
      } else {
        token = {'=', HEX[u >> 4], HEX[u & 15]};
      }
      // Lines of at most 76 characters, the soft break "=" included.
      if (column + token.size() > (atEnd ? 76 : 75)) {
        out += "=\r\n";
        column = 0;
      }
      out += token;
      column += token.size();
    }
    if (last) break;
    out += "\r\n";
    lineStart = lineEnd + 2;
  }
  return out;
}

std::string DotStuffed(std::string_view text) {
  std::string lines = CrLfLines(text);
  std::string out;
  out.reserve(lines.size() + 16);
  bool lineStart = true;
  for (char c : lines) {
    if (lineStart && c == '.') out += '.';
    out += c;
    lineStart = c == '\n';
  }
  return out;
}

std::string NewMessageId(int64_t date, std::string_view from) {
  static std::atomic<uint32_t> counter{0};
  std::random_device device;
  uint64_t random = (static_cast<uint64_t>(device()) << 32) | device();
  std::string domain = "stavrion.invalid";
  size_t at = from.rfind('@');
  if (at != std::string_view::npos && CheckMailAddress(from).empty()) {
    std::string_view d = from.substr(at + 1);
    if (d.find_first_of("[]") == std::string_view::npos) domain = std::string(d);
  }
  char local[64];
  std::snprintf(local, sizeof local, "%lld.%u.%016llx", static_cast<long long>(date),
                counter.fetch_add(1) + 1, static_cast<unsigned long long>(random));
  return "<" + std::string(local) + "@" + domain + ">";
}

std::string ComposeMail(const MailMessage& message) {
  std::string body = CrLfLines(ValidUtf8(message.Body));
  bool sevenBit = IsSevenBitText(body);
  std::string headers;
  headers += "Date: " + MailDate(message.Date) + "\r\n";
  headers += "From: <" + HeaderSafe(message.From) + ">\r\n";
  headers += "To: <" + HeaderSafe(message.To) + ">\r\n";
  headers += "Subject: " + EncodeHeaderText(message.Subject) + "\r\n";
  std::string id = message.MessageId.empty() ? NewMessageId(message.Date, message.From)
                                             : HeaderSafe(message.MessageId);
  headers += "Message-ID: " + id + "\r\n";
  headers += "MIME-Version: 1.0\r\n";
  headers += "Content-Type: text/plain; charset=UTF-8\r\n";
  headers += std::string("Content-Transfer-Encoding: ") + (sevenBit ? "7bit" : "quoted-printable") +
             "\r\n";
  std::string data = headers + "\r\n" + (sevenBit ? body : QuotedPrintable(body));
  std::string out = DotStuffed(data);
  if (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0) out += "\r\n";
  out += ".\r\n";
  return out;
}

}  // namespace monitor
