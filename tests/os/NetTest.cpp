// The system's sockets on the loopback: the backend of whichever system the
// tests run on (Winsock under Wine, BSD sockets on Linux).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "os/NativePlatform.h"
#include "os/Net.h"

namespace {

constexpr uint32_t SHORT_MS = 50;
constexpr uint32_t LONG_MS = 5000;

class NetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Not yet on Windows: the Winsock backend is still to come.
    if (!m_Native.Get().Net) GTEST_SKIP() << "this platform has no sockets yet";
    std::string error;
    m_Listener = Net().Listen("127.0.0.1", 0, &error);
    ASSERT_NE(m_Listener, nullptr) << error;
    ASSERT_NE(m_Listener->Port(), 0);
  }

  os::INet& Net() { return *m_Native.Get().Net; }

  // A connected pair: client side and server side.
  void Pair(std::unique_ptr<os::ISocket>* client, std::unique_ptr<os::ISocket>* server) {
    std::string error;
    *client = Net().Connect("127.0.0.1", m_Listener->Port(), LONG_MS, &error);
    ASSERT_NE(*client, nullptr) << error;
    ASSERT_EQ(m_Listener->Accept(server, LONG_MS), os::NetStatus::Ok);
    ASSERT_NE(*server, nullptr);
  }

  // Everything `socket` receives until the peer ends the stream.
  static std::string ReadToEnd(os::ISocket& socket) {
    std::string all;
    char buffer[7];  // small on purpose: many receives
    for (;;) {
      size_t n = 0;
      os::NetStatus status = socket.Receive(buffer, sizeof buffer, &n, LONG_MS);
      if (status == os::NetStatus::Closed) return all;
      if (status != os::NetStatus::Ok) return all + "<" + os::NetStatusName(status) + ">";
      all.append(buffer, n);
    }
  }

  os::NativePlatform m_Native;
  std::unique_ptr<os::IListener> m_Listener;
};

TEST_F(NetTest, BytesTravelBothWaysAndTheEndOfStreamIsSeen) {
  std::unique_ptr<os::ISocket> client, server;
  Pair(&client, &server);
  std::string request = "EHLO there\r\n";
  std::string answer(100000, 'x');  // more than one receive, more than one send buffer
  for (size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<char>('a' + i % 26);
  ASSERT_EQ(client->Send(request, LONG_MS), os::NetStatus::Ok);
  client->ShutdownSend();
  EXPECT_EQ(ReadToEnd(*server), request);
  std::thread writer([&] {
    EXPECT_EQ(server->Send(answer, LONG_MS), os::NetStatus::Ok);
    server.reset();  // closing ends the stream
  });
  EXPECT_EQ(ReadToEnd(*client), answer);
  writer.join();
}

TEST_F(NetTest, WaitsEndAtTheirTimeOut) {
  std::unique_ptr<os::ISocket> client, server;
  Pair(&client, &server);
  char buffer[16];
  size_t n = 99;
  // A silent peer: the receive gives up, with nothing stored.
  EXPECT_EQ(client->Receive(buffer, sizeof buffer, &n, SHORT_MS), os::NetStatus::TimedOut);
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(client->LastError().empty());
  // No waiting at all with 0.
  EXPECT_EQ(server->Receive(buffer, sizeof buffer, &n, 0), os::NetStatus::TimedOut);
  // Nobody connecting: the accept gives up too.
  std::unique_ptr<os::ISocket> none;
  EXPECT_EQ(m_Listener->Accept(&none, SHORT_MS), os::NetStatus::TimedOut);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(m_Listener->Accept(&none, 0), os::NetStatus::TimedOut);
  // A peer that never reads: the send cannot finish and must not block for
  // ever once the buffers are full.
  std::string flood(32 * 1024 * 1024, 'f');
  EXPECT_EQ(client->Send(flood, 200), os::NetStatus::TimedOut);
}

TEST_F(NetTest, AResetStreamFailsInsteadOfHanging) {
  std::unique_ptr<os::ISocket> client, server;
  Pair(&client, &server);
  server.reset();
  // The first send may still be taken by the system; the ones after it see
  // the reset.
  os::NetStatus status = os::NetStatus::Ok;
  for (int i = 0; i < 50 && status == os::NetStatus::Ok; ++i) {
    status = client->Send("MAIL FROM:<a@b>\r\n", LONG_MS);
    if (status == os::NetStatus::Ok) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(status, os::NetStatus::Failed);
}

TEST_F(NetTest, SeveralConnectionsQueueForAccept) {
  std::string error;
  auto a = Net().Connect("127.0.0.1", m_Listener->Port(), LONG_MS, &error);
  auto b = Net().Connect("localhost", m_Listener->Port(), LONG_MS, &error);
  ASSERT_NE(a, nullptr) << error;
  ASSERT_NE(b, nullptr) << error;
  std::unique_ptr<os::ISocket> sa, sb;
  ASSERT_EQ(m_Listener->Accept(&sa, LONG_MS), os::NetStatus::Ok);
  ASSERT_EQ(m_Listener->Accept(&sb, LONG_MS), os::NetStatus::Ok);
  ASSERT_EQ(a->Send("A", LONG_MS), os::NetStatus::Ok);
  ASSERT_EQ(b->Send("B", LONG_MS), os::NetStatus::Ok);
  a->ShutdownSend();
  b->ShutdownSend();
  std::string got = ReadToEnd(*sa) + ReadToEnd(*sb);
  EXPECT_TRUE(got == "AB" || got == "BA") << got;
}

TEST_F(NetTest, RefusedAddressesAndHostsGiveAnError) {
  uint16_t port = m_Listener->Port();
  struct Case {
    const char* Name;
    std::string Host;
    uint16_t Port;
  };
  const Case cases[] = {
      {"nobody listens", "127.0.0.1", 0},  // port filled in below
      {"empty host", "", port},
      {"overlong host", std::string(300, 'a'), port},
      {"line break in host", "localhost\r\nRCPT TO:<x>", port},
      {"space in host", "local host", port},
  };
  // A port nobody listens on: one we had and gave back.
  std::string error;
  uint16_t freed = 0;
  {
    auto other = Net().Listen("127.0.0.1", 0, &error);
    ASSERT_NE(other, nullptr) << error;
    freed = other->Port();
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    error.clear();
    auto s = Net().Connect(c.Host, c.Port == 0 ? freed : c.Port, LONG_MS, &error);
    EXPECT_EQ(s, nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
  // A port that is taken cannot be listened on twice.
  error.clear();
  EXPECT_EQ(Net().Listen("127.0.0.1", port, &error), nullptr);
  EXPECT_FALSE(error.empty());
}

TEST_F(NetTest, ListensOnIpv6LoopbackWhenTheSystemHasIt) {
  std::string error;
  auto listener = Net().Listen("[::1]", 0, &error);
  if (!listener) GTEST_SKIP() << "no IPv6 loopback here: " << error;
  auto client = Net().Connect("::1", listener->Port(), LONG_MS, &error);
  ASSERT_NE(client, nullptr) << error;
  std::unique_ptr<os::ISocket> server;
  ASSERT_EQ(listener->Accept(&server, LONG_MS), os::NetStatus::Ok);
  ASSERT_EQ(client->Send("six", LONG_MS), os::NetStatus::Ok);
  client->ShutdownSend();
  EXPECT_EQ(ReadToEnd(*server), "six");
}

TEST_F(NetTest, KnowsThisComputersName) {
  std::string name = Net().LocalHostName();
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(name.find('\0'), std::string::npos);
}

TEST(NetHostText, AcceptsOnlyPlainHostTexts) {
  struct Case {
    std::string Host;
    bool Ok;
  };
  const Case cases[] = {
      {"mail.example.org", true},
      {"127.0.0.1", true},
      {"::1", true},
      {std::string(255, 'h'), true},
      {std::string(256, 'h'), false},
      {"", false},
      {"a b", false},
      {"a\tb", false},
      {std::string("a\0b", 3), false},
      {"a\x7f", false},
  };
  for (const Case& c : cases) EXPECT_EQ(os::IsAcceptableHostText(c.Host), c.Ok) << c.Host;
  EXPECT_EQ(os::StripHostBrackets("[::1]"), "::1");
  EXPECT_EQ(os::StripHostBrackets("[x"), "[x");
}

}  // namespace
