// The mail client against scripted servers on the real loopback: what goes
// over the wire, and what each way a server can fail makes of the result.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "monitor/SmtpClient.h"
#include "os/NativePlatform.h"

namespace {

using namespace monitor;

constexpr uint32_t WAIT_MS = 5000;

// One step of a server: wait for a command line starting with `Expect` (or,
// for "<data>", for the message up to its final dot; "" waits for nothing),
// then send `Reply`. "<close>" closes the connection instead, "<silent>"
// answers nothing until the client goes away.
struct Step {
  std::string Expect;
  std::string Reply;
};

class CScriptedServer {
 public:
  CScriptedServer(os::INet& net, std::vector<Step> script) : m_Script(std::move(script)) {
    std::string error;
    m_Listener = net.Listen("127.0.0.1", 0, &error);
    EXPECT_NE(m_Listener, nullptr) << error;
    m_Thread = std::thread([this] { Run(); });
  }
  ~CScriptedServer() { Join(); }

  uint16_t Port() const { return m_Listener->Port(); }
  // Everything the client sent, once it has gone.
  const std::string& Transcript() {
    Join();
    return m_Received;
  }
  std::string Failure() {
    Join();
    return m_Failure;
  }

 private:
  void Join() {
    if (m_Thread.joinable()) m_Thread.join();
  }

  void Run() {
    std::unique_ptr<os::ISocket> s;
    if (m_Listener->Accept(&s, WAIT_MS) != os::NetStatus::Ok) return;
    size_t consumed = 0;
    for (const Step& step : m_Script) {
      if (!step.Expect.empty()) {
        std::string end = step.Expect == "<data>" ? "\r\n.\r\n" : "\r\n";
        size_t at;
        while ((at = m_Received.find(end, consumed)) == std::string::npos)
          if (!ReceiveMore(*s)) return;
        std::string got = m_Received.substr(consumed, at + end.size() - consumed);
        consumed = at + end.size();
        if (step.Expect != "<data>" && got.rfind(step.Expect, 0) != 0) {
          m_Failure = "expected " + step.Expect + ", got " + got;
          return;
        }
      }
      if (step.Reply == "<close>") return;
      if (step.Reply == "<silent>") break;
      if (s->Send(step.Reply, WAIT_MS) != os::NetStatus::Ok) return;
    }
    // The rest (QUIT, or nothing) until the client closes.
    while (ReceiveMore(*s)) {
    }
  }

  bool ReceiveMore(os::ISocket& s) {
    char buffer[4096];
    size_t n = 0;
    if (s.Receive(buffer, sizeof buffer, &n, WAIT_MS) != os::NetStatus::Ok) return false;
    m_Received.append(buffer, n);
    return true;
  }

  std::vector<Step> m_Script;
  std::unique_ptr<os::IListener> m_Listener;
  std::thread m_Thread;
  std::string m_Received;
  std::string m_Failure;
};

// TLS that must not be reached, or that fails: the dialogue tests do not
// need a real handshake (the real one meets a real server elsewhere).
class CRefusingTls : public os::ITls {
 public:
  std::unique_ptr<os::ISocket> Connect(std::unique_ptr<os::ISocket>, const os::TlsOptions& o,
                                       uint32_t, std::string* error) override {
    ++Calls;
    Name = o.ServerName;
    *error = "handshake refused by the test";
    return nullptr;
  }
  int Calls = 0;
  std::string Name;
};

const std::string EHLO_REPLY =
    "250-mx.test Hello\r\n250-SIZE 52428800\r\n250-8BITMIME\r\n250-AUTH LOGIN "
    "PLAIN\r\n"
    "250 HELP\r\n";

MailMessage Message() {
  MailMessage m;
  m.From = "alarm@example.org";
  m.To = "admin@example.org";
  m.Subject = "subject";
  m.Body = "body\r\n.\r\nmore";
  m.Date = 1796858436;
  m.MessageId = "<1@example.org>";
  return m;
}

class SmtpClientTest : public ::testing::Test {
 protected:
  os::INet& Net() { return *m_Native.Get().Net; }
  SmtpResult Send(CScriptedServer& server, SmtpServer settings,
                  const MailMessage& message = Message()) {
    settings.Host = "127.0.0.1";
    settings.Port = server.Port();
    SmtpTimeouts t;
    t.ReplyMs = 300;  // the silent server's case; real answers come at once
    CSmtpClient client(Net(), &m_Tls, t);
    return client.Send(settings, message);
  }

  os::NativePlatform m_Native;
  CRefusingTls m_Tls;
};

TEST_F(SmtpClientTest, AuthenticatedDialogueReadsMultiLineRepliesToTheEnd) {
  // Every reply in two pieces, the EHLO reply's lines split in the middle.
  CScriptedServer server(Net(), {{"", "220 mx.test ESMTP\r\n"},
                                 {"EHLO Lorvik", EHLO_REPLY},
                                 {"AUTH LOGIN", "334 VXNlcm5hbWU6\r\n"},
                                 {"dGVzdHVzZXI=", "334 UGFzc3dvcmQ6\r\n"},
                                 {"dGVzdHBhc3M=", "235 2.7.0 Authentication succeeded\r\n"},
                                 {"MAIL FROM:<alarm@example.org>", "250 OK\r\n"},
                                 {"RCPT TO:<admin@example.org>", "250 Accepted\r\n"},
                                 {"DATA", "354 Enter message\r\n"},
                                 {"<data>", "250 OK id=1\r\n"},
                                 {"QUIT", "221 bye\r\n"}});
  SmtpServer settings;
  settings.User = "testuser";
  settings.Password = "testpass";
  SmtpResult r = Send(server, settings);
  EXPECT_TRUE(r.Ok) << r.Detail;
  EXPECT_EQ(server.Failure(), "");
  const std::string& t = server.Transcript();
  EXPECT_NE(t.find("\r\nbody\r\n..\r\nmore\r\n.\r\nQUIT\r\n"), std::string::npos) << t;
}

TEST_F(SmtpClientTest, PlainDialogueWithoutUserSaysHelo) {
  CScriptedServer server(Net(), {{"", "220-mx.test\r\n220 second greeting line\r\n"},
                                 {"HELO Lorvik", "250 mx.test\r\n"},
                                 {"MAIL FROM:", "250 OK\r\n"},
                                 {"RCPT TO:", "251 will forward\r\n"},
                                 {"DATA", "354 go\r\n"},
                                 {"<data>", "250 OK\r\n"}});
  SmtpResult r = Send(server, SmtpServer{});
  EXPECT_TRUE(r.Ok) << r.Detail;
  EXPECT_EQ(server.Failure(), "");
  EXPECT_EQ(server.Transcript().find("AUTH"), std::string::npos);
}

TEST_F(SmtpClientTest, FailuresEndTheDialogueWithTheRightResult) {
  struct Case {
    const char* Name;
    std::vector<Step> Script;
    MailSecurity Security;
    SmtpFailure Failure;
    bool Quit;            // QUIT sent at the end
    const char* NotSent;  // must not appear in the transcript
  };
  const std::vector<Step> toAuth = {{"", "220 mx\r\n"}, {"EHLO", EHLO_REPLY}};
  auto with = [&](std::vector<Step> more) {
    std::vector<Step> s = toAuth;
    s.insert(s.end(), more.begin(), more.end());
    return s;
  };
  const Case cases[] = {
      {"greeting refused",
       {{"", "554 go away\r\n"}},
       MailSecurity::NONE,
       SmtpFailure::REJECTED,
       true,
       "EHLO"},
      {"wrong password",
       with({{"AUTH LOGIN", "334 x\r\n"},
             {"dGVzdHVzZXI=", "334 y\r\n"},
             {"dGVzdHBhc3M=", "535 5.7.8 Authentication failed\r\n"}}),
       MailSecurity::NONE, SmtpFailure::AUTH, true, "MAIL FROM"},
      {"recipient refused",
       with({{"AUTH LOGIN", "334 x\r\n"},
             {"dGVzdHVzZXI=", "334 y\r\n"},
             {"dGVzdHBhc3M=", "235 ok\r\n"},
             {"MAIL FROM", "250 ok\r\n"},
             {"RCPT TO", "550 5.1.1 no such user\r\n"}}),
       MailSecurity::NONE, SmtpFailure::REJECTED, true, "DATA"},
      {"closed mid-dialogue", with({{"AUTH LOGIN", "<close>"}}), MailSecurity::NONE,
       SmtpFailure::CLOSED, false, "dGVzdHVzZXI="},
      {"never answers",
       {{"", "<silent>"}},
       MailSecurity::NONE,
       SmtpFailure::TIMED_OUT,
       false,
       "EHLO"},
      {"answers half a reply",
       {{"", "220-mx\r\n"}, {"", "<silent>"}},
       MailSecurity::NONE,
       SmtpFailure::TIMED_OUT,
       false,
       "EHLO"},
      {"not SMTP",
       {{"", "HTTP/1.1 400 Bad Request\r\n"}},
       MailSecurity::NONE,
       SmtpFailure::PROTOCOL,
       false,
       "EHLO"},
      {"STARTTLS not offered: no credentials in clear", toAuth, MailSecurity::STARTTLS,
       SmtpFailure::TLS_NOT_OFFERED, true, "AUTH"},
      {"data ahead of the handshake",
       {{"", "220 mx\r\n"},
        {"EHLO", "250-mx\r\n250 STARTTLS\r\n"},
        {"STARTTLS", "220 go ahead\r\n250 injected\r\n"}},
       MailSecurity::STARTTLS,
       SmtpFailure::PROTOCOL,
       false,
       "AUTH"},
      {"handshake fails",
       {{"", "220 mx\r\n"}, {"EHLO", "250-mx\r\n250 STARTTLS\r\n"}, {"STARTTLS", "220 go\r\n"}},
       MailSecurity::STARTTLS,
       SmtpFailure::TLS,
       false,
       "AUTH"},
      {"implicit TLS fails", {}, MailSecurity::TLS, SmtpFailure::TLS, false, "EHLO"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    CScriptedServer server(Net(), c.Script);
    SmtpServer settings;
    settings.User = "testuser";
    settings.Password = "testpass";
    settings.Security = c.Security;
    SmtpResult r = Send(server, settings);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(SmtpFailureName(r.Failure), std::string(SmtpFailureName(c.Failure))) << r.Detail;
    EXPECT_FALSE(r.Detail.empty());
    EXPECT_EQ(r.Detail.find_first_of("\r\n"), std::string::npos);
    const std::string& t = server.Transcript();
    EXPECT_EQ(t.size() >= 6 && t.compare(t.size() - 6, 6, "QUIT\r\n") == 0, c.Quit) << t;
    EXPECT_EQ(t.find(c.NotSent), std::string::npos) << t;
  }
  EXPECT_EQ(m_Tls.Calls, 2);
  EXPECT_EQ(m_Tls.Name, "127.0.0.1");
}

TEST_F(SmtpClientTest, UnusableInputIsRefusedBeforeConnecting) {
  struct Case {
    const char* Name;
    std::string From, To, Host;
  };
  const std::string longAddress = std::string(300, 'a') + "@example.org";
  const Case cases[] = {
      {"overlong sender", longAddress, "b@example.org", ""},
      {"overlong recipient", "a@example.org", longAddress, ""},
      {"line break in recipient", "a@example.org", "b@x>\r\nRCPT TO:<c@y", ""},
      {"empty sender", "", "b@example.org", ""},
      {"overlong host", "a@example.org", "b@example.org", std::string(300, 'h')},
  };
  // Nothing may even connect: a connection would wait in the listener's queue.
  std::string error;
  auto listener = Net().Listen("127.0.0.1", 0, &error);
  ASSERT_NE(listener, nullptr) << error;
  std::unique_ptr<os::ISocket> none;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    MailMessage m = Message();
    m.From = c.From;
    m.To = c.To;
    SmtpServer settings;
    settings.Host = c.Host.empty() ? "127.0.0.1" : c.Host;
    settings.Port = listener->Port();
    CSmtpClient client(Net(), nullptr);
    SmtpResult r = client.Send(settings, m);
    EXPECT_EQ(r.Failure, SmtpFailure::BAD_INPUT) << r.Detail;
    EXPECT_EQ(listener->Accept(&none, 0), os::NetStatus::TimedOut);
  }
  // TLS chosen where there is none: refused, not sent in clear.
  SmtpServer settings{"127.0.0.1", listener->Port(), "", "", MailSecurity::STARTTLS, ""};
  SmtpResult r = CSmtpClient(Net(), nullptr).Send(settings, Message());
  EXPECT_EQ(r.Failure, SmtpFailure::TLS_UNAVAILABLE);
  EXPECT_EQ(listener->Accept(&none, 0), os::NetStatus::TimedOut);
}

}  // namespace
