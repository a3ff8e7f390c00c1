// Fuzzes what a mail server sends: the reply reader over any bytes in any
// chunks, and the whole client dialogue against a server whose answers are
// the input. Checks what must hold for every input: no crash, replies within
// their bounds, and a message counted as sent only after a "250" to DATA.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "monitor/SmtpClient.h"
#include "monitor/SmtpReply.h"

namespace {

// A stream whose incoming bytes are the fuzz input, cut at the sizes the
// input's first bytes choose.
class CInputSocket : public os::ISocket {
 public:
  CInputSocket(const uint8_t* data, size_t size, std::string* sent)
      : m_Data(data), m_Size(size), m_Sent(sent) {}
  os::NetStatus Send(std::string_view data, uint32_t) override {
    m_Sent->append(data);
    return os::NetStatus::Ok;
  }
  os::NetStatus Receive(char* buffer, size_t capacity, size_t* received, uint32_t) override {
    *received = 0;
    if (m_At >= m_Size) return os::NetStatus::TimedOut;
    size_t n = 1 + m_Data[m_At] % 64;
    ++m_At;
    if (n > m_Size - m_At) n = m_Size - m_At;
    if (n > capacity) n = capacity;
    if (n == 0) return os::NetStatus::Closed;
    for (size_t i = 0; i < n; ++i) buffer[i] = static_cast<char>(m_Data[m_At + i]);
    m_At += n;
    *received = n;
    return os::NetStatus::Ok;
  }
  void ShutdownSend() override {}
  std::string LastError() const override { return "input ended"; }

 private:
  const uint8_t* m_Data;
  size_t m_Size;
  size_t m_At = 0;
  std::string* m_Sent;
};

class CInputNet : public os::INet {
 public:
  CInputNet(const uint8_t* data, size_t size) : m_Data(data), m_Size(size) {}
  std::unique_ptr<os::ISocket> Connect(const std::string&, uint16_t, uint32_t,
                                       std::string*) override {
    return std::make_unique<CInputSocket>(m_Data, m_Size, &Sent);
  }
  std::unique_ptr<os::IListener> Listen(const std::string&, uint16_t, std::string*) override {
    return nullptr;
  }
  std::string LocalHostName() override { return "fuzz.invalid"; }
  std::string Sent;

 private:
  const uint8_t* m_Data;
  size_t m_Size;
};

}  // namespace

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

  CInputNet net(data, size);
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
