#include "monitor/SmtpClient.h"

#include <chrono>
#include <memory>
#include <vector>

#include "monitor/SmtpReply.h"

namespace monitor {
namespace {

using SteadyClock = std::chrono::steady_clock;

SmtpResult Failed(SmtpFailure failure, std::string detail) {
  return SmtpResult{false, failure, std::move(detail)};
}

// True when the EHLO reply lists `keyword` (case-insensitive) as a line's
// first word; *rest gets the words after it.
bool Offers(const SmtpReply& ehlo, std::string_view keyword, std::string* rest = nullptr) {
  for (size_t i = 1; i < ehlo.Lines.size(); ++i) {
    const std::string& line = ehlo.Lines[i];
    if (line.size() < keyword.size()) continue;
    bool same = true;
    for (size_t k = 0; k < keyword.size() && same; ++k) {
      char c = line[k];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      same = c == keyword[k];
    }
    if (!same) continue;
    if (line.size() > keyword.size() && line[keyword.size()] != ' ' && line[keyword.size()] != '=')
      continue;
    if (rest) *rest = line.substr(keyword.size());
    return true;
  }
  return false;
}

// One dialogue over one connection.
class CSession {
 public:
  CSession(std::unique_ptr<os::ISocket> socket, const SmtpTimeouts& timeouts)
      : m_Socket(std::move(socket)), m_Timeouts(timeouts) {}

  // Sends one command line (CRLF added) or a block of DATA bytes.
  bool Send(std::string_view bytes, SmtpResult* failure) {
    os::NetStatus status = m_Socket->Send(bytes, m_Timeouts.SendMs);
    if (status == os::NetStatus::Ok) return true;
    *failure = StreamFailure(status, "sending");
    m_Usable = false;
    return false;
  }
  bool Command(const std::string& line, SmtpResult* failure) {
    return Send(line + "\r\n", failure);
  }

  // Reads one complete reply, all its lines.
  bool Read(SmtpReply* reply, SmtpResult* failure) {
    auto deadline = SteadyClock::now() + std::chrono::milliseconds(m_Timeouts.ReplyMs);
    char buffer[1024];
    for (;;) {
      auto state = m_Reader.GetState();
      if (state == CSmtpReplyReader::State::Complete) {
        *reply = m_Reader.Take();
        return true;
      }
      if (state == CSmtpReplyReader::State::Malformed) {
        *failure =
            Failed(SmtpFailure::PROTOCOL, "the server's answer is not SMTP: " + m_Reader.Error());
        m_Usable = false;
        return false;
      }
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
              .count();
      if (left <= 0) {
        *failure = StreamFailure(os::NetStatus::TimedOut, "waiting for the server");
        m_Usable = false;
        return false;
      }
      size_t n = 0;
      os::NetStatus status =
          m_Socket->Receive(buffer, sizeof buffer, &n, static_cast<uint32_t>(left));
      if (status != os::NetStatus::Ok) {
        *failure = StreamFailure(status, "waiting for the server");
        m_Usable = false;
        return false;
      }
      m_Reader.Feed(std::string_view(buffer, n));
    }
  }

  // Reads a reply and checks its code; any other code is a failure whose
  // text names `step`.
  bool Expect(int code, const char* step, SmtpFailure otherwise, SmtpResult* failure,
              SmtpReply* reply = nullptr, int alsoCode = 0) {
    SmtpReply r;
    if (!Read(&r, failure)) return false;
    if (reply) *reply = r;
    if (r.Code == code || (alsoCode != 0 && r.Code == alsoCode)) return true;
    *failure = Failed(otherwise, std::string(step) + " refused: " + r.Summary());
    return false;
  }

  // Ends the dialogue politely when the connection still works; the answer
  // is not waited for.
  void Quit() {
    if (!m_Usable) return;
    m_Socket->Send("QUIT\r\n", m_Timeouts.SendMs);
    m_Usable = false;
  }

  CSmtpReplyReader& Reader() { return m_Reader; }
  std::unique_ptr<os::ISocket> TakeSocket() { return std::move(m_Socket); }
  void SetSocket(std::unique_ptr<os::ISocket> socket) {
    m_Socket = std::move(socket);
    m_Usable = true;
  }
  void MarkUnusable() { m_Usable = false; }

 private:
  SmtpResult StreamFailure(os::NetStatus status, const char* while_) {
    std::string what = while_;
    switch (status) {
      case os::NetStatus::TimedOut:
        return Failed(SmtpFailure::TIMED_OUT, "timed out " + what);
      case os::NetStatus::Closed:
        return Failed(SmtpFailure::CLOSED, "the server closed the connection " + what);
      default:
        return Failed(SmtpFailure::NETWORK, "network error " + what + ": " + m_Socket->LastError());
    }
  }

  std::unique_ptr<os::ISocket> m_Socket;
  SmtpTimeouts m_Timeouts;
  CSmtpReplyReader m_Reader;
  bool m_Usable = true;
};

std::string CheckInput(const SmtpServer& server, const MailMessage& message) {
  if (!os::IsAcceptableHostText(os::StripHostBrackets(server.Host)))
    return "mail server name is empty, longer than 255 characters or holds "
           "spaces or control "
           "characters";
  if (server.Port == 0) return "mail server port is 0";
  std::string why = CheckMailAddress(message.From);
  if (!why.empty()) return "sender: " + why;
  why = CheckMailAddress(message.To);
  if (!why.empty()) return "recipient: " + why;
  // A Base64 line of the user or password stays within one command line.
  if (server.User.size() > 512 || server.Password.size() > 512)
    return "user name or password longer than 512 characters";
  return {};
}

}  // namespace

const char* SmtpFailureName(SmtpFailure failure) {
  switch (failure) {
    case SmtpFailure::NONE:
      return "none";
    case SmtpFailure::BAD_INPUT:
      return "bad input";
    case SmtpFailure::CONNECT:
      return "connect";
    case SmtpFailure::TLS_UNAVAILABLE:
      return "tls unavailable";
    case SmtpFailure::TLS_NOT_OFFERED:
      return "tls not offered";
    case SmtpFailure::TLS:
      return "tls";
    case SmtpFailure::TIMED_OUT:
      return "timed out";
    case SmtpFailure::CLOSED:
      return "closed";
    case SmtpFailure::NETWORK:
      return "network";
    case SmtpFailure::PROTOCOL:
      return "protocol";
    case SmtpFailure::AUTH:
      return "auth";
    case SmtpFailure::REJECTED:
      return "rejected";
  }
  return "?";
}

SmtpResult CSmtpClient::Send(const SmtpServer& server, const MailMessage& message) {
  std::string bad = CheckInput(server, message);
  if (!bad.empty()) return Failed(SmtpFailure::BAD_INPUT, bad);
  if (server.Security != MailSecurity::NONE && !m_Tls)
    return Failed(SmtpFailure::TLS_UNAVAILABLE, "TLS was chosen but this program has no TLS");

  std::string error;
  std::unique_ptr<os::ISocket> socket =
      m_Net.Connect(server.Host, server.Port, m_Timeouts.ConnectMs, &error);
  if (!socket) return Failed(SmtpFailure::CONNECT, error);

  os::TlsOptions tlsOptions;
  tlsOptions.ServerName = os::StripHostBrackets(server.Host);
  tlsOptions.TrustFile = server.TrustFile;
  if (server.Security == MailSecurity::TLS) {
    socket = m_Tls->Connect(std::move(socket), tlsOptions, m_Timeouts.HandshakeMs, &error);
    if (!socket) return Failed(SmtpFailure::TLS, "TLS: " + error);
  }

  CSession session(std::move(socket), m_Timeouts);
  SmtpResult failure;
  // Every failed step ends here: QUIT when the connection still works.
  auto fail = [&]() {
    session.Quit();
    return failure;
  };

  if (!session.Expect(220, "greeting", SmtpFailure::REJECTED, &failure)) return fail();
  // EHLO tells whether STARTTLS is offered; the plain, unauthenticated dialogue
  // keeps the old HELO.
  bool ehlo = !server.User.empty() || server.Security != MailSecurity::NONE;
  std::string hello = std::string(ehlo ? "EHLO " : "HELO ") + SMTP_HELO_NAME;
  SmtpReply helloReply;
  if (!session.Command(hello, &failure) ||
      !session.Expect(250, ehlo ? "EHLO" : "HELO", SmtpFailure::REJECTED, &failure, &helloReply))
    return fail();

  if (server.Security == MailSecurity::STARTTLS) {
    if (!Offers(helloReply, "STARTTLS")) {
      // Nothing more goes over the plain connection: no credentials in clear.
      failure = Failed(SmtpFailure::TLS_NOT_OFFERED,
                       "the server does not offer STARTTLS; nothing was sent");
      return fail();
    }
    if (!session.Command("STARTTLS", &failure) ||
        !session.Expect(220, "STARTTLS", SmtpFailure::REJECTED, &failure))
      return fail();
    // Bytes after the answer were sent before the handshake, so whoever sent
    // them could have injected commands that would run encrypted.
    if (session.Reader().HasPendingBytes()) {
      session.MarkUnusable();
      return Failed(SmtpFailure::PROTOCOL, "the server sent data ahead of the TLS handshake");
    }
    socket = m_Tls->Connect(session.TakeSocket(), tlsOptions, m_Timeouts.HandshakeMs, &error);
    if (!socket) return Failed(SmtpFailure::TLS, "TLS: " + error);
    session.SetSocket(std::move(socket));
    // What the server offered before TLS no longer counts.
    if (!session.Command(hello, &failure) ||
        !session.Expect(250, "EHLO", SmtpFailure::REJECTED, &failure, &helloReply))
      return fail();
  }

  if (!server.User.empty()) {
    if (!session.Command("AUTH LOGIN", &failure) ||
        !session.Expect(334, "AUTH LOGIN", SmtpFailure::AUTH, &failure) ||
        !session.Command(Base64(server.User), &failure) ||
        !session.Expect(334, "user name", SmtpFailure::AUTH, &failure) ||
        !session.Command(Base64(server.Password), &failure) ||
        !session.Expect(235, "password", SmtpFailure::AUTH, &failure))
      return fail();
  }

  if (!session.Command("MAIL FROM:<" + message.From + ">", &failure) ||
      !session.Expect(250, "MAIL FROM", SmtpFailure::REJECTED, &failure) ||
      !session.Command("RCPT TO:<" + message.To + ">", &failure) ||
      // 251: not local, will be forwarded; accepted as well.
      !session.Expect(250, "RCPT TO", SmtpFailure::REJECTED, &failure, nullptr, 251) ||
      !session.Command("DATA", &failure) ||
      !session.Expect(354, "DATA", SmtpFailure::REJECTED, &failure))
    return fail();

  if (!session.Send(ComposeMail(message), &failure) ||
      !session.Expect(250, "message", SmtpFailure::REJECTED, &failure))
    return fail();
  session.Quit();
  return SmtpResult{true, SmtpFailure::NONE, "sent"};
}

}  // namespace monitor
