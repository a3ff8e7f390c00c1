#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "os/NativePlatform.h"
#include "os/Net.h"
#include "os/Process.h"
#include "tests/support/StdFileSystem.h"
#include "tests/support/TempDir.h"
#include "tools/Banner.h"
#include "tools/HttpGet.h"

namespace {

TEST(BannerLink, OnlyWebLinksReachTheShell) {
  struct Case {
    const char* Text;
    const char* Link;
  } cases[] = {
      {"http://www.tessaly.example/sale\r\nsecond line", "http://www.tessaly.example/sale"},
      {"HTTPS://Shop.Example/Offer?A=1\n", "https://shop.example/offer?a=1"},
      {"\xEF\xBB\xBF  http://a.example/x  \r\n", "http://a.example/x"},
      {"http://127.0.0.1:8080/", "http://127.0.0.1:8080/"},
      {"http://[::1]:8080/p", "http://[::1]:8080/p"},
      // Everything else is the home page.
      {"", tools::HOME_PAGE},
      {"\r\nhttp://second.line.example/", tools::HOME_PAGE},
      {"file:///c:/windows/system32/calc.exe", tools::HOME_PAGE},
      {"c:\\windows\\system32\\calc.exe", tools::HOME_PAGE},
      {"calc.exe", tools::HOME_PAGE},
      {"\\\\server\\share\\setup.exe", tools::HOME_PAGE},
      {"ms-settings:privacy", tools::HOME_PAGE},
      {"javascript:alert(1)", tools::HOME_PAGE},
      {"http:\\\\evil.example\\x", tools::HOME_PAGE},
      {"http://", tools::HOME_PAGE},
      {"http:///path", tools::HOME_PAGE},
      {"http://user@evil.example/", tools::HOME_PAGE},
      {"http://a.example/\" --new-window file:///etc", tools::HOME_PAGE},
      {"http://a.example/x y", tools::HOME_PAGE},
      {"http://a.example/\x01", tools::HOME_PAGE},
      {"http://a.example/\xC3\xA9", tools::HOME_PAGE},
      {"http://a.example/^|<>", tools::HOME_PAGE},
      {"http://a.example:99999/", tools::HOME_PAGE},
      {"<html><body>404 Not Found</body></html>", tools::HOME_PAGE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tools::BannerLink(std::string(c.Text)), c.Link) << c.Text;
  }
  EXPECT_EQ(tools::BannerLink(std::nullopt), tools::HOME_PAGE);
  EXPECT_FALSE(
      tools::IsOpenableWebLink("http://a.example/" + std::string(tools::MAX_WEB_LINK, 'a')));
}

TEST(ProductLink, FormFactorsWithAPageAndTheRest) {
  const std::string home = tools::HOME_PAGE;
  EXPECT_EQ(tools::ProductLink(1), home + "products/sata_module");
  EXPECT_EQ(tools::ProductLink(4), home + "products/m.2_sata");
  EXPECT_EQ(tools::ProductLink(13), home + "products/m.2_sata");
  EXPECT_EQ(tools::ProductLink(7), home + "products/2.5%E2%80%9D_ssd");
  EXPECT_EQ(tools::ProductLink(9), home + "products/pcie_module");
  for (int code : {0, 5, 10, 11, 12, 14, 15, 16, 17, 18, -1}) {
    EXPECT_EQ(tools::ProductLink(code), home) << code;
  }
  for (int code = -1; code < 20; ++code)
    EXPECT_TRUE(tools::IsOpenableWebLink(tools::ProductLink(code)));
}

TEST(HttpUrl, PartsOfTheAddress) {
  auto u = tools::ParseHttpUrl("http://Host.Example:8080/a/b?c=d#frag");
  ASSERT_TRUE(u);
  EXPECT_FALSE(u->Secure);
  EXPECT_EQ(u->Host, "Host.Example");
  EXPECT_EQ(u->Port, 8080);
  EXPECT_EQ(u->Target, "/a/b?c=d");
  u = tools::ParseHttpUrl("https://[::1]");
  ASSERT_TRUE(u);
  EXPECT_TRUE(u->Secure);
  EXPECT_EQ(u->Host, "[::1]");
  EXPECT_EQ(u->Port, 443);
  EXPECT_EQ(u->Target, "/");
  for (const char* bad : {"ftp://a/", "http://:80/", "http://a:0/", "http://a:/", "http://a b/",
                          "http://[::1/", "http://[::1]x/", "http://a@b/", "http://a:-1/"}) {
    EXPECT_FALSE(tools::ParseHttpUrl(bad)) << bad;
  }
}

TEST(HttpReply, ParsesWhatArrivesAndRefusesWhatItShouldNot) {
  struct Case {
    const char* Name;
    std::string Bytes;
    bool Ended;
    tools::HttpParse Expected;
    int Status;
    const char* Body;
  } cases[] = {
      {"LengthGiven", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello", false,
       tools::HttpParse::COMPLETE, 200, "hello"},
      {"ExtraAfterLengthIgnored", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhello", false,
       tools::HttpParse::COMPLETE, 200, "he"},
      {"NoLengthRunsToTheEnd", "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nline\n", true,
       tools::HttpParse::COMPLETE, 200, "line\n"},
      {"NoLengthWaitsForTheEnd", "HTTP/1.0 200 OK\r\n\r\nline", false, tools::HttpParse::INCOMPLETE,
       0, ""},
      {"HeadNotYetWhole", "HTTP/1.0 200 OK\r\nContent-", false, tools::HttpParse::INCOMPLETE, 0,
       ""},
      {"NotFoundStillParsed", "HTTP/1.0 404 Not Found\r\nContent-Length: 3\r\n\r\nno!", false,
       tools::HttpParse::COMPLETE, 404, "no!"},
      {"StatusWithoutReason", "HTTP/1.1 200\r\nContent-Length: 0\r\n\r\n", false,
       tools::HttpParse::COMPLETE, 200, ""},
      {"EndedInHead", "HTTP/1.0 200 OK\r\n", true, tools::HttpParse::BAD, 0, ""},
      {"EndedEarly", "HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\nabc", true, tools::HttpParse::BAD,
       0, ""},
      {"NotHttp", "SSH-2.0-OpenSSH\r\n\r\n", false, tools::HttpParse::BAD, 0, ""},
      {"BadCode", "HTTP/1.0 2x0 OK\r\n\r\n", false, tools::HttpParse::BAD, 0, ""},
      {"BadLength", "HTTP/1.0 200 OK\r\nContent-Length: -1\r\n\r\n", false, tools::HttpParse::BAD,
       0, ""},
      {"TwoLengths", "HTTP/1.0 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab", false,
       tools::HttpParse::BAD, 0, ""},
      {"Chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
       false, tools::HttpParse::BAD, 0, ""},
      {"Gzip", "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\nxx", true, tools::HttpParse::BAD,
       0, ""},
      {"LengthOverCap", "HTTP/1.0 200 OK\r\nContent-Length: 4097\r\n\r\n", false,
       tools::HttpParse::BAD, 0, ""},
      {"BodyOverCap", "HTTP/1.0 200 OK\r\n\r\n" + std::string(4097, 'a'), false,
       tools::HttpParse::BAD, 0, ""},
      {"HeadOverCap", "HTTP/1.0 200 OK\r\nX: " + std::string(9000, 'a'), false,
       tools::HttpParse::BAD, 0, ""},
      {"HeaderWithoutColon", "HTTP/1.0 200 OK\r\nnonsense\r\n\r\n", false, tools::HttpParse::BAD, 0,
       ""},
  };
  for (const Case& c : cases) {
    tools::HttpReply reply;
    std::string error;
    EXPECT_EQ(tools::ParseHttpReply(c.Bytes, c.Ended, 4096, &reply, &error), c.Expected) << c.Name;
    if (c.Expected == tools::HttpParse::COMPLETE) {
      EXPECT_EQ(reply.Status, c.Status) << c.Name;
      EXPECT_EQ(reply.Body, c.Body) << c.Name;
    }
    if (c.Expected == tools::HttpParse::BAD) {
      EXPECT_FALSE(error.empty()) << c.Name;
    }
  }
}

// A loopback server that answers each connection with the next scripted
// reply (sent as it stands, then closed), or holds the connection silent.
class CReplyServer {
 public:
  CReplyServer(os::INet& net, std::vector<std::string> replies) : m_Replies(std::move(replies)) {
    std::string error;
    m_Listener = net.Listen("127.0.0.1", 0, &error);
    EXPECT_NE(m_Listener, nullptr) << error;
    m_Thread = std::thread([this] {
      for (const std::string& reply : m_Replies) {
        std::unique_ptr<os::ISocket> s;
        if (m_Listener->Accept(&s, 5000) != os::NetStatus::Ok) return;
        char buffer[2048];
        size_t got = 0;
        std::string request;
        while (request.find("\r\n\r\n") == std::string::npos &&
               s->Receive(buffer, sizeof buffer, &got, 2000) == os::NetStatus::Ok) {
          request.append(buffer, got);
        }
        m_Requests.push_back(request);
        if (reply == "SILENT") {
          // Holds the connection without a byte until the client gives up.
          while (s->Receive(buffer, sizeof buffer, &got, 100) != os::NetStatus::Closed && !m_Stop) {
          }
          continue;
        }
        s->Send(reply, 2000);
      }
    });
  }
  ~CReplyServer() {
    m_Stop = true;
    m_Thread.join();
  }
  uint16_t Port() const { return m_Listener->Port(); }
  std::vector<std::string> m_Requests;

 private:
  std::vector<std::string> m_Replies;
  std::unique_ptr<os::IListener> m_Listener;
  std::atomic<bool> m_Stop{false};
  std::thread m_Thread;
};

class BannerFetch : public ::testing::Test {
 protected:
  void SetUp() override {
    if (m_Native.Get().Net == nullptr) GTEST_SKIP() << "no sockets";
  }
  tools::BannerResult Fetch(uint16_t port, const std::string& path = "/ad_banner.txt") {
    os::Platform p = m_Native.Get();
    return tools::FetchBanner(*p.Net, nullptr, p.Clock, m_Files,
                              "http://127.0.0.1:" + std::to_string(port) + path, File());
  }
  std::string File() const { return m_Dir.File("downloads/ad_banner.txt"); }
  std::string Saved() const {
    std::ifstream in(File(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  os::NativePlatform m_Native;
  testutil::CTempDir m_Dir;
  testutil::CStdFileSystem m_Files;
};

TEST_F(BannerFetch, RepliesOverLoopback) {
  CReplyServer server(
      *m_Native.Get().Net,
      {"HTTP/1.0 200 OK\r\nContent-Length: 41\r\n\r\nhttp://www.example.org/long/banner/link\r\n",
       "HTTP/1.0 200 OK\r\n\r\nhttp://b.example/\n",
       "HTTP/1.0 404 Not Found\r\nContent-Length: 21\r\n\r\nhttp://not.found.ex/\n",
       "HTTP/1.0 200 OK\r\n\r\nfile:///c:/windows/system32/calc.exe\r\n",
       "HTTP/1.0 200 OK\r\n\r\n" + std::string(5000, 'x'),
       "HTTP/1.0 301 Moved\r\nLocation: http://elsewhere.example/\r\n\r\n"});
  tools::BannerResult r = Fetch(server.Port());
  EXPECT_TRUE(r.Downloaded);
  EXPECT_EQ(r.Link, "http://www.example.org/long/banner/link");
  EXPECT_EQ(Saved(), "http://www.example.org/long/banner/link\r\n");
  // A shorter text replaces the file whole: no tail of the longer one.
  r = Fetch(server.Port());
  EXPECT_EQ(r.Link, "http://b.example/");
  EXPECT_EQ(Saved(), "http://b.example/\n");
  // A 404 page is no banner: the home page, and the file stays.
  r = Fetch(server.Port());
  EXPECT_FALSE(r.Downloaded);
  EXPECT_EQ(r.Link, tools::HOME_PAGE);
  EXPECT_EQ(Saved(), "http://b.example/\n");
  // A hostile link is downloaded but never chosen.
  r = Fetch(server.Port());
  EXPECT_TRUE(r.Downloaded);
  EXPECT_EQ(r.Link, tools::HOME_PAGE);
  // Too big, and a redirect: nothing.
  for (int i = 0; i < 2; ++i) {
    r = Fetch(server.Port());
    EXPECT_FALSE(r.Downloaded);
    EXPECT_EQ(r.Link, tools::HOME_PAGE);
  }
  ASSERT_FALSE(server.m_Requests.empty());
  EXPECT_EQ(server.m_Requests[0].rfind("GET /ad_banner.txt HTTP/1.0\r\nHost: 127.0.0.1:", 0), 0u)
      << server.m_Requests[0];
}

TEST_F(BannerFetch, SilentServerEndsWithinTheLimitAndCancelEndsSooner) {
  CReplyServer server(*m_Native.Get().Net, {"SILENT", "SILENT"});
  os::Platform p = m_Native.Get();
  const auto start = std::chrono::steady_clock::now();
  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";
  tools::HttpGetResult r = tools::HttpGet(*p.Net, nullptr, p.Clock, url, 4096, 600);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.Error, "timed out");
  std::atomic<bool> cancel{true};
  r = tools::HttpGet(*p.Net, nullptr, p.Clock, url, 4096, 60000, &cancel);
  EXPECT_EQ(r.Error, "cancelled");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(BannerFetch, NothingListening) {
  std::string error;
  uint16_t port = 0;
  {
    auto listener = m_Native.Get().Net->Listen("127.0.0.1", 0, &error);
    ASSERT_NE(listener, nullptr);
    port = listener->Port();
  }
  const tools::BannerResult r = Fetch(port);
  EXPECT_FALSE(r.Downloaded);
  EXPECT_EQ(r.Link, tools::HOME_PAGE);
  EXPECT_FALSE(std::filesystem::exists(File()));
}

// The same against a stock HTTP server (Python's http.server), serving the
// banner files of a folder the test changes between downloads.
TEST_F(BannerFetch, StockHttpServer) {
  if (os::IsWindowsBuild()) GTEST_SKIP() << "python3 is run on the build machine only";
  const std::string root = m_Dir.File("site");
  std::filesystem::create_directories(root);
  const std::string portFile = m_Dir.File("port");
  const std::string script = m_Dir.File("serve.py");
  std::ofstream(script) << R"(import http.server, os, sys, threading
root, port_file = sys.argv[1], sys.argv[2]
class H(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *a, **k): super().__init__(*a, directory=root, **k)
    def log_message(self, *a): pass
    def do_GET(self):
        if self.path == '/quit':
            self.send_response(200); self.end_headers()
            threading.Thread(target=self.server.shutdown).start(); return
        super().do_GET()
s = http.server.HTTPServer(('127.0.0.1', 0), H)
with open(port_file + '.tmp', 'w') as f: f.write(str(s.server_address[1]))
os.replace(port_file + '.tmp', port_file)
threading.Timer(60, s.shutdown).start()
s.serve_forever()
os._exit(0)
)";
  std::string error;
  if (!os::StartDetached("python3", {script, root, portFile}, {}, &error)) {
    GTEST_SKIP() << "python3: " << error;
  }
  // The server names its port once it listens.
  uint16_t port = 0;
  for (int i = 0; i < 200 && port == 0; ++i) {
    std::ifstream in(portFile);
    int p = 0;
    if (in >> p) port = static_cast<uint16_t>(p);
    if (port == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_NE(port, 0) << "python3 http.server did not start";
  auto serve = [&](const std::string& text) {
    std::ofstream(root + "/ad_banner.txt", std::ios::binary) << text;
  };
  serve("https://www.example.com/a/rather/long/banner/path/of/the/sale\r\nimage.png\r\n");
  tools::BannerResult r = Fetch(port);
  EXPECT_TRUE(r.Downloaded) << r.Error;
  EXPECT_EQ(r.Link, "https://www.example.com/a/rather/long/banner/path/of/the/sale");
  serve("http://short.example/\r\n");
  r = Fetch(port);
  EXPECT_EQ(r.Link, "http://short.example/");
  EXPECT_EQ(Saved(), "http://short.example/\r\n");
  for (const char* hostile : {"file:///etc/passwd\n", "C:\\Windows\\System32\\calc.exe\r\n",
                              "/usr/bin/xcalc\n", "\\\\host\\share\\x.exe\n"}) {
    serve(hostile);
    r = Fetch(port);
    EXPECT_TRUE(r.Downloaded);
    EXPECT_EQ(r.Link, tools::HOME_PAGE) << hostile;
  }
  r = Fetch(port, "/missing.txt");
  EXPECT_FALSE(r.Downloaded);
  EXPECT_EQ(r.Error, "status 404");
  EXPECT_EQ(r.Link, tools::HOME_PAGE);
  Fetch(port, "/quit");
}

}  // namespace
