// The mail client: one message to one recipient over SMTP, optionally with
// TLS (STARTTLS or TLS from the first byte) and AUTH LOGIN. Blocking, with
// every wait bounded; run it off a window's thread (see MailQueue.h).
#pragma once

#include <cstdint>
#include <string>

#include "monitor/MailMessage.h"
#include "os/Net.h"
#include "os/Tls.h"

namespace monitor {

// The "MailSecurity" setting.
enum class MailSecurity : int32_t {
  NONE = 0,      // plain text, as mail was always sent
  STARTTLS = 1,  // plain connection upgraded with STARTTLS; refused if not offered
  TLS = 2,       // TLS from the first byte (port 465)
};

struct SmtpServer {
  std::string Host;
  uint16_t Port = 25;
  // Empty: no authentication.
  std::string User;
  std::string Password;
  MailSecurity Security = MailSecurity::NONE;
  // PEM certificates to trust instead of the system's roots (a company's own
  // authority); empty for the system's.
  std::string TrustFile;
};

enum class SmtpFailure {
  NONE,
  BAD_INPUT,        // an address or the host cannot be used; nothing was sent
  CONNECT,          // no connection
  TLS_UNAVAILABLE,  // this build or system has no TLS
  TLS_NOT_OFFERED,  // STARTTLS chosen, the server does not offer it
  TLS,              // handshake or certificate refused
  TIMED_OUT,        // the server stopped answering
  CLOSED,           // the server closed the connection mid-dialogue
  NETWORK,          // any other send or receive failure
  PROTOCOL,         // the server's bytes are not SMTP replies
  AUTH,             // user or password refused
  REJECTED,         // any other unexpected reply
};

struct SmtpResult {
  bool Ok = false;
  SmtpFailure Failure = SmtpFailure::NONE;
  // One line for the user or a log: what failed and, where the server said
  // something, its reply ("RCPT refused: 550 5.1.1 unknown user"). Server
  // text is reduced to printable characters and bounded.
  std::string Detail;
};

struct SmtpTimeouts {
  uint32_t ConnectMs = 10000;
  // For each reply, however many lines and receives it takes.
  uint32_t ReplyMs = 10000;
  uint32_t SendMs = 10000;
  uint32_t HandshakeMs = 10000;
};

// The word after EHLO/HELO.
inline constexpr const char* SMTP_HELO_NAME = "Lorvik";

class CSmtpClient {
 public:
  // `tls` may be null: then only MailSecurity::NONE works.
  CSmtpClient(os::INet& net, os::ITls* tls, SmtpTimeouts timeouts = {})
      : m_Net(net), m_Tls(tls), m_Timeouts(timeouts) {}

  // One complete transaction; Ok only when the server accepted the message.
  // `message.From`/`To` are the envelope addresses as well.
  SmtpResult Send(const SmtpServer& server, const MailMessage& message);

 private:
  os::INet& m_Net;
  os::ITls* m_Tls;
  SmtpTimeouts m_Timeouts;
};

const char* SmtpFailureName(SmtpFailure failure);

}  // namespace monitor
