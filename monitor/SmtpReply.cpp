#include "monitor/SmtpReply.h"

namespace monitor {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Printable(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
  return out;
}

}  // namespace

std::string SmtpReply::Summary() const {
  std::string s = std::to_string(Code);
  if (!Lines.empty() && !Lines.front().empty()) s += " " + Lines.front();
  if (s.size() > 200) s.resize(200);
  return s;
}

CSmtpReplyReader::State CSmtpReplyReader::Feed(std::string_view bytes) {
  m_Buffer.append(bytes);
  if (m_State != State::NeedMore) return m_State;
  return m_State = Scan();
}

CSmtpReplyReader::State CSmtpReplyReader::Scan() {
  for (;;) {
    size_t end = m_Buffer.find('\n', m_Scanned);
    if (end == std::string::npos) {
      if (m_Buffer.size() - m_Scanned > MAX_LINE) {
        m_Error = "reply line too long";
        return State::Malformed;
      }
      return State::NeedMore;
    }
    // A line ends with CRLF; a bare LF is taken as well.
    std::string_view line(m_Buffer.data() + m_Scanned, end - m_Scanned);
    m_Scanned = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > MAX_LINE) {
      m_Error = "reply line too long";
      return State::Malformed;
    }
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]) ||
        line[0] < '1' || line[0] > '5' || (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
      m_Error = "not a reply line: \"" + Printable(line.substr(0, 40)) + "\"";
      return State::Malformed;
    }
    int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    if (!m_Reply.Lines.empty() && code != m_Reply.Code) {
      m_Error = "reply lines with different codes";
      return State::Malformed;
    }
    if (m_Reply.Lines.size() >= MAX_LINES) {
      m_Error = "reply of too many lines";
      return State::Malformed;
    }
    m_Reply.Code = code;
    m_Reply.Lines.push_back(Printable(line.size() > 4 ? line.substr(4) : std::string_view()));
    if (line.size() == 3 || line[3] == ' ') return State::Complete;
  }
}

SmtpReply CSmtpReplyReader::Take() {
  SmtpReply reply = std::move(m_Reply);
  m_Reply = SmtpReply();
  m_Buffer.erase(0, m_Scanned);
  m_Scanned = 0;
  m_Error.clear();
  m_State = State::NeedMore;
  if (m_State == State::NeedMore && !m_Buffer.empty()) m_State = Scan();
  return reply;
}

}  // namespace monitor
