// Fuzzes what a mail server sends: the reply reader over any bytes in any
// chunks, and the whole client dialogue against a server whose answers are
// the input. Checks what must hold for every input: no crash, replies within
// their bounds, and a message counted as sent only after a "250" to DATA.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/InputNet.h"
#include "monitor/SmtpClient.h"
#include "monitor/SmtpReply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  monitor::CSmtpReplyReader reader;
  std::string_view all(reinterpret_cast<const char*>(data), size);
  for (size_t at = 0; at < size;) {
    size_t n = 1 + data[at] % 32;
    if (n > size - at) n = size - at;
    auto state = reader.Feed(all.substr(at, n));
    at += n;
    while (state == monitor::CSmtpReplyReader::State::Complete) {
      monitor::SmtpReply reply = reader.Take();
      if (reply.Code < 100 || reply.Code > 599 || reply.Lines.empty() ||
          reply.Lines.size() > monitor::CSmtpReplyReader::MAX_LINES)
        std::abort();
      for (const std::string& line : reply.Lines)
        for (char c : line)
          if (c == '\r' || c == '\n') std::abort();
      if (reply.Summary().size() > 200) std::abort();
      state = reader.GetState();
    }
    if (state == monitor::CSmtpReplyReader::State::Malformed) break;
  }

  // Pieces of up to 64 bytes; a server that says no more only times out.
  netfuzz::CInputNet net(data, size, {64, os::NetStatus::TimedOut, os::NetStatus::Closed});
  monitor::SmtpServer server;
  server.Host = "mx.test";
  server.User = "user";
  server.Password = "secret";
  monitor::MailMessage message;
  message.From = "a@example.org";
  message.To = "b@example.org";
  message.Subject = "subject";
  message.Body = "body";
  monitor::SmtpResult result = monitor::CSmtpClient(net, nullptr).Send(server, message);
  if (result.Ok && net.Sent.find("\r\n.\r\n") == std::string::npos) std::abort();
  if (result.Detail.find_first_of("\r\n") != std::string::npos) std::abort();
  return 0;
}
