// Reading a mail server's replies. A reply is one or more lines of a
// three-digit code and text; every line but the last has "-" after the code
// ("250-SIZE 52428800"), the last has a space or nothing ("250 HELP"). The
// bytes come from the network and are bounded and checked here before
// anything looks at them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace monitor {

struct SmtpReply {
  int Code = 0;  // 100..599
  // The text of each line after the code and its separator, control bytes
  // replaced by spaces.
  std::vector<std::string> Lines;

  // The first line in one piece for a log or an error result: "535 5.7.8 ...",
  // at most 200 bytes.
  std::string Summary() const;
};

class CSmtpReplyReader {
 public:
  enum class State {
    NeedMore,   // no complete reply yet: feed more bytes
    Complete,   // Take() returns the reply
    Malformed,  // not a reply; the dialogue cannot go on
  };

  // A reply line longer than this, or a reply of more lines, is malformed
  // (the mail standard allows 512 bytes per line).
  static constexpr size_t MAX_LINE = 2048;
  static constexpr size_t MAX_LINES = 200;

  // Adds received bytes. Returns the state after them; once Complete or
  // Malformed, further bytes are kept but not looked at until Take().
  State Feed(std::string_view bytes);
  State GetState() const { return m_State; }
  // The complete reply; the reader then starts on the next one with the
  // bytes that followed it.
  SmtpReply Take();
  // Bytes received beyond the replies taken so far (a server must send
  // nothing after its answer to STARTTLS).
  bool HasPendingBytes() const { return !m_Buffer.empty(); }
  std::string Error() const { return m_Error; }

 private:
  State Scan();

  std::string m_Buffer;
  size_t m_Scanned = 0;  // bytes of m_Buffer already taken into m_Reply
  SmtpReply m_Reply;
  State m_State = State::NeedMore;
  std::string m_Error;
};

}  // namespace monitor
