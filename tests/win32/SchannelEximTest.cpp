// The mail client with the system's own TLS (Schannel) against a real Exim
// on the loopback: STARTTLS and TLS from the first byte, each checked in the
// file Exim delivered. Exim runs on the Linux side of Wine:
// scripts/wine-exim-test.sh starts it and runs these tests with its folder
// and ports in STAVRION_EXIM_DIR, STAVRION_EXIM_PORT and
// STAVRION_EXIM_TLS_PORT; without them (the plain test run) they are left
// out.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "monitor/SmtpClient.h"
#include "os/NativePlatform.h"

namespace {

namespace fs = std::filesystem;
using namespace monitor;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

// A Linux path as this program sees it through Wine's Z: drive.
std::string WinePath(const std::string& unixPath) {
  std::string p = "Z:" + unixPath;
  for (char& c : p) {
    if (c == '/') c = '\\';
  }
  return p;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class SchannelEximTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Dir = Env("STAVRION_EXIM_DIR");
    if (m_Dir.empty()) {
      GTEST_SKIP() << "runs under scripts/wine-exim-test.sh, which starts Exim for it";
    }
    m_Port = static_cast<uint16_t>(std::atoi(Env("STAVRION_EXIM_PORT").c_str()));
    m_TlsPort = static_cast<uint16_t>(std::atoi(Env("STAVRION_EXIM_TLS_PORT").c_str()));
    m_DnsOnlyDir = Env("STAVRION_EXIM_DNS_ONLY_DIR");
    m_DnsOnlyTlsPort =
        static_cast<uint16_t>(std::atoi(Env("STAVRION_EXIM_DNS_ONLY_TLS_PORT").c_str()));
    ASSERT_NE(m_Port, 0);
    ASSERT_NE(m_TlsPort, 0);
    ASSERT_FALSE(m_DnsOnlyDir.empty());
    ASSERT_NE(m_DnsOnlyTlsPort, 0);
    ASSERT_NE(m_Native.Get().Tls, nullptr) << "no TLS in the Windows build";
  }

  SmtpServer Server(const std::string& host, MailSecurity security) {
    SmtpServer s;
    s.Host = host;
    s.Port = security == MailSecurity::TLS ? m_TlsPort : m_Port;
    s.Security = security;
    s.TrustFile = WinePath(m_Dir + "/cert.pem");
    s.User = "testuser";
    s.Password = "testpass";
    return s;
  }

  SmtpResult Send(const SmtpServer& server, const MailMessage& message) {
    SmtpTimeouts t;
    t.ReplyMs = 10000;
    t.HandshakeMs = 10000;
    return CSmtpClient(*m_Native.Get().Net, m_Native.Get().Tls, t).Send(server, message);
  }

  // The delivered file holding `marker`, waiting for Exim's delivery.
  std::string Delivered(const std::string& marker, int waitMs = 10000) {
    const fs::path folder(WinePath(m_Dir + "/Maildir/new"));
    for (int waited = 0;; waited += 20) {
      std::error_code ec;
      for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string text = ReadFile(entry.path());
        if (text.find(marker) != std::string::npos) return text;
      }
      if (waited >= waitMs) return {};
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  // Exim's own account of the message: the "<=" line of its main log.
  std::string Arrival(const std::string& messageId) {
    std::istringstream log(ReadFile(fs::path(WinePath(m_Dir + "/log/mainlog"))));
    std::string line;
    while (std::getline(log, line)) {
      if (line.find(" <= ") != std::string::npos && line.find(messageId) != std::string::npos)
        return line;
    }
    return {};
  }

  // The second server's certificate, which names localhost only.
  SmtpServer DnsOnlyServer(const std::string& host) {
    SmtpServer s = Server(host, MailSecurity::TLS);
    s.Port = m_DnsOnlyTlsPort;
    s.TrustFile = WinePath(m_DnsOnlyDir + "/cert.pem");
    return s;
  }

  os::NativePlatform m_Native;
  std::string m_Dir, m_DnsOnlyDir;
  uint16_t m_Port = 0, m_TlsPort = 0, m_DnsOnlyTlsPort = 0;
};

TEST_F(SchannelEximTest, SendsOverStartTlsAndImplicitTlsWithTheCertificateChecked) {
  const struct {
    const char* Name;
    const char* Host;
    MailSecurity Security;
  } cases[] = {
      {"STARTTLS, localhost", "localhost", MailSecurity::STARTTLS},
      {"implicit TLS, localhost", "localhost", MailSecurity::TLS},
      {"STARTTLS, 127.0.0.1", "127.0.0.1", MailSecurity::STARTTLS},
      {"implicit TLS, 127.0.0.1", "127.0.0.1", MailSecurity::TLS},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string marker =
        "schannel-" + std::to_string(++n) + "-" + std::to_string(GetCurrentProcessId());
    MailMessage m;
    m.From = "stavrion@localhost";
    m.To = "admin@localhost";
    m.Subject = "[Smart] " + marker + " W\xC3\xA4rme";
    m.Body =
        "Disk 1\n.\nTemperature: 55 \xC2\xB0"
        "C\n";
    m.MessageId = "<" + marker + "@localhost>";
    const SmtpResult r = Send(Server(c.Host, c.Security), m);
    ASSERT_TRUE(r.Ok) << SmtpFailureName(r.Failure) << ": " << r.Detail;
    const std::string file = Delivered(marker);
    ASSERT_FALSE(file.empty()) << "nothing delivered";
    const size_t split = file.find("\r\n\r\n");
    ASSERT_NE(split, std::string::npos);
    EXPECT_EQ(file.substr(split + 4), "Disk 1\r\n.\r\nTemperature: 55 =C2=B0C\r\n");
    // Exim says the message came over TLS, after AUTH LOGIN.
    const std::string arrival = Arrival(marker);
    EXPECT_NE(arrival.find(" P=esmtpsa "), std::string::npos) << arrival;
    EXPECT_NE(arrival.find(" X=TLS"), std::string::npos) << arrival;
    EXPECT_NE(arrival.find(" A=login:testuser "), std::string::npos) << arrival;
  }
}

TEST_F(SchannelEximTest, RefusesACertificateItWasNotToldToTrustOrNotIssuedToTheAddress) {
  const struct {
    const char* Name;
    SmtpServer Server;
  } cases[] = {
      {"system roots, STARTTLS",
       [&] {
         SmtpServer s = Server("localhost", MailSecurity::STARTTLS);
         s.TrustFile.clear();
         return s;
       }()},
      {"system roots, implicit TLS",
       [&] {
         SmtpServer s = Server("localhost", MailSecurity::TLS);
         s.TrustFile.clear();
         return s;
       }()},
      // Trusted, but the certificate names localhost only.
      {"address not in the certificate", DnsOnlyServer("127.0.0.1")},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string marker =
        "refused-" + std::to_string(++n) + "-" + std::to_string(GetCurrentProcessId());
    MailMessage m;
    m.From = "stavrion@localhost";
    m.To = "admin@localhost";
    m.Subject = marker;
    m.Body = "must not arrive";
    m.MessageId = "<" + marker + "@localhost>";
    const SmtpResult r = Send(c.Server, m);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(std::string(SmtpFailureName(r.Failure)), SmtpFailureName(SmtpFailure::TLS))
        << r.Detail;
    EXPECT_NE(r.Detail.find("certificate"), std::string::npos) << r.Detail;
    EXPECT_EQ(Delivered(marker, 0), "");
  }
}

// The same server by the name its certificate does carry: the refusal
// above is the address's alone.
TEST_F(SchannelEximTest, TheCertificateWithoutTheAddressServesItsName) {
  MailMessage m;
  m.From = "stavrion@localhost";
  m.To = "admin@localhost";
  m.Subject = "dns-only-" + std::to_string(GetCurrentProcessId());
  m.Body = "by name";
  m.MessageId = "<" + m.Subject + "@localhost>";
  const SmtpResult r = Send(DnsOnlyServer("localhost"), m);
  ASSERT_TRUE(r.Ok) << SmtpFailureName(r.Failure) << ": " << r.Detail;
}

}  // namespace
