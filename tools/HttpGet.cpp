#include "tools/HttpGet.h"

#include <algorithm>
#include <memory>

#include "os/Clock.h"
#include "os/Net.h"
#include "os/Tls.h"

namespace tools {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool ParseDecimal(std::string_view s, uint64_t limit, uint64_t* value) {
  if (s.empty() || s.size() > 19) return false;
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > limit) return false;
  *value = v;
  return true;
}

}  // namespace

std::optional<HttpUrl> ParseHttpUrl(std::string_view url) {
  HttpUrl u;
  if (StartsWithNoCase(url, "http://")) {
    url.remove_prefix(7);
  } else if (StartsWithNoCase(url, "https://")) {
    url.remove_prefix(8);
    u.Secure = true;
    u.Port = 443;
  } else {
    return std::nullopt;
  }
  for (char c : url) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return std::nullopt;
  }
  const size_t end = url.find_first_of("/?#");
  std::string_view authority = url.substr(0, end);
  std::string_view rest = end == std::string_view::npos ? std::string_view() : url.substr(end);
  if (authority.find('@') != std::string_view::npos) return std::nullopt;
  std::string_view host = authority;
  std::string_view port;
  bool hasPort = false;
  if (!authority.empty() && authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = authority.substr(0, close + 1);
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return std::nullopt;
      port = after.substr(1);
      hasPort = true;
    }
  } else {
    const size_t colon = authority.find(':');
    if (colon != std::string_view::npos) {
      host = authority.substr(0, colon);
      port = authority.substr(colon + 1);
      hasPort = true;
    }
  }
  if (host.empty() || host == "[]") return std::nullopt;
  if (hasPort) {
    uint64_t p = 0;
    if (!ParseDecimal(port, 65535, &p) || p == 0) return std::nullopt;
    u.Port = static_cast<uint16_t>(p);
  }
  u.Host = std::string(host);
  const size_t fragment = rest.find('#');
  if (fragment != std::string_view::npos) rest = rest.substr(0, fragment);
  u.Target = rest.empty() ? "/" : std::string(rest);
  if (u.Target.front() != '/') u.Target = "/" + u.Target;
  return u;
}

HttpParse ParseHttpReply(std::string_view bytes, bool ended, size_t maxBody, HttpReply* reply,
                         std::string* error) {
  auto bad = [error](const char* why) {
    *error = why;
    return HttpParse::BAD;
  };
  const size_t headEnd = bytes.find("\r\n\r\n");
  if (headEnd == std::string_view::npos) {
    if (bytes.size() > MAX_HTTP_HEAD) return bad("reply head too long");
    return ended ? bad("reply ended inside its head") : HttpParse::INCOMPLETE;
  }
  if (headEnd + 4 > MAX_HTTP_HEAD) return bad("reply head too long");
  const std::string_view head = bytes.substr(0, headEnd);
  const std::string_view body = bytes.substr(headEnd + 4);
  // Status line: "HTTP/1.x NNN reason".
  const size_t lineEnd = head.find("\r\n");
  const std::string_view status = head.substr(0, lineEnd);
  if (status.size() < 12 || !StartsWithNoCase(status, "http/1.") || status[8] != ' ' ||
      (status.size() > 12 && status[12] != ' ')) {
    return bad("malformed status line");
  }
  uint64_t code = 0;
  if (!ParseDecimal(status.substr(9, 3), 999, &code) || code < 100) {
    return bad("malformed status code");
  }
  std::optional<uint64_t> length;
  size_t pos = lineEnd == std::string_view::npos ? head.size() : lineEnd + 2;
  while (pos < head.size()) {
    size_t next = head.find("\r\n", pos);
    if (next == std::string_view::npos) next = head.size();
    const std::string_view line = head.substr(pos, next - pos);
    pos = next + 2;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return bad("malformed header line");
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = Trim(line.substr(colon + 1));
    if (name.size() == 14 && StartsWithNoCase(name, "content-length")) {
      uint64_t n = 0;
      if (!ParseDecimal(value, UINT64_MAX / 2, &n)) return bad("malformed Content-Length");
      if (length && *length != n) return bad("two different Content-Length headers");
      length = n;
    } else if ((name.size() == 17 && StartsWithNoCase(name, "transfer-encoding")) ||
               (name.size() == 16 && StartsWithNoCase(name, "content-encoding"))) {
      if (!(value.size() == 8 && StartsWithNoCase(value, "identity"))) {
        return bad("encoded reply body");
      }
    }
  }
  if (length && *length > maxBody) return bad("reply body too long");
  if (body.size() > maxBody) return bad("reply body too long");
  if (length) {
    if (body.size() < *length) return ended ? bad("reply ended early") : HttpParse::INCOMPLETE;
    reply->Status = static_cast<int>(code);
    reply->Body = std::string(body.substr(0, static_cast<size_t>(*length)));
    return HttpParse::COMPLETE;
  }
  if (!ended) return HttpParse::INCOMPLETE;
  reply->Status = static_cast<int>(code);
  reply->Body = std::string(body);
  return HttpParse::COMPLETE;
}

HttpGetResult HttpGet(os::INet& net, os::ITls* tls, os::IClock& clock, const std::string& url,
                      size_t maxBody, uint32_t timeoutMs, const std::atomic<bool>* cancel) {
  HttpGetResult result;
  const std::optional<HttpUrl> u = ParseHttpUrl(url);
  if (!u) {
    result.Error = "not an http or https address";
    return result;
  }
  if (!os::IsAcceptableHostText(os::StripHostBrackets(u->Host))) {
    result.Error = "unacceptable host name";
    return result;
  }
  const uint64_t start = clock.TickCount();
  auto left = [&]() -> uint32_t {
    const uint64_t spent = clock.TickCount() - start;
    return spent >= timeoutMs ? 0 : static_cast<uint32_t>(timeoutMs - spent);
  };
  auto cancelled = [cancel] { return cancel != nullptr && cancel->load(); };
  std::string error;
  std::unique_ptr<os::ISocket> socket =
      net.Connect(os::StripHostBrackets(u->Host), u->Port, std::max<uint32_t>(left(), 1), &error);
  if (!socket) {
    result.Error = "connect: " + error;
    return result;
  }
  if (u->Secure) {
    if (tls == nullptr) {
      result.Error = "https is not available";
      return result;
    }
    os::TlsOptions options;
    options.ServerName = os::StripHostBrackets(u->Host);
    socket = tls->Connect(std::move(socket), options, std::max<uint32_t>(left(), 1), &error);
    if (!socket) {
      result.Error = "tls: " + error;
      return result;
    }
  }
  const bool defaultPort = u->Port == (u->Secure ? 443 : 80);
  const std::string request = "GET " + u->Target + " HTTP/1.0\r\nHost: " + u->Host +
                              (defaultPort ? "" : ":" + std::to_string(u->Port)) +
                              "\r\nAccept: text/plain\r\nConnection: close\r\n\r\n";
  if (socket->Send(request, std::max<uint32_t>(left(), 1)) != os::NetStatus::Ok) {
    result.Error = "send: " + socket->LastError();
    return result;
  }
  std::string received;
  char buffer[4096];
  for (;;) {
    HttpReply reply;
    const HttpParse state = ParseHttpReply(received, false, maxBody, &reply, &error);
    if (state == HttpParse::COMPLETE) {
      result.Ok = true;
      result.Status = reply.Status;
      result.Body = std::move(reply.Body);
      return result;
    }
    if (state == HttpParse::BAD) {
      result.Error = error;
      return result;
    }
    if (cancelled()) {
      result.Error = "cancelled";
      return result;
    }
    const uint32_t wait = left();
    if (wait == 0) {
      result.Error = "timed out";
      return result;
    }
    size_t got = 0;
    // Short waits, so a cancel is seen soon.
    const os::NetStatus s = socket->Receive(buffer, sizeof buffer, &got, std::min(wait, 250u));
    if (s == os::NetStatus::Ok) {
      received.append(buffer, got);
    } else if (s == os::NetStatus::Closed) {
      const HttpParse last = ParseHttpReply(received, true, maxBody, &reply, &error);
      if (last != HttpParse::COMPLETE) {
        result.Error = error.empty() ? "reply incomplete" : error;
        return result;
      }
      result.Ok = true;
      result.Status = reply.Status;
      result.Body = std::move(reply.Body);
      return result;
    } else if (s == os::NetStatus::Failed) {
      result.Error = "receive: " + socket->LastError();
      return result;
    }
  }
}

}  // namespace tools
