// Fuzzes what a web server sends for the banner: the HTTP reply reader over
// the input in any chunks, and the link chosen from whatever body it lets
// through. Checks what must hold for every input: no crash, a body within
// the cap, and a link that is the home page or an http(s) address made only
// of URL characters.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/InputNet.h"
#include "os/Clock.h"
#include "tools/Banner.h"
#include "tools/HttpGet.h"

namespace {

// Each look at the clock moves it a millisecond, so the time limit ends a
// reply that never completes.
class CStepClock : public os::IClock {
 public:
  uint64_t TickCount() override { return ++m_Ticks; }
  int64_t Now() override { return 0; }
  std::tm LocalTime(int64_t) override { return {}; }
  int64_t MakeLocalTime(const std::tm&) override { return 0; }
  void Sleep(uint32_t ms) override { m_Ticks += ms; }

 private:
  uint64_t m_Ticks = 0;
};

bool AcceptableLink(const std::string& link) {
  if (link == tools::HOME_PAGE) return true;
  if (link.rfind("http://", 0) != 0 && link.rfind("https://", 0) != 0) return false;
  for (char c : link) {
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F ||
        c == '"' || c == '\\' || c == '<' || c == '>' || c == '^' || c == '|' || c == '`')
      return false;
  }
  return link.size() <= tools::MAX_WEB_LINK;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  for (bool ended : {false, true}) {
    tools::HttpReply reply;
    std::string error;
    const tools::HttpParse state =
        tools::ParseHttpReply(all, ended, tools::BANNER_MAX_BYTES, &reply, &error);
    if (state == tools::HttpParse::COMPLETE &&
        (reply.Body.size() > tools::BANNER_MAX_BYTES || reply.Status < 100 || reply.Status > 999))
      std::abort();
    if (state == tools::HttpParse::BAD && error.empty()) std::abort();
  }
  // Pieces of up to 200 bytes; the server closes the connection at the end.
  netfuzz::CInputNet net(data, size, {200, os::NetStatus::Closed, os::NetStatus::TimedOut});
  CStepClock clock;
  const tools::HttpGetResult got = tools::HttpGet(net, nullptr, clock, "http://banner.test/a.txt",
                                                  tools::BANNER_MAX_BYTES, 100000);
  if (got.Ok && got.Body.size() > tools::BANNER_MAX_BYTES) std::abort();
  if (!AcceptableLink(tools::BannerLink(got.Body))) std::abort();
  if (!AcceptableLink(tools::BannerLink(std::string(all)))) std::abort();
  (void)tools::ParseHttpUrl(all);
  return 0;
}
