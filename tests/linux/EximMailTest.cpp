// The mail client against a real Exim on the loopback, started for these
// tests by scripts/exim-test-mta.sh: every way of sending, checked in the
// file Exim delivered, and the refusals a real server gives.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "monitor/SmtpClient.h"
#include "os/NativePlatform.h"

namespace {

namespace fs = std::filesystem;
using namespace monitor;

// Runs a program with arguments, no shell; its exit status, or -1.
int RunProgram(const std::vector<std::string>& argv) {
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class EximMailTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (access("/usr/sbin/exim4", X_OK) != 0) {
      s_Missing =
          "Exim is not installed (scripts/install-packages.sh "
          "exim4-daemon-heavy)";
      return;
    }
    char pattern[] = "/tmp/stavrion-exim-XXXXXX";
    if (!mkdtemp(pattern)) {
      s_Missing = "no temporary folder";
      return;
    }
    s_Dir = pattern;
    // Exim works as its own user and must reach the folder.
    chmod(pattern, 0755);
    os::NativePlatform native;
    // Two free ports: the system hands them out, we give them back at once.
    std::string error;
    auto a = native.Get().Net->Listen("127.0.0.1", 0, &error);
    auto b = native.Get().Net->Listen("127.0.0.1", 0, &error);
    if (!a || !b) {
      s_Missing = "no free ports: " + error;
      return;
    }
    s_Port = a->Port();
    s_TlsPort = b->Port();
    a.reset();
    b.reset();
    s_Script = std::string(STAVRION_SOURCE_DIR) + "/scripts/exim-test-mta.sh";
    if (RunProgram({"/bin/bash", s_Script, "start", s_Dir, std::to_string(s_Port),
                    std::to_string(s_TlsPort)}) != 0)
      s_Missing = "Exim did not start (its log is in " + s_Dir + "/log)";
  }

  static void TearDownTestSuite() {
    if (s_Dir.empty()) return;
    RunProgram({"/bin/bash", s_Script, "stop", s_Dir});
    std::error_code ignored;
    fs::remove_all(s_Dir, ignored);
  }

  void SetUp() override {
    if (s_Missing.empty()) return;
    // The test command installs Exim and demands these tests; elsewhere they
    // may be left out.
    if (std::getenv("STAVRION_REQUIRE_EXIM")) FAIL() << s_Missing;
    GTEST_SKIP() << s_Missing;
  }

  SmtpServer Server(MailSecurity security, bool tlsPort, bool auth) {
    SmtpServer s;
    s.Host = "127.0.0.1";
    s.Port = tlsPort ? s_TlsPort : s_Port;
    s.Security = security;
    s.TrustFile = s_Dir + "/cert.pem";
    if (auth) {
      s.User = "testuser";
      s.Password = "testpass";
    }
    return s;
  }

  SmtpResult Send(const SmtpServer& server, const MailMessage& message) {
    SmtpTimeouts t;
    t.ReplyMs = 5000;
    return CSmtpClient(*m_Native.Get().Net, m_Native.Get().Tls, t).Send(server, message);
  }

  // The delivered file whose headers hold `marker`; empty when none. Exim
  // delivers in a process of its own after accepting the message, so this
  // looks again for up to `waitMs`.
  static std::string Delivered(const std::string& marker, int waitMs = 5000) {
    for (int waited = 0;; waited += 10) {
      std::error_code ec;
      for (const auto& entry : fs::directory_iterator(s_Dir + "/Maildir/new", ec)) {
        std::string text = ReadFile(entry.path());
        if (text.find(marker) != std::string::npos) return text;
      }
      if (waited >= waitMs) return {};
      usleep(10000);
    }
  }

  os::NativePlatform m_Native;
  static inline std::string s_Dir, s_Script, s_Missing;
  static inline uint16_t s_Port = 0, s_TlsPort = 0;
};

TEST_F(EximMailTest, DeliversTheMessageByteForByteEveryWay) {
  struct Case {
    const char* Name;
    MailSecurity Security;
    bool TlsPort;
    bool Auth;
    const char* To;
  };
  const Case cases[] = {
      {"plain", MailSecurity::NONE, false, false, "noauth@localhost"},
      {"AUTH LOGIN", MailSecurity::NONE, false, true, "admin@localhost"},
      {"STARTTLS", MailSecurity::STARTTLS, false, true, "admin@localhost"},
      {"implicit TLS", MailSecurity::TLS, true, true, "admin@localhost"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    MailMessage m;
    m.From = "stavrion@localhost";
    m.To = c.To;
    std::string marker = "case-" + std::to_string(++n) + "-" + std::to_string(getpid());
    m.Subject = "[Smart] PC " + marker +
                " Temperatur \xC3\xBC"
                "ber 50 \xC2\xB0"
                "C";
    m.Body =
        "Disk 1\n.\n..two dots\nW\xC3\xA4rme 55 \xC2\xB0"
        "C\n";
    m.Date = 1796858436;
    m.MessageId = "<" + marker + "@localhost>";
    SmtpResult r = Send(Server(c.Security, c.TlsPort, c.Auth), m);
    ASSERT_TRUE(r.Ok) << r.Detail;
    std::string file = Delivered(marker);
    ASSERT_FALSE(file.empty()) << "nothing delivered";
    size_t split = file.find("\r\n\r\n");
    ASSERT_NE(split, std::string::npos);
    std::string headers = file.substr(0, split + 2);
    EXPECT_EQ(file.substr(split + 4), "Disk 1\r\n.\r\n..two dots\r\nW=C3=A4rme 55 =C2=B0C\r\n");
    EXPECT_NE(headers.find("Subject: =?UTF-8?B?"), std::string::npos) << headers;
    EXPECT_NE(headers.find("Content-Type: text/plain; charset=UTF-8\r\n"), std::string::npos);
    EXPECT_NE(headers.find("Content-Transfer-Encoding: quoted-printable\r\n"), std::string::npos);
    EXPECT_NE(headers.find("Date: Wed, 09 Dec 2026 23:20:36 +0000\r\n"), std::string::npos);
    EXPECT_NE(headers.find("Message-ID: <"), std::string::npos);
    EXPECT_NE(headers.find("MIME-Version: 1.0\r\n"), std::string::npos);
  }
}

TEST_F(EximMailTest, RefusalsOfARealServer) {
  struct Case {
    const char* Name;
    SmtpServer Server;
    const char* To;
    SmtpFailure Failure;
    const char* InDetail;
  };
  SmtpServer wrongPassword = Server(MailSecurity::STARTTLS, false, true);
  wrongPassword.Password = "wrong";
  SmtpServer untrusted = Server(MailSecurity::TLS, true, true);
  untrusted.TrustFile.clear();  // the system's roots do not know Exim's certificate
  SmtpServer startTlsUntrusted = Server(MailSecurity::STARTTLS, false, true);
  startTlsUntrusted.TrustFile.clear();
  const Case cases[] = {
      {"wrong password", wrongPassword, "admin@localhost", SmtpFailure::AUTH, "535"},
      {"recipient refused", Server(MailSecurity::NONE, false, false), "admin@localhost",
       SmtpFailure::REJECTED, "530"},
      {"certificate not trusted", untrusted, "admin@localhost", SmtpFailure::TLS, "certificate"},
      {"STARTTLS certificate not trusted", startTlsUntrusted, "admin@localhost", SmtpFailure::TLS,
       "certificate"},
      {"plain dialogue on the TLS port", Server(MailSecurity::NONE, true, false),
       "noauth@localhost", SmtpFailure::TIMED_OUT, "timed out"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    MailMessage m;
    m.From = "stavrion@localhost";
    m.To = c.To;
    m.Subject = c.Name;
    m.MessageId = "<refused-" + std::to_string(getpid()) + "@localhost>";
    m.Body = "must not arrive";
    SmtpTimeouts t;
    t.ReplyMs = 500;
    SmtpResult r = CSmtpClient(*m_Native.Get().Net, m_Native.Get().Tls, t).Send(c.Server, m);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(SmtpFailureName(r.Failure), std::string(SmtpFailureName(c.Failure))) << r.Detail;
    EXPECT_NE(r.Detail.find(c.InDetail), std::string::npos) << r.Detail;
    EXPECT_EQ(Delivered(m.MessageId, 0), "");
  }
}

}  // namespace
