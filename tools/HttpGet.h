// A small HTTP/1.0 GET over the platform's sockets, for the banner text: one
// request, no redirects followed, the reply read to the end of the stream
// within a size cap and an overall time limit. The reply is outside input:
// its status line, headers and body are parsed with bounds, never trusted.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace os {
class IClock;
class INet;
class ITls;
}  // namespace os

namespace tools {

// "http://host[:port]/path" or "https://...". The host may be a name, an
// IPv4 address or an IPv6 address in brackets.
struct HttpUrl {
  bool Secure = false;
  std::string Host;
  uint16_t Port = 80;
  std::string Target = "/";  // path and query
};
std::optional<HttpUrl> ParseHttpUrl(std::string_view url);

// The reply head is capped on its own, apart from the body.
constexpr size_t MAX_HTTP_HEAD = 8192;

struct HttpReply {
  int Status = 0;
  std::string Body;
};
enum class HttpParse {
  INCOMPLETE,  // more bytes are needed (the stream has not ended)
  COMPLETE,    // *reply holds the status and the whole body
  BAD,         // not a reply we accept (*error says why)
};
// Parses the bytes received so far. `ended` tells that the peer closed the
// stream (a body without Content-Length runs to the end). A body longer
// than `maxBody`, a head longer than MAX_HTTP_HEAD, a chunked or otherwise
// encoded body, a malformed status line or Content-Length are BAD.
HttpParse ParseHttpReply(std::string_view bytes, bool ended, size_t maxBody, HttpReply* reply,
                         std::string* error);

struct HttpGetResult {
  bool Ok = false;  // a whole reply was read (any status)
  int Status = 0;
  std::string Body;
  std::string Error;  // one line when !Ok
};
// GET `url` within `timeoutMs` in total. `tls` may be null (then https
// fails). `cancel`, when given, ends the wait early once it is set.
HttpGetResult HttpGet(os::INet& net, os::ITls* tls, os::IClock& clock, const std::string& url,
                      size_t maxBody, uint32_t timeoutMs,
                      const std::atomic<bool>* cancel = nullptr);

}  // namespace tools
